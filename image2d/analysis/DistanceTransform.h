#pragma once

// Chamfer distance maps of binary images and their growth into a zone.
//
// The chamfer metric costs 5 per horizontal or vertical step, 7 per diagonal step and 11 per
// knight's move, so a distance divided by 5 is in pixels. Maps are SHORT images computed in
// 16-bit arithmetic (sums wrap, comparisons are signed) by two raster sweeps that depend on
// the pixels they have just written, so they run on the calling thread and poll no
// cancellation flag. The typed core functions come first, then their adapters.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Parameters.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

namespace image2d {

/// Distance of a pixel that no set pixel reaches.
inline constexpr std::int16_t kChamferFar = 32717;

/// Chamfer distance of every pixel to the nearest non-zero pixel of a BINARY image
/// (kChamferFar everywhere when there is none), as a SHORT image of the input's size and
/// pixel size. Empty with DistanceTransform's warnings for an invalid or non-BINARY image.
std::shared_ptr<Image2D> distanceTransform(const Image2D& binary);

/// Chamfer growth: the distance map of `limit` plus `penetrationDepth` (16-bit wrap), set to
/// 0 where `zone` is 0, then spread so that every pixel holds the largest of its own value and
/// (value of another pixel - chamfer distance between them). SHORT, the limit's size and pixel
/// size. Both images BINARY of one size; empty with GrowChamfer's warning otherwise (with the
/// masking step's warning for sizes that differ). Depths that push values past 32767 wrap into
/// the negative range.
std::shared_ptr<Image2D> growChamfer(const Image2D& limit, const Image2D& zone, int penetrationDepth);

/// Adapter of distanceTransform().
class DistanceTransform : public Algorithm
{
public:
    /// Distance map of a copy of *input; empty on failure.
    static std::shared_ptr<Image2D> executeDistanceTransform(Image2D* input);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of growChamfer(). The depth is not validated: a value that does not convert to int
/// counts as 0.
class GrowChamfer : public Algorithm
{
public:
    static const QString LIMIT_IMAGE;       ///< "limitImage", BINARY
    static const QString ZONE_IMAGE;        ///< "zoneImage", BINARY, the limit's size
    static const QString PENETRATION_DEPTH; ///< "penetrationDepth", int
    static const Parameter<int> PENETRATION_DEPTH_PARAMETER;
    static const ParameterList& parameters();

    /// Sets the penetration depth to 0.
    GrowChamfer();

    /// Growth of copies of both images; empty on failure.
    static std::shared_ptr<Image2D> executeGrowChamfer(Image2D* limitImage, Image2D* zoneImage, int penetrationDepth);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
