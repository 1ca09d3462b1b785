#include "image2d/enhancement/AutoLevelWindow3D.h"
#include "support/TestVolumes.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <vector>

namespace {

// Slices of 101 x 100: the values c + 1 .. c + 1000 ten times each, then 100 zeros (the
// padding bin that the CT settings discard). With fractions 0.02 and 0.998 of the 10000
// remaining pixels each such slice has the window [c + 20, c + 998]. An offset below 0 makes
// an all-zero slice, whose window [0, 0] is dropped.
VoxenImage3D windowSlices(const std::vector<int>& offsets, image::DataType type = image::DataType::SHORT)
{
    return testing_support::makeVolume({101, 100, static_cast<int>(offsets.size())}, type,
                                       [&](int x, int y, int z) {
                                           const int i = y * 101 + x, c = offsets[z];
                                           return c < 0 || i >= 10000 ? 0 : c + 1 + i / 10;
                                       });
}

struct WindowCase
{
    const char* name;
    std::vector<int> offsets;
    int level, window;
};

using CtAutoWindow = testing::TestWithParam<WindowCase>;

TEST_P(CtAutoWindow, TakesTheUpperMediansOfTheSliceWindows)
{
    VoxenImage3D volume = windowSlices(GetParam().offsets);
    EXPECT_EQ(image3d::calculateAutoLevelWindow(&volume), data::LevelWindow(GetParam().level, GetParam().window));
}

// Minima c + 20 and maxima c + 998: four slices give the medians 220 and 1198 (index 2),
// so level round50(709) = 700 and window round50(978) = 1000; three give 120 and 1098.
INSTANTIATE_TEST_SUITE_P(
    image3d, CtAutoWindow,
    testing::Values(WindowCase{"EvenSliceCount", {300, 0, 200, 100}, 700, 1000},
                    WindowCase{"OddSliceCount", {200, 100, 0}, 600, 1000},
                    WindowCase{"EmptySlicesDropped", {-1, 0, 100, -1, 300, 200, -1}, 700, 1000},
                    WindowCase{"OneSliceRoundedTo50", {10}, 500, 1000},
                    WindowCase{"NoSliceCounts", {-1, -1}, 0, 0}),
    [](const testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.name); });

TEST(CtAutoWindow, SlicesOfAnUnsupportedTypeAreSkippedWithTheirWarning)
{
    testing_support::WarningCapture warnings;
    VoxenImage3D volume = windowSlices({0, 100}, image::DataType::FLOAT);
    EXPECT_EQ(image3d::calculateAutoLevelWindow(&volume), data::LevelWindow(0, 0));
    EXPECT_EQ(warnings.messages().count(
                  "image2d::AutoContrast : AutoContrast algorithm not supported for data type:  5"),
              2);
    EXPECT_EQ(image3d::calculateAutoLevelWindow(nullptr), data::LevelWindow(0, 0));
    VoxenImage3D invalid;
    EXPECT_EQ(image3d::calculateAutoLevelWindow(&invalid), data::LevelWindow(0, 0));
}

TEST(CtAutoWindow, OnePoolThreadGivesTheSameWindow)
{
    VoxenImage3D volume = testing_support::randomVolume({64, 48, 9}, image::DataType::SHORT, 11, -1000, 3000);
    const data::LevelWindow all = image3d::calculateAutoLevelWindow(&volume);
    QThreadPool* pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    EXPECT_EQ(image3d::calculateAutoLevelWindow(&volume), all);
    pool->setMaxThreadCount(threads);
}

} // namespace
