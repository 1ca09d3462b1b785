#pragma once

#include "image2d/framework/Algorithm.h"

#include <QMetaType>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace image2d {

/// Sharpens by convolving a FLOAT copy of the image with one of five fixed symmetric
/// kernels; integer results are clamped to the input's own value range and converted back.
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

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Sharpens a copy of `image` with the given kernel; empty on failure.
    static std::shared_ptr<Image2D> executeSharpen(const Image2D* image, KernelType kernelType);

    /// The full row-major weights of the kernel of `kernelType`, built once at load time.
    static const std::vector<float>& kernelValues(KernelType kernelType);

    /// Convolves `image` (FLOAT) with the kernel of `kernelType`; returns the FLOAT result.
    std::shared_ptr<Image2D> sharpen(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                     KernelType kernelType) const;

private:
    /// The stored KERNEL_TYPE as an enumerator, or nothing when absent or not convertible.
    utility::Optional<KernelType> readKernelType() const;
};

} // namespace image2d

Q_DECLARE_METATYPE(image2d::SharpenOrvane::KernelType)
