#pragma once

#include "platform/pixeldata/Image2D.h"

#include <QSize>

#ifdef IMAGE2D_BENCH_WITH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace bench {

/// The two benchmark sizes: an intraoral sensor image and a panoramic image.
inline const QSize kIntraoral(1500, 2000);
inline const QSize kPanoramic(2900, 1450);
/// Four times the intraoral pixels, for the growth of the cost with the image size.
inline const QSize kIntraoral4x(3000, 4000);

/// Size for a benchmark argument (0 intraoral, 1 panoramic, 2 four times intraoral).
QSize sizeFor(int index);
/// Label for a benchmark argument, used in the counters' names.
const char* labelFor(int index);

/// Deterministic radiograph-like content: smooth structures (a few blurred blobs and
/// gradients) plus detector noise, 12-bit values stored in 16 bits.
/// Cached per size, so every benchmark of a run sees the same pixels.
const Image2D& radiograph(const QSize& size);
/// The same content converted to FLOAT (values 0..4095).
const Image2D& radiographFloat(const QSize& size);

/// The radiograph thresholded at its mean: BINARY, 1 above the mean (blobs with noisy edges).
const Image2D& radiographMask(const QSize& size);
/// BINARY pixels each set with probability 1/2: the worst case of the region algorithms.
const Image2D& noiseMask(const QSize& size);

#ifdef IMAGE2D_BENCH_WITH_OPENCV
/// Wraps an Image2D's pixels as a cv::Mat without copying (CV_16U, CV_32F, ...).
cv::Mat asMat(const Image2D& image);
#endif

} // namespace bench
