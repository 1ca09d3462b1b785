#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Parallel.h"

#include <cmath>
#include <functional>

namespace testing_support {

/// A small algorithm built the way library algorithms are: validation with the usual
/// messages, typed dispatch and a parallel loop over rows. Adds "offset" to every pixel
/// and records how it was called, so tests can observe the base's execution steps.
class OffsetAlgorithm : public image2d::Algorithm
{
public:
    static inline const QString OFFSET = QStringLiteral("offset");

    bool isInputValid() const override
    {
        if (!requireInputImage("image2d::OffsetAlgorithm", INPUT_IMAGE))
            return false;
        return requireInt("image2d::OffsetAlgorithm", OFFSET).hasValue();
    }

    bool process(const std::atomic<bool>& cancel) override
    {
        ++processCalls;
        const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
        const int offset = *getUniformIntValue(OFFSET);
        using Supported = image2d::PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::FLOAT>;
        return image2d::dispatchDataType(
            Supported{}, input->getDataType(), "image2d::OffsetAlgorithm : offset algorithm not supported for data type: ",
            [&](auto tag) {
                using T = typename decltype(tag)::type;
                auto output = std::make_shared<Image2D>(input->getSize(), input->getDataType(), input->getPixelSize());
                const T* in = input->getConstData<T>();
                T* out = output->getData<T>();
                // Cache a (stale) range on purpose: only editFinished() can refresh it.
                output->getValueRange();
                const int width = input->getWidth();
                image2d::parallelFor(0, input->getHeight(), [&](int first, int last) {
                    for (int y = first; y < last; ++y)
                        for (int x = 0; x < width; ++x)
                            out[y * width + x] = static_cast<T>(in[y * width + x] + offset);
                });
                setSharedOutput(OUTPUT_IMAGE, output);
                if (afterProcess)
                    afterProcess();
                (void)cancel;
                return true;
            });
    }

    int processCalls = 0;
    std::function<void()> afterProcess;
};

} // namespace testing_support
