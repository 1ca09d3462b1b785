#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <QStringList>

#include <atomic>
#include <initializer_list>
#include <memory>

namespace pointops_test {

/// Outcome of one execute(): the result, the published output and the warnings logged.
struct RunResult
{
    bool ok = false;
    std::shared_ptr<Image2D> output;
    QStringList warnings;
};

inline RunResult run(image2d::Algorithm& algorithm, const std::atomic<bool>& cancel = image2d::neverCancelled())
{
    testing_support::WarningCapture capture;
    RunResult result;
    result.ok = algorithm.execute(cancel);
    result.output = algorithm.getSharedOutput(image2d::Algorithm::OUTPUT_IMAGE);
    result.warnings = capture.messages();
    return result;
}

inline std::shared_ptr<Image2D> shared(int width, int height, Image2D::DataType type,
                                       std::initializer_list<double> values)
{
    return std::make_shared<Image2D>(testing_support::makeImage(width, height, type, values));
}

/// One row of pixels, for table-driven cases.
inline std::shared_ptr<Image2D> row(Image2D::DataType type, const std::vector<double>& values)
{
    return std::make_shared<Image2D>(testing_support::makeImage(static_cast<int>(values.size()), 1, type, values));
}

} // namespace pointops_test
