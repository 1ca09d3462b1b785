#include "OutputPlan.h"

#include "Dicom.h"
#include "ImageIO.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace tool {

namespace {

const QStringList imageSuffixes = {QStringLiteral("dcm"), QStringLiteral("dicom"), QStringLiteral("png"),
                                   QStringLiteral("tif"), QStringLiteral("tiff")};

bool isImageFile(const QFileInfo& info)
{
    const QString suffix = info.suffix().toLower();
    return imageSuffixes.contains(suffix) || (suffix.isEmpty() && looksLikeDicom(info.filePath()));
}

} // namespace

QStringList imagesInFolder(const QString& folder, bool recursive)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Readable,
                    recursive ? QDirIterator::Subdirectories | QDirIterator::FollowSymlinks : QDirIterator::NoIteratorFlags);
    while (it.hasNext())
    {
        const QFileInfo info(it.next());
        if (isImageFile(info))
            files << info.filePath();
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool planOutputs(const EnhanceRequest& request, std::vector<BatchItem>& items, QString& error)
{
    items.clear();
    std::vector<BatchItem> inputs;
    bool folderGiven = false;
    for (const QString& argument : request.inputs)
    {
        if (QFileInfo(argument).isDir())
        {
            folderGiven = true;
            const QStringList found = imagesInFolder(argument, request.recursive);
            if (found.isEmpty())
            {
                error = QStringLiteral("%1: the folder holds no DICOM, PNG or TIFF images%2")
                            .arg(argument, request.recursive ? QString() : QStringLiteral(" (add -r for its subfolders)"));
                return false;
            }
            for (const QString& file : found)
                inputs.push_back(BatchItem{file, {}, QDir(argument).relativeFilePath(QFileInfo(file).path())});
        }
        else
            inputs.push_back(BatchItem{argument, {}, {}});
    }
    const bool phantom = inputs.empty();
    if (phantom)
        inputs.push_back(BatchItem{});
    const bool severalInputs = inputs.size() > 1 || folderGiven;
    if (!request.batch.compare.isEmpty() && severalInputs)
    {
        error = QStringLiteral("--compare needs a single input");
        return false;
    }

    const QString out = request.output;
    const bool outputGiven = !out.isEmpty();
    const bool outputIsFolder = outputGiven && (severalInputs || QFileInfo(out).isDir() || out.endsWith(QLatin1Char('/')));
    if (outputIsFolder && severalInputs && !QFileInfo(out).isDir() && isWritableSuffix(out))
    {
        error = QStringLiteral("several inputs need a folder for -o, not %1").arg(out);
        return false;
    }
    if (outputGiven && !outputIsFolder)
    {
        const QString suffix = QFileInfo(out).suffix().toLower();
        if (suffix != QLatin1String("png") && suffix != QLatin1String("tif") && suffix != QLatin1String("tiff"))
        {
            error = QStringLiteral("output %1: use a .png, .tif or .tiff file").arg(out);
            return false;
        }
    }
    if (outputIsFolder && !QDir().mkpath(out))
    {
        error = QStringLiteral("cannot create the output folder %1").arg(out);
        return false;
    }

    QSet<QString> taken, inputPaths;
    for (const BatchItem& item : inputs)
        if (!item.input.isEmpty())
            inputPaths.insert(QFileInfo(item.input).absoluteFilePath());
    for (BatchItem item : inputs)
    {
        const QString base = phantom ? QStringLiteral("phantom-%1").arg(mediaName(request.settings.media))
                                     : QFileInfo(item.input).completeBaseName();
        QString path;
        if (outputGiven && !outputIsFolder)
            path = out;
        else
        {
            // A folder's subfolders are kept below the output folder.
            QString folder = outputIsFolder ? out : phantom ? QStringLiteral(".") : QFileInfo(item.input).path();
            if (outputIsFolder && !item.subfolder.isEmpty() && item.subfolder != QLatin1String("."))
            {
                folder = QDir(out).filePath(item.subfolder);
                if (!QDir().mkpath(folder))
                {
                    error = QStringLiteral("cannot create the output folder %1").arg(folder);
                    return false;
                }
            }
            const QString stem = outputIsFolder ? base : base + QStringLiteral("_display");
            path = QDir(folder).filePath(stem + QLatin1Char('.') + request.suffix);
            // Two inputs with one name (a.dcm, a.png) must not share an output.
            for (int n = 2; taken.contains(QFileInfo(path).absoluteFilePath()) ||
                            inputPaths.contains(QFileInfo(path).absoluteFilePath());
                 ++n)
                path = QDir(folder).filePath(QStringLiteral("%1-%2.%3").arg(stem).arg(n).arg(request.suffix));
        }
        if (inputPaths.contains(QFileInfo(path).absoluteFilePath()))
        {
            error = QStringLiteral("output %1 would overwrite an input").arg(path);
            return false;
        }
        taken.insert(QFileInfo(path).absoluteFilePath());
        item.output = path;
        items.push_back(item);
    }
    return true;
}

} // namespace tool
