#include "image2d/toolbox/Image2DOperations.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/PixelStore.h"
#include "image2d/framework/Simd.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace image2d {

namespace {

using store::SameWidthUnsigned;

using CopyablePixelTypes = AllPixelTypes;

/// Shared frame of both resizers: the same-size copy, the output, the cancellation result.
/// `loop(input, output)` fills the output and returns false when it stopped on `cancel`.
template <typename Loop>
Image2D* resize(const Image2D* input, const QSize& size, const std::atomic<bool>& cancel, const char* createFailed,
                Loop&& loop)
{
    // A missing or empty input cannot give a usable image, whatever the size.
    if (!input || !input->isValid())
    {
        warning(createFailed);
        return nullptr;
    }
    if (size == input->getSize())
        return new Image2D(*input);

    // Every pixel of a supported type is written; an unsupported one is handed back
    // unfilled, and then it is zero-filled.
    auto output = std::make_unique<Image2D>(size.width(), size.height(), input->getDataType(),
                                            input->getPixelSize(), !AllPixelTypes::contains(input->getDataType()));
    if (!output->isValid())
    {
        warning(createFailed);
        return nullptr;
    }
    loop(*input, *output);
    if (cancel.load())
        return nullptr;
    return output.release();
}

/// Nearest neighbour on raw elements of one width. Returns false when cancelled.
template <typename E>
bool resizeNearest(const Image2D& input, Image2D& output, const std::atomic<bool>& cancel)
{
    const int inWidth = input.getWidth();
    const int inHeight = input.getHeight();
    const int outWidth = output.getWidth();
    const int outHeight = output.getHeight();
    const float scaleX = static_cast<float>(inWidth) / static_cast<float>(outWidth);
    const float scaleY = static_cast<float>(inHeight) / static_cast<float>(outHeight);

    // The clamp only guards against float rounding up to the edge for huge sizes.
    std::vector<int> sourceColumn(static_cast<std::size_t>(outWidth));
    for (int x = 0; x < outWidth; ++x)
        sourceColumn[x] = std::min(static_cast<int>(static_cast<float>(x) * scaleX), inWidth - 1);

    const E* in = input.getConstData<E>();
    E* out = output.getData<E>();
    for (int y = 0; y < outHeight; ++y)
    {
        const int sourceRow = std::min(static_cast<int>(static_cast<float>(y) * scaleY), inHeight - 1);
        const E* src = in + static_cast<std::size_t>(sourceRow) * inWidth;
        E* dst = out + static_cast<std::size_t>(y) * outWidth;
        for (int x = 0; x < outWidth; ++x)
            dst[x] = src[sourceColumn[x]];
        if (cancel.load(std::memory_order_relaxed))
            return false;
    }
    output.editFinished();
    return true;
}

/// Sample positions along one axis: the two neighbours (the second clamped to the edge,
/// which matters for inputs one pixel wide or high) and the fraction between them.
struct Samples
{
    std::vector<int> first;
    std::vector<int> second;
    std::vector<float> fraction;
};

Samples samplePositions(int inLength, int outLength)
{
    const float scale = static_cast<float>(inLength - 1) / static_cast<float>(outLength);
    Samples samples;
    samples.first.resize(static_cast<std::size_t>(outLength));
    samples.second.resize(static_cast<std::size_t>(outLength));
    samples.fraction.resize(static_cast<std::size_t>(outLength));
    for (int i = 0; i < outLength; ++i)
    {
        const float f = static_cast<float>(i) * scale;
        const int index = static_cast<int>(f);
        samples.first[i] = std::min(index, inLength - 1);
        samples.second[i] = std::min(index + 1, inLength - 1);
        samples.fraction[i] = f - static_cast<float>(index);
    }
    return samples;
}

/// One input row fetched at the output's sample columns, widened to the type the output
/// row is combined in: `first` and `second` hold each column's left and right neighbour.
/// Consecutive output rows mostly share input rows, so two of these are kept and reused.
template <typename W>
struct FetchedRow
{
    int row = -1;
    std::vector<W> first, second;
};

template <typename T, typename W>
IMAGE2D_INLINE_LOOP void fetchRow(const T* src, const int* x0, const int* x1, int n, W* first, W* second)
{
    for (int x = 0; x < n; ++x)
    {
        first[x] = static_cast<W>(src[x0[x]]);
        second[x] = static_cast<W>(src[x1[x]]);
    }
}

/// As fetchRow, each neighbour multiplied by its column weight: the products a * (1 - ax) and
/// b * ax that the bilinear formula forms first do not depend on the output row, so each
/// input row forms them once for all the output rows that read it.
template <typename T>
IMAGE2D_INLINE_LOOP void fetchWeightedRow(const T* src, const int* x0, const int* x1, const float* left,
                                          const float* right, int n, float* first, float* second)
{
    for (int x = 0; x < n; ++x)
    {
        first[x] = static_cast<float>(src[x0[x]]) * left[x];
        second[x] = static_cast<float>(src[x1[x]]) * right[x];
    }
}

/// The two input rows an output row reads, fetched (or found among the two kept) in turn.
/// With column weights (`left` and `right`, float rows only) the rows hold the weighted
/// neighbours of fetchWeightedRow.
template <typename T, typename W>
class RowFetcher
{
public:
    RowFetcher(const T* in, int inWidth, const Samples& columns, const float* left = nullptr,
               const float* right = nullptr)
        : m_in(in), m_inWidth(inWidth), m_columns(columns), m_left(left), m_right(right)
    {
        const std::size_t n = columns.first.size();
        for (FetchedRow<W>& slot : m_slots)
        {
            slot.first.resize(n);
            slot.second.resize(n);
        }
    }

    /// The fetched input rows r0 and r1 (the same object when r0 == r1).
    std::pair<const FetchedRow<W>*, const FetchedRow<W>*> rows(int r0, int r1)
    {
        const FetchedRow<W>* a = fetch(r0, -1);
        return {a, fetch(r1, r0)};
    }

private:
    const FetchedRow<W>* fetch(int row, int keep)
    {
        for (const FetchedRow<W>& slot : m_slots)
            if (slot.row == row)
                return &slot;
        // Rows only move down: replace the row that is not kept, else the upper one.
        const int victim = m_slots[0].row == keep   ? 1
                           : m_slots[1].row == keep ? 0
                                                    : (m_slots[0].row <= m_slots[1].row ? 0 : 1);
        FetchedRow<W>& slot = m_slots[victim];
        slot.row = row;
        if constexpr (std::is_same_v<W, float>)
            if (m_left)
            {
                simd::runVectorized(
                    [](const T* src, const int* x0, const int* x1, const float* l, const float* r, int n, float* first,
                       float* second) IMAGE2D_INLINE_LAMBDA { fetchWeightedRow(src, x0, x1, l, r, n, first, second); },
                    m_in + static_cast<std::size_t>(row) * m_inWidth, m_columns.first.data(),
                    m_columns.second.data(), m_left, m_right, static_cast<int>(slot.first.size()), slot.first.data(),
                    slot.second.data());
                return &slot;
            }
        simd::runVectorized(
            [](const T* src, const int* x0, const int* x1, int n, W* first, W* second)
                IMAGE2D_INLINE_LAMBDA { fetchRow(src, x0, x1, n, first, second); },
            m_in + static_cast<std::size_t>(row) * m_inWidth, m_columns.first.data(), m_columns.second.data(),
            static_cast<int>(slot.first.size()), slot.first.data(), slot.second.data());
        return &slot;
    }

    const T* m_in;
    int m_inWidth;
    const Samples& m_columns;
    const float* m_left;
    const float* m_right;
    FetchedRow<W> m_slots[2];
};

// Integer sums are exact: 32 bits hold four 16-bit values, INT needs 64.
template <typename T>
using BoxSum = std::conditional_t<std::is_floating_point_v<T>, float,
                                  std::conditional_t<(sizeof(T) < 4), std::int32_t, std::int64_t>>;

/// Box average of the four neighbours, summed in their reading order.
template <typename T>
IMAGE2D_INLINE_LOOP void boxRow(const BoxSum<T>* a0, const BoxSum<T>* b0, const BoxSum<T>* a1,
                                const BoxSum<T>* b1, int n, T* dst)
{
    for (int x = 0; x < n; ++x)
    {
        const BoxSum<T> sum = a0[x] + b0[x] + a1[x] + b1[x];
        if constexpr (std::is_floating_point_v<T>)
            dst[x] = sum * 0.25f;
        else
            dst[x] = static_cast<T>(sum / 4); // trunc(sum * 0.25), exactly
    }
}

/// Bilinear weighting of the four neighbours, given as the column-weighted a0 (1 - ax),
/// b0 ax, a1 (1 - ax) and b1 ax: the formula's products and sums in its own order.
template <typename T>
IMAGE2D_INLINE_LOOP void bilinearRow(const float* a0, const float* b0, const float* a1, const float* b1, float ay,
                                     int n, T* dst)
{
    const float up = 1 - ay;
    for (int x = 0; x < n; ++x)
    {
        const float value = a0[x] * up + b0[x] * up + a1[x] * ay + b1[x] * ay;
        if constexpr (sizeof(T) <= 2 && !std::is_floating_point_v<T>)
            // A weighted mean of 8- and 16-bit values: finite and far inside the 32-bit range,
            // where the cast rule is plain truncation (and needs no saturating steps).
            dst[x] = static_cast<T>(static_cast<std::int32_t>(value));
        else
            dst[x] = store::castElement<T>(value);
    }
}

/// Box average when no side grows, bilinear otherwise. Returns false when cancelled.
/// Each input row is fetched at the sample columns once, then output rows are combined
/// from two fetched rows with contiguous (vectorised) arithmetic in the order of the
/// per-pixel formula, so the values are those of the formula pixel by pixel.
template <typename T>
bool resizeSmooth(const Image2D& input, Image2D& output, const std::atomic<bool>& cancel)
{
    const int inWidth = input.getWidth();
    const int outWidth = output.getWidth();
    const int outHeight = output.getHeight();
    const bool shrinking = outWidth <= inWidth && outHeight <= input.getHeight();
    const Samples columns = samplePositions(inWidth, outWidth);
    const Samples rows = samplePositions(input.getHeight(), outHeight);

    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    if (shrinking)
    {
        RowFetcher<T, BoxSum<T>> fetcher(in, inWidth, columns);
        for (int y = 0; y < outHeight; ++y)
        {
            const auto [r0, r1] = fetcher.rows(rows.first[y], rows.second[y]);
            simd::runVectorized(
                [](const BoxSum<T>* a0, const BoxSum<T>* b0, const BoxSum<T>* a1, const BoxSum<T>* b1, int n,
                   T* dst) IMAGE2D_INLINE_LAMBDA { boxRow(a0, b0, a1, b1, n, dst); },
                r0->first.data(), r0->second.data(), r1->first.data(), r1->second.data(), outWidth,
                out + static_cast<std::size_t>(y) * outWidth);
            if (cancel.load(std::memory_order_relaxed))
                return false;
        }
    }
    else
    {
        std::vector<float> left(static_cast<std::size_t>(outWidth));
        for (int x = 0; x < outWidth; ++x)
            left[x] = 1 - columns.fraction[x];
        RowFetcher<T, float> fetcher(in, inWidth, columns, left.data(), columns.fraction.data());
        for (int y = 0; y < outHeight; ++y)
        {
            const auto [r0, r1] = fetcher.rows(rows.first[y], rows.second[y]);
            simd::runVectorized(
                [](const float* a0, const float* b0, const float* a1, const float* b1, float ay, int n, T* dst)
                    IMAGE2D_INLINE_LAMBDA { bilinearRow(a0, b0, a1, b1, ay, n, dst); },
                r0->first.data(), r0->second.data(), r1->first.data(), r1->second.data(), rows.fraction[y], outWidth,
                out + static_cast<std::size_t>(y) * outWidth);
            if (cancel.load(std::memory_order_relaxed))
                return false;
        }
    }
    output.editFinished();
    return true;
}

const char* const kTransformNotImplemented = "Image2D: transform() Not implemented for current data type";
const char* const kTransformNotRightAngle =
    "Image2D: transform() Not implemented for transforms other than rotations by multiples of 90 degrees and mirrors";
const char* const kTransformCreateFailed = "Image2D: transform() Could not create transformed image";

/// Rounds half away from zero; false unless the result is -1, 0 or 1.
bool roundToUnit(double value, int& rounded)
{
    const double r = std::round(value);
    if (!(r == -1.0 || r == 0.0 || r == 1.0))
        return false;
    rounded = static_cast<int>(r);
    return true;
}

template <typename E>
void movePixels(const Image2D& input, Image2D& output, std::ptrdiff_t start, std::ptrdiff_t stepX, std::ptrdiff_t stepY)
{
    const int width = input.getWidth();
    const int height = input.getHeight();
    const E* in = input.getConstData<E>();
    E* out = output.getData<E>();
    for (int r = 0; r < height; ++r)
    {
        const E* src = in + static_cast<std::size_t>(r) * width;
        std::ptrdiff_t index = start + r * stepY;
        for (int c = 0; c < width; ++c, index += stepX)
            out[index] = src[c];
    }
}

} // namespace

Image2D* Image2DOperations::createResizedImageFast(const Image2D* input, const QSize& size,
                                                   const std::atomic<bool>& cancel)
{
    return resize(input, size, cancel, "Image2DOperations::createResizedImageFast: Could not create resized image",
                  [&](const Image2D& in, Image2D& out) {
                      dispatchDataType(
                          CopyablePixelTypes{}, in.getDataType(),
                          [&](auto tag) {
                              using E = SameWidthUnsigned<typename decltype(tag)::type>;
                              return resizeNearest<E>(in, out, cancel);
                          },
                          [] {
                              warning("Image2DOperations::createResizedImageFast not implemented for the given data "
                                      "type.");
                          });
                  });
}

Image2D* Image2DOperations::createResizedImageSmooth(const Image2D* input, const QSize& size,
                                                     const std::atomic<bool>& cancel)
{
    return resize(input, size, cancel, "Image2DOperations::createResizedImageSmooth: Could not create resized image",
                  [&](const Image2D& in, Image2D& out) {
                      dispatchDataType(
                          AllPixelTypes{}, in.getDataType(),
                          [&](auto tag) {
                              using T = typename decltype(tag)::type;
                              return resizeSmooth<T>(in, out, cancel);
                          },
                          [] {
                              warning("Image2DOperations::createResizedImageSmooth not implemented for the given data "
                                      "type.");
                          });
                  });
}

bool Image2DOperations::transform(Image2D* image, const QTransform& transform, const std::atomic<bool>& /*cancel*/)
{
    if (!image)
        return false;
    return dispatchDataType(
        CopyablePixelTypes{}, image->getDataType(),
        [&](auto tag) {
            using E = SameWidthUnsigned<typename decltype(tag)::type>;
            if (!image->isValid())
                return false;
            if (transform.type() == QTransform::TxNone)
                return true;

            // Only signed permutations move every pixel to a distinct place inside the
            // output; the transposition test has to agree with the rounded matrix, or
            // the output size and the index steps would not match.
            int m11 = 0, m12 = 0, m21 = 0, m22 = 0;
            const bool units = roundToUnit(transform.m11(), m11) && roundToUnit(transform.m12(), m12) &&
                               roundToUnit(transform.m21(), m21) && roundToUnit(transform.m22(), m22);
            const bool transposed = qFuzzyCompare(std::abs(transform.m12() * transform.m21()), 1.0);
            const bool permutation = units && (std::abs(m11) + std::abs(m12) == 1) &&
                                     (std::abs(m21) + std::abs(m22) == 1) && (std::abs(m11) + std::abs(m21) == 1) &&
                                     (std::abs(m12) + std::abs(m22) == 1);
            if (!permutation || transposed != (m11 == 0))
            {
                warning(kTransformNotRightAngle);
                return false;
            }

            const std::ptrdiff_t width = image->getWidth();
            const std::ptrdiff_t height = image->getHeight();
            QSize size = image->getSize();
            QVector3D pixelSize = image->getPixelSize();
            if (transposed)
            {
                size.transpose();
                pixelSize = QVector3D(pixelSize.y(), pixelSize.x(), pixelSize.z());
            }
            // A signed permutation writes every pixel of the output.
            Image2D output(size, image->getDataType(), pixelSize, false);
            if (!output.isValid())
            {
                warning(kTransformCreateFailed);
                return false;
            }

            const std::ptrdiff_t stepX = m12 * height + m11;
            const std::ptrdiff_t stepY = m22 * width + m21;
            const std::ptrdiff_t start =
                (stepX < 1 ? -(width - 1) * stepX : 0) - (stepY < 1 ? (height - 1) * stepY : 0);
            movePixels<E>(*image, output, start, stepX, stepY);
            output.editFinished();
            *image = std::move(output);
            return true;
        },
        [] { warning(kTransformNotImplemented); });
}

void Image2DOperations::flipHorizontal(Image2D* image)
{
    if (!image || !image->isValid())
        return;
    dispatchDataType(
        CopyablePixelTypes{}, image->getDataType(),
        [&](auto tag) {
        using E = SameWidthUnsigned<typename decltype(tag)::type>;
        const int width = image->getWidth();
        E* data = image->getData<E>();
        for (int y = 0; y < image->getHeight(); ++y)
        {
            E* row = data + static_cast<std::size_t>(y) * width;
            std::reverse(row, row + width);
        }
        return true;
        },
        [] { warning("Image2D: flipHorizontal() Not implemented for current data type"); });
}

void Image2DOperations::flipVertical(Image2D* image)
{
    if (!image || !image->isValid())
        return;
    dispatchDataType(
        CopyablePixelTypes{}, image->getDataType(),
        [&](auto tag) {
        using E = SameWidthUnsigned<typename decltype(tag)::type>;
        const int width = image->getWidth();
        const int height = image->getHeight();
        E* data = image->getData<E>();
        for (int y = 0; y < height / 2; ++y)
        {
            E* top = data + static_cast<std::size_t>(y) * width;
            E* bottom = data + static_cast<std::size_t>(height - 1 - y) * width;
            std::swap_ranges(top, top + width, bottom);
        }
        return true;
        },
        [] { warning("Image2D: flipVertical() Not implemented for current data type"); });
}

QSize orientedTarget(const QSize& input, QSize target)
{
    const bool portraitInput = input.width() < input.height();
    const bool swap = portraitInput ? target.width() >= target.height() : target.width() < target.height();
    if (swap)
        target.transpose();
    return target;
}

} // namespace image2d
