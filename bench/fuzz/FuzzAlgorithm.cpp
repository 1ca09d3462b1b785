// One algorithm of the library per input: a class of the shared catalogue (built valid,
// then its images and parameters spoiled), a filter made by the display road's factory, or
// the whole display road. The input chooses the pixel type, a size from 0 x 0 through
// 1 x N to a few thousand pixels, the pixels (NaN and infinities included) and parameter
// values of every kind (absent, wrong type, negative, huge, NaN).
#include "FuzzSupport.h"
#include "support/AlgorithmCatalog.h"

#include "image2d/pipeline/FilterSetProcessor.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QPoint>
#include <QSize>
#include <QTransform>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

using namespace image2d;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::shared_ptr<Image2D> fuzzedImage(FuzzedDataProvider& in)
{
    const auto type = static_cast<Image2D::DataType>(in.ConsumeIntegralInRange<int>(0, 6));
    int width = 0, height = 0;
    switch (in.ConsumeIntegralInRange<int>(0, 3))
    {
    case 0: width = in.ConsumeIntegralInRange(0, 64), height = in.ConsumeIntegralInRange(0, 64); break;
    case 1: width = 1, height = in.ConsumeIntegralInRange(0, 4096); break;
    case 2: width = in.ConsumeIntegralInRange(0, 4096), height = 1; break;
    default: width = in.ConsumeIntegralInRange(0, 6), height = in.ConsumeIntegralInRange(0, 6); break;
    }
    auto image = std::make_shared<Image2D>(width, height, type);
    const std::size_t bytes = image->getByteCount();
    const std::vector<std::uint8_t> raw = in.ConsumeBytes<std::uint8_t>(std::min(bytes, in.remaining_bytes() / 2));
    std::uint8_t* p = image->getData<std::uint8_t>();
    for (std::size_t i = 0; !raw.empty() && i < bytes; ++i)
        p[i] = type == Image2D::BINARY ? raw[i % raw.size()] & 1 : raw[i % raw.size()];
    if (type == Image2D::FLOAT && image->getNumPixels() > 0)
    {
        float* f = image->getData<float>();
        for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n)
        {
            const double special[] = {kNaN, kInf, -kInf, 1e38, -1e38};
            f[in.ConsumeIntegralInRange<std::size_t>(0, image->getNumPixels() - 1)] =
                static_cast<float>(special[in.ConsumeIntegralInRange(0, 4)]);
        }
    }
    image->editFinished();
    return image;
}

// A value of any kind, most of them wrong for the key.
QVariant fuzzedValue(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 12))
    {
    case 0: return QStringLiteral("wide");
    case 1: return QPoint(in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>());
    case 2: return in.ConsumeBool();
    case 3: return -in.ConsumeIntegralInRange(1, 1000000);
    case 4: return std::numeric_limits<int>::max();
    case 5: return 1e30;
    case 6: return kNaN;
    case 7: return in.ConsumeBool() ? kInf : -kInf;
    case 8: return in.ConsumeFloatingPoint<double>();
    case 9: return static_cast<float>(in.ConsumeFloatingPointInRange<double>(-100, 100));
    case 10: return in.ConsumeIntegral<unsigned int>();
    case 11: return QSize(in.ConsumeIntegralInRange(-2, 100), in.ConsumeIntegralInRange(-2, 100));
    default: return in.ConsumeIntegralInRange(-4, 40);
    }
}

// Parameters that size the work: radii, sigmas, borders, output sizes. On an image of more
// than 64 pixels they are clamped so that pixels x (2 x value + 1)^2 (a square window) stays
// within about four million (a median of radius 185 on 48 x 59 float pixels, or a min/max
// of the image's length on 1 x 4096, took seconds under the sanitizers); small images keep
// the huge values, so the overflow paths are still reached.
QVariant withinWork(const QString& key, const QVariant& value, const Image2D& image)
{
    static const char* const sizing[] = {"adius", "sigma", "Std", "borderSize", "outputImageS", "penetrationDepth"};
    const double pixels = double(image.getNumPixels());
    if (pixels <= 64 || std::none_of(std::begin(sizing), std::end(sizing),
                                     [&](const char* part) { return key.contains(QLatin1String(part)); }))
        return value;
    const int type = value.typeId();
    if (type != QMetaType::Int && type != QMetaType::UInt && type != QMetaType::Double && type != QMetaType::Float)
        return value;
    const double bound = std::max(2.0, (std::sqrt(double(1 << 22) / pixels) - 1.0) / 2.0);
    const double v = value.toDouble();
    if (!(std::abs(v) > bound))
        return value;
    QVariant clamped(std::copysign(bound, v));
    clamped.convert(value.metaType());
    return clamped;
}

const std::vector<QString>& everyParameterKey()
{
    static const std::vector<QString> keys = [] {
        std::set<QString> all;
        for (const testing_support::AlgorithmEntry& entry : testing_support::algorithmCatalog())
            for (const ParameterInfo* parameter : entry.parameters)
                all.insert(parameter->key());
        return std::vector<QString>(all.begin(), all.end());
    }();
    return keys;
}

Uniforms fuzzedUniforms(FuzzedDataProvider& in, const Image2D& image)
{
    Uniforms uniforms;
    const std::vector<QString>& keys = everyParameterKey();
    for (int n = in.ConsumeIntegralInRange(0, 6); n > 0; --n)
    {
        const QString& key = keys[in.ConsumeIntegralInRange<std::size_t>(0, keys.size() - 1)];
        uniforms.setUniformValue(key, withinWork(key, fuzzedValue(in), image));
    }
    return uniforms;
}

// Each run returns what it ran, for IMAGE2D_FUZZ_TIMES=1 (a line per input on stderr).
QString runCatalogEntry(bool timed, FuzzedDataProvider& in, const std::shared_ptr<Image2D>& image, const std::atomic<bool>& cancel)
{
    const auto& catalog = testing_support::algorithmCatalog();
    const testing_support::AlgorithmEntry& entry = catalog[in.ConsumeIntegralInRange<std::size_t>(0, catalog.size() - 1)];
    std::unique_ptr<Algorithm> algorithm = entry.make(image);
    QString ran = QString::fromLatin1(entry.name);
    for (const ParameterInfo* parameter : entry.parameters)
        switch (in.ConsumeIntegralInRange(0, 3))
        {
        case 0: break;
        case 1: {
            QHash<QString, QVariant> values = algorithm->getUniforms();
            values.remove(parameter->key());
            algorithm->setUniforms(values);
            break;
        }
        default: {
            const QVariant value = withinWork(parameter->key(), fuzzedValue(in), *image);
            algorithm->setUniformValue(parameter->key(), value);
            if (timed)
                ran += QStringLiteral(" %1=%2").arg(parameter->key(), value.toString());
        }
        }
    for (const QString& slot : entry.imageSlots)
        switch (in.ConsumeIntegralInRange(0, 5))
        {
        case 0: algorithm->setSharedInput(slot, nullptr); break;
        case 1: algorithm->setSharedInput(slot, std::make_shared<Image2D>()); break;
        case 2: algorithm->setSharedInput(slot, fuzzedImage(in)); break;
        default: break;
        }
    algorithm->execute(cancel);
    return ran;
}

QString runFactoryFilter(FuzzedDataProvider& in, const std::shared_ptr<Image2D>& image, const std::atomic<bool>& cancel)
{
    const QStringList& ids = FilterSetProcessor::filterOrder();
    const QString id = ids[in.ConsumeIntegralInRange<qsizetype>(0, ids.size() - 1)];
    if (std::unique_ptr<Algorithm> filter = FilterSetProcessor::createFilter(id, image, fuzzedUniforms(in, *image)))
        filter->execute(cancel);
    return QStringLiteral("filter ") + id;
}

QString runDisplayRoad(FuzzedDataProvider& in, const std::shared_ptr<Image2D>& image, const std::atomic<bool>& cancel)
{
    FilterSet filters;
    QStringList chosen;
    const QStringList& ids = FilterSetProcessor::filterOrder();
    for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n)
    {
        chosen << ids[in.ConsumeIntegralInRange<qsizetype>(0, ids.size() - 1)];
        filters.addFilter(chosen.back(), fuzzedUniforms(in, *image));
    }
    QTransform transform;
    transform.rotate(90.0 * in.ConsumeIntegralInRange(0, 3));
    if (in.ConsumeBool())
        transform.scale(-1, 1);
    const double level = in.ConsumeBool() ? in.ConsumeFloatingPoint<double>() : 2000.0;
    const double window = in.ConsumeBool() ? in.ConsumeFloatingPoint<double>() : 4000.0;
    const QSize size = in.ConsumeBool() ? QSize(in.ConsumeIntegralInRange(-1, 80), in.ConsumeIntegralInRange(-1, 80)) : QSize();
    FilterSetProcessor::executeProcessor(image.get(), filters, transform, level, window, cancel, size);
    return QStringLiteral("display road ") + chosen.join(QLatin1Char(','));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::quietProcess();
    static const bool timed = qEnvironmentVariableIsSet("IMAGE2D_FUZZ_TIMES");
    const auto start = std::chrono::steady_clock::now();
    FuzzedDataProvider in(data, size);
    const int road = in.ConsumeIntegralInRange(0, 7);
    const std::atomic<bool> cancel{in.ConsumeIntegralInRange(0, 15) == 0};
    const std::shared_ptr<Image2D> image = fuzzedImage(in);
    QString what;
    if (road == 0)
        what = runFactoryFilter(in, image, cancel);
    else if (road == 1)
        what = runDisplayRoad(in, image, cancel);
    else
        what = runCatalogEntry(timed, in, image, cancel);
    if (timed)
        std::fprintf(stderr, "%8.2f ms %s on %d x %d type %d\n",
                     std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
                     qPrintable(what), image->getWidth(), image->getHeight(), int(image->getDataType()));
    return 0;
}
