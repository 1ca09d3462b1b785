#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/pipeline/ImageFilterConversion.h"
#include "platform/documentmodel/ImageFilter.h"
#include "platform/foundation/StringConversions.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>

using dataobject::ImageFilter;
using dataobject::ImageFilterElementType;
using dataobject::ImageFilterModality;
using image2d::FilterSet;
using testing_support::WarningCapture;

namespace {

const QSize kImage(3000, 4000);  // diagonal 5000
const QSize kDisplay(1500, 700); // scale 0.5: only the width counts
const QVector3D kPixel(0.1f, 0.2f, 1.0f);

FilterSet convert(const ImageFilter& filter, const QSize& display = kDisplay, const QVector3D& pixel = kPixel)
{
    return conversions::toFilterSet(&filter, kImage, pixel, display);
}

ImageFilter single(ImageFilterModality modality, ImageFilterElementType type, float parameter)
{
    ImageFilter filter(modality);
    filter.setElement(type, parameter);
    return filter;
}

// The value under `key` must have exactly the QVariant type the algorithms expect.
void expectFloat(const FilterSet& set, const QString& id, const QString& key, float expected)
{
    const QVariant v = set.getFilterParameters(id).getUniformValue(key);
    EXPECT_EQ(v.typeId(), QMetaType::Float) << qPrintable(id) << " " << qPrintable(key);
    EXPECT_EQ(v.toFloat(), expected) << qPrintable(id) << " " << qPrintable(key);
}

void expectInt(const FilterSet& set, const QString& id, const QString& key, int expected)
{
    const QVariant v = set.getFilterParameters(id).getUniformValue(key);
    EXPECT_EQ(v.typeId(), QMetaType::Int) << qPrintable(id) << " " << qPrintable(key);
    EXPECT_EQ(v.toInt(), expected) << qPrintable(id) << " " << qPrintable(key);
}

int filterCount(const FilterSet& set)
{
    int n = 0;
    for (const char* id :
         {"LevelWindow", "Invert", "HistogramEqualization", "Navrel", "Sharpen", "SharpenOrvane",
          "LocalAlphaConstrainedUnsharpMasking", "ConstrainedUnsharpMasking", "Stark", "Denoise", "Gamma"})
        n += set.isFilterActive(QString::fromLatin1(id)) ? 1 : 0;
    return n;
}

} // namespace

TEST(ToFilterSet, NullFilterGivesEmptySet)
{
    WarningCapture warnings;
    EXPECT_FALSE(conversions::toFilterSet(nullptr, kImage, kPixel, kDisplay).hasActiveFilters());
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(ToFilterSet, GammaAndInvert)
{
    ImageFilter filter;
    filter.setElement(ImageFilterElementType::Gamma, 1.7f);
    filter.setElement(ImageFilterElementType::Invert);
    const FilterSet set = convert(filter);
    EXPECT_EQ(filterCount(set), 2);
    expectFloat(set, "Gamma", "GammaValue", 1.7f);
    ASSERT_TRUE(set.isFilterActive("Invert"));
    EXPECT_TRUE(set.getFilterParameters("Invert").getUniforms().isEmpty());
}

TEST(ToFilterSet, HiddenAndInactiveElementsAreSkipped)
{
    ImageFilter filter;
    filter.setElement(ImageFilterElementType::Gamma, 1.7f, /*visible*/ false, /*active*/ true);
    filter.setElement(ImageFilterElementType::Invert, {}, true, /*active*/ false);
    filter.setElement(ImageFilterElementType::HistogramEqualization, 0.5f);
    const FilterSet set = convert(filter);
    EXPECT_EQ(filterCount(set), 1);
    EXPECT_TRUE(set.isFilterActive("HistogramEqualization"));
}

// Which sharpening filter a modality selects, and its radius for the 3000 x 4000 image
// (diagonal 5000) shown at half its width, pixel size 0.1 mm.
struct SharpenCase
{
    ImageFilterModality modality;
    const char* id;
    int radius;
};

using ToFilterSetSharpen = ::testing::TestWithParam<SharpenCase>;

TEST_P(ToFilterSetSharpen, ChoosesFilterAndRadius)
{
    const SharpenCase c = GetParam();
    const FilterSet set = convert(single(c.modality, ImageFilterElementType::Sharpen, 0.8f));
    EXPECT_EQ(filterCount(set), 1);
    ASSERT_TRUE(set.isFilterActive(c.id)) << c.id;
    expectFloat(set, c.id, "sharpnessFactorImage", 0.8f);
    expectInt(set, c.id, "kernelRadiusImage", c.radius);
}

INSTANTIATE_TEST_SUITE_P(Modalities, ToFilterSetSharpen,
                         ::testing::Values(
                             // 0.8 / 0.1 * 0.5 = 4
                             SharpenCase{ImageFilterModality::IntraoralSensor, "Navrel", 4},
                             // (0.2 / 0.1) * 0.5 = 1
                             SharpenCase{ImageFilterModality::IntraoralPhosphorPlate,
                                         "LocalAlphaConstrainedUnsharpMasking", 1},
                             // 5000 * 0.002 * 0.5 = 5
                             SharpenCase{ImageFilterModality::Panoramic, "Sharpen", 5},
                             SharpenCase{ImageFilterModality::Cephalometric, "Sharpen", 5},
                             // 5000 * 4 / 700 * 0.5 = 14.29
                             SharpenCase{ImageFilterModality::GeneratedPanoramic, "Sharpen", 14},
                             SharpenCase{ImageFilterModality::GeneratedCephalometric, "Sharpen", 14},
                             // 7 * 0.5 = 3.5, rounded away from zero
                             SharpenCase{ImageFilterModality::CtSlice, "Sharpen", 4}));

TEST(ToFilterSet, SharpenOrvaneKernelFromTheParameter)
{
    // The parameter counts kernels from 1; the stored kernel type is the enumeration itself.
    const std::pair<float, int> cases[] = {{0.5f, 0}, {1.0f, 0}, {2.3f, 1}, {2.5f, 2}, {5.0f, 4}};
    for (const auto& [p, kernel] : cases)
    {
        const FilterSet set = convert(single(ImageFilterModality::Unknown, ImageFilterElementType::Sharpen, p));
        EXPECT_EQ(filterCount(set), 1) << p;
        const QVariant v = set.getFilterParameters("SharpenOrvane").getUniformValue("kernelType");
        EXPECT_EQ(QByteArray(v.metaType().name()), QByteArray("image2d::SharpenOrvane::KernelType")) << p;
        EXPECT_EQ(v.value<image2d::SharpenOrvane::KernelType>(), kernel) << p;
    }
    // Below 0.5 (and NaN) no filter is added.
    for (const float p : {0.49f, 0.0f, -3.0f, std::nanf("")})
        EXPECT_FALSE(
            convert(single(ImageFilterModality::Unknown, ImageFilterElementType::Sharpen, p)).hasActiveFilters())
            << p;
}

TEST(ToFilterSet, SharpenRadiiAreClamped)
{
    // Tiny pixels: 0.8 / 0.001 = 800 is capped at 20; 0.2 / 0.001 = 200 at 4.
    const QVector3D tiny(0.001f, 0.001f, 1.0f);
    expectInt(
        convert(single(ImageFilterModality::IntraoralSensor, ImageFilterElementType::Sharpen, 1.0f), kDisplay, tiny),
        "Navrel", "kernelRadiusImage", 20);
    expectInt(convert(single(ImageFilterModality::IntraoralPhosphorPlate, ImageFilterElementType::Sharpen, 1.0f),
                      kDisplay, tiny),
              "LocalAlphaConstrainedUnsharpMasking", "kernelRadiusImage", 4);
    // Huge pixels and a zero pixel size stay inside 1..20 as well.
    const QVector3D huge(100.0f, 100.0f, 1.0f);
    expectInt(
        convert(single(ImageFilterModality::IntraoralSensor, ImageFilterElementType::Sharpen, 1.0f), kDisplay, huge),
        "Navrel", "kernelRadiusImage", 1);
    const QVector3D zero(0.0f, 0.0f, 0.0f);
    expectInt(
        convert(single(ImageFilterModality::IntraoralSensor, ImageFilterElementType::Sharpen, 1.0f), kDisplay, zero),
        "Navrel", "kernelRadiusImage", 20);
    expectInt(convert(single(ImageFilterModality::IntraoralPhosphorPlate, ImageFilterElementType::Sharpen, 1.0f),
                      kDisplay, zero),
              "LocalAlphaConstrainedUnsharpMasking", "kernelRadiusImage", 4);
    // A modality code outside 0..7 still gets a radius in range.
    expectInt(convert(single(static_cast<ImageFilterModality>(42), ImageFilterElementType::Sharpen, 1.0f)), "Sharpen",
              "kernelRadiusImage", 4);
}

TEST(ToFilterSet, InvalidDisplaySizeMeansScaleOne)
{
    const FilterSet set =
        convert(single(ImageFilterModality::Panoramic, ImageFilterElementType::Sharpen, 0.8f), QSize());
    expectInt(set, "Sharpen", "kernelRadiusImage", 10); // 5000 * 0.002 * 1
    const FilterSet negative =
        convert(single(ImageFilterModality::Panoramic, ImageFilterElementType::Sharpen, 0.8f), QSize(-1, 700));
    expectInt(negative, "Sharpen", "kernelRadiusImage", 10);
}

TEST(ToFilterSet, HistogramEqualizationRadiusByModality)
{
    const std::pair<int, float> table[] = {{0, 0.2f},  {1, 0.2f}, {2, 0.07f}, {3, 0.07f}, {4, 0.07f},
                                           {5, 0.08f}, {6, 0.5f}, {7, 0.09f}, {8, 0.5f},  {-1, 0.5f}};
    for (const auto& [modality, radius] : table)
    {
        SCOPED_TRACE(modality);
        const FilterSet set = convert(
            single(static_cast<ImageFilterModality>(modality), ImageFilterElementType::HistogramEqualization, 0.3f));
        EXPECT_EQ(filterCount(set), 1);
        expectFloat(set, "HistogramEqualization", "balance", 0.3f);
        expectFloat(set, "HistogramEqualization", "kernelRadius", radius);
    }
}

TEST(ToFilterSet, DenoiseSigmaAndRadius)
{
    // sigma = (5000 * 0.000375 + 0.25) * 0.5 * p = 1.0625 * p
    const float p = 2.0f;
    const FilterSet set = convert(single(ImageFilterModality::Panoramic, ImageFilterElementType::Denoise, p));
    const float sigma = static_cast<float>((5000.0f * 0.000375 + 0.25) * 0.5f * p);
    expectFloat(set, "Denoise", "kernelStdDenoise", sigma);
    expectInt(set, "Denoise", "kernelRadiusDenoise", 7); // ceil(6.375)

    // Below one third: radius 1; large: capped at 15.
    expectInt(convert(single(ImageFilterModality::Panoramic, ImageFilterElementType::Denoise, 0.3f)), "Denoise",
              "kernelRadiusDenoise", 1);
    expectInt(convert(single(ImageFilterModality::Panoramic, ImageFilterElementType::Denoise, 40.0f)), "Denoise",
              "kernelRadiusDenoise", 15);
    // sigma 0 still gives radius 1 (the filter then passes the image on).
    expectInt(convert(single(ImageFilterModality::Panoramic, ImageFilterElementType::Denoise, 0.0f)), "Denoise",
              "kernelRadiusDenoise", 1);
    // A NaN parameter must not reach an int conversion.
    expectInt(convert(single(ImageFilterModality::Panoramic, ImageFilterElementType::Denoise, std::nanf(""))),
              "Denoise", "kernelRadiusDenoise", 1);
}

TEST(ToFilterSet, EmptyImageSizeIsHarmless)
{
    ImageFilter filter(ImageFilterModality::Panoramic);
    filter.setElement(ImageFilterElementType::Sharpen, 1.0f);
    filter.setElement(ImageFilterElementType::Denoise, 1.0f);
    const FilterSet set = conversions::toFilterSet(&filter, QSize(0, 0), kPixel, kDisplay);
    expectInt(set, "Sharpen", "kernelRadiusImage", 1);
    expectFloat(set, "Denoise", "kernelStdDenoise", 0.25f);
}

TEST(ToFilterSet, MissingParametersAreWarnedAndSkipped)
{
    WarningCapture warnings;
    ImageFilter filter(ImageFilterModality::Panoramic);
    filter.setElement(ImageFilterElementType::Gamma);
    filter.setElement(ImageFilterElementType::Sharpen);
    filter.setElement(ImageFilterElementType::HistogramEqualization);
    filter.setElement(ImageFilterElementType::Denoise);
    filter.setElement(static_cast<ImageFilterElementType>(9), 1.0f);
    filter.setElement(ImageFilterElementType::Invert);
    const FilterSet set = convert(filter);
    EXPECT_EQ(filterCount(set), 1);
    EXPECT_TRUE(set.isFilterActive("Invert"));
    EXPECT_EQ(warnings.messages(), (QStringList{"addGammaFilter: parameter is invalid.",
                                                "ImageFilterToFilterSet: Sharpen filter parameter is invalid.",
                                                "addHistogramEqualizationFilter: parameter is invalid.",
                                                "addDenoiseFilter: parameter is invalid.",
                                                "conversions::toFilterSet: unknown filter ID \"Unknown(9)\""}));
}

TEST(GenerateHashForFilteredImage, BaseRangeAndTransformOnly)
{
    const QString transformText = StringConversions::transformToString(QTransform());
    EXPECT_EQ(transformText, "[1,0,0;0,1,0;0,0,1]");
    EXPECT_EQ(image2d::generateHashForFilteredImage("img", nullptr, QTransform(), {}), "img" + transformText);
    EXPECT_EQ(image2d::generateHashForFilteredImage("img", nullptr, QTransform(), math::Range<float>(0, 4095)),
              "img_2047.5_4095" + transformText);
    EXPECT_EQ(image2d::generateHashForFilteredImage("img", nullptr, QTransform(), math::Range<float>(-100.25f, 300)),
              "img_99.875_400.25" + transformText);
}

TEST(GenerateHashForFilteredImage, ListsVisibleActiveElementsInOrder)
{
    ImageFilter filter(ImageFilterModality::IntraoralSensor);
    filter.setElement(ImageFilterElementType::Sharpen, 0.1f);
    filter.setElement(ImageFilterElementType::Invert);
    filter.setElement(ImageFilterElementType::Denoise, 2.0f, /*visible*/ false);
    filter.setElement(ImageFilterElementType::Gamma, 1.25f);
    const QTransform rotation(0, 1, -1, 0, 0, 0);
    EXPECT_EQ(image2d::generateHashForFilteredImage("k", &filter, rotation, {}),
              "k[0,1,0;-1,0,0;0,0,1]_Sharpen_0.1_Invert_Gamma_1.25");
}

TEST(GenerateHashForFilteredImage, DiffersWhenASettingDiffers)
{
    ImageFilter a(ImageFilterModality::Panoramic);
    a.setElement(ImageFilterElementType::Gamma, 1.5f);
    ImageFilter b = a;
    b.getParameter(ImageFilterElementType::Gamma)->set(1.5000001f);
    const QTransform mirror(-1, 0, 0, 1, 0, 0);
    EXPECT_NE(image2d::generateHashForFilteredImage("k", &a, QTransform(), {}),
              image2d::generateHashForFilteredImage("k", &b, QTransform(), {}));
    EXPECT_NE(image2d::generateHashForFilteredImage("k", &a, QTransform(), {}),
              image2d::generateHashForFilteredImage("k", &a, mirror, {}));
    EXPECT_NE(image2d::generateHashForFilteredImage("k", &a, QTransform(), math::Range<float>(0, 100)),
              image2d::generateHashForFilteredImage("k", &a, QTransform(), math::Range<float>(0, 101)));
}
