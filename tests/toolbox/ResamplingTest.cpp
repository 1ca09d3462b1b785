#include "image2d/framework/Core.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <QPointF>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

using image2d::Image2DOperations;
using namespace testing_support;

namespace {

const Image2D::DataType kTypes[] = {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                    Image2D::BINARY,         Image2D::FLOAT, Image2D::INT};

std::unique_ptr<Image2D> fast(const Image2D& input, QSize size, const std::atomic<bool>& cancel = image2d::neverCancelled())
{
    return std::unique_ptr<Image2D>(Image2DOperations::createResizedImageFast(&input, size, cancel));
}

std::unique_ptr<Image2D> smooth(const Image2D& input, QSize size, const std::atomic<bool>& cancel = image2d::neverCancelled())
{
    return std::unique_ptr<Image2D>(Image2DOperations::createResizedImageSmooth(&input, size, cancel));
}

/// Nearest neighbour, pixel by pixel: (trunc(x * inW / outW), trunc(y * inH / outH)) in float.
Image2D referenceNearest(const Image2D& input, QSize size)
{
    const float scaleX = float(input.getWidth()) / float(size.width());
    const float scaleY = float(input.getHeight()) / float(size.height());
    std::vector<double> values;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            values.push_back(pixelAt(input, int(std::trunc(float(x) * scaleX)), int(std::trunc(float(y) * scaleY))));
    return makeImage(size.width(), size.height(), input.getDataType(), values);
}

/// Box average / bilinear, pixel by pixel, with the neighbours clamped to the edge. The box
/// sum is exact (double holds four 32-bit values), the bilinear weights are float.
Image2D referenceSmooth(const Image2D& input, QSize size)
{
    const int w = input.getWidth();
    const int h = input.getHeight();
    const bool shrinking = size.width() <= w && size.height() <= h;
    const float scaleX = float(w - 1) / float(size.width());
    const float scaleY = float(h - 1) / float(size.height());
    const bool isFloat = input.getDataType() == Image2D::FLOAT;
    std::vector<double> values;
    for (int y = 0; y < size.height(); ++y)
    {
        for (int x = 0; x < size.width(); ++x)
        {
            const float fx = float(x) * scaleX;
            const float fy = float(y) * scaleY;
            const int ix = int(fx);
            const int iy = int(fy);
            const float ax = fx - float(ix);
            const float ay = fy - float(iy);
            const int ix1 = std::min(ix + 1, w - 1);
            const int iy1 = std::min(iy + 1, h - 1);
            const double p00 = pixelAt(input, ix, iy), p10 = pixelAt(input, ix1, iy);
            const double p01 = pixelAt(input, ix, iy1), p11 = pixelAt(input, ix1, iy1);
            if (shrinking)
            {
                if (isFloat)
                    values.push_back(double((float(p00) + float(p10) + float(p01) + float(p11)) * 0.25f));
                else
                    values.push_back(std::trunc((p00 + p10 + p01 + p11) * 0.25));
            }
            else
            {
                const float v = float(p00) * (1 - ax) * (1 - ay) + float(p10) * ax * (1 - ay) +
                                float(p01) * (1 - ax) * ay + float(p11) * ax * ay;
                // INT values near the limits may round past them in float: they saturate.
                values.push_back(isFloat ? double(v) : std::clamp(std::trunc(double(v)), -2147483648.0, 2147483647.0));
            }
        }
    }
    return makeImage(size.width(), size.height(), input.getDataType(), values);
}

const QSize kSizes[][2] = {
    {{9, 7}, {4, 3}},   // shrink both
    {{9, 7}, {9, 2}},   // shrink one side only
    {{4, 3}, {11, 8}},  // enlarge both
    {{8, 6}, {13, 6}},  // wider, same height: bilinear everywhere
    {{8, 6}, {5, 9}},   // narrower but higher: bilinear
    {{1, 5}, {3, 4}},   // one pixel wide
    {{6, 1}, {4, 1}},   // one pixel high, shrinking
    {{1, 1}, {3, 2}},   // a single pixel
    {{71, 23}, {45, 17}},  // rows long enough for the vector loops, and their remainders
    {{23, 9}, {77, 30}},
};

} // namespace

TEST(Resize, FastIsNearestNeighbourOnEveryType)
{
    WarningCapture warnings;
    std::uint32_t seed = 10;
    for (Image2D::DataType type : kTypes)
    {
        for (const auto& sizes : kSizes)
        {
            SCOPED_TRACE(testing::Message() << "type " << type << " " << sizes[0].width() << "x" << sizes[0].height()
                                            << " -> " << sizes[1].width() << "x" << sizes[1].height());
            Image2D input = randomOfType(type, sizes[0].width(), sizes[0].height(), seed++);
            input.setPixelSize(QVector3D(0.1f, 0.2f, 0.3f));
            const Image2D original = input;
            const std::unique_ptr<Image2D> result = fast(input, sizes[1]);
            ASSERT_TRUE(result);
            EXPECT_TRUE(imagesEqual(referenceNearest(input, sizes[1]), *result));
            EXPECT_EQ(result->getPixelSize(), QVector3D(0.1f, 0.2f, 0.3f)); // not rescaled
            EXPECT_TRUE(imagesEqual(original, input));
        }
    }
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(Resize, FastCopiesFloatBitsUnchanged)
{
    const Image2D input = makeImage(2, 1, Image2D::FLOAT, {std::nan(""), -0.0});
    const std::unique_ptr<Image2D> result = fast(input, QSize(4, 1));
    ASSERT_TRUE(result);
    EXPECT_TRUE(imagesEqual(makeImage(4, 1, Image2D::FLOAT, {std::nan(""), std::nan(""), -0.0, -0.0}), *result));
}

TEST(Resize, SmoothFollowsTheBoxAndBilinearRulesOnEveryType)
{
    WarningCapture warnings;
    std::uint32_t seed = 100;
    for (Image2D::DataType type : kTypes)
    {
        for (const auto& sizes : kSizes)
        {
            SCOPED_TRACE(testing::Message() << "type " << type << " " << sizes[0].width() << "x" << sizes[0].height()
                                            << " -> " << sizes[1].width() << "x" << sizes[1].height());
            const Image2D input = randomOfType(type, sizes[0].width(), sizes[0].height(), seed++);
            const Image2D original = input;
            const std::unique_ptr<Image2D> result = smooth(input, sizes[1]);
            ASSERT_TRUE(result);
            EXPECT_TRUE(imagesEqual(referenceSmooth(input, sizes[1]), *result));
            EXPECT_TRUE(imagesEqual(original, input));
        }
    }
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(Resize, SmoothShrinkOf4x4SamplesOverlappingBlocks)
{
    // Scale 3/2 = 1.5: output x = 1 maps to input column 1, so the 2 x 2 blocks start at
    // (0, 0), (1, 0), (0, 1) and (1, 1).
    const Image2D input = makeImage(4, 4, Image2D::UNSIGNED_CHAR,
                                    {0, 4, 16, 64,      //
                                     100, 8, 32, 128,   //
                                     200, 1, 2, 3,      //
                                     250, 250, 250, 250});
    const std::unique_ptr<Image2D> result = smooth(input, QSize(2, 2));
    ASSERT_TRUE(result);
    EXPECT_TRUE(imagesEqual(makeImage(2, 2, Image2D::UNSIGNED_CHAR,
                                      {(0 + 4 + 100 + 8) / 4, (4 + 16 + 8 + 32) / 4, //
                                       (100 + 8 + 200 + 1) / 4, (8 + 32 + 1 + 2) / 4}),
                            *result));
}

TEST(Resize, SmoothIntBoxSumDoesNotOverflow)
{
    const int max = std::numeric_limits<int>::max();
    const int min = std::numeric_limits<int>::min();
    EXPECT_EQ(pixels(*smooth(makeImage(2, 2, Image2D::INT, {max, max, max, max}), QSize(1, 1))),
              std::vector<double>{max});
    EXPECT_EQ(pixels(*smooth(makeImage(2, 2, Image2D::INT, {min, min, min, min}), QSize(1, 1))),
              std::vector<double>{min});
    EXPECT_EQ(pixels(*smooth(makeImage(2, 2, Image2D::INT, {max, max, min, 7}), QSize(1, 1))),
              std::vector<double>{std::trunc((2.0 * max + min + 7) / 4)});
}

TEST(Resize, SameSizeGivesADistinctCopyEvenForUnsupportedTypes)
{
    WarningCapture warnings;
    for (Image2D::DataType type : {Image2D::SHORT, Image2D::RGBA})
    {
        Image2D input(3, 2, type, QVector3D(0.5f, 0.5f, 1));
        std::memset(input.getData(), 0x5a, input.getByteCount());
        for (auto resize : {&Image2DOperations::createResizedImageFast, &Image2DOperations::createResizedImageSmooth})
        {
            const std::unique_ptr<Image2D> result(resize(&input, QSize(3, 2), image2d::neverCancelled()));
            ASSERT_TRUE(result);
            EXPECT_NE(result.get(), &input);
            EXPECT_NE(result->getConstData(), input.getConstData());
            EXPECT_EQ(result->getDataType(), type);
            EXPECT_EQ(result->getPixelSize(), input.getPixelSize());
            EXPECT_EQ(std::memcmp(result->getConstData(), input.getConstData(), input.getByteCount()), 0);
        }
    }
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(Resize, UnsupportedTypeWarnsAndReturnsTheUnfilledImage)
{
    WarningCapture warnings;
    Image2D input(2, 2, Image2D::RGBA);
    std::memset(input.getData(), 0xff, input.getByteCount());
    const std::unique_ptr<Image2D> resizedFast(
        Image2DOperations::createResizedImageFast(&input, QSize(3, 3), image2d::neverCancelled()));
    const std::unique_ptr<Image2D> resizedSmooth(
        Image2DOperations::createResizedImageSmooth(&input, QSize(1, 1), image2d::neverCancelled()));
    ASSERT_TRUE(resizedFast);
    ASSERT_TRUE(resizedSmooth);
    EXPECT_EQ(resizedFast->getSize(), QSize(3, 3));
    EXPECT_EQ(resizedFast->getConstData<std::uint32_t>()[4], 0u);
    EXPECT_EQ(resizedSmooth->getConstData<std::uint32_t>()[0], 0u);
    EXPECT_EQ(warnings.messages(),
              (QStringList{"Image2DOperations::createResizedImageFast not implemented for the given data type.",
                           "Image2DOperations::createResizedImageSmooth not implemented for the given data type."}));
}

TEST(Resize, ImpossibleOutputOrInputWarnsAndReturnsNull)
{
    WarningCapture warnings;
    const Image2D input = makeImage(2, 2, Image2D::SHORT, {1, 2, 3, 4});
    const Image2D empty;
    EXPECT_EQ(Image2DOperations::createResizedImageFast(&input, QSize(0, 3), image2d::neverCancelled()), nullptr);
    EXPECT_EQ(Image2DOperations::createResizedImageFast(&input, QSize(-4, -4), image2d::neverCancelled()), nullptr);
    EXPECT_EQ(Image2DOperations::createResizedImageFast(nullptr, QSize(3, 3), image2d::neverCancelled()), nullptr);
    EXPECT_EQ(Image2DOperations::createResizedImageSmooth(&empty, QSize(3, 3), image2d::neverCancelled()), nullptr);
    EXPECT_EQ(Image2DOperations::createResizedImageSmooth(&empty, QSize(0, 0), image2d::neverCancelled()), nullptr);
    const QString fastMessage = "Image2DOperations::createResizedImageFast: Could not create resized image";
    const QString smoothMessage = "Image2DOperations::createResizedImageSmooth: Could not create resized image";
    EXPECT_EQ(warnings.messages(), (QStringList{fastMessage, fastMessage, fastMessage, smoothMessage, smoothMessage}));
}

// Under the address sanitizer a leaked output image would fail the run.
TEST(Resize, CancellationReturnsNullWithoutLeaking)
{
    const std::atomic<bool> cancelled{true};
    const Image2D input = randomOfType(Image2D::UNSIGNED_SHORT, 64, 48, 5);
    EXPECT_EQ(Image2DOperations::createResizedImageFast(&input, QSize(100, 80), cancelled), nullptr);
    EXPECT_EQ(Image2DOperations::createResizedImageSmooth(&input, QSize(100, 80), cancelled), nullptr);
    EXPECT_EQ(Image2DOperations::createResizedImageSmooth(&input, QSize(10, 8), cancelled), nullptr);
    // The same size is a copy made before any loop, so the flag does not matter there.
    const std::unique_ptr<Image2D> copy(Image2DOperations::createResizedImageFast(&input, QSize(64, 48), cancelled));
    EXPECT_TRUE(copy);
}

TEST(Resize, CancellationFromAnotherThreadStopsTheLoop)
{
    std::atomic<bool> cancel{false};
    const Image2D input = randomOfType(Image2D::FLOAT, 64, 64, 6);
    std::thread canceller([&] { cancel = true; });
    // However the race goes, the result is either a complete image or null: never a torn one.
    std::unique_ptr<Image2D> result(Image2DOperations::createResizedImageSmooth(&input, QSize(700, 700), cancel));
    canceller.join();
    if (result)
    {
        EXPECT_TRUE(imagesEqual(referenceSmooth(input, QSize(700, 700)), *result));
    }
    EXPECT_EQ(Image2DOperations::createResizedImageSmooth(&input, QSize(700, 700), cancel), nullptr);
}

// --- transform --------------------------------------------------------------------------

namespace {

QTransform matrix(double m11, double m12, double m21, double m22, double dx = 0, double dy = 0)
{
    return QTransform(m11, m12, m21, m22, dx, dy);
}

/// Moves every pixel to where QTransform maps it (translation dropped), shifted so that
/// the image starts at (0, 0).
Image2D referenceTransform(const Image2D& input, const QTransform& t)
{
    const QTransform linear(t.m11(), t.m12(), t.m21(), t.m22(), 0, 0);
    const int w = input.getWidth();
    const int h = input.getHeight();
    QRectF bounds = linear.mapRect(QRectF(0, 0, w - 1, h - 1));
    const bool transposed = std::abs(t.m12()) > 0.5;
    const int ow = transposed ? h : w;
    const int oh = transposed ? w : h;
    Image2D output(ow, oh, input.getDataType());
    const int size = input.getDataTypeSize();
    for (int r = 0; r < h; ++r)
    {
        for (int c = 0; c < w; ++c)
        {
            const QPointF p = linear.map(QPointF(c, r)) - bounds.topLeft();
            const int x = qRound(p.x());
            const int y = qRound(p.y());
            std::memcpy(output.getData() + (std::size_t(y) * ow + x) * size,
                        input.getConstData() + (std::size_t(r) * w + c) * size, size);
        }
    }
    return output;
}

const QTransform kRightAngles[] = {matrix(1, 0, 0, 1, 5, 7), matrix(-1, 0, 0, 1), matrix(1, 0, 0, -1),
                                   matrix(-1, 0, 0, -1),     matrix(0, 1, -1, 0), matrix(0, 1, 1, 0),
                                   matrix(0, -1, 1, 0),      matrix(0, -1, -1, 0)};

} // namespace

TEST(Transform, RightAngleRotationsAndMirrorsMovePixelsOnEveryType)
{
    WarningCapture warnings;
    std::uint32_t seed = 300;
    for (Image2D::DataType type : kTypes)
    {
        for (const QTransform& t : kRightAngles)
        {
            SCOPED_TRACE(testing::Message() << "type " << type << " m " << t.m11() << " " << t.m12() << " " << t.m21()
                                            << " " << t.m22());
            Image2D image = randomOfType(type, 5, 3, seed++);
            const Image2D expected = referenceTransform(image, t);
            EXPECT_TRUE(Image2DOperations::transform(&image, t, image2d::neverCancelled()));
            EXPECT_TRUE(imagesEqual(expected, image));
        }
    }
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(Transform, QuarterTurnMovesColumnAndRowAsStated)
{
    // m11 = 0, m12 = 1, m21 = -1, m22 = 0: W x H becomes H x W and (c, r) lands at (H - 1 - r, c).
    const int w = 4, h = 3;
    std::vector<double> values;
    for (int i = 0; i < w * h; ++i)
        values.push_back(i);
    Image2D image = makeImage(w, h, Image2D::SHORT, values);
    image.setPixelSize(QVector3D(0.1f, 0.2f, 0.3f));
    ASSERT_TRUE(Image2DOperations::transform(&image, QTransform().rotate(90), image2d::neverCancelled()));
    ASSERT_EQ(image.getSize(), QSize(h, w));
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            EXPECT_EQ(pixelAt(image, h - 1 - r, c), r * w + c) << c << "," << r;
    EXPECT_EQ(image.getPixelSize(), QVector3D(0.2f, 0.1f, 0.3f));
}

TEST(Transform, IdentityChangesNothing)
{
    Image2D image = randomOfType(Image2D::FLOAT, 3, 3, 2);
    const Image2D original = image;
    const void* buffer = image.getConstData();
    EXPECT_TRUE(Image2DOperations::transform(&image, QTransform(), image2d::neverCancelled()));
    EXPECT_EQ(image.getConstData(), buffer);
    EXPECT_TRUE(imagesEqual(original, image));
}

TEST(Transform, UnsupportedTypeInvalidOrNullImageFails)
{
    WarningCapture warnings;
    Image2D rgba(2, 2, Image2D::RGBA);
    EXPECT_FALSE(Image2DOperations::transform(&rgba, QTransform(), image2d::neverCancelled()));
    EXPECT_FALSE(Image2DOperations::transform(&rgba, QTransform().rotate(90), image2d::neverCancelled()));
    EXPECT_EQ(rgba.getSize(), QSize(2, 2));
    EXPECT_EQ(warnings.messages(), (QStringList{"Image2D: transform() Not implemented for current data type",
                                                "Image2D: transform() Not implemented for current data type"}));
    warnings.clear();
    Image2D empty;
    EXPECT_FALSE(Image2DOperations::transform(&empty, QTransform().rotate(90), image2d::neverCancelled()));
    EXPECT_FALSE(Image2DOperations::transform(nullptr, QTransform().rotate(90), image2d::neverCancelled()));
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(Transform, RejectsTransformsThatAreNotRightAngleMoves)
{
    const QTransform rejected[] = {
        QTransform().rotate(45),
        QTransform().scale(2, 2),
        QTransform().scale(0.4, 1),          // rounds to a zero row
        QTransform().shear(1, 0),            // two units in one row
        matrix(0, 0.9, -1.1, 0),             // rounds to a quarter turn, but not transposed by the fuzzy test
        matrix(std::nan(""), 0, 0, 1),
        matrix(std::numeric_limits<double>::infinity(), 0, 0, 1),
    };
    for (const QTransform& t : rejected)
    {
        SCOPED_TRACE(testing::Message() << t.m11() << " " << t.m12() << " " << t.m21() << " " << t.m22());
        WarningCapture warnings;
        Image2D image = randomOfType(Image2D::UNSIGNED_CHAR, 5, 3, 4);
        const Image2D original = image;
        const void* buffer = image.getConstData();
        EXPECT_FALSE(Image2DOperations::transform(&image, t, image2d::neverCancelled()));
        EXPECT_EQ(image.getConstData(), buffer);
        EXPECT_TRUE(imagesEqual(original, image));
        EXPECT_EQ(warnings.messages(), QStringList{"Image2D: transform() Not implemented for transforms other than "
                                                   "rotations by multiples of 90 degrees and mirrors"});
    }
}

TEST(Transform, NearlyExactMatricesRoundToTheirRightAngleMove)
{
    Image2D image = randomOfType(Image2D::INT, 5, 3, 8);
    const Image2D expected = referenceTransform(image, matrix(0, -1, 1, 0));
    ASSERT_TRUE(Image2DOperations::transform(&image, matrix(1e-14, -1 + 1e-14, 1, -1e-14), image2d::neverCancelled()));
    EXPECT_TRUE(imagesEqual(expected, image));
}

// --- flips ------------------------------------------------------------------------------

TEST(Flip, ReverseRowsOrColumnsOfEveryType)
{
    WarningCapture warnings;
    std::uint32_t seed = 500;
    for (Image2D::DataType type : kTypes)
    {
        for (QSize size : {QSize(5, 3), QSize(4, 4), QSize(1, 2), QSize(2, 1)})
        {
            SCOPED_TRACE(testing::Message() << "type " << type << " " << size.width() << "x" << size.height());
            const Image2D input = randomOfType(type, size.width(), size.height(), seed++);
            Image2D horizontal = input;
            Image2D vertical = input;
            Image2DOperations::flipHorizontal(&horizontal);
            Image2DOperations::flipVertical(&vertical);
            for (int y = 0; y < size.height(); ++y)
            {
                for (int x = 0; x < size.width(); ++x)
                {
                    const double value = pixelAt(input, x, y);
                    EXPECT_TRUE(pixelAt(horizontal, size.width() - 1 - x, y) == value || std::isnan(value));
                    EXPECT_TRUE(pixelAt(vertical, x, size.height() - 1 - y) == value || std::isnan(value));
                }
            }
        }
    }
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(Flip, UnsupportedTypeWarnsAndInvalidImageIsIgnored)
{
    WarningCapture warnings;
    Image2D rgba(3, 1, Image2D::RGBA);
    rgba.getData<std::uint32_t>()[0] = 1;
    Image2DOperations::flipHorizontal(&rgba);
    Image2DOperations::flipVertical(&rgba);
    EXPECT_EQ(rgba.getConstData<std::uint32_t>()[0], 1u);
    EXPECT_EQ(warnings.messages(), (QStringList{"Image2D: flipHorizontal() Not implemented for current data type",
                                                "Image2D: flipVertical() Not implemented for current data type"}));
    warnings.clear();
    Image2D empty;
    Image2DOperations::flipHorizontal(&empty);
    Image2DOperations::flipVertical(nullptr);
    EXPECT_TRUE(warnings.messages().isEmpty());
}
