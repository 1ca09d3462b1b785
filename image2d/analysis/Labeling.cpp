#include "image2d/analysis/Labeling.h"

#include "image2d/analysis/AnalysisInput.h"
#include "image2d/analysis/ComponentRuns.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Log.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace image2d {

namespace {

constexpr const char* kLabel = "image2d::Label";
constexpr const char* kKeepLargestPart = "image2d::KeepLargestPart";
constexpr std::size_t kLabelValues = 65536;

// Pixels per label value of a 16-bit label image. Equal labels come in runs, so a run is
// counted in a register before it is added.
std::vector<std::uint64_t> computeSizeOfRegions(const Image2D& labels)
{
    std::vector<std::uint64_t> sizes(kLabelValues, 0);
    const std::uint16_t* p = labels.getConstData<std::uint16_t>();
    const std::size_t count = labels.getNumPixels();
    std::uint16_t current = p[0];
    std::uint64_t run = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        if (p[i] == current)
        {
            ++run;
            continue;
        }
        sizes[current] += run;
        current = p[i];
        run = 1;
    }
    sizes[current] += run;
    return sizes;
}

// The BINARY image of the labels that `select(sizes, keep)` marks in the 65536-entry table `keep`.
template <typename Select>
std::shared_ptr<Image2D> createLargestPartImage(const Image2D& labels, Select&& select)
{
    if (!labels.isValid())
        return warnInvalidKey(kKeepLargestPart, Algorithm::INPUT_IMAGE), nullptr;
    if (!requireDataType(labels, Image2D::UNSIGNED_SHORT, kKeepLargestPart, Algorithm::INPUT_IMAGE))
        return nullptr;
    std::vector<std::uint64_t> sizes = computeSizeOfRegions(labels);
    sizes[0] = 0; // the background is no region
    std::vector<std::uint8_t> keep(kLabelValues, 0);
    select(sizes, keep);
    auto output = newImageLike(labels, Image2D::BINARY);
    if (!output)
        return nullptr;
    const std::uint16_t* in = labels.getConstData<std::uint16_t>();
    std::uint8_t* out = output->getData<std::uint8_t>();
    const std::size_t count = labels.getNumPixels();
    for (std::size_t i = 0; i < count; ++i)
        out[i] = keep[in[i]];
    return output;
}

} // namespace

ComponentLabels labelComponents(const Image2D& binary)
{
    if (!binary.isValid())
        return warnInvalidKey(kLabel, Algorithm::INPUT_IMAGE), ComponentLabels{};
    if (!requireDataType(binary, Image2D::BINARY, kLabel, Algorithm::INPUT_IMAGE))
        return {};
    ComponentRuns components;
    if (!components.find(binary.getConstData<std::uint8_t>(), binary.getWidth(), binary.getHeight(), false,
                         ScanOrder::ColumnMajor))
        return {};
    if (components.count() > std::numeric_limits<std::uint16_t>::max())
    {
        warning("image2d::Label : too many components");
        return {};
    }
    ComponentLabels result;
    result.labels = newImageLike(binary, Image2D::UNSIGNED_SHORT);
    if (!result.labels)
        return {};
    components.writeLabels(result.labels->getData<std::uint16_t>());
    for (std::uint64_t size : components.sizes())
        result.sizes.push_back(static_cast<int>(size));
    return result;
}

std::shared_ptr<Image2D> keepLargestRegions(const Image2D& labels, int regionCount)
{
    return createLargestPartImage(labels, [regionCount](const std::vector<std::uint64_t>& sizes, auto& keep) {
        std::vector<std::pair<std::uint16_t, std::uint64_t>> regions;
        for (std::size_t label = 1; label < sizes.size(); ++label)
            if (sizes[label] > 0)
                regions.emplace_back(static_cast<std::uint16_t>(label), sizes[label]);
        // Largest first; the stable sort keeps equal sizes in ascending label order.
        std::stable_sort(regions.begin(), regions.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        const std::size_t selected = regionCount < 1 ? 0 : std::min<std::size_t>(regionCount, regions.size());
        for (std::size_t i = 0; i < selected; ++i)
            keep[regions[i].first] = 1;
    });
}

std::shared_ptr<Image2D> keepRegionsOfMinimumSize(const Image2D& labels, int minimumSize)
{
    return createLargestPartImage(labels, [minimumSize](const std::vector<std::uint64_t>& sizes, auto& keep) {
        for (std::size_t label = 1; label < sizes.size(); ++label)
            if (sizes[label] > 0 && static_cast<long long>(sizes[label]) >= minimumSize)
                keep[label] = 1;
    });
}

// ---- Label -------------------------------------------------------------------------------

std::shared_ptr<Image2D> Label::executeLabeling(Image2D* input, QHash<unsigned short, int>& labelCount)
{
    Label algorithm;
    if (input)
        algorithm.setInput(INPUT_IMAGE, input);
    algorithm.execute(neverCancelled());
    labelCount = algorithm.getLabelCount();
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool Label::isInputValid() const
{
    return requireInputImage(kLabel, INPUT_IMAGE) &&
           (requireDataType(*getSharedInput(INPUT_IMAGE), Image2D::BINARY, kLabel, INPUT_IMAGE) ||
            fail(FailureReason::UnsupportedType, INPUT_IMAGE));
}

bool Label::process(const std::atomic<bool>&)
{
    m_labelCount.clear();
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    ComponentLabels result = labelComponents(*input);
    for (std::size_t label = 0; label < result.sizes.size(); ++label)
        if (result.sizes[label] > 0)
            m_labelCount.insert(static_cast<unsigned short>(label), result.sizes[label]);
    return publish(OUTPUT_IMAGE, std::move(result.labels), *input, PixelTypes<Image2D::BINARY>{});
}

// ---- KeepLargestPart -----------------------------------------------------------------------

const QString KeepLargestPart::REGION_COUNT = QStringLiteral("regionCount");
const QString KeepLargestPart::MINIMUM_SIZE = QStringLiteral("minimumSize");
const Parameter<int> KeepLargestPart::REGION_COUNT_PARAMETER{
    &REGION_COUNT, Bounds::any(), "number of largest regions to keep (below 1: none); wins over minimumSize"};
const Parameter<int> KeepLargestPart::MINIMUM_SIZE_PARAMETER{
    &MINIMUM_SIZE, Bounds::any(), "smallest region size in pixels to keep, when regionCount is not set"};

const ParameterList& KeepLargestPart::parameters()
{
    static const ParameterList list{&REGION_COUNT_PARAMETER, &MINIMUM_SIZE_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> KeepLargestPart::executeLargestPartWithRegionCount(Image2D* labels, int regionCount)
{
    KeepLargestPart algorithm;
    if (labels)
        algorithm.setInput(INPUT_IMAGE, labels);
    algorithm.setUniformValue(REGION_COUNT, regionCount);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> KeepLargestPart::executeLargestPartWithMinimumSize(Image2D* labels, int minimumSize)
{
    KeepLargestPart algorithm;
    if (labels)
        algorithm.setInput(INPUT_IMAGE, labels);
    algorithm.setUniformValue(MINIMUM_SIZE, minimumSize);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// Either parameter is optional, but one of them must be there; a value that is there must
// convert to int.
bool KeepLargestPart::isInputValid() const
{
    if (!requireInputImage(kKeepLargestPart, INPUT_IMAGE))
        return false;
    if (!requireDataType(*getSharedInput(INPUT_IMAGE), Image2D::UNSIGNED_SHORT, kKeepLargestPart, INPUT_IMAGE))
        return fail(FailureReason::UnsupportedType, INPUT_IMAGE);
    const bool hasCount = getUniformValue(REGION_COUNT).isValid();
    const bool hasSize = getUniformValue(MINIMUM_SIZE).isValid();
    if (!hasCount && !hasSize)
    {
        warning("image2d::KeepLargestPart : missing uniform value: ", REGION_COUNT, " or ", MINIMUM_SIZE,
                " must be defined.");
        return fail(FailureReason::Missing, REGION_COUNT);
    }
    return (!hasCount || REGION_COUNT_PARAMETER.validate(*this, kKeepLargestPart)) &&
           (!hasSize || MINIMUM_SIZE_PARAMETER.validate(*this, kKeepLargestPart));
}

bool KeepLargestPart::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const utility::Optional<int> regionCount = REGION_COUNT_PARAMETER.get(*this);
    std::shared_ptr<Image2D> result = regionCount ? keepLargestRegions(*input, *regionCount)
                                                  : keepRegionsOfMinimumSize(*input, MINIMUM_SIZE_PARAMETER(*this));
    return publish(OUTPUT_IMAGE, std::move(result), *input, PixelTypes<Image2D::UNSIGNED_SHORT>{});
}

} // namespace image2d
