// The tool's parts called directly, without a process: what the display road reports
// and what the phantom holds.
#include "EnhanceJob.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace {

// A run that fails in the display road says where and why: an INT image cannot be
// level/windowed. (Until the processor names its failing step, the reason is its own.)
TEST(ToolParts, DisplayRoadFailureNamesTheStepAndTheReason)
{
    tool::LoadedImage input;
    input.image = Image2D(8, 8, Image2D::INT, QVector3D(0.1f, 0.1f, 1.0f));
    tool::EnhanceSettings settings;
    settings.level = 10.0;
    settings.window = 20.0;
    tool::EnhanceOutcome outcome;
    QString error;
    const std::atomic<bool> cancel{false};
    EXPECT_FALSE(tool::runEnhance(input, settings, outcome, error, cancel));
    EXPECT_TRUE(error.contains(QRegularExpression(QStringLiteral(
        "^display road failed( in level/window)?: (pixel type not supported|processing failed) \\(INT image, level 10, window 20\\)$"))))
        << qPrintable(error);
}

} // namespace
