#pragma once

// Local statistics over square windows: means, window sums, minimum and maximum, median.
//
// Two layers, as everywhere in the library: the typed core functions below do the work
// and are the C++ API to call directly, e.g.
//     std::shared_ptr<Image2D> mean = image2d::areaAverage(image, 3);
// and the algorithm classes after them are the parameter-store adapters the host uses
// (validate the slots and keys, read typed values, call the core, publish).

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"
#include "platform/utility/Optional.h"

#include <atomic>
#include <memory>
#include <utility>

namespace image2d {

/// Pixel types the local statistics accept: every type but INT.
using LocalStatisticsTypes = NoIntPixelTypes;

/// Mean over the (2r + 1)^2 window clipped to the image (r at least 0). Integer results are
/// rounded half away from zero (store::roundHalfAway). Column strips run in parallel.
/// Empty with a warning for an unsupported type; empty when the result cannot be allocated.
std::shared_ptr<Image2D> areaAverage(const Image2D& image, int radius);

/// The window means of areaAverage() for a FLOAT copy of `image`, as a FLOAT image, without
/// making the copy (same values: sums of whole numbers are exact either way).
std::shared_ptr<Image2D> areaAverageAsFloat(const Image2D& image, int radius);

/// Window sums through a summed-area table: the window [x - r, x + r] with its bounds
/// truncated toward zero, clipped to the image, not averaged (r finite, at least 0). INT
/// result for integer inputs (the low 32 bits of the sum), FLOAT for FLOAT. Runs on the
/// calling thread and polls `cancel` after every table row and output row (a cancelled run
/// returns the partial result).
std::shared_ptr<Image2D> windowSums(const Image2D& image, float radius,
                                    const std::atomic<bool>& cancel = neverCancelled());

/// Window minimum and maximum of the same image, both of its type and size.
struct MinMaxImages
{
    std::shared_ptr<Image2D> minimum;
    std::shared_ptr<Image2D> maximum;
    explicit operator bool() const { return minimum && maximum; }
};

/// Minimum and maximum over the (2r + 1)^2 window clipped to the image (van Herk /
/// Gil-Werman: constant cost per pixel whatever the radius; r at least 0). Rows and
/// column blocks run in parallel. Both empty on failure (unsupported type with a warning).
MinMaxImages recursiveMinMax(const Image2D& image, int radius);

/// Largest median radius: its window of 4095^2 values still fits one selection buffer.
inline constexpr int kMaxMedianRadius = 2047;

/// Median (rank n / 2) of the edge-replicated (2r + 1)^2 window, r in [0, kMaxMedianRadius].
/// Runs on the calling thread and polls `cancel` after every row; a cancelled run returns
/// the partial result.
std::shared_ptr<Image2D> median(const Image2D& image, int radius, const std::atomic<bool>& cancel = neverCancelled());

/// Adapter of areaAverage().
class AreaAverage : public Algorithm
{
public:
    static const QString KERNEL_RADIUS; ///< "radius"
    static const Parameter<int> RADIUS_PARAMETER;
    static const ParameterList& parameters();

    static std::shared_ptr<Image2D> executeAreaAverage(const Image2D* image, int radius);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of windowSums().
class SubSummedAreaTable : public Algorithm
{
public:
    static const QString& KERNEL_RADIUS; ///< "radius" (AreaAverage's key)
    static const Parameter<float> RADIUS_PARAMETER;
    static const ParameterList& parameters();

    static std::shared_ptr<Image2D> executeSAT(Image2D* image, float radius);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of recursiveMinMax(); publishes MIN_IMAGE and MAX_IMAGE. Its warnings name the
/// owner "image2d::RecursiveMinMax::isInputValid".
class RecursiveMinMax : public Algorithm
{
public:
    static const QString KERNEL_RADIUS; ///< "kernelRadius"
    static const QString MIN_IMAGE;     ///< "minImage"
    static const QString MAX_IMAGE;     ///< "maxImage"
    static const Parameter<int> RADIUS_PARAMETER;
    static const ParameterList& parameters();

    /// (minimum image, maximum image) of a copy of `image`; empty on failure.
    static utility::Optional<std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>>
    calculateRecursiveMinMax(const Image2D& image, int radius);
    static utility::Optional<std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>>
    calculateRecursiveMinMax(std::shared_ptr<Image2D> image, int radius);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of median().
class Median : public Algorithm
{
public:
    static const QString RADIUS; ///< "medianRadius"
    static const Parameter<int> RADIUS_PARAMETER;
    static const ParameterList& parameters();

    static std::shared_ptr<Image2D> executeMedian(Image2D* image, int radius);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
