#include "Batch.h"

#include "Compare.h"
#include "EnhanceJob.h"
#include "ImageIO.h"
#include "Phantom.h"

#include <QFileInfo>
#include <QMutex>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <numeric>

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

} // namespace

PhantomLayout phantomLayoutFor(Media media)
{
    switch (media)
    {
    case Media::Panoramic: return PhantomLayout::Panoramic;
    case Media::Ceph: return PhantomLayout::Ceph;
    default: return PhantomLayout::Intraoral;
    }
}

bool enhanceOne(const BatchItem& item, const EnhanceSettings& settings, const QString& compare, QStringList& notes,
                QString& error)
{
    LoadedImage loaded;
    if (item.input.isEmpty())
    {
        loaded.image = makePhantom(phantomLayoutFor(settings.media));
        loaded.format = QStringLiteral("phantom");
        loaded.bitsStored = 12;
        loaded.pixelSizeKnown = true;
        if (!loaded.image.isValid())
        {
            error = QStringLiteral("not enough memory for the phantom");
            return false;
        }
    }
    else if (!readImage(item.input, loaded, error))
        return false;
    notes << loaded.notes;

    const std::atomic<bool> cancel{false};
    EnhanceOutcome outcome;
    if (!runEnhance(loaded, settings, outcome, error, cancel))
        return false;
    notes << outcome.notes;
    const QImage picture = toDisplayImage(outcome.display, settings.depth);
    if (picture.isNull())
    {
        error = QStringLiteral("not enough memory for the output picture");
        return false;
    }
    if (!writeImage(picture, item.output, error))
    {
        error = QStringLiteral("%1: %2").arg(item.output, error);
        return false;
    }
    if (!compare.isEmpty())
    {
        const QString caption = QStringLiteral("%1 | level %2 window %3 (%4)")
                                    .arg(settings.describe())
                                    .arg(outcome.level, 0, 'g', 6)
                                    .arg(outcome.window, 0, 'g', 6)
                                    .arg(outcome.levelWindowSource);
        const QImage side = makeComparison(loaded.image, toDisplayImage(outcome.display, 8), caption);
        if (!writeImage(side, compare, error))
        {
            error = QStringLiteral("%1: %2").arg(compare, error);
            return false;
        }
    }
    return true;
}

int runBatch(const std::vector<BatchItem>& items, const EnhanceSettings& settings, const BatchOptions& options)
{
    const int total = int(items.size());
    std::vector<QString> errors(items.size());
    std::vector<char> failed(items.size(), 0);
    std::atomic<int> done{0};
    std::vector<int> indices(items.size());
    std::iota(indices.begin(), indices.end(), 0);

    auto work = [&](int index) {
        const BatchItem& item = items[std::size_t(index)];
        QStringList notes;
        QString error;
        bool ok = false;
        try
        {
            ok = enhanceOne(item, settings, options.compare, notes, error);
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
        if (!ok)
        {
            failed[std::size_t(index)] = 1;
            errors[std::size_t(index)] = error;
            printLine(QStringLiteral("image2d: error: %1: %2").arg(name, error));
        }
        else if (options.progress)
            printLine(QStringLiteral("image2d: [%1/%2] %3 -> %4").arg(finished).arg(total).arg(name, item.output));
    };

    if (total == 1)
        work(0);
    else
    {
        QThreadPool pool;
        pool.setMaxThreadCount(options.jobs > 0 ? options.jobs : std::max(1, QThread::idealThreadCount()));
        QtConcurrent::blockingMap(&pool, indices, work);
    }

    const int failures = int(std::count(failed.begin(), failed.end(), 1));
    if (failures > 0 && total > 1)
    {
        printLine(QStringLiteral("image2d: %1 of %2 images failed:").arg(failures).arg(total));
        for (std::size_t i = 0; i < items.size(); ++i)
            if (failed[i])
                printLine(QStringLiteral("  %1: %2").arg(displayName(items[i]), errors[i]));
    }
    return failures;
}

} // namespace tool
