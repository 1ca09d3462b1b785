#pragma once

#include "image2d/framework/Algorithm.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Adaptive histogram equalization after Stark: each output pixel averages a cumulation
/// function of its difference to every pixel of a square window around it. Alpha 1 gives
/// local-mean subtraction, alpha 0 local histogram equalization; beta mixes the value back.
class StarkAdaptiveHistogramEqualization : public Algorithm
{
public:
    static const QString FILTER_ID;    ///< "Stark"
    static const QString ALPHA_VALUE;  ///< "alphaValue", double in [0, 1]
    static const QString BETA_VALUE;   ///< "betaValue", double in [0, 1]
    static const QString RADIUS_VALUE; ///< "radiusValue", unsigned int, pixels

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Runs the algorithm on a copy of `input`; an empty pointer on invalid input or type.
    static std::shared_ptr<Image2D> executeStadHieq(Image2D* input, double alpha, double beta, unsigned int radius);

private:
    std::shared_ptr<Image2D> stadHieq(std::shared_ptr<Image2D> input, double alpha, double beta, unsigned int radius,
                                      double lo, double hi, const std::atomic<bool>& cancel) const;
};

} // namespace image2d
