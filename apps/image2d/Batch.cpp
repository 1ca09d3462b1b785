#include "Batch.h"

#include "Compare.h"
#include "DisplayConversion.h"
#include "EnhanceJob.h"
#include "Phantom.h"

#include <QMutex>
#include <QThread>

#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace tool {

namespace {

QMutex outputMutex;

void printLine(const QString& line)
{
    const QMutexLocker lock(&outputMutex);
    std::fprintf(stderr, "%s\n", qUtf8Printable(line));
    std::fflush(stderr);
}

QString displayName(const BatchItem& item)
{
    return item.input.isEmpty() ? QStringLiteral("phantom") : item.input;
}

using Outcome = ItemOutcome;

} // namespace

ItemOutcome enhanceItem(const BatchItem& item, const EnhanceSettings& settings, const BatchOptions& options,
                        QStringList& notes, QString& error)
{
    LoadedImage loaded;
    if (item.input.isEmpty())
    {
        if (!loadPhantom(settings.media, loaded, error))
            return Outcome::Failed;
    }
    else if (!readImage(item.input, loaded, error, options.decoder))
        return loaded.notAnImage && item.fromFolder() ? Outcome::Skipped : Outcome::Failed;
    notes << loaded.notes;

    const std::atomic<bool> cancel{false};
    EnhanceOutcome outcome;
    if (!runEnhance(loaded, settings, outcome, error, cancel))
        return Outcome::Failed;
    notes << outcome.notes;
    const QImage picture = toDisplayImage(outcome.display, settings.depth);
    if (picture.isNull())
    {
        error = QStringLiteral("not enough memory for the output picture");
        return Outcome::Failed;
    }
    if (!writeImage(picture, item.output, error, options.compression))
    {
        error = QStringLiteral("%1: %2").arg(item.output, error);
        return Outcome::Failed;
    }
    if (!options.compare.isEmpty())
    {
        const QString caption = QStringLiteral("%1 | level %2 window %3 (%4)")
                                    .arg(settings.describe())
                                    .arg(outcome.level, 0, 'g', 6)
                                    .arg(outcome.window, 0, 'g', 6)
                                    .arg(outcome.levelWindowSource);
        const QImage side = makeComparison(loaded.image, settings.depth == 8 ? picture : toDisplayImage(outcome.display, 8), caption);
        if (!writeImage(side, options.compare, error, options.compression))
        {
            error = QStringLiteral("%1: %2").arg(options.compare, error);
            return Outcome::Failed;
        }
    }
    return Outcome::Done;
}

BatchResult runBatch(const std::vector<BatchItem>& items, const EnhanceSettings& settings, const BatchOptions& options)
{
    const int total = int(items.size());
    std::vector<QString> errors(items.size());
    std::vector<Outcome> outcomes(items.size(), Outcome::Done);
    std::atomic<int> done{0};

    auto work = [&](std::size_t index) {
        const BatchItem& item = items[index];
        QStringList notes;
        QString error;
        Outcome outcome = Outcome::Failed;
        try
        {
            outcome = enhanceItem(item, settings, options, notes, error);
        }
        catch (const std::exception& e)
        {
            error = QStringLiteral("unexpected failure: %1").arg(QString::fromLocal8Bit(e.what()));
        }
        catch (...)
        {
            error = QStringLiteral("unexpected failure");
        }
        const int finished = ++done;
        const QString name = displayName(item);
        for (const QString& note : notes)
            printLine(QStringLiteral("image2d: note: %1: %2").arg(name, note));
        outcomes[index] = outcome;
        if (outcome == Outcome::Failed)
        {
            errors[index] = error;
            printLine(QStringLiteral("image2d: error: %1: %2").arg(name, error));
        }
        else if (outcome == Outcome::Skipped)
            printLine(QStringLiteral("image2d: note: %1: skipped: %2").arg(name, error));
        else if (options.progress)
            printLine(QStringLiteral("image2d: [%1/%2] %3 -> %4").arg(finished).arg(total).arg(name, item.output));
    };

    // One arena for everything: the images in flight and the loops inside the library
    // draw on the same threads (one per core, or one per job when more jobs are asked
    // for), so -j images never multiply the cores' worth of threads.
    const int cores = std::max(1, QThread::idealThreadCount());
    const int jobs = std::min(options.jobs > 0 ? options.jobs : cores, std::max(total, 1));
    tbb::task_arena arena(std::max(cores, jobs));
    arena.execute([&] {
        std::size_t next = 0;
        tbb::parallel_pipeline(
            std::size_t(jobs),
            tbb::make_filter<void, std::size_t>(tbb::filter_mode::serial_in_order,
                                                [&](tbb::flow_control& control) -> std::size_t {
                                                    if (next >= items.size())
                                                    {
                                                        control.stop();
                                                        return 0;
                                                    }
                                                    return next++;
                                                }) &
                tbb::make_filter<std::size_t, void>(tbb::filter_mode::parallel, work));
    });

    BatchResult result;
    result.failed = int(std::count(outcomes.begin(), outcomes.end(), Outcome::Failed));
    result.skipped = int(std::count(outcomes.begin(), outcomes.end(), Outcome::Skipped));
    if (result.failed > 0 && total > 1)
    {
        printLine(QStringLiteral("image2d: %1 of %2 images failed:").arg(result.failed).arg(total));
        for (std::size_t i = 0; i < items.size(); ++i)
            if (outcomes[i] == Outcome::Failed)
                printLine(QStringLiteral("  %1: %2").arg(displayName(items[i]), errors[i]));
    }
    if (result.skipped > 0)
        printLine(QStringLiteral("image2d: note: %1 DICOM object(s) without an image skipped").arg(result.skipped));
    return result;
}

} // namespace tool
