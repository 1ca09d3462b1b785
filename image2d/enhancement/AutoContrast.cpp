#include "image2d/enhancement/AutoContrast.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/pointops/IntensityMapping.h"
#include "platform/documentmodel/MediaAutoContrastSettings.h"
#include "platform/maths/Operations.h"

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <vector>

namespace image2d {

const QString AutoContrast::LOWER_FRACTION = QStringLiteral("lowerFraction");
const QString AutoContrast::UPPER_FRACTION = QStringLiteral("upperFraciton");
const QString AutoContrast::LOW_BINS_TO_DISCARD = QStringLiteral("lowBinsToDiscard");
const QString AutoContrast::WINDOW_MINIMUM = QStringLiteral("windowMinimum");
const QString AutoContrast::WINDOW_MAXIMUM = QStringLiteral("windowMaximum");
const QString AutoContrast::WINDOW_CENTER = QStringLiteral("windowCenter");
const QString AutoContrast::WINDOW_RANGE = QStringLiteral("windowRange");

namespace {

constexpr const char* OWNER = "image2d::AutoContrast";

template <typename T>
ContrastWindow percentileWindow(const Image2D& image, float lower, float upper, int discard)
{
    const math::Range<float> range = image.getValueRange();
    const auto first = static_cast<std::int64_t>(range.getMin());
    const std::size_t bins = static_cast<std::size_t>(static_cast<std::int64_t>(range.getMax() - range.getMin())) + 1;

    // Integer pixels of at most 16 bits: one bin per value, at most 65536 bins.
    std::vector<std::uint64_t> histogram(bins, 0);
    const T* pixels = image.getConstData<T>();
    const std::size_t count = image.getNumPixels();
    for (std::size_t i = 0; i < count; ++i)
        ++histogram[static_cast<std::size_t>(static_cast<std::int64_t>(pixels[i]) - first)];

    const std::size_t discarded = std::min<std::size_t>(static_cast<std::size_t>(discard), bins);
    std::uint64_t total = count;
    for (std::size_t i = 0; i < discarded; ++i)
        total -= histogram[i];
    if (discarded == bins)
        return {};

    const auto a = static_cast<std::uint64_t>(static_cast<float>(total) * lower);
    const auto b = static_cast<std::uint64_t>(static_cast<float>(total) * upper);
    const std::size_t remaining = bins - discarded;
    std::size_t low = 0;
    std::size_t high = remaining;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < remaining; ++i)
    {
        sum += histogram[discarded + i];
        if (sum < a)
            ++low;
        if (sum >= b)
        {
            high = i;
            break;
        }
    }
    const float offset = static_cast<float>(discarded) + range.getMin();
    return {static_cast<float>(low) + offset, static_cast<float>(high) + offset};
}

} // namespace

namespace {

bool warnMissingImage()
{
    warning("image2d::AutoContrast : missing or invalid input image.");
    return false;
}

// The fractions must be ordered and inside [0, 1]; written so that NaN fails as well.
bool fractionsUsable(double lower, double upper)
{
    if (lower >= upper)
    {
        warning("image2d::AutoContrast : invalid input: Lower fraction should be smaller than upper fraction.");
        return false;
    }
    if (!(lower >= 0.0 && upper <= 1.0))
    {
        warning("image2d::AutoContrast : invalid input: lower and upper fractions should be between 0 and 1.");
        return false;
    }
    return true;
}

} // namespace

utility::Optional<ContrastWindow> autoContrastWindow(const Image2D& image, float lowerFraction, float upperFraction,
                                                     bool discardLowestBin)
{
    if (!image.isValid())
    {
        warning("invalid input image: ", Algorithm::INPUT_IMAGE);
        return warnMissingImage(), utility::Optional<ContrastWindow>();
    }
    if (!fractionsUsable(lowerFraction, upperFraction))
        return {};
    // Only a flag: at most the one lowest bin is discarded.
    const int discard = discardLowestBin ? 1 : 0;
    return dispatchDataType(AutoContrastTypes{}, image.getDataType(),
                            "image2d::AutoContrast : AutoContrast algorithm not supported for data type: ",
                            [&](auto tag) -> utility::Optional<ContrastWindow> {
                                return percentileWindow<typename decltype(tag)::type>(image, lowerFraction,
                                                                                      upperFraction, discard);
                            });
}

const Parameter<float> AutoContrast::LOWER_PARAMETER{&LOWER_FRACTION, ValueKind::Double, Bounds::anyIncludingNaN(),
                                                     "share of the pixels below the window, in [0, 1]"};
const Parameter<float> AutoContrast::UPPER_PARAMETER{&UPPER_FRACTION, ValueKind::Double, Bounds::anyIncludingNaN(),
                                                     "share of the pixels up to the window's top, in [0, 1]"};
const Parameter<int> AutoContrast::DISCARD_PARAMETER{&LOW_BINS_TO_DISCARD, 0, Lenient{},
                                                     "non-zero: leave the lowest histogram bin out"};

const ParameterList& AutoContrast::parameters()
{
    static const ParameterList list{&LOWER_PARAMETER, &UPPER_PARAMETER, &DISCARD_PARAMETER};
    return list;
}

bool AutoContrast::isInputValid() const
{
    if (!checkInputImage(INPUT_IMAGE))
        return warnMissingImage();
    if (!LOWER_PARAMETER.validate(*this, OWNER) || !UPPER_PARAMETER.validate(*this, OWNER))
        return false;
    // The fractions are compared as the doubles they are stored as.
    return fractionsUsable(getUniformValue(LOWER_FRACTION).toDouble(), getUniformValue(UPPER_FRACTION).toDouble()) ||
           fail(FailureReason::OutOfRange, LOWER_FRACTION);
}

bool AutoContrast::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> image = getSharedInput(INPUT_IMAGE);
    const utility::Optional<ContrastWindow> window =
        autoContrastWindow(*image, LOWER_PARAMETER(*this), UPPER_PARAMETER(*this), DISCARD_PARAMETER(*this) != 0);
    if (!window)
        return fail(FailureReason::UnsupportedType, INPUT_IMAGE);
    setUniformValue(WINDOW_MINIMUM, window->minimum);
    setUniformValue(WINDOW_MAXIMUM, window->maximum);
    setUniformValue(WINDOW_CENTER, window->center());
    setUniformValue(WINDOW_RANGE, window->range());
    return true;
}

namespace {

struct GammaHistogram
{
    std::vector<std::uint64_t> counts;
    std::int64_t span = 0; // trunc(rmax) - trunc(rmin)
};

template <typename T>
GammaHistogram histogramOf(const Image2D& image)
{
    const math::Range<float> range = image.getValueRange();
    const auto first = static_cast<std::int64_t>(range.getMin());
    GammaHistogram h;
    h.span = static_cast<std::int64_t>(range.getMax()) - first;
    h.counts.assign(static_cast<std::size_t>(h.span) + 1, 0);
    const T* pixels = image.getConstData<T>();
    const std::size_t count = image.getNumPixels();
    for (std::size_t i = 0; i < count; ++i)
        ++h.counts[static_cast<std::size_t>(static_cast<std::int64_t>(pixels[i]) - first)];
    return h;
}

} // namespace

float calculateAutoGamma(const Image2D& image, const math::Range<float>& range)
{
    const double level = (range.getMin() + range.getMax()) * 0.5;
    const double window = range.getMax() - range.getMin();
    const std::shared_ptr<Image2D> windowed = levelWindow(image, level, window);
    if (!windowed)
        return 1.0f;

    // Other types have no histogram here, which gives the neutral gamma below.
    GammaHistogram h = dispatchDataType(
        PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR>{}, windowed->getDataType(),
        [&](auto tag) { return histogramOf<typename decltype(tag)::type>(*windowed); }, [] {});

    std::uint64_t highest = 0, second = 0;
    std::size_t highestBin = 0;
    for (std::size_t i = 0; i < h.counts.size(); ++i)
    {
        const std::uint64_t c = h.counts[i];
        if (c > highest)
        {
            second = highest;
            highest = c;
            highestBin = i;
        }
        else if (c > second)
            second = c;
    }
    if (second == 0)
        return 1.0f;

    std::uint64_t pixels = windowed->getNumPixels();
    // A background peak far above everything else would drag the mean to its own value.
    if (static_cast<double>(highest) / static_cast<double>(second) > 3.0)
    {
        pixels -= highest;
        h.counts[highestBin] = 0;
    }
    std::uint64_t weighted = 0;
    for (std::size_t i = 0; i < h.counts.size(); ++i)
        weighted += h.counts[i] * i;
    const float mean = static_cast<float>(weighted) / static_cast<float>(pixels) / static_cast<float>(h.span);
    if (mean > 0.0f && mean < 1.0f)
        return std::log(mean) / std::log(0.5f);
    return 1.0f;
}

} // namespace image2d

namespace dataObjectFunctions {

data::LevelWindow computeAutoContrast(const Image2D& image, MediaType type)
{
    // A failed window reads as (0, 0).
    const image2d::ContrastWindow window =
        image2d::autoContrastWindow(image, MediaAutoContrastSettings::getLowerFraction(type),
                                    MediaAutoContrastSettings::getUpperFraction(type))
            .value_or(image2d::ContrastWindow{});
    const int level = static_cast<int>(std::lroundf(window.center()));
    const int range = static_cast<int>(std::lroundf(window.range()));
    const Image2D::DataType dataType = image.getDataType();
    if (dataType == Image2D::UNSIGNED_SHORT || dataType == Image2D::SHORT)
        return data::LevelWindow(math::Operations::roundToNumber(level, 50),
                                 math::Operations::roundToNumber(range, 50));
    return data::LevelWindow(level, range);
}

} // namespace dataObjectFunctions
