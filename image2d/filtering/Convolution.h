#pragma once

#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Algorithm.h"

#include <atomic>
#include <memory>

namespace image2d {

/// Correlation of an image with a square Kernel; edges replicated, sums accumulated in
/// float and stored truncated (low-order bits kept) in the input's data type.
/// The kernel is not owned and must outlive the runs.
class Filter : public Algorithm
{
public:
    explicit Filter(Kernel* kernel);

    /// Filters a copy of `image`; an empty pointer on failure.
    static std::shared_ptr<Image2D> executeFilter(const Image2D& image, Kernel* kernel);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    Kernel* m_kernel;
};

/// A row pass and a column pass with the same SeparableKernel (edges replicated, float
/// accumulation), stored truncated into the data type given by OUTPUT_DATATYPE.
class SeparableFilter : public Algorithm
{
public:
    static const QString OUTPUT_DATATYPE; ///< "output_data_type": Image2D::DataType of the result; default the input's

    explicit SeparableFilter(SeparableKernel* kernel);

    /// Filters `image` into `outputType`; the value 4 keeps the input's type.
    static std::shared_ptr<Image2D> executeSeparableFilter(std::shared_ptr<Image2D> image, SeparableKernel* kernel,
                                                           Image2D::DataType outputType);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    SeparableKernel* m_kernel;
};

} // namespace image2d
