#pragma once

#include "platform/pixeldata/Image2D.h"

#include <gtest/gtest.h>

namespace testing_support {

/// Same size, type and pixel values (floats compared bit for bit, so NaN equals NaN);
/// on failure names the first differing pixel and both values.
::testing::AssertionResult imagesEqual(const Image2D& expected, const Image2D& actual);
/// Same size and type; every pixel within `tolerance` of the expected one.
::testing::AssertionResult imagesNear(const Image2D& expected, const Image2D& actual, double tolerance);

} // namespace testing_support
