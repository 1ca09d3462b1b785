#include "image2d/framework/Dispatch.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <typeinfo>

using namespace image2d;
using testing_support::WarningCapture;

TEST(Dispatch, CallsTheTemplateWithTheElementTypeOfEachCode)
{
    auto sizeOf = [](Image2D::DataType type) {
        return dispatchDataType(AllPixelTypes{}, type, "unused", [](auto tag) {
            return static_cast<int>(sizeof(typename decltype(tag)::type));
        });
    };
    EXPECT_EQ(sizeOf(Image2D::UNSIGNED_SHORT), 2);
    EXPECT_EQ(sizeOf(Image2D::SHORT), 2);
    EXPECT_EQ(sizeOf(Image2D::UNSIGNED_CHAR), 1);
    EXPECT_EQ(sizeOf(Image2D::BINARY), 1);
    EXPECT_EQ(sizeOf(Image2D::FLOAT), 4);
    EXPECT_EQ(sizeOf(Image2D::INT), 4);
    // BINARY and UNSIGNED_CHAR share storage but keep their own codes.
    EXPECT_EQ(dispatchDataType(AllPixelTypes{}, Image2D::BINARY, "unused",
                               [](auto tag) { return static_cast<int>(decltype(tag)::code); }),
              3);
}

TEST(Dispatch, UnsupportedTypesWarnWithTheCodeAndFail)
{
    WarningCapture warnings;
    using OnlyFloat = image2d::PixelTypes<Image2D::FLOAT>;
    bool called = false;
    const bool ok = dispatchDataType(OnlyFloat{}, Image2D::INT, "image2d::X : x algorithm not supported for data type: ",
                                     [&](auto) {
                                         called = true;
                                         return true;
                                     });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(called);
    const bool rgba = dispatchDataType(AllPixelTypes{}, Image2D::RGBA, "image2d::X : x algorithm not supported for data type: ",
                                       [](auto) { return true; });
    EXPECT_FALSE(rgba);
    EXPECT_EQ(warnings.messages(), (QStringList{"image2d::X : x algorithm not supported for data type:  6",
                                                "image2d::X : x algorithm not supported for data type:  4"}));
}
