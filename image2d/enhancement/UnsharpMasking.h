#pragma once

// The unsharp-masking family: a pixel plus a factor times its difference to the local mean,
// plain, held inside the local minimum and maximum, or with a strength that follows the
// local contrast.
//
// Core functions first (the C++ API): each computes the mean with areaAverage() and the
// minimum and maximum with recursiveMinMax() (in parallel inside those), then its per-pixel
// step; they poll no cancellation flag. Then the algorithm-class adapters, whose internal
// steps are the same functions.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QString>

#include <atomic>
#include <memory>
#include <utility>

namespace image2d {

/// Pixel types of the family (every type but INT).
using SharpenTypes = NoIntPixelTypes;

/// (I - A) * factor + I in float with A the window mean of `image` in its own type (rounded
/// for integers); stored by store::clampTruncate. On the calling thread. Empty with the
/// warning "image2d::Sharpen : sharpen algorithm not supported for data type: " for INT.
std::shared_ptr<Image2D> sharpen(const Image2D& image, int radius, float factor);

/// The per-pixel step of sharpen() with a given mean image; the result is returned unfilled
/// when `mean` is not a valid image of the input's size and type.
std::shared_ptr<Image2D> sharpenWithMean(const Image2D& image, const std::shared_ptr<Image2D>& mean, float factor);

/// u = (I - A) * factor + I in double, A the window mean of a FLOAT copy; the value
/// k = u held inside the local [MIN, MAX] (window radius `minMaxRadius`) and the result
/// t k + (1 - t) u, t = `interpolation`, stored by store::clampRoundHalfAway. On the calling
/// thread. Empty with "image2d::ConstrainedUnsharpMasking::sharpen : not supported for data
/// type: " for INT.
std::shared_ptr<Image2D> constrainedUnsharpMasking(const Image2D& image, int radius, int minMaxRadius, float factor,
                                                   float interpolation);

/// As constrainedUnsharpMasking() with the strength factor / (1 + exp(-slope (r - center))) of
/// the local contrast r = MAX - MIN, the pixels spread over the worker threads. Empty with
/// "image2d::LocalAlphaConstrainedUnsharpMasking::sharpen : not supported for data type: " for INT.
std::shared_ptr<Image2D> localAlphaConstrainedUnsharpMasking(const Image2D& image, int radius, int minMaxRadius,
                                                             float factor, float interpolation, double slope,
                                                             double center);

/// The per-pixel step of the constrained filters from the mean (FLOAT), minimum and maximum
/// images; with `localAlpha` the strength follows the local contrast (slope and center),
/// else it is `factor` everywhere. Unfilled when an image is not usable.
std::shared_ptr<Image2D> constrainedWithStatistics(const Image2D& image, const std::shared_ptr<Image2D>& mean,
                                                   const std::shared_ptr<Image2D>& minimum,
                                                   const std::shared_ptr<Image2D>& maximum, float factor,
                                                   float interpolation, bool localAlpha, double slope = 0.0,
                                                   double center = 0.0);

/// Adapter of sharpen(). Reports success also when the output stays empty (INT).
class Sharpen : public Algorithm
{
public:
    static const QString FILTER_ID;        ///< "Sharpen"
    static const QString KERNEL_RADIUS;    ///< "kernelRadiusImage": radius of the mean window
    static const QString SHARPNESS_FACTOR; ///< "sharpnessFactorImage": factor f
    static const Parameter<int> RADIUS_PARAMETER;
    /// Checked as an integer, read as a float.
    static const Parameter<float> FACTOR_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);

    /// Sharpens a copy of `image`; empty when validation fails or the type is not supported.
    static std::shared_ptr<Image2D> executeSharpen(Image2D* image, int kernelRadius, float sharpnessFactor);

    /// Window mean of `image` in its own type (areaAverage with KERNEL_RADIUS).
    std::shared_ptr<Image2D> averageImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const;
    /// (I - A) * f + I per pixel (sharpenWithMean).
    std::shared_ptr<Image2D> sharpen(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                     std::shared_ptr<Image2D> mean) const;
};

/// Adapter of constrainedUnsharpMasking(). Its warnings name the owner
/// "image2d::ConstrainedUnsharpMasking::isInputValid"; all four parameters are checked as
/// integers. Reports success also when the output stays empty (INT).
class ConstrainedUnsharpMasking : public Algorithm
{
public:
    static const QString FILTER_ID;              ///< "ConstrainedUnsharpMasking"
    static const QString& KERNEL_RADIUS;         ///< "kernelRadiusImage" (Sharpen's key)
    static const QString MIN_MAX_KERNEL_RADIUS;  ///< "minMaxKernelRadiusImage": radius of the min/max window
    static const QString& SHARPNESS_FACTOR;      ///< "sharpnessFactorImage" (Sharpen's key)
    /// "interpolationBetweenConstrainedAndUnconstrainedSharpen": weight t of the constrained value.
    static const QString INTERPOLATION;
    static const Parameter<int> RADIUS_PARAMETER;
    static const Parameter<int> MIN_MAX_RADIUS_PARAMETER;
    static const Parameter<float> FACTOR_PARAMETER;
    static const Parameter<float> INTERPOLATION_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    static std::shared_ptr<Image2D> executeConstrainedUnsharpMasking(Image2D* image, int kernelRadius,
                                                                     int minMaxKernelRadius, float sharpnessFactor,
                                                                     float interpolation);

    /// Window mean of a FLOAT copy of `image`, so the mean keeps its fractions.
    std::shared_ptr<Image2D> averageImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const;
    /// Window minimum and maximum of `image` in its own type; empty pointers on failure.
    std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>
    calculateMinMaxImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const;
    /// The constrained blend per pixel (constrainedWithStatistics), on the calling thread.
    virtual std::shared_ptr<Image2D> sharpen(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                             std::shared_ptr<Image2D> mean, std::shared_ptr<Image2D> minimum,
                                             std::shared_ptr<Image2D> maximum) const;
    /// The sharpness factor at a pixel; this filter uses SHARPNESS_FACTOR everywhere.
    double calculateLocalSharpnessFactor(double localContrast, double center) const;
};

/// Adapter of localAlphaConstrainedUnsharpMasking(); validates like its base. Slope and
/// Center are lenient: absent or not a number reads as 0.
class LocalAlphaConstrainedUnsharpMasking : public ConstrainedUnsharpMasking
{
public:
    static const QString FILTER_ID; ///< "LocalAlphaConstrainedUnsharpMasking"
    static const QString SLOPE;     ///< "Slope": slope s of the strength curve (0 when absent)
    static const QString CENTER;    ///< "Center": contrast c at which the strength is f / 2 (0 when absent)
    static const Parameter<double> SLOPE_PARAMETER;
    static const Parameter<double> CENTER_PARAMETER;
    static const ParameterList& parameters();

    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);

    static std::shared_ptr<Image2D> executeLocalAlphaConstrainedUnsharpMasking(Image2D* image, int kernelRadius,
                                                                               int minMaxKernelRadius,
                                                                               float sharpnessFactor,
                                                                               float interpolation, double slope,
                                                                               double center);

    /// The constrained blend with the local strength, pixels spread over the worker threads.
    std::shared_ptr<Image2D> sharpen(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                     std::shared_ptr<Image2D> mean, std::shared_ptr<Image2D> minimum,
                                     std::shared_ptr<Image2D> maximum) const override;
};

} // namespace image2d
