#include "image2d/analysis/Labeling.h"
#include "image2d/framework/Core.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "support/ComponentReference.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace image2d;
using namespace testing_support;

namespace {

using LabellingIdentity = ::testing::TestWithParam<testing_support::MaskShape>;

// Label numbers column by column, the toolbox's label row by row, every pixel type by "value
// above 0"; both equal the literal merge-and-rescan labelling and a flood fill in their order.
TEST_P(LabellingIdentity, BothOrdersEqualTheLiteralLabellingAndAFloodFill)
{
    const testing_support::MaskShape& c = GetParam();
    std::uint32_t seed = 0;
    for (Image2D::DataType type : {Image2D::BINARY, Image2D::SHORT, Image2D::FLOAT, Image2D::INT,
                                   Image2D::UNSIGNED_CHAR, Image2D::UNSIGNED_SHORT})
    {
        SCOPED_TRACE(type);
        const std::vector<std::uint8_t> mask = randomMask(c.width, c.height, c.density, ++seed);
        const ReferenceLabels byColumns = mergeAndRescanLabels(mask, c.width, c.height, true);
        ASSERT_EQ(byColumns.labels, floodFillLabels(mask, c.width, c.height, true).labels);
        const ComponentLabels result = labelComponents(maskImage(mask, c.width, c.height));
        ASSERT_TRUE(result);
        EXPECT_EQ(labelsOf(*result.labels), byColumns.labels);
        std::vector<int> sizes(byColumns.count + 1, 0);
        for (std::uint32_t l : byColumns.labels)
            ++sizes[l];
        EXPECT_EQ(result.sizes, sizes);

        const bool signedType = type == Image2D::SHORT || type == Image2D::FLOAT || type == Image2D::INT;
        Image2D image = testing_support::randomImage(c.width, c.height, type, seed, signedType ? -2 : 0,
                                                     type == Image2D::BINARY ? 1 : 2);
        const ReferenceLabels byRows = mergeAndRescanLabels(positiveMask(image), c.width, c.height, false);
        ASSERT_EQ(byRows.labels, floodFillLabels(positiveMask(image), c.width, c.height, false).labels);
        EXPECT_EQ(Image2DOperations::label(&image), static_cast<int>(byRows.count) + 1);
        EXPECT_EQ(labelsOf(image), byRows.labels);
    }
}

INSTANTIATE_TEST_SUITE_P(Analysis, LabellingIdentity, ::testing::ValuesIn(testing_support::maskShapes()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Labelling, MoreThan65535ProvisionalLabelsStillGiveTheLiteralResult)
{
    for (bool columnMajor : {true, false})
    {
        int width = 0, height = 0;
        const std::vector<std::uint8_t> mask = testing_support::manyProvisionalLabels(columnMajor, width, height);
        const ReferenceLabels reference = mergeAndRescanLabels(mask, width, height, columnMajor);
        ASSERT_GT(reference.count, 59000u);
        Image2D image = maskImage(mask, width, height);
        if (columnMajor)
            image = *labelComponents(image).labels;
        else
            EXPECT_EQ(Image2DOperations::label(&image), static_cast<int>(reference.count) + 1);
        EXPECT_EQ(labelsOf(image), reference.labels);
    }
}

TEST(Labelling, MoreThan65535ComponentsFailWithAWarning)
{
    // Dots two pixels apart: 260 x 260 = 67,600 components.
    std::vector<std::uint8_t> dots(520 * 520, 0);
    for (int y = 0; y < 520; y += 2)
        for (int x = 0; x < 520; x += 2)
            dots[static_cast<std::size_t>(y) * 520 + x] = 1;
    Image2D image = maskImage(dots, 520, 520);
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

    Image2D full = makeImage(3, 2, Image2D::BINARY, std::vector<double>(6, 1.0));
    Label::executeLabeling(&full, count);
    EXPECT_EQ(count, (QHash<unsigned short, int>{{1, 6}})); // no background, no entry for 0
    // A pixel at the right end of a row and one at the left end of the next do not touch.
    Image2D stripes = makeImage(4, 2, Image2D::UNSIGNED_CHAR, {0, 0, 0, 9, 9, 0, 0, 0});
    EXPECT_EQ(Image2DOperations::label(&stripes), 3);
    Image2D empty(5, 5, Image2D::FLOAT);
    EXPECT_EQ(Image2DOperations::label(&empty), 1);
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

using RegionSelection = ::testing::TestWithParam<SelectionCase>;

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

} // namespace
