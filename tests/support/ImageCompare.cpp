#include "support/ImageCompare.h"

#include "platform/pixeldata/PixelTypes.h"

#include <cmath>
#include <cstring>

namespace testing_support {
namespace {

::testing::AssertionResult compare(const Image2D& expected, const Image2D& actual, double tolerance, bool exact)
{
    if (expected.isValid() != actual.isValid())
        return ::testing::AssertionFailure() << "validity differs: expected " << expected.isValid() << ", actual "
                                             << actual.isValid();
    if (expected.getSize() != actual.getSize())
        return ::testing::AssertionFailure()
               << "size differs: expected " << expected.getWidth() << "x" << expected.getHeight() << ", actual "
               << actual.getWidth() << "x" << actual.getHeight();
    if (expected.getDataType() != actual.getDataType())
        return ::testing::AssertionFailure() << "data type differs: expected " << expected.getDataType()
                                             << ", actual " << actual.getDataType();
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    pixeldata::visitDataType(expected.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* e = expected.getConstData<T>();
        const T* a = actual.getConstData<T>();
        const int w = expected.getWidth();
        for (std::size_t i = 0; i < expected.getNumPixels(); ++i)
        {
            bool same;
            if (exact)
                same = std::memcmp(&e[i], &a[i], sizeof(T)) == 0;
            else
                same = std::fabs(double(e[i]) - double(a[i])) <= tolerance;
            if (!same)
            {
                result = ::testing::AssertionFailure()
                         << "first difference at pixel (" << (i % w) << ", " << (i / w) << "): expected "
                         << +e[i] << ", actual " << +a[i];
                return;
            }
        }
    });
    return result;
}

} // namespace

::testing::AssertionResult imagesEqual(const Image2D& expected, const Image2D& actual)
{
    return compare(expected, actual, 0.0, true);
}

::testing::AssertionResult imagesNear(const Image2D& expected, const Image2D& actual, double tolerance)
{
    return compare(expected, actual, tolerance, false);
}

} // namespace testing_support
