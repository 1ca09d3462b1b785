#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Pixel types of the Stark equalization (every type but INT).
using StarkTypes = NoIntPixelTypes;

/// Adaptive histogram equalization after Stark: each output pixel averages a cumulation
/// function of its difference to every pixel of the (2 radius + 1)^2 window around it,
/// clipped to the image, with the values normalised by the image's value bounds. Alpha 1
/// gives local-mean subtraction, alpha 0 local histogram equalization; beta mixes the value
/// back. Rows run in parallel, each with its own window histogram; no cancellation. Empty
/// with the algorithm's warnings for alpha or beta outside [0, 1] or an unsupported type.
std::shared_ptr<Image2D> starkAdaptiveHistogramEqualization(const Image2D& image, double alpha, double beta,
                                                            unsigned int radius);

/// Adapter of starkAdaptiveHistogramEqualization(). Alpha or beta outside [0, 1] warn
/// "invalid input" and then "<key> range is: [0, ... , 1]".
class StarkAdaptiveHistogramEqualization : public Algorithm
{
public:
    static const QString FILTER_ID;    ///< "Stark"
    static const QString ALPHA_VALUE;  ///< "alphaValue", double in [0, 1]
    static const QString BETA_VALUE;   ///< "betaValue", double in [0, 1]
    static const QString RADIUS_VALUE; ///< "radiusValue", unsigned int, pixels
    static const Parameter<double> ALPHA_PARAMETER;
    static const Parameter<double> BETA_PARAMETER;
    static const Parameter<unsigned int> RADIUS_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);

    /// Runs the algorithm on a copy of `input`; an empty pointer on invalid input or type.
    static std::shared_ptr<Image2D> executeStadHieq(Image2D* input, double alpha, double beta, unsigned int radius);
};

} // namespace image2d
