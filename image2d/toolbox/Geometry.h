#pragma once

#include "image2d/framework/Algorithm.h"

#include <QPoint>
#include <QRect>
#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Cuts out "topLeft" to "bottomRight" (inclusive) into a new image. A corner outside the
/// image fails validation with `image2d::Crop : invalid input:  "topLeft"` (or "bottomRight");
/// the ordering messages take the same invalid-input form, their text in place of a key.
class Crop : public Algorithm
{
public:
    static const QString TOP_LEFT;     ///< "topLeft", QPoint: first column and row kept
    static const QString BOTTOM_RIGHT; ///< "bottomRight", QPoint: last column and row kept

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Crops a copy of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeCrop(const Image2D& image, const QPoint& topLeft, const QPoint& bottomRight);
    /// The rectangle's topLeft() to bottomRight().
    static std::shared_ptr<Image2D> executeCrop(const Image2D& image, const QRect& rect);
    /// Drops the given number of pixels at each side.
    static std::shared_ptr<Image2D> executeCrop(const Image2D& image, int left, int top, int right, int bottom);
    /// Drops `margin` pixels at every side.
    static std::shared_ptr<Image2D> executeCrop(const Image2D& image, int margin);

private:
    bool readRectangle(QPoint& topLeft, QPoint& bottomRight, bool report) const;
};

/// Overwrites a frame of "borderSizeX" columns at the left and right and "borderSizeY" rows
/// at the top and bottom with "insertedValue"; the rest is copied. The frame must leave an
/// inner region: 2 * borderSizeX >= width or 2 * borderSizeY >= height fails validation with
/// `image2d::Border : invalid input:  "borderSizeX"` (or "borderSizeY").
class Border : public Algorithm
{
public:
    static const QString BORDER_SIZE_X;  ///< "borderSizeX", unsigned int > 0
    static const QString BORDER_SIZE_Y;  ///< "borderSizeY", unsigned int > 0
    static const QString INSERTED_VALUE; ///< "insertedValue", a number that fits the pixel type

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    bool readParameters(unsigned int& sizeX, unsigned int& sizeY, bool report) const;
};

/// Reverses every row into a new image.
class Mirror : public Algorithm
{
public:
    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Mirrors a copy of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeMirror(const Image2D& image);
};

/// Halves the resolution by combining 2 x 2 blocks (a last odd column or row is dropped);
/// the pixel size doubles in x and y. FLOAT is not supported; an input narrower or lower
/// than 2 pixels fails validation with `image2d::Binning : invalid input:  "inputImage"`.
class Binning : public Algorithm
{
public:
    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Bins a copy of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeBinning(const Image2D& image);
};

} // namespace image2d
