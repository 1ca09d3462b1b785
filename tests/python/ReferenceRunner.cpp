// The C++ side of the Python tests' bit-for-bit comparisons: runs one algorithm class of the
// shared catalogue through its parameter-store interface (setUniformValue, execute,
// getSharedOutput) on a raw image and writes the output's raw pixels, so the Python bindings,
// which call the core functions, are checked against the path the host uses.
//     reference_runner IN.raw WIDTH HEIGHT TYPE CLASS OUT.raw [key=value ...]
// Values: true/false, integers, numbers with a point, anything else as text.

#include "support/AlgorithmCatalog.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace image2d;

int main(int argc, char** argv)
{
    if (argc < 7)
        return 2;
    const auto& catalog = testing_support::algorithmCatalog();
    const auto found = std::find_if(catalog.begin(), catalog.end(), [&](const auto& entry) {
        return QLatin1String(entry.name) == QLatin1String(argv[5]);
    });
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (found == catalog.end() || !in.open(QIODevice::ReadOnly))
        return 2;
    auto image = std::make_shared<Image2D>();
    if (!image->loadFromData(in.readAll().constData(), std::atoi(argv[2]), std::atoi(argv[3]),
                             static_cast<Image2D::DataType>(std::atoi(argv[4]))))
        return 2;
    // The catalogue's object holds the image and valid parameters; the arguments override them.
    std::unique_ptr<Algorithm> algorithm = found->make(image);
    for (int i = 7; i < argc; ++i)
    {
        const QString pair = QString::fromUtf8(argv[i]);
        const QString key = pair.section(QLatin1Char('='), 0, 0), text = pair.section(QLatin1Char('='), 1);
        bool isInt = false, isNumber = false;
        const int integer = text.toInt(&isInt);
        const double number = text.toDouble(&isNumber);
        if (text == QLatin1String("true") || text == QLatin1String("false"))
            algorithm->setUniformValue(key, text == QLatin1String("true"));
        else if (isInt)
            algorithm->setUniformValue(key, integer);
        else if (isNumber)
            algorithm->setUniformValue(key, number);
        else
            algorithm->setUniformValue(key, text);
    }
    const std::atomic<bool> cancel{false};
    algorithm->execute(cancel);
    const std::shared_ptr<Image2D> out = algorithm->getSharedOutput(Algorithm::OUTPUT_IMAGE);
    if (!out || !out->isValid())
        return 1;
    QFile file(QString::fromLocal8Bit(argv[6]));
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    std::fprintf(stdout, "%d %d %d\n", out->getWidth(), out->getHeight(), int(out->getDataType()));
    file.write(reinterpret_cast<const char*>(out->getConstData()), qint64(out->getByteCount()));
    return 0;
}
