#include "image2d/filtering/Convolution.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Parallel.h"
#include "image2d/framework/PixelStore.h"
#include "image2d/framework/Simd.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace image2d {

namespace {

constexpr int kTile = 32;

// out[x + i] = sum over taps t, in tap order, of src[t][x + i] * weights[t], i < kTile.
// The four accumulators stay in registers over all taps.
IMAGE2D_INLINE_LOOP void weightedTile(const float* const* src, const float* weights, int taps, int x, float* out)
{
    typedef float Vector __attribute__((vector_size(32)));
    Vector a0 = {}, a1 = {}, a2 = {}, a3 = {};
    for (int t = 0; t < taps; ++t)
    {
        const float* s = src[t] + x;
        const float w = weights[t];
        Vector v0, v1, v2, v3;
        std::memcpy(&v0, s, sizeof(Vector));
        std::memcpy(&v1, s + 8, sizeof(Vector));
        std::memcpy(&v2, s + 16, sizeof(Vector));
        std::memcpy(&v3, s + 24, sizeof(Vector));
        a0 += v0 * w;
        a1 += v1 * w;
        a2 += v2 * w;
        a3 += v3 * w;
    }
    std::memcpy(out, &a0, sizeof(Vector));
    std::memcpy(out + 8, &a1, sizeof(Vector));
    std::memcpy(out + 16, &a2, sizeof(Vector));
    std::memcpy(out + 24, &a3, sizeof(Vector));
}

// A whole line of weighted sums; each pixel starts from 0 and adds its taps in order.
IMAGE2D_INLINE_LOOP void weightedLine(const float* const* src, const float* weights, int taps, int width, float* out)
{
    int x = 0;
    for (; x + kTile <= width; x += kTile)
        weightedTile(src, weights, taps, x, out + x);
    for (; x < width; ++x)
    {
        float sum = 0.0f;
        for (int t = 0; t < taps; ++t)
            sum += src[t][x] * weights[t];
        out[x] = sum;
    }
}

// Converts row `row` to float with `before` copies of its first pixel in front and
// `after` copies of its last pixel behind (edge replication along the row).
template <typename T>
IMAGE2D_INLINE_LOOP void padRow(const T* __restrict row, int width, int before, int after, float* __restrict line)
{
    const float first = static_cast<float>(row[0]);
    const float last = static_cast<float>(row[width - 1]);
    for (int p = 0; p < before; ++p)
        line[p] = first;
    float* middle = line + before;
    for (int x = 0; x < width; ++x)
        middle[x] = static_cast<float>(row[x]);
    float* end = middle + width;
    for (int p = 0; p < after; ++p)
        end[p] = last;
}

template <typename U, bool Binary>
IMAGE2D_INLINE_LOOP void storeRow(const float* __restrict acc, U* __restrict out, int width)
{
    for (int x = 0; x < width; ++x)
    {
        if constexpr (Binary)
            out[x] = static_cast<std::uint8_t>(store::truncateToInt32OrMin(acc[x])) != 0 ? 1 : 0;
        else
            out[x] = store::truncateWrap<U>(acc[x]);
    }
}

// ---- Filter ---------------------------------------------------------------------------

template <typename T>
struct FilterJob
{
    const T* in;
    T* out;
    int width;
    int height;
    const float* weights;
    int size;
    int radius;
};

template <typename T, bool Binary>
IMAGE2D_INLINE_LOOP void filterRows(const FilterJob<T>& job, int first, int last)
{
    const int width = job.width, size = job.size, radius = job.radius;
    const int paddedWidth = width + size - 1;
    float* padded = threadScratch<float, struct PaddedRowsTag>(static_cast<std::size_t>(size) * paddedWidth);
    float* acc = threadScratch<float, struct FilterSumsTag>(static_cast<std::size_t>(width));
    // Source row held in each padded slot; a window covers at most `size` consecutive
    // rows, so row % size never collides within one window.
    std::vector<int> held(static_cast<std::size_t>(size), -1);
    std::vector<const float*> rows(static_cast<std::size_t>(size));
    std::vector<const float*> taps(static_cast<std::size_t>(size) * size);
    for (int y = first; y < last; ++y)
    {
        for (int i = 0; i < size; ++i)
        {
            const int sy = std::clamp(y - radius + i, 0, job.height - 1);
            const int slot = sy % size;
            float* line = padded + static_cast<std::size_t>(slot) * paddedWidth;
            if (held[slot] != sy)
            {
                padRow(job.in + static_cast<std::size_t>(sy) * width, width, radius, size - radius - 1, line);
                held[slot] = sy;
            }
            rows[i] = line;
        }
        // Kernel order: row by row, each from left to right.
        for (int i = 0; i < size; ++i)
            for (int j = 0; j < size; ++j)
                taps[static_cast<std::size_t>(i) * size + j] = rows[i] + j;
        weightedLine(taps.data(), job.weights, size * size, width, acc);
        storeRow<T, Binary>(acc, job.out + static_cast<std::size_t>(y) * width, width);
    }
}

template <typename T, bool Binary>
void runFilter(const FilterJob<T>& job)
{
    parallelFor(0, job.height, [&](int first, int last) {
        simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA { filterRows<T, Binary>(job, first, last); });
    });
}

// ---- SeparableFilter ------------------------------------------------------------------

template <typename T>
IMAGE2D_INLINE_LOOP void rowPass(const T* in, float* temp, int width, const float* weights, int size, int radius,
                                     int first, int last)
{
    // Padded copy of the row: the clamped margins are materialised once, so every
    // output column then takes the direct path.
    float* line = threadScratch<float, struct PaddedLineTag>(static_cast<std::size_t>(width + size - 1));
    std::vector<const float*> taps(static_cast<std::size_t>(size));
    for (int k = 0; k < size; ++k)
        taps[k] = line + k;
    for (int y = first; y < last; ++y)
    {
        padRow(in + static_cast<std::size_t>(y) * width, width, radius, size - radius - 1, line);
        weightedLine(taps.data(), weights, size, width, temp + static_cast<std::size_t>(y) * width);
    }
}

struct ColumnJob
{
    const float* temp;
    int width;
    int height;
    const float* weights;
    int size;
    int radius;
};

template <typename U, bool Clamp>
IMAGE2D_INLINE_LOOP void columnPass(const ColumnJob& job, U* out, int first, int last)
{
    const int width = job.width;
    float* acc = threadScratch<float, struct ColumnSumsTag>(static_cast<std::size_t>(width));
    std::vector<const float*> taps(static_cast<std::size_t>(job.size));
    for (int y = first; y < last; ++y)
    {
        for (int k = 0; k < job.size; ++k)
        {
            int sy = y - job.radius + k;
            if constexpr (Clamp)
                sy = std::clamp(sy, 0, job.height - 1);
            taps[k] = job.temp + static_cast<std::size_t>(sy) * width;
        }
        weightedLine(taps.data(), job.weights, job.size, width, acc);
        storeRow<U, false>(acc, out + static_cast<std::size_t>(y) * width, width);
    }
}

template <typename U, bool Clamp>
void columnRows(const ColumnJob& job, U* out, int first, int last)
{
    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA { columnPass<U, Clamp>(job, out, first, last); });
}

using SeparableTypes = AllPixelTypes;

} // namespace

// ---- Core functions -----------------------------------------------------------------------

std::shared_ptr<Image2D> filter(const Image2D& image, const Kernel& kernel)
{
    if (!image.isValid())
        return warnInvalidKey("image2d::Filter", Algorithm::INPUT_IMAGE), nullptr;
    const Image2D::DataType type = image.getDataType();
    return dispatchDataType(
        AllPixelTypes{}, type,
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            auto output = newUnfilledImageLike(image);
            if (!output)
                return nullptr;
            FilterJob<T> job{image.getConstData<T>(), output->getData<T>(), image.getWidth(), image.getHeight(),
                             kernel.getValues().data(), kernel.getSize(), kernel.getRadius()};
            if (job.size == 0)
                std::fill(job.out, job.out + output->getNumPixels(), T(0));
            else if (type == Image2D::BINARY)
                runFilter<T, true>(job);
            else
                runFilter<T, false>(job);
            return output;
        },
        [&] { warning("image2d::Filter : filter algorithm not supported for data type: ", image.getDataTypeString()); });
}

std::shared_ptr<Image2D> separableFilter(const Image2D& image, const SeparableKernel& kernel,
                                         Image2D::DataType outputType)
{
    const Image2D::DataType inputType = image.getDataType();
    if (!SeparableTypes::contains(inputType))
    {
        warning("image2d::SeparableFilter : SeparableFilter algorithm not supported for data type: ",
                static_cast<int>(inputType));
        return nullptr;
    }
    if (!SeparableTypes::contains(outputType))
    {
        warning("image2d::SeparableFilter : SeparableFilter algorithm not supported for output data type: ",
                static_cast<int>(outputType));
        return nullptr;
    }

    // Every pixel of the result is written below; a result that is not computed (invalid
    // input, no memory for the temporary, no taps) is handed out cleared.
    auto output = std::make_shared<Image2D>(image.getSize(), outputType, image.getPixelSize(), false);
    auto cleared = [&output] {
        std::memset(output->getData<unsigned char>(), 0, output->getByteCount());
        return output;
    };
    if (!output->isValid())
        return output;
    if (!image.isValid())
        return cleared();
    const int width = image.getWidth(), height = image.getHeight();
    const int size = kernel.getSize(), radius = kernel.getRadius();
    // No taps: every sum is 0.
    if (size == 0)
        return cleared();
    // The float temporary between the passes; every element is written by the row pass,
    // so it is not zero-filled first, and its block is kept for the next call.
    const ScratchArray<float> temporary(image.getNumPixels());
    if (!temporary)
        return cleared();
    const float* weights = kernel.getValues().data();
    float* temp = temporary.get();

    // Row pass: input to the float temporary, rows in parallel.
    dispatchDataType(SeparableTypes{}, inputType, "", [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* in = image.getConstData<T>();
        parallelFor(0, height, [&](int first, int last) {
            simd::runVectorized(
                [&]() IMAGE2D_INLINE_LAMBDA { rowPass(in, temp, width, weights, size, radius, first, last); });
        });
    });

    // Column pass: the clamped margins on this thread, the interior rows in parallel.
    const ColumnJob job{temp, width, height, weights, size, radius};
    dispatchDataType(SeparableTypes{}, outputType, "", [&](auto tag) {
        using U = typename decltype(tag)::type;
        U* out = output->getData<U>();
        columnRows<U, true>(job, out, 0, std::min(radius, height));
        if (height - radius > radius)
            parallelFor(radius, height - radius,
                        [&](int first, int last) { columnRows<U, false>(job, out, first, last); });
        columnRows<U, true>(job, out, std::max(height - radius, 0), height);

        // A binary image smoothed stays within [0, 1] in the result's own type.
        if (inputType == Image2D::BINARY)
        {
            const std::size_t count = output->getNumPixels();
            for (std::size_t i = 0; i < count; ++i)
                out[i] = std::clamp(out[i], U(0), U(1));
        }
    });
    return output;
}

// ---- Filter ---------------------------------------------------------------------------

namespace {
constexpr const char* kFilter = "image2d::Filter";
constexpr const char* kSeparableFilter = "image2d::SeparableFilter";

// Both adapters check their kernel pointer, then that the input slot is filled (its
// validity is the core's check).
bool requireKernelAndInput(const Algorithm& algorithm, const void* kernel, const char* owner,
                           const char* missingKernel)
{
    if (!kernel)
        return warning(missingKernel), algorithm.fail(FailureReason::Missing);
    if (!algorithm.getSharedInput(Algorithm::INPUT_IMAGE))
        return warnMissingKey(owner, Algorithm::INPUT_IMAGE),
               algorithm.fail(FailureReason::Missing, Algorithm::INPUT_IMAGE);
    return true;
}
} // namespace

Filter::Filter(Kernel* kernel)
    : m_kernel(kernel)
{
}

const ParameterList& Filter::parameters()
{
    static const ParameterList list;
    return list;
}

std::shared_ptr<Image2D> Filter::executeFilter(const Image2D& image, Kernel* kernel)
{
    Filter filter(kernel);
    filter.setInput(INPUT_IMAGE, &image);
    filter.execute(neverCancelled());
    return filter.getSharedOutput(OUTPUT_IMAGE);
}

bool Filter::isInputValid() const
{
    return requireKernelAndInput(*this, m_kernel, kFilter, "image2d::Filter : convolution kernel is not set.");
}

bool Filter::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, filter(*input, *m_kernel), *input, AllPixelTypes{});
}

// ---- SeparableFilter ------------------------------------------------------------------

const QString SeparableFilter::OUTPUT_DATATYPE = QStringLiteral("output_data_type");
const Parameter<int> SeparableFilter::OUTPUT_TYPE_PARAMETER{
    &OUTPUT_DATATYPE, static_cast<int>(Image2D::RGBA), Lenient{},
    "Image2D::DataType code of the result; the input's type when absent"};

const ParameterList& SeparableFilter::parameters()
{
    static const ParameterList list{&OUTPUT_TYPE_PARAMETER};
    return list;
}

SeparableFilter::SeparableFilter(SeparableKernel* kernel)
    : m_kernel(kernel)
{
}

std::shared_ptr<Image2D> SeparableFilter::executeSeparableFilter(std::shared_ptr<Image2D> image, SeparableKernel* kernel,
                                                                 Image2D::DataType outputType)
{
    SeparableFilter filter(kernel);
    filter.setSharedInput(INPUT_IMAGE, std::move(image));
    if (outputType != Image2D::RGBA)
        filter.setUniformValue(OUTPUT_DATATYPE, static_cast<int>(outputType));
    filter.execute(neverCancelled());
    return filter.getSharedOutput(OUTPUT_IMAGE);
}

bool SeparableFilter::isInputValid() const
{
    return requireKernelAndInput(*this, m_kernel, kSeparableFilter,
                                 "image2d::SeparableFilter : convolution kernel is not set.");
}

bool SeparableFilter::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const utility::Optional<int> requested = OUTPUT_TYPE_PARAMETER.get(*this);
    const auto outputType = requested ? static_cast<Image2D::DataType>(*requested) : input->getDataType();
    std::shared_ptr<Image2D> result = separableFilter(*input, *m_kernel, outputType);
    if (!result)
        return fail(FailureReason::UnsupportedType,
                    SeparableTypes::contains(input->getDataType()) ? OUTPUT_DATATYPE : INPUT_IMAGE);
    setSharedOutput(OUTPUT_IMAGE, std::move(result));
    return true;
}

} // namespace image2d
