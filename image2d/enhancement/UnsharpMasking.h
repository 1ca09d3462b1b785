#pragma once

#include "image2d/framework/Algorithm.h"

#include <QString>

#include <atomic>
#include <memory>
#include <utility>

namespace image2d {

/// Plain unsharp masking: adds f times the difference between a pixel and its window
/// mean; float arithmetic, integer results truncated.
class Sharpen : public Algorithm
{
public:
    static const QString FILTER_ID;        ///< "Sharpen"
    static const QString KERNEL_RADIUS;    ///< "kernelRadiusImage": radius of the mean window
    static const QString SHARPNESS_FACTOR; ///< "sharpnessFactorImage": factor f

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Sharpens a copy of `image`; empty when validation fails or the type is not supported.
    static std::shared_ptr<Image2D> executeSharpen(Image2D* image, int kernelRadius, float sharpnessFactor);

    /// Window mean of `image` in its own type (AreaAverage with KERNEL_RADIUS).
    std::shared_ptr<Image2D> averageImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const;
    /// (I - A) * f + I per pixel; empty for an unsupported type, unfilled when an image is not valid.
    std::shared_ptr<Image2D> sharpen(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                     std::shared_ptr<Image2D> mean) const;
};

/// Unsharp masking whose result is pulled into the local [min, max] range by the weight t;
/// double arithmetic, integer results rounded.
class ConstrainedUnsharpMasking : public Algorithm
{
public:
    static const QString FILTER_ID;             ///< "ConstrainedUnsharpMasking"
    static const QString KERNEL_RADIUS;         ///< "kernelRadiusImage": radius of the mean window
    static const QString MIN_MAX_KERNEL_RADIUS; ///< "minMaxKernelRadiusImage": radius of the min/max window
    static const QString SHARPNESS_FACTOR;      ///< "sharpnessFactorImage": factor f
    /// "interpolationBetweenConstrainedAndUnconstrainedSharpen": weight t of the constrained value.
    static const QString INTERPOLATION;

    bool isInputValid() const override;
    /// Mean, min/max, then the virtual sharpen() step; reports true also when the type is
    /// not supported (the output is then empty).
    bool process(const std::atomic<bool>& cancel) override;

    static std::shared_ptr<Image2D> executeConstrainedUnsharpMasking(Image2D* image, int kernelRadius,
                                                                     int minMaxKernelRadius, float sharpnessFactor,
                                                                     float interpolation);

    /// Window mean of a FLOAT copy of `image`, so the mean keeps its fractions.
    std::shared_ptr<Image2D> averageImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const;
    /// Window minimum and maximum of `image` in its own type; empty pointers on failure.
    std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>
    calculateMinMaxImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const;
    /// The constrained blend per pixel, on the calling thread.
    virtual std::shared_ptr<Image2D> sharpen(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                             std::shared_ptr<Image2D> mean, std::shared_ptr<Image2D> minimum,
                                             std::shared_ptr<Image2D> maximum) const;
    /// The sharpness factor at a pixel; this filter uses SHARPNESS_FACTOR everywhere.
    double calculateLocalSharpnessFactor(double localContrast, double center) const;

};

/// Constrained unsharp masking whose strength follows a logistic curve of the local
/// contrast (max - min): about f in structured regions, about 0 in flat ones.
class LocalAlphaConstrainedUnsharpMasking : public ConstrainedUnsharpMasking
{
public:
    static const QString FILTER_ID; ///< "LocalAlphaConstrainedUnsharpMasking"
    static const QString SLOPE;     ///< "Slope": slope s of the strength curve (0 when absent)
    static const QString CENTER;    ///< "Center": contrast c at which the strength is f / 2 (0 when absent)

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
