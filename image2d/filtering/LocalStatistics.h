#pragma once

#include "image2d/framework/Algorithm.h"
#include "platform/utility/Optional.h"

#include <atomic>
#include <memory>
#include <utility>

namespace image2d {

/// Mean over the (2r + 1)^2 window; at the edges the window shrinks to the pixels that
/// exist. Integer results are rounded half away from zero. Column strips run in parallel.
class AreaAverage : public Algorithm
{
public:
    static const QString KERNEL_RADIUS; ///< "radius" (integer, >= 0)

    static std::shared_ptr<Image2D> executeAreaAverage(const Image2D* image, int radius);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Window sum through a summed-area table; the window is clipped to the image, not
/// averaged. INT result for integer inputs (low 32 bits), FLOAT for FLOAT. Sequential.
class SubSummedAreaTable : public Algorithm
{
public:
    static const QString KERNEL_RADIUS; ///< "radius" (float, >= 0)

    static std::shared_ptr<Image2D> executeSAT(Image2D* image, float radius);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Window minimum and maximum together (van Herk / Gil-Werman: constant cost per pixel
/// whatever the radius); the window is the part inside the image.
class RecursiveMinMax : public Algorithm
{
public:
    static const QString KERNEL_RADIUS; ///< "kernelRadius" (integer, >= 0)
    static const QString MIN_IMAGE;     ///< "minImage"
    static const QString MAX_IMAGE;     ///< "maxImage"

    /// (minimum image, maximum image) of a copy of `image`; empty on failure.
    static utility::Optional<std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>>
    calculateRecursiveMinMax(const Image2D& image, int radius);
    static utility::Optional<std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>>
    calculateRecursiveMinMax(std::shared_ptr<Image2D> image, int radius);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Median (rank n / 2) of the edge-replicated (2r + 1)^2 window. Runs on the calling thread
/// and polls `cancel` after every row; a cancelled run leaves a partial result.
class Median : public Algorithm
{
public:
    static const QString RADIUS; ///< "medianRadius" (integer, 0 to 2047)

    static std::shared_ptr<Image2D> executeMedian(Image2D* image, int radius);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
