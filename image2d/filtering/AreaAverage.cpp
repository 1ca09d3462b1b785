#include "image2d/filtering/LocalStatistics.h"

#include "image2d/framework/Parallel.h"
#include "image2d/framework/Simd.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

namespace image2d {

namespace {

// Running window sums over columns [x0, x1) of N rows at once (independent sums, so the
// additions overlap); the window is clipped at the ends of the row. Row n of the group
// starts at in + n * width, its sums at out + n * outStride.
template <typename T, typename Sum, int N>
void rowWindowSums(const T* in, int width, int radius, int x0, int x1, Sum* out, std::size_t outStride)
{
    Sum sum[N] = {};
    // The window of x0 without its entering pixel, plus the pixel that leaves at x0.
    for (int x = std::max(0, x0 - radius - 1); x <= std::min(width - 1, x0 + radius - 1); ++x)
        for (int n = 0; n < N; ++n)
            sum[n] += static_cast<Sum>(in[pixelIndex(x, n, width)]);
    for (int x = x0; x < x1; ++x)
    {
        const int entering = x + radius, leaving = x - radius - 1;
        if (entering < width)
            for (int n = 0; n < N; ++n)
                sum[n] += static_cast<Sum>(in[pixelIndex(entering, n, width)]);
        if (leaving >= 0)
            for (int n = 0; n < N; ++n)
                sum[n] -= static_cast<Sum>(in[pixelIndex(leaving, n, width)]);
        for (int n = 0; n < N; ++n)
            out[n * outStride + (x - x0)] = sum[n];
    }
}

template <typename Sum>
struct ColumnMeanJob
{
    const Sum* sums;    // row sums of the strip, column firstColumn first
    std::size_t stride; // between rows of `sums`
    const double* columnCounts;
    int width;
    int height;
    int radius;
};

template <typename T, typename Sum>
IMAGE2D_INLINE_LOOP void columnMeans(const ColumnMeanJob<Sum>& job, T* out, int firstColumn, int columns)
{
    double* sum = threadScratch<double, struct ColumnSumsTag>(static_cast<std::size_t>(columns));
    const int width = job.width, height = job.height, radius = job.radius;
    const double* counts = job.columnCounts + firstColumn;
    std::fill(sum, sum + columns, 0.0);
    for (int y = 0; y < radius; ++y)
    {
        const Sum* row = job.sums + static_cast<std::size_t>(y) * job.stride;
        for (int c = 0; c < columns; ++c)
            sum[c] += static_cast<double>(row[c]);
    }
    for (int y = 0; y < height; ++y)
    {
        if (y + radius < height)
        {
            const Sum* row = job.sums + static_cast<std::size_t>(y + radius) * job.stride;
            for (int c = 0; c < columns; ++c)
                sum[c] += static_cast<double>(row[c]);
        }
        if (y - radius - 1 >= 0)
        {
            const Sum* row = job.sums + static_cast<std::size_t>(y - radius - 1) * job.stride;
            for (int c = 0; c < columns; ++c)
                sum[c] -= static_cast<double>(row[c]);
        }
        const double rowCount = std::min(height - 1, y + radius) - std::max(0, y - radius) + 1;
        T* target = out + pixelIndex(firstColumn, y, width);
        for (int c = 0; c < columns; ++c)
            target[c] = store::roundHalfAway<T>(sum[c] / (counts[c] * rowCount));
    }
}

// Unsigned pixels in small windows: the window sums stay below 2^24 as 32-bit integers,
// and the mean rounded half away from zero, floor((2 sum + d) / 2d) for the window's d
// pixels, comes from a float reciprocal (exact operands below 2^24, so within one of the
// quotient) corrected by the exact remainder. That is the rounded exact quotient, which is
// also what rounding the double quotient gives: a double lies far closer to sum / d than
// the 1 / 2d by which sum / d misses a half.
template <typename T>
IMAGE2D_INLINE_LOOP void columnMeansExact(const ColumnMeanJob<std::int32_t>& job, const std::int32_t* columnCounts,
                                          T* out, int firstColumn, int columns)
{
    typedef std::int32_t Ints __attribute__((vector_size(32)));
    typedef float Floats __attribute__((vector_size(32)));
    constexpr int kLanes = static_cast<int>(sizeof(Ints) / sizeof(std::int32_t));
    std::int32_t* sum = threadScratch<std::int32_t, struct ColumnIntSumsTag>(2 * static_cast<std::size_t>(columns));
    std::int32_t* divisor = sum + columns; // 2d of each column's window
    float* inverse = threadScratch<float, struct ColumnInverseTag>(static_cast<std::size_t>(columns));
    const int width = job.width, height = job.height, radius = job.radius;
    const std::int32_t* counts = columnCounts + firstColumn;
    std::fill(sum, sum + columns, 0);
    auto addRow = [&](int y, bool subtract) IMAGE2D_INLINE_LAMBDA {
        const std::int32_t* row = job.sums + static_cast<std::size_t>(y) * job.stride;
        if (subtract)
            for (int c = 0; c < columns; ++c)
                sum[c] -= row[c];
        else
            for (int c = 0; c < columns; ++c)
                sum[c] += row[c];
    };
    for (int y = 0; y < radius; ++y)
        addRow(y, false);
    int lastRowCount = 0;
    for (int y = 0; y < height; ++y)
    {
        if (y + radius < height)
            addRow(y + radius, false);
        if (y - radius - 1 >= 0)
            addRow(y - radius - 1, true);
        const int rowCount = std::min(height - 1, y + radius) - std::max(0, y - radius) + 1;
        if (rowCount != lastRowCount)
        {
            lastRowCount = rowCount;
            for (int c = 0; c < columns; ++c)
            {
                divisor[c] = 2 * counts[c] * rowCount;
                inverse[c] = 1.0f / static_cast<float>(divisor[c]);
            }
        }
        T* target = out + pixelIndex(firstColumn, y, width);
        int c = 0;
        for (; c + kLanes <= columns; c += kLanes)
        {
            Ints s, d;
            Floats inv;
            std::memcpy(&s, sum + c, sizeof(Ints));
            std::memcpy(&d, divisor + c, sizeof(Ints));
            std::memcpy(&inv, inverse + c, sizeof(Floats));
            const Ints n = 2 * s + (d >> 1);
            Ints q = __builtin_convertvector(__builtin_convertvector(n, Floats) * inv, Ints);
            const Ints r = n - q * d;
            q += (r >= d) & 1;
            q -= (r < 0) & 1;
            for (int l = 0; l < kLanes; ++l)
                target[c + l] = static_cast<T>(q[l]);
        }
        for (; c < columns; ++c)
        {
            const std::int32_t n = 2 * sum[c] + divisor[c] / 2;
            std::int32_t q = static_cast<std::int32_t>(static_cast<float>(n) * inverse[c]);
            const std::int32_t r = n - q * divisor[c];
            q += (r >= divisor[c]) - (r < 0);
            target[c] = static_cast<T>(q);
        }
    }
}

int fittedRadius(int radius, int length)
{
    return 2LL * radius + 1 > length ? (length - 1) / 2 : radius;
}

// Window means as (window sum) / (row count * column count): the row sums are kept as
// sums, so integer images get the exactly rounded mean rather than a mean of means.
// The image is cut into strips of whole columns, in parallel; each strip runs its row
// pass into a thread-local buffer and then its column pass. A strip's buffer stays in
// the cache, where a whole-image buffer of doubles (24 to 34 MB) would cost its memory
// traffic and, above the allocator's reuse limit, fresh pages on every call.
// Row sums of 8- and 16-bit pixels are exact in 32-bit integers; the column sums are
// doubles, exact for integers.
template <typename T, typename Sum, typename U = T>
bool windowMeans(const Image2D& input, Image2D& output, int rx, int ry)
{
    const int width = input.getWidth(), height = input.getHeight();
    const T* in = input.getConstData<T>();
    U* out = output.getData<U>();
    std::vector<double> columnCounts(static_cast<std::size_t>(width));
    std::vector<std::int32_t> intCounts(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
    {
        intCounts[x] = std::min(width - 1, x + rx) - std::max(0, x - rx) + 1;
        columnCounts[x] = intCounts[x];
    }
    // 2 sum + d below 2^24 for every window (see columnMeansExact).
    const double largestWindow = (2.0 * rx + 1) * (2.0 * ry + 1);
    const bool exact = std::is_unsigned_v<T> &&
                       largestWindow * (2.0 * static_cast<double>(std::numeric_limits<T>::max()) + 1) < 16777216.0;
    constexpr int kStrip = 128; // columns per strip
    const int strips = (width + kStrip - 1) / kStrip;
    parallelFor(0, strips, [&](int first, int last) {
        for (int b = first; b < last; ++b)
        {
            const int firstColumn = b * kStrip, columns = std::min(kStrip, width - firstColumn);
            Sum* sums = threadScratch<Sum, struct RowSumsTag>(static_cast<std::size_t>(height) * columns);
            int y = 0;
            for (; y + 4 <= height; y += 4)
                rowWindowSums<T, Sum, 4>(in + pixelIndex(0, y, width), width, rx, firstColumn, firstColumn + columns,
                                         sums + static_cast<std::size_t>(y) * columns, columns);
            for (; y < height; ++y)
                rowWindowSums<T, Sum, 1>(in + pixelIndex(0, y, width), width, rx, firstColumn, firstColumn + columns,
                                         sums + static_cast<std::size_t>(y) * columns, columns);
            const ColumnMeanJob<Sum> job{sums, static_cast<std::size_t>(columns), columnCounts.data(), width, height,
                                         ry};
            if constexpr (std::is_same_v<Sum, std::int32_t> && std::is_unsigned_v<T> && std::is_same_v<T, U>)
                if (exact)
                {
                    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                        columnMeansExact<T>(job, intCounts.data(), out, firstColumn, columns);
                    });
                    continue;
                }
            simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA { columnMeans<U, Sum>(job, out, firstColumn, columns); });
        }
    });
    return true;
}

// The means of an integer image as floats, as the same sums of a FLOAT copy give them: the
// sums are whole numbers, exact in the copy's double sums and in 32-bit integers alike, and
// the quotient is taken in double either way.
template <typename T>
bool windowMeansAsFloat(const Image2D& input, Image2D& output, int radius)
{
    const int rx = fittedRadius(radius, input.getWidth()), ry = fittedRadius(radius, input.getHeight());
    if constexpr (std::is_integral_v<T> && sizeof(T) <= 2)
        if (2 * rx + 1 <= 32767)
            return windowMeans<T, std::int32_t, float>(input, output, rx, ry);
    return windowMeans<T, double, float>(input, output, rx, ry);
}

template <typename T>
bool windowMeans(const Image2D& input, Image2D& output, int radius)
{
    const int rx = fittedRadius(radius, input.getWidth()), ry = fittedRadius(radius, input.getHeight());
    if constexpr (std::is_integral_v<T> && sizeof(T) <= 2)
        if (2 * rx + 1 <= 32767)
            return windowMeans<T, std::int32_t>(input, output, rx, ry);
    return windowMeans<T, double>(input, output, rx, ry);
}


} // namespace

namespace {

// Window means in the input's type or, asFloat, as a FLOAT image.
std::shared_ptr<Image2D> meanImage(const Image2D& image, int radius, bool asFloat)
{
    constexpr const char* owner = "image2d::AreaAverage";
    if (!image.isValid())
        return warnInvalidKey(owner, Algorithm::INPUT_IMAGE), nullptr;
    if (radius < 0)
        return warnInvalidKey(owner, AreaAverage::KERNEL_RADIUS), nullptr;
    return dispatchDataType(LocalStatisticsTypes{}, image.getDataType(),
                            "image2d::AreaAverage : average algorithm not supported for data type: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                auto output = newUnfilledImageLike(image, asFloat ? Image2D::FLOAT : image.getDataType());
                                if (!output)
                                    return nullptr;
                                if (asFloat)
                                    windowMeansAsFloat<T>(image, *output, radius);
                                else
                                    windowMeans<T>(image, *output, radius);
                                return output;
                            });
}

} // namespace

std::shared_ptr<Image2D> areaAverage(const Image2D& image, int radius)
{
    return meanImage(image, radius, false);
}

std::shared_ptr<Image2D> areaAverageAsFloat(const Image2D& image, int radius)
{
    return meanImage(image, radius, true);
}

const QString AreaAverage::KERNEL_RADIUS = QStringLiteral("radius");
const Parameter<int> AreaAverage::RADIUS_PARAMETER{&KERNEL_RADIUS, Bounds::atLeast(0),
                                                   "window radius in pixels; the window is 2r + 1 wide"};

const ParameterList& AreaAverage::parameters()
{
    static const ParameterList list{&RADIUS_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> AreaAverage::executeAreaAverage(const Image2D* image, int radius)
{
    AreaAverage algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_RADIUS, radius);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool AreaAverage::isInputValid() const
{
    constexpr const char* owner = "image2d::AreaAverage";
    return requireInputImage(owner, INPUT_IMAGE) && RADIUS_PARAMETER.validate(*this, owner);
}

bool AreaAverage::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, areaAverage(*input, RADIUS_PARAMETER(*this)), *input, LocalStatisticsTypes{});
}

} // namespace image2d
