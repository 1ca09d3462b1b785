#pragma once

#include "image2d/framework/Algorithm.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Contrast-limited adaptive histogram equalization: overlapping square tiles, each with a
/// clipped cumulative histogram, interpolated bilinearly between tile centres.
/// `balance` moves the clip limit from none (0, pass-through) to full equalization (1).
class HistogramEqualization : public Algorithm
{
public:
    static const QString FILTER_ID;              ///< "HistogramEqualization"
    static const QString BALANCE;                ///< "balance", float in [0, 1]
    static const QString KERNEL_RELATIVE_RADIUS; ///< "kernelRadius", fraction of the width in [0, 0.5]
    static const QString KERNEL_OVERLAP;         ///< "kernelOverlap", fraction of the tile in [0, 1]

    bool isInputValid() const override;
    /// balance <= 0 publishes the input image itself; otherwise a new equalized image.
    bool process(const std::atomic<bool>& cancel) override;

    /// Runs the algorithm on a copy of `input`; an empty pointer on invalid input.
    static std::shared_ptr<Image2D> executeHieq(Image2D* input, float balance, float kernelRadius,
                                                float kernelOverlap);

private:
    bool checkRange(const QString& key, float min, float max) const;
    std::shared_ptr<Image2D> hieq(std::shared_ptr<Image2D> input, float balance, float relativeRadius,
                                  float overlap, const std::atomic<bool>& cancel) const;
};

} // namespace image2d
