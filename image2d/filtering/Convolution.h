#pragma once

// Convolution with square and separable kernels: core functions (the C++ API), then the
// adapters that hold a kernel pointer. Both cores are correlations with replicated edges,
// accumulate in float in kernel order and store with store::truncateWrap (the low-order
// bits of the sum truncated to 32 bits); rows run in parallel; neither polls cancellation.

#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <atomic>
#include <memory>

namespace image2d {

/// `image` correlated with the square `kernel`, in the input's type (a BINARY result is 1
/// where the stored byte is not 0). Every pixel type but code 4; empty with a warning otherwise.
std::shared_ptr<Image2D> filter(const Image2D& image, const Kernel& kernel);

/// A row pass and a column pass with the 1D `kernel` through a float temporary, stored into
/// `outputType`; a BINARY input is then clamped to [0, 1]. Every type but code 4 on both
/// sides, with a warning otherwise. When the input is not valid or there is no memory, the
/// result is returned unfilled.
std::shared_ptr<Image2D> separableFilter(const Image2D& image, const SeparableKernel& kernel,
                                         Image2D::DataType outputType);

/// Adapter of filter(). The kernel is not owned and must outlive the runs.
class Filter : public Algorithm
{
public:
    explicit Filter(Kernel* kernel);
    static const ParameterList& parameters();

    /// Filters a copy of `image`; an empty pointer on failure.
    static std::shared_ptr<Image2D> executeFilter(const Image2D& image, Kernel* kernel);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    Kernel* m_kernel;
};

/// Adapter of separableFilter(). The kernel is not owned and must outlive the runs.
class SeparableFilter : public Algorithm
{
public:
    static const QString OUTPUT_DATATYPE; ///< "output_data_type": Image2D::DataType of the result; default the input's
    /// Lenient: absent or not an integer gives the input's type.
    static const Parameter<int> OUTPUT_TYPE_PARAMETER;
    static const ParameterList& parameters();

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
