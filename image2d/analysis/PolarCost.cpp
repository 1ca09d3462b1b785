#include "image2d/analysis/ToothSegmentation.h"

#include "image2d/framework/Log.h"
#include "image2d/framework/Simd.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

namespace image2d {

const QString ToPolarCost::THRESHOLD = QStringLiteral("threshold");
const QString ToPolarCost::UNDERTHRESHOLD_VALUE = QStringLiteral("max");
const QString ToPolarCost::ABOVETHRESHOLD_VALUE = QStringLiteral("min");
const QString ToPolarCost::ORIGIN_X = QStringLiteral("originX");
const QString ToPolarCost::ORIGIN_Y = QStringLiteral("originY");

namespace {

constexpr const char* kToPolarCost = "image2d::ToPolarCost";
constexpr const char* kCheapestPath = "image2d::CheapestPath";
constexpr const char* kMaskFromCheapestPath = "image2d::MaskFromCheapestPath";

// The angle factor is a float constant and every step is float: in double, a pixel straight
// left of the origin would land at 269.99999 degrees, in column 269 instead of 270.
constexpr float kDegreesPerRadian = 57.29578f;

// Cost of jumping 0, 1, 2 or 3 rows from one column of the polar image to the next.
constexpr std::int32_t kJumpPenalty[4] = {0, 1, 3, 7};
constexpr int kMaxJump = 3;

// 32-bit sums wrap instead of overflowing.
IMAGE2D_INLINE_LOOP std::int32_t wrapAdd(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

inline float polarRadius(std::int64_t dx, std::int64_t dy)
{
    return std::sqrt(static_cast<float>(dx * dx + dy * dy));
}

// Cell index of an offset whose radius is not 0. A cosine that rounds past 1 is clamped (acos
// would give NaN); an angle that rounds up to 360 lands in column 0 of the next row, as the
// index formula says.
inline std::int64_t polarCell(int dx, int dy, float radius)
{
    const float cosine = std::clamp(static_cast<float>(dy) / radius, -1.0f, 1.0f);
    float angle = std::acos(cosine) * kDegreesPerRadian;
    if (dx < 0)
        angle = 360.0f - angle;
    return static_cast<std::int64_t>(radius) * kPolarAngles + static_cast<std::int64_t>(angle);
}

bool originInside(const Image2D& image, float originX, float originY)
{
    if (!(originX >= 0.0f && originX <= static_cast<float>(image.getWidth())))
        return warnInvalidKey(kToPolarCost, ToPolarCost::ORIGIN_X), false;
    if (!(originY >= 0.0f && originY <= static_cast<float>(image.getHeight())))
        return warnInvalidKey(kToPolarCost, ToPolarCost::ORIGIN_Y), false;
    return true;
}

// Whether a pixel value is at or above the threshold, in the pixel type: integer types compare
// with the threshold truncated toward zero; one beyond the type's range decides every pixel.
template <typename T>
struct AtLeast
{
    explicit AtLeast(float threshold)
    {
        if constexpr (std::is_floating_point_v<T>)
            limit = threshold;
        else
        {
            const double truncated = std::trunc(static_cast<double>(threshold));
            if (truncated < static_cast<double>(std::numeric_limits<T>::lowest()))
                all = true;
            else if (truncated > static_cast<double>(std::numeric_limits<T>::max()))
                none = true;
            else
                limit = static_cast<T>(truncated);
        }
    }
    bool operator()(T value) const { return all || (!none && value >= limit); }

    T limit{};
    bool all = false;
    bool none = false;
};

// Scatters every pixel at or above the threshold into its polar cell. Only those pixels pay
// for the square root and the arc cosine.
template <typename T>
void scatterEdges(const Image2D& image, float threshold, float originX, float originY, std::uint8_t aboveValue,
                  Image2D& polar)
{
    const AtLeast<T> atLeast(threshold);
    const int width = image.getWidth(), height = image.getHeight();
    const T* in = image.getConstData<T>();
    std::uint8_t* cells = polar.getData<std::uint8_t>();
    const std::int64_t cellCount = static_cast<std::int64_t>(polar.getNumPixels());
    for (int y = 0; y < height; ++y)
    {
        const T* row = in + pixelIndex(0, y, width);
        const int dy = static_cast<int>(static_cast<float>(y) - originY);
        for (int x = 0; x < width; ++x)
        {
            if (!atLeast(row[x]))
                continue;
            if (static_cast<float>(x) == originX && static_cast<float>(y) == originY)
                continue;
            const int dx = static_cast<int>(static_cast<float>(x) - originX);
            const float radius = polarRadius(dx, dy);
            // A fractional origin gives the pixels next to it a truncated offset of (0, 0),
            // which has no angle.
            if (radius == 0.0f)
                continue;
            const std::int64_t cell = polarCell(dx, dy, radius);
            if (cell >= 0 && cell < cellCount)
                cells[cell] = aboveValue;
        }
    }
}

// The cheapest predecessor of every row of one column, plus the row's own cost. Rows at least
// kMaxJump from both ends take all seven candidates without bounds checks, so that loop
// vectorises.
IMAGE2D_INLINE_LOOP void relaxColumn(const std::int32_t* previous, const std::int32_t* costs, std::int32_t* current,
                                     int height)
{
    const auto general = [&](int y) {
        std::int32_t best = previous[y];
        for (int q = std::max(0, y - kMaxJump); q <= std::min(height - 1, y + kMaxJump); ++q)
            best = std::min(best, wrapAdd(previous[q], kJumpPenalty[q > y ? q - y : y - q]));
        current[y] = wrapAdd(costs[y], best);
    };
    const int interiorEnd = std::max(kMaxJump, height - kMaxJump);
    for (int y = 0; y < std::min(kMaxJump, height); ++y)
        general(y);
    for (int y = kMaxJump; y < interiorEnd; ++y)
    {
        std::int32_t best = previous[y];
        for (int d = 1; d <= kMaxJump; ++d)
            best = std::min(best, std::min(wrapAdd(previous[y - d], kJumpPenalty[d]), wrapAdd(previous[y + d], kJumpPenalty[d])));
        current[y] = wrapAdd(costs[y], best);
    }
    for (int y = std::max(interiorEnd, std::min(kMaxJump, height)); y < height; ++y)
        general(y);
}

// The column-by-column recurrence on contiguous copies of the columns: each input column is
// gathered once, relaxed against the previous column and scattered into the result.
template <typename T>
void accumulateCosts(const T* in, std::int32_t* out, int width, int height)
{
    std::vector<std::int32_t> previous(static_cast<std::size_t>(height)), current(previous.size()), costs(previous.size());
    for (int x = 0; x < width; ++x)
    {
        for (int y = 0; y < height; ++y)
            costs[y] = static_cast<std::int32_t>(in[pixelIndex(x, y, width)]);
        if (x == 0)
            current = costs;
        else
            simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                relaxColumn(previous.data(), costs.data(), current.data(), height);
            });
        for (int y = 0; y < height; ++y)
            out[pixelIndex(x, y, width)] = current[y];
        previous.swap(current);
    }
}

// Per polar row, the value every pixel whose radius falls in that row receives whatever its
// angle: the row's value when all its cells agree and so does the cell an angle of 360 would
// spill into (column 0 of the next row, or nothing past the last row); -1 when mixed.
std::vector<int> uniformRowValues(const Image2D& polar)
{
    const int rows = polar.getHeight();
    const std::uint8_t* cells = polar.getConstData<std::uint8_t>();
    std::vector<int> values(static_cast<std::size_t>(rows), -1);
    for (int r = 0; r < rows; ++r)
    {
        const std::uint8_t* row = cells + pixelIndex(0, r, kPolarAngles);
        const int value = row[0];
        if (!std::all_of(row, row + kPolarAngles, [value](std::uint8_t v) { return v == value; }))
            continue;
        const int spill = r + 1 < rows ? row[kPolarAngles] : 0;
        if (spill == value)
            values[r] = value;
    }
    return values;
}

} // namespace

// ---- Core functions -------------------------------------------------------------------------

std::shared_ptr<Image2D> toPolarCost(const Image2D& image, float threshold, unsigned char underThresholdValue,
                                     unsigned char aboveThresholdValue, float originX, float originY)
{
    if (!image.isValid())
        return warnInvalidKey(kToPolarCost, Algorithm::INPUT_IMAGE), nullptr;
    if (!ToPolarCost::THRESHOLD_PARAMETER.accepts(threshold, kToPolarCost) || !originInside(image, originX, originY))
        return nullptr;
    const float farX = std::max(originX, static_cast<float>(image.getWidth()) - originX);
    const float farY = std::max(originY, static_cast<float>(image.getHeight()) - originY);
    const int rows = static_cast<int>(std::sqrt(farX * farX + farY * farY));
    // Only an image of a pixel or less around its origin reaches no full radius.
    if (rows < 1)
        return warnInvalidKey(kToPolarCost, Algorithm::INPUT_IMAGE), nullptr;
    return dispatchDataType(
        AllPixelTypes{}, image.getDataType(),
        "image2d::ToPolarCost : to polar coords algorithm not supported for data T: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            auto polar = std::make_shared<Image2D>(kPolarAngles, rows, Image2D::UNSIGNED_CHAR, image.getPixelSize());
            if (!polar->isValid())
                return nullptr;
            std::fill_n(polar->getData<std::uint8_t>(), polar->getNumPixels(), underThresholdValue);
            scatterEdges<typename decltype(tag)::type>(image, threshold, originX, originY, aboveThresholdValue,
                                                        *polar);
            return polar;
        });
}

std::shared_ptr<Image2D> toPolarCost(const Image2D& image, float threshold, unsigned char underThresholdValue,
                                     unsigned char aboveThresholdValue)
{
    return toPolarCost(image, threshold, underThresholdValue, aboveThresholdValue,
                       static_cast<float>(image.getWidth() / 2), static_cast<float>(image.getHeight() / 2));
}

std::shared_ptr<Image2D> cheapestPath(const Image2D& costs)
{
    if (!costs.isValid())
        return warnInvalidKey(kCheapestPath, Algorithm::INPUT_IMAGE), nullptr;
    return dispatchDataType(CheapestPathTypes{}, costs.getDataType(),
                            "image2d::CheapestPathTemplate : cheapest path algorithm not supported for data type: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                auto cumulative = newImageLike(costs, Image2D::INT);
                                if (!cumulative)
                                    return nullptr;
                                accumulateCosts(costs.getConstData<typename decltype(tag)::type>(),
                                                cumulative->getData<std::int32_t>(), costs.getWidth(),
                                                costs.getHeight());
                                return cumulative;
                            });
}

std::shared_ptr<Image2D> maskFromCheapestPath(const Image2D& cumulativeCosts)
{
    if (!cumulativeCosts.isValid())
        return warnInvalidKey(kMaskFromCheapestPath, Algorithm::INPUT_IMAGE), nullptr;
    return dispatchDataType(
        PixelTypes<Image2D::INT>{}, cumulativeCosts.getDataType(),
        "image2d::MaskFromCheapestPath : mask from cheapest path algorithm not supported for data type: ",
        [&](auto) -> std::shared_ptr<Image2D> {
            auto mask = newImageLike(cumulativeCosts, Image2D::BINARY);
            if (!mask)
                return nullptr;
            const int width = cumulativeCosts.getWidth(), height = cumulativeCosts.getHeight();
            const std::int32_t* c = cumulativeCosts.getConstData<std::int32_t>();
            std::uint8_t* out = mask->getData<std::uint8_t>();
            std::fill_n(out, mask->getNumPixels(), std::uint8_t(1));
            // The path ends at the smallest cost of the last column, the lowest row among equals.
            int p = 0;
            for (int y = 1; y < height; ++y)
                if (c[pixelIndex(width - 1, y, width)] < c[pixelIndex(width - 1, p, width)])
                    p = y;
            for (int x = width - 1;; --x)
            {
                for (int y = 0; y < p; ++y)
                    out[pixelIndex(x, y, width)] = 0;
                if (x == 0)
                    break;
                const int from = p;
                std::int32_t best = 0;
                for (int q = std::max(0, from - kMaxJump); q <= std::min(height - 1, from + kMaxJump); ++q)
                {
                    const std::int32_t cost =
                        wrapAdd(c[pixelIndex(x - 1, q, width)], kJumpPenalty[q > from ? q - from : from - q]);
                    if (q == std::max(0, from - kMaxJump) || cost < best)
                    {
                        best = cost;
                        p = q;
                    }
                }
            }
            return mask;
        });
}

std::shared_ptr<Image2D> cartesianMaskFromPolarMask(const Image2D& polar, int originX, int originY, int width,
                                                    int height, const std::atomic<bool>& cancel)
{
    constexpr const char* kOwner = "image2d::ToothSegmentation";
    if (!polar.isValid() || polar.getWidth() != kPolarAngles || polar.getDataTypeSize() != 1)
        return warnInvalidKey(kOwner, Algorithm::INPUT_IMAGE), nullptr;
    if (width < 1 || height < 1)
        return warnInvalidKey(kOwner, Algorithm::INPUT_IMAGE), nullptr;
    auto mask = std::make_shared<Image2D>(width, height, Image2D::BINARY, polar.getPixelSize());
    if (!mask->isValid())
        return nullptr;
    const std::vector<int> uniform = uniformRowValues(polar);
    const std::uint8_t* cells = polar.getConstData<std::uint8_t>();
    const int rows = polar.getHeight();
    const std::int64_t cellCount = static_cast<std::int64_t>(polar.getNumPixels());
    std::uint8_t* out = mask->getData<std::uint8_t>();
    for (int x = 0; x < width; ++x)
    {
        if (cancel.load(std::memory_order_relaxed))
            break;
        const int dx = x - originX;
        for (int y = 0; y < height; ++y)
        {
            const int dy = y - originY;
            if (dx == 0 && dy == 0)
                continue;
            const float radius = polarRadius(dx, dy);
            const std::int64_t row = static_cast<std::int64_t>(radius);
            if (row >= rows)
                continue; // every cell of this radius lies past the polar image
            std::uint8_t value = 0;
            if (uniform[row] >= 0)
                value = static_cast<std::uint8_t>(uniform[row]);
            else
            {
                const std::int64_t cell = polarCell(dx, dy, radius);
                value = cell < cellCount ? cells[cell] : 0;
            }
            out[pixelIndex(x, y, width)] = value;
        }
    }
    return mask;
}

// ---- ToPolarCost --------------------------------------------------------------------------

const Parameter<float> ToPolarCost::THRESHOLD_PARAMETER{
    &THRESHOLD, Bounds::any(), "pixels at or above it are edges (truncated toward zero for integer types)"};
const Parameter<unsigned int> ToPolarCost::UNDERTHRESHOLD_PARAMETER{
    &UNDERTHRESHOLD_VALUE, Bounds::between(0, 255), "cost of a cell that no edge pixel hits"};
const Parameter<unsigned int> ToPolarCost::ABOVETHRESHOLD_PARAMETER{
    &ABOVETHRESHOLD_VALUE, Bounds::any(), "cost of a cell that an edge pixel hits; its low byte is used"};
const Parameter<float> ToPolarCost::ORIGIN_X_PARAMETER{&ORIGIN_X, std::numeric_limits<float>::quiet_NaN(),
                                                       Bounds::atLeast(0),
                                                       "x of the origin, at most the width; default width / 2"};
const Parameter<float> ToPolarCost::ORIGIN_Y_PARAMETER{&ORIGIN_Y, std::numeric_limits<float>::quiet_NaN(),
                                                       Bounds::atLeast(0),
                                                       "y of the origin, at most the height; default height / 2"};

const ParameterList& ToPolarCost::parameters()
{
    static const ParameterList list{&THRESHOLD_PARAMETER, &UNDERTHRESHOLD_PARAMETER, &ABOVETHRESHOLD_PARAMETER,
                                    &ORIGIN_X_PARAMETER, &ORIGIN_Y_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> ToPolarCost::executeToPolarCost(std::shared_ptr<Image2D> input, float threshold,
                                                         unsigned char underThresholdValue,
                                                         unsigned char aboveThresholdValue,
                                                         utility::Optional<float> originX,
                                                         utility::Optional<float> originY)
{
    ToPolarCost algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(input));
    algorithm.setUniformValue(THRESHOLD, threshold);
    algorithm.setUniformValue(UNDERTHRESHOLD_VALUE, static_cast<unsigned int>(underThresholdValue));
    algorithm.setUniformValue(ABOVETHRESHOLD_VALUE, static_cast<unsigned int>(aboveThresholdValue));
    if (originX)
        algorithm.setUniformValue(ORIGIN_X, *originX);
    if (originY)
        algorithm.setUniformValue(ORIGIN_Y, *originY);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool ToPolarCost::isInputValid() const
{
    if (!requireInputImage(kToPolarCost, INPUT_IMAGE))
        return false;
    if (!THRESHOLD_PARAMETER.validate(*this, kToPolarCost) || !UNDERTHRESHOLD_PARAMETER.validate(*this, kToPolarCost) ||
        !ABOVETHRESHOLD_PARAMETER.validate(*this, kToPolarCost))
        return false;
    // Each origin coordinate is checked whole (conversion, sign, then the image side) in turn.
    const Image2D& input = *getSharedInput(INPUT_IMAGE);
    const std::pair<const Parameter<float>*, int> origin[] = {{&ORIGIN_X_PARAMETER, input.getWidth()},
                                                              {&ORIGIN_Y_PARAMETER, input.getHeight()}};
    for (const auto& [parameter, side] : origin)
    {
        if (!parameter->validate(*this, kToPolarCost))
            return false;
        if (parameter->get(*this).value_or(0.0f) > static_cast<float>(side))
            return warnInvalidKey(kToPolarCost, parameter->key()), fail(FailureReason::OutOfRange, parameter->key());
    }
    return true;
}

bool ToPolarCost::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const float originX = ORIGIN_X_PARAMETER.get(*this).value_or(static_cast<float>(input->getWidth() / 2));
    const float originY = ORIGIN_Y_PARAMETER.get(*this).value_or(static_cast<float>(input->getHeight() / 2));
    return publish(OUTPUT_IMAGE,
                   toPolarCost(*input, THRESHOLD_PARAMETER(*this),
                               static_cast<unsigned char>(UNDERTHRESHOLD_PARAMETER(*this)),
                               static_cast<unsigned char>(ABOVETHRESHOLD_PARAMETER(*this)), originX, originY),
                   *input, AllPixelTypes{});
}

// ---- CheapestPath -------------------------------------------------------------------------

const ParameterList& CheapestPath::parameters()
{
    static const ParameterList list;
    return list;
}

std::shared_ptr<Image2D> CheapestPath::executeCheapestPath(std::shared_ptr<Image2D> costs)
{
    CheapestPath algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(costs));
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool CheapestPath::isInputValid() const
{
    return requireInputImage(kCheapestPath, INPUT_IMAGE);
}

bool CheapestPath::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, cheapestPath(*input), *input, CheapestPathTypes{});
}

// ---- MaskFromCheapestPath -------------------------------------------------------------------

const ParameterList& MaskFromCheapestPath::parameters()
{
    static const ParameterList list;
    return list;
}

std::shared_ptr<Image2D> MaskFromCheapestPath::executeMaskFromCheapestPath(std::shared_ptr<Image2D> cumulativeCosts)
{
    MaskFromCheapestPath algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(cumulativeCosts));
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool MaskFromCheapestPath::isInputValid() const
{
    return requireInputImage(kMaskFromCheapestPath, INPUT_IMAGE);
}

bool MaskFromCheapestPath::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, maskFromCheapestPath(*input), *input, PixelTypes<Image2D::INT>{});
}

} // namespace image2d
