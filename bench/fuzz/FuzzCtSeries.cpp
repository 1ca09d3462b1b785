// CT series reading: the input is cut into files at each "\n--slice--\n" and the folder
// of them is read as a series (grouping, sorting, spacing checks, decoding).
#include "FuzzSupport.h"

#include "DicomSeries.h"

#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::quietProcess();
    QDir folder(fuzzing::scratchFolder() + QStringLiteral("/series"));
    folder.removeRecursively();
    folder.mkpath(QStringLiteral("."));
    const std::vector<QByteArray> parts = fuzzing::splitInput(data, size, QByteArrayLiteral("\n--slice--\n"));
    for (std::size_t i = 0; i < parts.size() && i < 16; ++i)
    {
        QFile file(folder.filePath(QStringLiteral("slice-%1.dcm").arg(i)));
        if (file.open(QIODevice::WriteOnly))
            file.write(parts[i]);
    }
    ctvolume::CtSeries series;
    QString error;
    ctvolume::readCtSeries(folder.path(), series, error);
    return 0;
}
