#include "image2d/analysis/DistanceTransform.h"

#include "image2d/analysis/AnalysisInput.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Simd.h"
#include "image2d/pointops/ImageArithmetic.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace image2d {

namespace {

constexpr const char* kDistanceTransform = "image2d::DistanceTransform";

// The 5 x 5 chamfer mask centred on the current pixel, rows dy = -2 ... 2, columns
// dx = -2 ... 2; kUnused marks positions that take no part.
constexpr int kUnused = 65535;
constexpr int kChamferMask[5][5] = {
    {kUnused, 11, kUnused, 11, kUnused},
    {11, 7, 5, 7, 11},
    {kUnused, 5, 0, 5, kUnused},
    {11, 7, 5, 7, 11},
    {kUnused, 11, kUnused, 11, kUnused},
};
// Within the current row only the direct neighbour counts, which is what lets each sweep
// relax whole rows from the rows before it and then run one left-to-right (or right-to-left)
// pass along the row.
static_assert(kChamferMask[2][0] == kUnused && kChamferMask[2][4] == kUnused);

// Distance maps keep the smaller of a pixel and (neighbour + weight).
struct Shrink
{
    static IMAGE2D_INLINE_LOOP std::int16_t apply(std::int16_t value, std::int16_t neighbour, int weight)
    {
        const auto candidate = static_cast<std::int16_t>(static_cast<std::uint16_t>(neighbour) + weight);
        return candidate < value ? candidate : value;
    }
};

// Growth keeps the larger of a pixel and (neighbour - weight).
struct Spread
{
    static IMAGE2D_INLINE_LOOP std::int16_t apply(std::int16_t value, std::int16_t neighbour, int weight)
    {
        const auto candidate = static_cast<std::int16_t>(static_cast<std::uint16_t>(neighbour) - weight);
        return value < candidate ? candidate : value;
    }
};

// Every pixel of `row` against the pixel dx columns away in `source` (another row), where
// that pixel lies inside the image. The result for a pixel does not depend on the order in
// which its neighbours are visited, only on the values they hold, so whole rows are relaxed
// at once.
template <typename Op>
IMAGE2D_INLINE_LOOP void relaxFromRow(std::int16_t* __restrict row, const std::int16_t* __restrict source, int width,
                                      int dx, int weight)
{
    const int begin = std::max(0, -dx), end = std::min(width, width - dx);
    for (int x = begin; x < end; ++x)
        row[x] = Op::apply(row[x], source[x + dx], weight);
}

// Rows top to bottom, each left to right: the rows dy = -2 and -1 of the mask, then the left
// neighbour, which holds its value of this sweep already.
template <typename Op>
IMAGE2D_INLINE_LOOP void sweepForwardThrough(std::int16_t* map, int width, int height)
{
    const std::ptrdiff_t stride = width;
    for (int y = 0; y < height; ++y)
    {
        std::int16_t* row = map + y * stride;
        for (int dy = -2; dy <= -1; ++dy)
            if (y + dy >= 0)
                for (int dx = -2; dx <= 2; ++dx)
                    if (kChamferMask[dy + 2][dx + 2] != kUnused)
                        relaxFromRow<Op>(row, row + dy * stride, width, dx, kChamferMask[dy + 2][dx + 2]);
        for (int x = 1; x < width; ++x)
            row[x] = Op::apply(row[x], row[x - 1], kChamferMask[2][1]);
    }
}

// Rows bottom to top, each right to left: the rows dy = 1 and 2, then the right neighbour.
template <typename Op>
IMAGE2D_INLINE_LOOP void sweepBackwardThrough(std::int16_t* map, int width, int height)
{
    const std::ptrdiff_t stride = width;
    for (int y = height - 1; y >= 0; --y)
    {
        std::int16_t* row = map + y * stride;
        for (int dy = 1; dy <= 2; ++dy)
            if (y + dy < height)
                for (int dx = -2; dx <= 2; ++dx)
                    if (kChamferMask[dy + 2][dx + 2] != kUnused)
                        relaxFromRow<Op>(row, row + dy * stride, width, dx, kChamferMask[dy + 2][dx + 2]);
        for (int x = width - 2; x >= 0; --x)
            row[x] = Op::apply(row[x], row[x + 1], kChamferMask[2][3]);
    }
}

// 0 on the set pixels of the binary image, the far value elsewhere, then both sweeps.
IMAGE2D_INLINE_LOOP void computeDistances(const std::uint8_t* binary, std::int16_t* map, int width, int height)
{
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (std::size_t i = 0; i < count; ++i)
        map[i] = binary[i] != 0 ? std::int16_t(0) : kChamferFar;
    sweepForwardThrough<Shrink>(map, width, height);
    sweepBackwardThrough<Shrink>(map, width, height);
}

} // namespace

std::shared_ptr<Image2D> distanceTransform(const Image2D& binary)
{
    if (!binary.isValid())
        return warnInvalidKey(kDistanceTransform, Algorithm::INPUT_IMAGE), nullptr;
    if (!requireDataType(binary, Image2D::BINARY, kDistanceTransform, Algorithm::INPUT_IMAGE))
        return nullptr;
    auto map = newImageLike(binary, Image2D::SHORT);
    if (!map)
        return nullptr;
    const std::uint8_t* in = binary.getConstData<std::uint8_t>();
    std::int16_t* out = map->getData<std::int16_t>();
    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
        computeDistances(in, out, binary.getWidth(), binary.getHeight());
    });
    return map;
}

// The composite: the distance map of the limit, deepened, masked by the zone (the masking
// step warns about a zone of another size), then spread in place.
std::shared_ptr<Image2D> growChamfer(const Image2D& limit, const Image2D& zone, int penetrationDepth)
{
    for (auto [image, key] : {std::pair{&limit, &GrowChamfer::LIMIT_IMAGE}, {&zone, &GrowChamfer::ZONE_IMAGE}})
        if (!image->isValid() || image->getDataType() != Image2D::BINARY)
            return warning("image2d::GrowChamfer : invalid image for input: ", *key), nullptr;
    const std::shared_ptr<Image2D> distances = distanceTransform(limit);
    if (!distances)
        return nullptr;
    std::int16_t* values = distances->getData<std::int16_t>();
    const auto depth = static_cast<std::uint32_t>(penetrationDepth);
    for (std::size_t i = 0, count = distances->getNumPixels(); i < count; ++i)
        values[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(values[i] + depth));
    std::shared_ptr<Image2D> grown = mask(*distances, zone, 0.0);
    if (!grown)
        return nullptr;
    std::int16_t* out = grown->getData<std::int16_t>();
    const int width = grown->getWidth(), height = grown->getHeight();
    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
        sweepForwardThrough<Spread>(out, width, height);
        sweepBackwardThrough<Spread>(out, width, height);
    });
    return grown;
}

// ---- DistanceTransform ---------------------------------------------------------------------

std::shared_ptr<Image2D> DistanceTransform::executeDistanceTransform(Image2D* input)
{
    DistanceTransform algorithm;
    if (input)
        algorithm.setInput(INPUT_IMAGE, input);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool DistanceTransform::isInputValid() const
{
    return requireInputImage(kDistanceTransform, INPUT_IMAGE) &&
           (requireDataType(*getSharedInput(INPUT_IMAGE), Image2D::BINARY, kDistanceTransform, INPUT_IMAGE) ||
            fail(FailureReason::UnsupportedType, INPUT_IMAGE));
}

bool DistanceTransform::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, distanceTransform(*input), *input, PixelTypes<Image2D::BINARY>{});
}

// ---- GrowChamfer ---------------------------------------------------------------------------

const QString GrowChamfer::LIMIT_IMAGE = QStringLiteral("limitImage");
const QString GrowChamfer::ZONE_IMAGE = QStringLiteral("zoneImage");
const QString GrowChamfer::PENETRATION_DEPTH = QStringLiteral("penetrationDepth");
const Parameter<int> GrowChamfer::PENETRATION_DEPTH_PARAMETER{
    &PENETRATION_DEPTH, 0, Lenient{}, "added to the limit's distance map before it spreads, in chamfer units"};

const ParameterList& GrowChamfer::parameters()
{
    static const ParameterList list{&PENETRATION_DEPTH_PARAMETER};
    return list;
}

GrowChamfer::GrowChamfer()
{
    setUniformValue(PENETRATION_DEPTH, 0);
}

std::shared_ptr<Image2D> GrowChamfer::executeGrowChamfer(Image2D* limitImage, Image2D* zoneImage, int penetrationDepth)
{
    GrowChamfer algorithm;
    if (limitImage)
        algorithm.setInput(LIMIT_IMAGE, limitImage);
    if (zoneImage)
        algorithm.setInput(ZONE_IMAGE, zoneImage);
    algorithm.setUniformValue(PENETRATION_DEPTH, penetrationDepth);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool GrowChamfer::isInputValid() const
{
    for (const QString* key : {&LIMIT_IMAGE, &ZONE_IMAGE})
    {
        const std::shared_ptr<Image2D> image = getSharedInput(*key);
        if (!image || !image->isValid() || image->getDataType() != Image2D::BINARY)
        {
            warning("image2d::GrowChamfer : invalid image for input: ", *key);
            return fail(!image ? FailureReason::Missing
                               : (!image->isValid() ? FailureReason::Invalid : FailureReason::UnsupportedType),
                        *key);
        }
    }
    return true;
}

bool GrowChamfer::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> limit = getSharedInput(LIMIT_IMAGE);
    return publish(OUTPUT_IMAGE, growChamfer(*limit, *getSharedInput(ZONE_IMAGE), PENETRATION_DEPTH_PARAMETER(*this)),
                   *limit, PixelTypes<Image2D::BINARY>{});
}

} // namespace image2d
