#include "image2d/analysis/Labeling.h"
#include "image2d/framework/Core.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "support/ComponentReference.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

using namespace image2d;
using testing_support::floodFillLabels;
using testing_support::makeImage;
using testing_support::mergeAndRescanLabels;
using testing_support::pixels;
using testing_support::positiveMask;
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

// Label numbers column by column, the toolbox's label row by row; both must equal the
// literal merge-and-rescan labelling and a flood fill, pixel for pixel.
TEST_P(LabellingIdentity, BothOrdersEqualTheLiteralLabellingAndAFloodFill)
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

        // The toolbox labels every pixel type by "value above 0": negative values are background.
        const Image2D::DataType type = std::array{Image2D::SHORT, Image2D::FLOAT, Image2D::INT,
                                                  Image2D::UNSIGNED_CHAR, Image2D::UNSIGNED_SHORT}[seed % 5];
        Image2D image = testing_support::randomImage(c.width, c.height, type, seed, type == Image2D::SHORT ? -2 : 0, 2);
        const ReferenceLabels byRows = mergeAndRescanLabels(positiveMask(image), c.width, c.height, false);
        ASSERT_EQ(byRows.labels, floodFillLabels(positiveMask(image), c.width, c.height, false).labels);
        EXPECT_EQ(Image2DOperations::label(&image), static_cast<int>(byRows.count) + 1);
        EXPECT_EQ(image.getDataType(), Image2D::UNSIGNED_SHORT);
        EXPECT_EQ(labelsOf(image), byRows.labels);
    }
}

INSTANTIATE_TEST_SUITE_P(Analysis, LabellingIdentity, ::testing::ValuesIn(kSizeClasses),
                         [](const auto& info) { return std::string(info.param.name); });

// 12,000 provisional labels on V shapes that merge in pairs, then 54,000 isolated dots: more
// than 65,535 provisional labels for 60,000 components. `columnMajor` lays the lines out as
// columns. A few V shapes are left out at random.
std::vector<std::uint8_t> manyProvisionalLabels(bool columnMajor, int& width, int& height)
{
    const int lineLength = 600, lines = 480;
    width = columnMajor ? lines : lineLength;
    height = columnMajor ? lineLength : lines;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height, 0);
    auto set = [&](int along, int line) {
        mask[columnMajor ? static_cast<std::size_t>(along) * width + line
                         : static_cast<std::size_t>(line) * width + along] = 1;
    };
    std::mt19937 rng(7);
    for (int line = 0; line < 120; line += 3)
        for (int s = 0; s + 2 < lineLength; s += 4)
            if (rng() % 100 != 0)
            {
                set(s, line);
                set(s + 2, line);
                set(s + 1, line + 1);
            }
    for (int line = 120; line < lines; line += 2)
        for (int s = 0; s < lineLength; s += 2)
            set(s, line);
    return mask;
}

TEST(Labelling, MoreThan65535ProvisionalLabelsStillGiveTheLiteralResult)
{
    for (bool columnMajor : {true, false})
    {
        int width = 0, height = 0;
        const std::vector<std::uint8_t> mask = manyProvisionalLabels(columnMajor, width, height);
        const ReferenceLabels reference = mergeAndRescanLabels(mask, width, height, columnMajor);
        ASSERT_GT(reference.count, 59000u);
        Image2D image = binaryImage(mask, width, height);
        if (columnMajor)
        {
            const ComponentLabels result = labelComponents(image);
            ASSERT_TRUE(result);
            EXPECT_EQ(labelsOf(*result.labels), reference.labels);
        }
        else
        {
            EXPECT_EQ(Image2DOperations::label(&image), static_cast<int>(reference.count) + 1);
            EXPECT_EQ(labelsOf(image), reference.labels);
        }
    }
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
    EXPECT_EQ(Image2DOperations::label(&image), 0);
    EXPECT_EQ(image.getDataType(), Image2D::BINARY);
    EXPECT_EQ(warnings.messages(),
              QStringList({"image2d::Label : too many components", "Image2D: label() too many components"}));
}

// A dot at (5, 0) and one at (0, 5): the column scan meets (0, 5) first, the row scan (5, 0).
TEST(Labelling, ColumnsAndRowsNumberInTheirOwnOrder)
{
    Image2D image(6, 6, Image2D::BINARY);
    image.getData()[5] = image.getData()[30] = 1;
    QHash<unsigned short, int> count;
    const std::shared_ptr<Image2D> labels = Label::executeLabeling(&image, count);
    ASSERT_TRUE(labels);
    EXPECT_EQ(labels->getConstData<std::uint16_t>()[30], 1);
    EXPECT_EQ(labels->getConstData<std::uint16_t>()[5], 2);
    EXPECT_EQ(count, (QHash<unsigned short, int>{{0, 34}, {1, 1}, {2, 1}}));
    EXPECT_EQ(Image2DOperations::label(&image), 3);
    EXPECT_EQ(image.getConstData<std::uint16_t>()[5], 1);
    EXPECT_EQ(image.getConstData<std::uint16_t>()[30], 2);

    // A pixel at the right end of a row and one at the left end of the next do not touch.
    Image2D stripes = makeImage(4, 2, Image2D::UNSIGNED_CHAR, {0, 0, 0, 9, 9, 0, 0, 0});
    EXPECT_EQ(Image2DOperations::label(&stripes), 3);
}

TEST(Labelling, AllSetHasNoBackgroundCountAndThreeHundredDotsGiveThreeHundredLabels)
{
    Image2D full = makeImage(3, 2, Image2D::BINARY, std::vector<double>(6, 1.0));
    QHash<unsigned short, int> count;
    Label::executeLabeling(&full, count);
    EXPECT_EQ(count, (QHash<unsigned short, int>{{1, 6}}));

    Image2D dots(600, 1, Image2D::SHORT);
    for (int x = 0; x < 600; x += 2)
        dots.getData<std::int16_t>()[x] = 7;
    EXPECT_EQ(Image2DOperations::label(&dots), 301);
    EXPECT_EQ(dots.getConstData<std::uint16_t>()[598], 300);
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
