#pragma once

// Geometry algorithms that move pixels: crop, border, mirror, binning. Core functions (the
// C++ API) first, then their adapters; each runs one sequential pass on the calling thread
// and warns like its algorithm class.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QVariant>

#include <atomic>
#include <memory>

namespace image2d {

/// Pixel types of the binning (every integer type).
using BinningTypes =
    PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::INT>;

/// A new image of the pixels from `topLeft` to `bottomRight` (inclusive), which must lie
/// inside the image and span at least 2 x 2 pixels; a byte copy of whole row segments.
std::shared_ptr<Image2D> crop(const Image2D& image, const QPoint& topLeft, const QPoint& bottomRight);
/// The same with margins: the given number of pixels is dropped at each side.
std::shared_ptr<Image2D> crop(const Image2D& image, int left, int top, int right, int bottom);

/// A copy of `image` whose frame of `sizeX` columns at the left and right and `sizeY` rows at
/// the top and bottom holds `value`, truncated toward zero into integer types. Both sizes
/// at least 1 and leaving an inner region; the value must fit the pixel type (0 or 1 for
/// BINARY, the float range for FLOAT). Every pixel type but code 4.
std::shared_ptr<Image2D> border(const Image2D& image, unsigned int sizeX, unsigned int sizeY, double value);

/// A new image with every row reversed. Every pixel type but code 4.
std::shared_ptr<Image2D> mirror(const Image2D& image);

/// Half the resolution: each 2 x 2 block averaged and rounded (store::roundHalfAway for the
/// signed types; BINARY keeps a block only when all four are set), a last odd column or row
/// dropped, the pixel size doubled in x and y. BinningTypes, at least 2 x 2 pixels.
std::shared_ptr<Image2D> binning(const Image2D& image);

/// Adapter of crop(). A corner outside the image fails validation with
/// `image2d::Crop : invalid input:  "topLeft"` (or "bottomRight"); the ordering messages take
/// the same invalid-input form, their text in place of a key.
class Crop : public Algorithm
{
public:
    static const QString TOP_LEFT;     ///< "topLeft", QPoint: first column and row kept
    static const QString BOTTOM_RIGHT; ///< "bottomRight", QPoint: last column and row kept
    /// Absent or not a QPoint: "missing input" (both corners).
    static const Parameter<QPoint> TOP_LEFT_PARAMETER;
    static const Parameter<QPoint> BOTTOM_RIGHT_PARAMETER;
    static const ParameterList& parameters();

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
};

/// Adapter of border(). Every failed check warns "image2d::Border : invalid input: " with
/// the key; 2 * borderSizeX >= width or 2 * borderSizeY >= height fails validation too.
class Border : public Algorithm
{
public:
    static const QString BORDER_SIZE_X;  ///< "borderSizeX", unsigned int > 0
    static const QString BORDER_SIZE_Y;  ///< "borderSizeY", unsigned int > 0
    static const QString INSERTED_VALUE; ///< "insertedValue", a number that fits the pixel type
    static const Parameter<unsigned int> SIZE_X_PARAMETER;
    static const Parameter<unsigned int> SIZE_Y_PARAMETER;
    /// Any value here; read with toInt (toFloat for FLOAT images) and checked against the type.
    static const Parameter<QVariant> VALUE_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of mirror().
class Mirror : public Algorithm
{
public:
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Mirrors a copy of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeMirror(const Image2D& image);
};

/// Adapter of binning(). FLOAT fails validation; so does an input narrower or lower than
/// 2 pixels, with `image2d::Binning : invalid input:  "inputImage"`.
class Binning : public Algorithm
{
public:
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Bins a copy of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeBinning(const Image2D& image);
};

} // namespace image2d
