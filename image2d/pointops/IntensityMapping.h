#pragma once

#include "image2d/framework/Algorithm.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Maps the level/window interval [level - window/2, level + window/2] onto the full
/// range of an integer pixel type, or onto 0..1 for FLOAT images.
class LevelWindow : public Algorithm
{
public:
    static const QString LEVEL;     ///< "levelImage", double
    static const QString WINDOW;    ///< "windowImage", double > 0
    static const QString FILTER_ID; ///< "LevelWindow"

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Runs on the shared image itself (no copy); empty result on failure.
    static std::shared_ptr<Image2D> executeLevelWindow(std::shared_ptr<Image2D> image, double level, double window,
                                                       const std::atomic<bool>& cancel);
    /// Runs on a copy of *image; a null image gives an empty result without a run.
    static std::shared_ptr<Image2D> executeLevelWindow(const Image2D* image, double level, double window,
                                                       const std::atomic<bool>& cancel);
};

/// Raises each pixel, normalised to 0..1, to the power 1 / gamma. Integer types go
/// through a table built once per run. The output's pixel size is (1, 1, 1).
class GammaCorrection : public Algorithm
{
public:
    static const QString GAMMA_VALUE; ///< "GammaValue", float
    static const QString FILTER_ID;   ///< "Gamma"

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Inverts the pixel values: the bitwise complement (1 - v for FLOAT), or with
/// "PreserveRange" the reflection within the image's value bounds.
class Invert : public Algorithm
{
public:
    static const QString PRESERVE_RANGE; ///< "PreserveRange", bool, default false
    static const QString FILTER_ID;      ///< "Invert"

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// A new inverted image; empty on failure.
    static std::shared_ptr<Image2D> executeInvert(const Image2D& image, bool preserveRange);
};

/// Multiplies every pixel by a scalar, clamped to the pixel type's range and truncated.
class ScaleColorValue : public Algorithm
{
public:
    static const QString SCALAR; ///< "scalar", float

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Runs on the shared image itself (no copy); empty result on failure.
    static std::shared_ptr<Image2D> executeScaleColorValue(std::shared_ptr<Image2D> image, float scalar);
    /// Runs on the given copy.
    static std::shared_ptr<Image2D> executeScaleColorValue(Image2D image, float scalar);
};

/// Shifts UNSIGNED_CHAR and UNSIGNED_SHORT pixels left, dropping the high bits.
/// A shift of 0 publishes the input image object itself.
class BitShift : public Algorithm
{
public:
    static const QString BITS_TO_SHIFT; ///< "bitsToShift", unsigned int below the pixel's bit count

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// The shifted copy of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeBitShift(const Image2D& image, unsigned int bits);
};

} // namespace image2d
