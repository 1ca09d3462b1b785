#pragma once

#include "image2d/framework/PixelStore.h"
#include "platform/pixeldata/Image2D.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPolygonF>
#include <QSize>
#include <QString>
#include <QTransform>

#include <atomic>
#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

namespace image2d {

/// Static image operations without the algorithm base: data-type conversion,
/// resampling and right-angle geometric transforms. Everything runs on the calling thread.
class Image2DOperations
{
public:
    // --- Data type conversion -------------------------------------------------------

    /// New image of `type`, pixel size (1, 1, 1): each element cast, low-order bits kept
    /// (FLOAT truncates; NaN gives 0, values beyond 32 bits saturate first). Unfilled for
    /// an unsupported `type`.
    static Image2D convertDataType(const Image2D& input, Image2D::DataType type);

    /// New image of `type` (never null) holding the FLOAT input rounded half away from
    /// zero, cast like convertDataType; warns when the input range does not fit `type`.
    /// To FLOAT it is a full copy of the input, pixel size included.
    static std::unique_ptr<Image2D> createFromFloatImage(const Image2D& input, Image2D::DataType type);

    // --- Resampling and geometric transforms ----------------------------------------

    /// Nearest-neighbour resize to `size`; a copy when the size is unchanged. Owned by the
    /// caller; null when the output cannot be created (also for a null or invalid input)
    /// or when `cancel` is raised (polled after each output row).
    static Image2D* createResizedImageFast(const Image2D* input, const QSize& size, const std::atomic<bool>& cancel);

    /// Box average when no side grows, bilinear otherwise; rules as createResizedImageFast.
    /// Neighbours past the edge (inputs one pixel wide or high) are clamped to it; the INT
    /// box sum is formed in 64 bits.
    static Image2D* createResizedImageSmooth(const Image2D* input, const QSize& size, const std::atomic<bool>& cancel);

    /// Replaces `image` by its rotation by a multiple of 90 degrees and/or mirror (no
    /// translation). A 2 x 2 part that does not round to a signed permutation consistent
    /// with the transposition test warns and returns false, image unchanged.
    static bool transform(Image2D* image, const QTransform& transform, const std::atomic<bool>& cancel);

    /// Reverses every row in place.
    static void flipHorizontal(Image2D* image);
    /// Reverses every column in place.
    static void flipVertical(Image2D* image);

    // --- Regions, comparison and overlays -------------------------------------------
    // Every pixel type but RGBA unless said otherwise; no cancellation. Mask results are
    // BINARY (0 or 1) and replace the target's size, type and pixels but keep its pixel size.
    // Operations that replace an image leave it unchanged when they fail.

    /// Smallest (min) and largest (max) x and y of the pixels above `threshold` (compared as
    /// int, as float for FLOAT). None: min = (width - 1, height - 1), max = (0, 0). An invalid
    /// image leaves both untouched; RGBA warns and gives the whole image.
    static void getBoundingBox(const Image2D* image, int threshold, int* min, int* max);
    /// The same with threshold 0.
    static void getBoundingBox(const Image2D* image, int* min, int* max);

    /// Appends (x, y) for every column x of a SHORT or FLOAT image whose class (value below
    /// `threshold` or not) changes: from the top, the first y that differs from the row above;
    /// from the bottom, the first y (walking up) that differs from the row below.
    static void detectTransition(const Image2D* image, QList<std::pair<int, int>>* out, float threshold, bool fromTop);
    /// detectTransition as the boundaries between the two pixels of each change, in mm.
    static QPolygonF detectTransitionPoly(const Image2D* image, float threshold, bool fromTop);

    /// Whether both are valid, of one size and type, and equal element by element (FLOAT as
    /// float: NaN never equals, -0 equals 0).
    static bool compare(const Image2D* a, const Image2D* b);
    /// Replaces the image by a mask of its zero pixels.
    static bool invert(Image2D* image);
    /// Target := mask of lower < value < upper over the source, with the source's pixel size;
    /// the bounds are cast to the element type first (low-order bits: 300 is 44 for 8 bits).
    static bool threshold(const Image2D* source, Image2D* target, int lower, int upper);
    /// a := a AND b for two BINARY images of one size (pixels of exactly 1); false otherwise.
    static bool logicalAnd(Image2D* a, const Image2D* b);

    /// Replaces the image by UNSIGNED_SHORT labels of the 8-connected components of its pixels
    /// above 0, numbered 1 ... N in the order a row-major scan meets them. Returns N + 1, or 0
    /// for an invalid image, an RGBA image or more than 65535 components (with a warning).
    static int label(Image2D* image);
    /// Fills the holes of a mask: zero pixels without an 8-connected path of zero pixels to
    /// the border become 1 (any pixel type; the result is BINARY).
    static bool fillImage(Image2D* image);
    /// Target := the largest 8-connected component of a BINARY source (the first in row-major
    /// order among equals), with the source's pixel size; false without a component.
    static bool keepLargestPart(const Image2D* source, Image2D* target);

    /// Overlay of the image's values in `colour` with an alpha from a level/window ramp (0 below
    /// the window or `minimum`, 255 above), rows flipped (row y of the image is row
    /// height - 1 - y). FLOAT images are handed to the threshold overlay instead, with `level` as
    /// the threshold, the truncated `window` as an opaque RGB colour and below = (minimum != 0).
    static QImage getOverlayQImage(const Image2D* image, float level, float window, float minimum, QColor colour);
    /// Overlay of `colour` (its own alpha) on the pixels at or above `threshold` (below `threshold`
    /// when `below`), transparent elsewhere; rows not flipped.
    static QImage getOverlayQImage(const Image2D* image, float threshold, QColor colour, bool below);

    /// New image (caller owns it; null on failure) of width x height values read from a text
    /// file of comma-separated numbers, row-major across line ends; missing values are 0, values
    /// past width x height are ignored, text that is no number reads as 0. Stored by truncation
    /// (low-order bits; BINARY clamped to 0 ... 1), FLOAT as read. Pixel size (1, 1, 1).
    static Image2D* createImage2DFromCSV(const QString& path, int width, int height, Image2D::DataType type);
};

/// `target` in the orientation of an image of size `input`: swapped when the input is
/// narrower than tall and the target is not, or the input is not and the target is.
/// The display road resizes to the oriented target, so that a portrait image stays upright.
QSize orientedTarget(const QSize& input, QSize target);

/// Per destination element type T (unsigned short, short, unsigned char, float, int):
/// the pixel loops of the data type conversions. Internal to the conversions above;
/// every operation warns and leaves `destination` untouched on bad input. Instantiated
/// in the library for those five types (and each pair of them for `convertDataType<U>`).
template <typename T>
class Image2DOperationsHelper
{
public:
    /// Dispatches on the source's data type to `convertDataType<U>`.
    static void convertDataType(const Image2D& source, Image2D& destination);
    /// Plain element cast from source element type U; both images valid, same size.
    template <typename U>
    static void convertDataType(const Image2D& source, Image2D& destination);
    /// Rounds a FLOAT source half away from zero into T (not for T = float).
    static void roundFloatToDestinationType(const Image2D& source, Image2D& destination);
};

namespace toolbox_detail {

/// Spelling of the element types in the helper's messages.
template <typename T>
constexpr const char* elementTypeName()
{
    if constexpr (std::is_same_v<T, unsigned short>)
        return "unsigned short";
    else if constexpr (std::is_same_v<T, short>)
        return "short";
    else if constexpr (std::is_same_v<T, unsigned char>)
        return "unsigned char";
    else if constexpr (std::is_same_v<T, float>)
        return "float";
    else
        return "int";
}

/// Whether the images suit an element cast (both valid, same size, element sizes as
/// given); warns the helper's "invalid input." message otherwise.
bool checkConversionImages(const Image2D& source, const Image2D& destination, std::size_t sourceElementSize,
                           std::size_t destinationElementSize, const char* sourceTypeName,
                           const char* destinationTypeName);

} // namespace toolbox_detail

// Defined here rather than in the library: every source type of every destination type is
// needed, and the dispatch instantiates them all anyway.
template <typename T>
template <typename U>
void Image2DOperationsHelper<T>::convertDataType(const Image2D& source, Image2D& destination)
{
    if (!toolbox_detail::checkConversionImages(source, destination, sizeof(U), sizeof(T),
                                               toolbox_detail::elementTypeName<U>(),
                                               toolbox_detail::elementTypeName<T>()))
        return;
    const U* in = source.getConstData<U>();
    T* out = destination.getData<T>();
    const std::size_t count = source.getNumPixels();
    for (std::size_t i = 0; i < count; ++i)
        out[i] = store::castElement<T>(in[i]);
    destination.editFinished();
}

} // namespace image2d
