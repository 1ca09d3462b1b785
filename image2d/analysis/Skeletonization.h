#pragma once

// Thinning of binary shapes to one-pixel-wide skeletons, and the longest path along a skeleton.
//
// The typed core functions come first; the two classes after them keep the interface of their
// own that callers use (setInput / setOutput / execute, outside the algorithm framework and in
// the global namespace). Everything runs on the calling thread, without cancellation.

#include "platform/pixeldata/Image2D.h"

#include <QList>
#include <QPoint>

#include <memory>

namespace image2d {

/// Thins the non-zero pixels of a BINARY image by hit-or-miss deletion with eight look-up
/// tables: each pass applies the tables in turn, each deleting at once every set pixel whose
/// 3 x 3 neighbourhood (outside the image counts as clear) matches its pattern; passes repeat
/// until one deletes nothing, at most 98 times. BINARY result of the input's size and pixel
/// size; empty for an invalid or non-BINARY image.
std::shared_ptr<Image2D> skeletonize(const Image2D& binary);

/// The longest 8-connected path, in steps, from the start pixel of a binary skeleton: the first
/// non-zero pixel of a scan from the bottom row upwards, each row left to right. Among paths of
/// equal length, the one a breadth-first walk meets first (neighbours visited column by column,
/// x - 1 to x + 1, each top to bottom). The walk CLEARS every pixel of the start's component
/// in `skeleton`. Empty, image untouched, when no pixel is set or the image is not valid.
QList<QPoint> longestPath(Image2D& skeleton);

namespace skeleton_detail {
/// The input rule of both classes below: a non-null, valid BINARY image.
bool isBinaryInput(const Image2D* image);
} // namespace skeleton_detail

} // namespace image2d

/// Adapter of image2d::skeletonize() on caller-owned images.
class Image2DSkeletization
{
public:
    virtual ~Image2DSkeletization() = default;

    /// Takes a non-null, valid BINARY image (not owned); otherwise false, previous input kept.
    bool setInput(Image2D* input);
    /// Takes any non-null image (not owned), which execute() replaces by the skeleton.
    bool setOutput(Image2D* output);
    /// Thins the input into the output; does nothing unless both are set.
    void execute();

protected:
    /// Writes into `out` (as BINARY, input size) the low byte of lut[code] for every set pixel
    /// of `in`, 0 elsewhere; code = the 3 x 3 neighbourhood weighted 256 128 64 / 32 16 8 /
    /// 4 2 1 (non-zero pixels count 1). Returns whether `out` was filled.
    bool applyLUT(Image2D* in, Image2D* out, int* lut);
    /// One thinning pass written out: for each table, applyLUT, invert the result and AND it
    /// with the image before the table. Always returns false. execute() runs an equivalent
    /// pass that only revisits the pixels next to a deletion.
    bool skeletonIteration(Image2D* in, Image2D* out);

private:
    Image2D* m_input = nullptr;
    Image2D* m_output = nullptr;
};

/// Adapter of image2d::longestPath(). Its execute() CLEARS the pixels of its input image that
/// belong to the start's component: hand it a copy to keep the skeleton.
class Image2DLongestPath
{
public:
    virtual ~Image2DLongestPath() = default;

    /// Takes a non-null, valid BINARY image (not owned, and changed by execute()); otherwise
    /// false, previous input kept.
    bool setInput(Image2D* input);
    /// Takes a non-null list (not owned) that execute() appends to.
    bool setOutput(QList<QPoint>* output);
    /// Appends the longest path from the start pixel to the output list and clears the start's
    /// component in the input. False, nothing changed, without input, output or set pixel.
    bool execute();

protected:
    /// The start pixel (see image2d::longestPath), or (-1, -1) when no pixel is set.
    QPoint findStart();
    /// Appends the longest path from `start` to `output`, clearing the start's component.
    bool startSearching(QPoint start, QList<QPoint>* output);

private:
    Image2D* m_input = nullptr;
    QList<QPoint>* m_output = nullptr;
};
