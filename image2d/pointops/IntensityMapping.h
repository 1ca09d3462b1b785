#pragma once

// Pixel-wise intensity mappings: level/window, gamma, inversion, scaling, bit shift.
//
// Core functions first (the C++ API), then their algorithm-class adapters. Every core
// runs sequentially over the pixel buffer in memory order, polls no cancellation flag,
// never changes its input and warns like its algorithm class.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Pixel types of level/window and gamma.
using LevelWindowTypes = PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::FLOAT>;
/// Pixel types of the bit shift.
using BitShiftTypes = PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::UNSIGNED_CHAR>;

/// Maps [level - window/2, level + window/2] onto the full range of an integer type
/// (store::clampNanToLow, then truncation) or onto 0..1 for FLOAT; computed in float.
/// Empty with the algorithm's warning for a NaN level, a window <= 0 or an unsupported type.
std::shared_ptr<Image2D> levelWindow(const Image2D& image, double level, double window);

/// levelWindow() over the pixels of `image` itself, for a caller that holds the only reference
/// to an image it made (the filter processor's working image): the same values without a
/// second image. False, with the same warnings, where levelWindow() returns empty.
bool levelWindowInPlace(Image2D& image, double level, double window);

/// pow(v normalised to 0..1, 1 / gamma) back in the type's range, through a table for
/// integer types (store::saturateTruncate); pixel size (1, 1, 1). Empty with a warning for a
/// gamma below the smallest accepted one (NaN included) or an unsupported type.
std::shared_ptr<Image2D> gammaCorrection(const Image2D& image, float gamma);

/// Bitwise complement (1 - clamp(v, 0, 1) for FLOAT, 0 <-> 1 for BINARY), or with
/// `preserveRange` the reflection (lo + hi) - v within the image's value bounds
/// (store::saturateTruncate). Every pixel type but code 4.
std::shared_ptr<Image2D> invert(const Image2D& image, bool preserveRange);

/// v * scalar in float, clamped to the type's range (NaN to its lower bound,
/// store::clampNanToLow) and truncated (store::saturateTruncate). Every pixel type but code 4.
std::shared_ptr<Image2D> scaleColorValue(const Image2D& image, float scalar);

/// Each pixel (v AND mask) << bits, dropping the high bits; UNSIGNED_CHAR and
/// UNSIGNED_SHORT, bits below the pixel's bit count. A new image even for 0 bits.
std::shared_ptr<Image2D> bitShift(const Image2D& image, unsigned int bits);
/// The same; a shift of 0 or an image without pixels returns `image` itself.
std::shared_ptr<Image2D> bitShift(std::shared_ptr<Image2D> image, unsigned int bits);

/// Adapter of levelWindow().
class LevelWindow : public Algorithm
{
public:
    static const QString LEVEL;     ///< "levelImage", double
    static const QString WINDOW;    ///< "windowImage", double > 0
    static const QString FILTER_ID; ///< "LevelWindow"
    static const Parameter<double> LEVEL_PARAMETER;
    /// Out of range: "invalid input" and then "Window value cannot be equal or smaller than 0".
    static const Parameter<double> WINDOW_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Runs on the shared image itself (no copy); empty result on failure.
    static std::shared_ptr<Image2D> executeLevelWindow(std::shared_ptr<Image2D> image, double level, double window,
                                                       const std::atomic<bool>& cancel);
    /// Runs on a copy of *image; a null image gives an empty result without a run.
    static std::shared_ptr<Image2D> executeLevelWindow(const Image2D* image, double level, double window,
                                                       const std::atomic<bool>& cancel);
};

/// Adapter of gammaCorrection().
class GammaCorrection : public Algorithm
{
public:
    static const QString GAMMA_VALUE; ///< "GammaValue", float
    static const QString FILTER_ID;   ///< "Gamma"
    static const Parameter<float> GAMMA_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);
};

/// Adapter of invert(). PreserveRange is lenient: absent or not a bool reads as false.
class Invert : public Algorithm
{
public:
    static const QString PRESERVE_RANGE; ///< "PreserveRange", bool, default false
    static const QString FILTER_ID;      ///< "Invert"
    static const Parameter<bool> PRESERVE_RANGE_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);

    /// A new inverted image; empty on failure.
    static std::shared_ptr<Image2D> executeInvert(const Image2D& image, bool preserveRange);
};

/// Adapter of scaleColorValue().
class ScaleColorValue : public Algorithm
{
public:
    static const QString SCALAR; ///< "scalar", float
    /// Absent or not a float: "image2D::ScaleColorValue : invalid input " and the key.
    static const Parameter<float> SCALAR_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Runs on the shared image itself (no copy); empty result on failure.
    static std::shared_ptr<Image2D> executeScaleColorValue(std::shared_ptr<Image2D> image, float scalar);
    /// Runs on the given copy.
    static std::shared_ptr<Image2D> executeScaleColorValue(Image2D image, float scalar);
};

/// Adapter of bitShift(); a shift of 0 publishes the input image object itself. The type is
/// checked before the shift, and the shift against the type's bit count after it.
class BitShift : public Algorithm
{
public:
    static const QString BITS_TO_SHIFT; ///< "bitsToShift", unsigned int below the pixel's bit count
    /// Absent or not an unsigned int: "missing input".
    static const Parameter<unsigned int> BITS_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// The shifted copy of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeBitShift(const Image2D& image, unsigned int bits);
};

} // namespace image2d
