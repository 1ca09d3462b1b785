#include "image2d/analysis/Labeling.h"
#include "image2d/framework/Core.h"
#include "support/ComponentReference.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace image2d;
using testing_support::floodFillLabels;
using testing_support::makeImage;
using testing_support::mergeAndRescanLabels;
using testing_support::pixels;
using testing_support::ReferenceLabels;
using testing_support::WarningCapture;

namespace {

std::vector<std::uint8_t> randomMask(int width, int height, double density, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::bernoulli_distribution set(density);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height);
    for (auto& m : mask)
        m = set(rng);
    return mask;
}

Image2D binaryImage(const std::vector<std::uint8_t>& mask, int width, int height)
{
    return makeImage(width, height, Image2D::BINARY, std::vector<double>(mask.begin(), mask.end()));
}

std::vector<std::uint32_t> labelsOf(const Image2D& image)
{
    std::vector<std::uint32_t> labels;
    for (double v : pixels(image))
        labels.push_back(static_cast<std::uint32_t>(v));
    return labels;
}

// Image sizes from one pixel to several 64-pixel words per row, at several densities.
struct SizeClass
{
    const char* name;
    int width, height;
    double density;
};
const SizeClass kSizeClasses[] = {
    {"pixel", 1, 1, 0.5},      {"row", 37, 1, 0.5},       {"column", 1, 41, 0.5},   {"square2", 2, 2, 0.6},
    {"small", 7, 5, 0.5},      {"word", 64, 9, 0.5},      {"wordPlus1", 65, 8, 0.6}, {"twoWords", 128, 6, 0.45},
    {"sparse", 40, 30, 0.15},  {"dense", 50, 40, 0.75},   {"wide", 130, 70, 0.55},
};

class LabellingIdentity : public ::testing::TestWithParam<SizeClass>
{
};

// Label numbers column by column, as the literal merge-and-rescan labelling and a flood fill
// in that order do, pixel for pixel.
TEST_P(LabellingIdentity, EqualsTheLiteralLabellingAndAFloodFill)
{
    const SizeClass& c = GetParam();
    for (std::uint32_t seed = 1; seed <= 6; ++seed)
    {
        SCOPED_TRACE(seed);
        const std::vector<std::uint8_t> mask = randomMask(c.width, c.height, c.density, seed);
        const ReferenceLabels byColumns = mergeAndRescanLabels(mask, c.width, c.height, true);
        ASSERT_EQ(byColumns.labels, floodFillLabels(mask, c.width, c.height, true).labels);
        const ComponentLabels result = labelComponents(binaryImage(mask, c.width, c.height));
        ASSERT_TRUE(result);
        EXPECT_EQ(labelsOf(*result.labels), byColumns.labels);
        std::vector<int> sizes(byColumns.count + 1, 0);
        for (std::uint32_t l : byColumns.labels)
            ++sizes[l];
        EXPECT_EQ(result.sizes, sizes);
    }
}

INSTANTIATE_TEST_SUITE_P(Analysis, LabellingIdentity, ::testing::ValuesIn(kSizeClasses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Labelling, MoreThan65535ProvisionalLabelsStillGiveTheLiteralResult)
{
    int width = 0, height = 0;
    const std::vector<std::uint8_t> mask = testing_support::manyProvisionalLabels(true, width, height);
    const ReferenceLabels reference = mergeAndRescanLabels(mask, width, height, true);
    ASSERT_GT(reference.count, 59000u);
    const ComponentLabels result = labelComponents(binaryImage(mask, width, height));
    ASSERT_TRUE(result);
    EXPECT_EQ(labelsOf(*result.labels), reference.labels);
}

TEST(Labelling, MoreThan65535ComponentsFailWithAWarning)
{
    // Dots two pixels apart: 260 x 260 = 67,600 components.
    std::vector<double> values(520 * 520, 0.0);
    for (int y = 0; y < 520; y += 2)
        for (int x = 0; x < 520; x += 2)
            values[static_cast<std::size_t>(y) * 520 + x] = 1;
    Image2D image = makeImage(520, 520, Image2D::BINARY, values);
    WarningCapture warnings;
    QHash<unsigned short, int> count{{1, 1}};
    EXPECT_FALSE(Label::executeLabeling(&image, count));
    EXPECT_TRUE(count.isEmpty());
    EXPECT_EQ(warnings.messages(), QStringList{"image2d::Label : too many components"});
}

// A dot at (5, 0) and one at (0, 5): the column scan meets (0, 5) first.
TEST(Labelling, ColumnsAreScannedFirst)
{
    Image2D image(6, 6, Image2D::BINARY);
    image.getData()[5] = image.getData()[30] = 1;
    QHash<unsigned short, int> count;
    const std::shared_ptr<Image2D> labels = Label::executeLabeling(&image, count);
    ASSERT_TRUE(labels);
    EXPECT_EQ(labels->getConstData<std::uint16_t>()[30], 1);
    EXPECT_EQ(labels->getConstData<std::uint16_t>()[5], 2);
    EXPECT_EQ(count, (QHash<unsigned short, int>{{0, 34}, {1, 1}, {2, 1}}));
}

TEST(Labelling, AllSetHasNoBackgroundCount)
{
    Image2D full = makeImage(3, 2, Image2D::BINARY, std::vector<double>(6, 1.0));
    QHash<unsigned short, int> count;
    Label::executeLabeling(&full, count);
    EXPECT_EQ(count, (QHash<unsigned short, int>{{1, 6}}));
}

// Regions 1, 2 and 3 of 10, 30 and 20 pixels, and two more of 5 pixels each.
Image2D regionImage()
{
    std::vector<double> values;
    for (auto [label, size] : {std::pair{1, 10}, {0, 7}, {2, 30}, {3, 20}, {5, 5}, {4, 5}})
        values.insert(values.end(), size, label);
    return makeImage(11, 7, Image2D::UNSIGNED_SHORT, values);
}

struct SelectionCase
{
    const char* name;
    QVariant regionCount, minimumSize;
    std::vector<int> kept;
};

class RegionSelection : public ::testing::TestWithParam<SelectionCase>
{
};

TEST_P(RegionSelection, KeepsTheChosenLabels)
{
    const SelectionCase& c = GetParam();
    const Image2D regions = regionImage();
    KeepLargestPart keep;
    keep.setInput(KeepLargestPart::INPUT_IMAGE, &regions);
    if (c.regionCount.isValid())
        keep.setUniformValue(KeepLargestPart::REGION_COUNT, c.regionCount);
    if (c.minimumSize.isValid())
        keep.setUniformValue(KeepLargestPart::MINIMUM_SIZE, c.minimumSize);
    ASSERT_TRUE(keep.execute(neverCancelled()));
    const std::shared_ptr<Image2D> output = keep.getSharedOutput(KeepLargestPart::OUTPUT_IMAGE);
    EXPECT_EQ(output->getDataType(), Image2D::BINARY);
    const std::vector<double> labels = pixels(regions), kept = pixels(*output);
    for (std::size_t i = 0; i < labels.size(); ++i)
        ASSERT_EQ(kept[i], std::count(c.kept.begin(), c.kept.end(), int(labels[i])) ? 1 : 0) << "label " << labels[i];
}

INSTANTIATE_TEST_SUITE_P(
    Analysis, RegionSelection,
    ::testing::Values(SelectionCase{"twoLargest", 2, {}, {2, 3}}, SelectionCase{"atLeast20", {}, 20, {2, 3}},
                      SelectionCase{"atLeast31", {}, 31, {}}, SelectionCase{"moreThanThereAre", 9, {}, {1, 2, 3, 4, 5}},
                      SelectionCase{"countZero", 0, {}, {}}, SelectionCase{"countWins", 1, 5, {2}},
                      // Equal sizes keep the smaller label first.
                      SelectionCase{"tieKeepsSmallerLabel", 4, {}, {1, 2, 3, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegionSelection, OnlyBackgroundGivesAnEmptyMask)
{
    Image2D background(4, 3, Image2D::UNSIGNED_SHORT);
    const std::shared_ptr<Image2D> output = KeepLargestPart::executeLargestPartWithRegionCount(&background, 3);
    ASSERT_TRUE(output);
    EXPECT_EQ(pixels(*output), std::vector<double>(12, 0.0));
}

struct BadInputCase
{
    const char* name;
    int algorithm; // 0 Label, 1 KeepLargestPart
    int input;     // 0 none, 1 invalid, 2 FLOAT, 3 valid for the algorithm
    QVariant regionCount;
    QString message;
};

class LabellingBadInput : public ::testing::TestWithParam<BadInputCase>
{
};

TEST_P(LabellingBadInput, FailsWithTheWarning)
{
    const BadInputCase& c = GetParam();
    std::unique_ptr<Algorithm> algorithm;
    if (c.algorithm == 0)
        algorithm = std::make_unique<Label>();
    else
        algorithm = std::make_unique<KeepLargestPart>();
    const Image2D images[] = {Image2D(), Image2D(), Image2D(3, 3, Image2D::FLOAT),
                              Image2D(3, 3, c.algorithm == 0 ? Image2D::BINARY : Image2D::UNSIGNED_SHORT)};
    if (c.input > 0)
        algorithm->setSharedInput(Algorithm::INPUT_IMAGE, std::make_shared<Image2D>(images[c.input]));
    if (c.regionCount.isValid())
        algorithm->setUniformValue(KeepLargestPart::REGION_COUNT, c.regionCount);
    WarningCapture warnings;
    EXPECT_FALSE(algorithm->execute(neverCancelled()));
    EXPECT_EQ(warnings.messages(), QStringList{c.message});
    EXPECT_FALSE(algorithm->getSharedOutput(Algorithm::OUTPUT_IMAGE));
}

INSTANTIATE_TEST_SUITE_P(
    Analysis, LabellingBadInput,
    ::testing::Values(
        BadInputCase{"labelMissing", 0, 0, {}, "image2d::Label : missing input:  \"inputImage\""},
        BadInputCase{"labelInvalid", 0, 1, {}, "image2d::Label : invalid input:  \"inputImage\""},
        BadInputCase{"labelFloat", 0, 2, {},
                     "image2d::Label: input not of type Image2D::DataType::BINARY:  \"inputImage\""},
        BadInputCase{"keepMissing", 1, 0, 1, "image2d::KeepLargestPart : missing input:  \"inputImage\""},
        BadInputCase{"keepInvalid", 1, 1, 1, "image2d::KeepLargestPart : invalid input:  \"inputImage\""},
        BadInputCase{"keepFloat", 1, 2, 1,
                     "image2d::KeepLargestPart: input not of type Image2D::DataType::UNSIGNED_SHORT:  \"inputImage\""},
        BadInputCase{"keepNoParameter", 1, 3, {},
                     "image2d::KeepLargestPart : missing uniform value:  \"regionCount\"  or  \"minimumSize\"  must "
                     "be defined."},
        BadInputCase{"keepCountNotInt", 1, 3, "two", "image2d::KeepLargestPart : invalid input:  \"regionCount\""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
