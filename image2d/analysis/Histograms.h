#pragma once

// Histograms of a rectangular window: exact 8-bit values, and float values in bins.
//
// Core functions first (the C++ API), e.g.
//     auto counts = image2d::integerHistogram(image, image2d::Window(0, w - 1, 0, h - 1));
// then the algorithm classes, which the host reaches through their static computeHistogram.

#include "image2d/framework/Algorithm.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <unordered_map>

namespace image2d {

/// Inclusive rectangle of a histogram: first and last column, first and last row. A window
/// reaching outside the image counts only the part inside it; first > last counts nothing.
struct Window
{
    int firstColumn = 0;
    int lastColumn = 0;
    int firstRow = 0;
    int lastRow = 0;

    Window() = default;
    Window(int firstColumn, int lastColumn, int firstRow, int lastRow)
        : firstColumn(firstColumn), lastColumn(lastColumn), firstRow(firstRow), lastRow(lastRow)
    {
    }
    /// The whole of an image of this width and height.
    static Window whole(int width, int height) { return Window(0, width - 1, 0, height - 1); }
};

/// Bin of a float value: floor(v * factor) with factor = binCount / (maximum - minimum + 2^-23),
/// so bins are aligned at multiples of the bin width from 0. Values below 0 get bins of their
/// own (the floor is taken as a signed 64-bit number and then reinterpreted); NaN is bin 0 and
/// values beyond the 64-bit range take the nearest end.
struct FloatHashFunctor
{
    float factor;

    FloatHashFunctor(float minimum, float maximum, int binCount);
    /// The signed bin number of `value`.
    std::int64_t bin(float value) const;
    std::size_t operator()(float value) const { return static_cast<std::size_t>(bin(value)); }
};

/// Two values are the same key when they fall into the same bin.
struct FloatKeyEqualFunctor
{
    FloatHashFunctor hash;
    bool operator()(float a, float b) const { return hash.bin(a) == hash.bin(b); }
};

/// Exact 8-bit value -> number of pixels.
using IntegerHistogramMap = std::unordered_map<unsigned char, unsigned int>;
/// Bin -> number of pixels; a bin's key is the first value that fell into it, in row order.
using FloatHistogramMap = std::unordered_map<float, int, FloatHashFunctor, FloatKeyEqualFunctor>;

/// Counts of the 256 byte values of an UNSIGNED_CHAR or BINARY image inside `window`, only
/// at pixels whose `mask` byte is not 0 when a mask (of the image's size) is given. The one
/// counting loop behind the 8-bit histograms and the exposure classes; caller's thread.
/// All zero for another pixel type or a mask of another size.
std::array<std::uint64_t, 256> countByteValues(const Image2D& image, Window window, const Image2D* mask = nullptr);

/// Histogram of the exact values of an UNSIGNED_CHAR or BINARY image inside `window` (values
/// that occur only). Empty, without a warning, for other pixel types. Caller's thread.
IntegerHistogramMap integerHistogram(const Image2D& image, Window window);

/// Histogram of a FLOAT image inside `window` in the bins of FloatHashFunctor(minimum,
/// maximum, 256); values outside [minimum, maximum] get bins of their own, NaN pixels are
/// skipped. Empty, without a warning, for other pixel types. Caller's thread.
FloatHistogramMap floatedBinnedHistogram(const Image2D& image, Window window, double minimum, double maximum);

/// Adapter of integerHistogram(); instantiated for unsigned char only.
template <typename T>
class IntegerHistogram : public Algorithm
{
    static_assert(std::is_same_v<T, unsigned char>, "IntegerHistogram counts 8-bit values only");

public:
    /// The histogram of `image` inside `window`; empty for other types than UNSIGNED_CHAR and BINARY.
    static std::unordered_map<unsigned char, unsigned int> computeHistogram(const Image2D& image, Window window);

    /// True for an UNSIGNED_CHAR or BINARY input; no message otherwise.
    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    IntegerHistogram(std::unordered_map<unsigned char, unsigned int>& histogram, Window window)
        : m_histogram(histogram), m_window(window)
    {
    }
    void buildFullHistogram(const unsigned char* pixels);

    std::unordered_map<unsigned char, unsigned int>& m_histogram;
    Window m_window;
};

extern template class IntegerHistogram<unsigned char>;

/// Adapter of floatedBinnedHistogram().
class FloatedBinnedHistogram : public Algorithm
{
public:
    /// The 256-bin histogram of `image` inside `window`; empty for other types than FLOAT.
    static FloatHistogramMap computeHistogram(const Image2D& image, Window window, double minimum, double maximum);

    /// True for a FLOAT input; no message otherwise.
    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    FloatedBinnedHistogram(FloatHistogramMap& histogram, Window window, float minimum, float maximum)
        : m_histogram(histogram), m_window(window), m_minimum(minimum), m_maximum(maximum)
    {
    }
    void buildFullHistogram(const float* pixels);

    FloatHistogramMap& m_histogram;
    Window m_window;
    float m_minimum, m_maximum; // where the bins are counted densely; the map's functors hold the bins

};

} // namespace image2d
