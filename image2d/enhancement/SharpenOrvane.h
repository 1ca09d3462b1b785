#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QMetaType>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace image2d {

/// Adapter of sharpenOrvane() (below): sharpens by convolving a FLOAT copy of the image with
/// one of five fixed symmetric kernels. Reports success also when the output stays empty.
class SharpenOrvane : public Algorithm
{
public:
    /// Which kernel to use. Values other than 0-3 select KERNEL_7X7_STRONG.
    enum KernelType : int
    {
        KERNEL_5X5 = 0,
        KERNEL_7X7 = 1,
        KERNEL_9X9 = 2,
        KERNEL_11X11 = 3,
        KERNEL_7X7_STRONG = 4
    };

    static const QString FILTER_ID;   ///< "SharpenOrvane"
    static const QString KERNEL_TYPE; ///< "kernelType": a KernelType (or an integer)
    /// Converted to KernelType by Qt's meta-type conversion.
    static const Parameter<KernelType> KERNEL_TYPE_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);

    /// Sharpens a copy of `image` with the given kernel; empty on failure.
    static std::shared_ptr<Image2D> executeSharpen(const Image2D* image, KernelType kernelType);

    /// The full row-major weights of the kernel of `kernelType`, built once at load time.
    static const std::vector<float>& kernelValues(KernelType kernelType);

    /// Convolves `image` (FLOAT) with the kernel of `kernelType` (filter()); the FLOAT result.
    std::shared_ptr<Image2D> sharpen(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                     KernelType kernelType) const;
};

/// `image` converted to FLOAT and correlated with the kernel of `kernelType` (filter(), rows
/// in parallel); for other types than FLOAT clamped to the input's own value range and
/// converted back by the pixel-data library. Keeps the input's pixel size; empty when the
/// conversion or the filter fails (with their warnings).
std::shared_ptr<Image2D> sharpenOrvane(const Image2D& image, SharpenOrvane::KernelType kernelType);

} // namespace image2d

Q_DECLARE_METATYPE(image2d::SharpenOrvane::KernelType)
