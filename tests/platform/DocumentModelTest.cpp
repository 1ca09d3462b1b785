#include "platform/documentmodel/ImageFilter.h"
#include "platform/documentmodel/MediaAutoContrastSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

using dataobject::ImageFilter;
using dataobject::ImageFilterElementParameter;
using dataobject::ImageFilterElementType;

TEST(ImageFilter, VisibleActiveElementsKeepListOrder)
{
    ImageFilter filter;
    filter.setElement(ImageFilterElementType::Denoise, 1.0f);
    filter.setElement(ImageFilterElementType::Gamma, 1.2f);
    filter.setElement(ImageFilterElementType::Invert);
    filter.setElement(ImageFilterElementType::Sharpen, 0.5f, true, false);
    filter.setElement(ImageFilterElementType::HistogramEqualization, 0.5f, false, true);
    using T = ImageFilterElementType;
    EXPECT_EQ(filter.getVisibleAndActiveFilterIds(), (QList<T>{T::Denoise, T::Gamma, T::Invert}));

    // Setting an element again replaces it where it stands.
    filter.setElement(ImageFilterElementType::Denoise, 2.0f, true, false);
    filter.setActive(ImageFilterElementType::Sharpen, true);
    EXPECT_EQ(filter.getVisibleAndActiveFilterIds(), (QList<T>{T::Gamma, T::Invert, T::Sharpen}));
    ASSERT_NE(filter.getParameter(T::Denoise), nullptr);
    EXPECT_EQ(filter.getParameter(T::Denoise)->get(), 2.0f);
    EXPECT_EQ(filter.getParameter(T::Invert), nullptr);
    EXPECT_EQ(std::as_const(filter).getParameter(T::Gamma)->get(), 1.2f);
    filter.removeElement(T::Gamma);
    EXPECT_EQ(filter.getParameter(T::Gamma), nullptr);
}

TEST(ImageFilter, ParameterTextReadsBackAsTheSameFloat)
{
    for (const float v : {0.1f, 1.0f, -2.5f, 1e-7f, 3.4028235e38f, 1.0f / 3.0f})
    {
        const QString text = ImageFilterElementParameter(v).toString();
        EXPECT_EQ(std::strtof(text.toLatin1().constData(), nullptr), v) << qPrintable(text);
    }
    EXPECT_EQ(ImageFilterElementParameter(0.1f).toString(), "0.1");
    EXPECT_EQ(ImageFilterElementParameter(2.0f).toString(), "2");
}

TEST(MediaAutoContrastSettings, EveryMediaTypeHasAValidWindow)
{
    for (int code = -1; code <= 20; ++code)
    {
        const auto type = static_cast<MediaType>(code);
        const float lower = MediaAutoContrastSettings::getLowerFraction(type);
        const float upper = MediaAutoContrastSettings::getUpperFraction(type);
        EXPECT_LE(0.0f, lower) << code;
        EXPECT_LT(lower, upper) << code;
        EXPECT_LE(upper, 1.0f) << code;
    }
    EXPECT_EQ(MediaAutoContrastSettings::getLowerFraction(MediaType::IntraoralSensor), 0.005f);
    EXPECT_EQ(MediaAutoContrastSettings::getUpperFraction(MediaType::IntraoralSensor), 0.995f);
    EXPECT_EQ(static_cast<int>(MediaType::CtVolume), 16);
    EXPECT_NE(MediaAutoContrastSettings::getLowBinsToDiscard(MediaType::CtVolume), 0);
}
