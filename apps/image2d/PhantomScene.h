#pragma once

// The projection model behind the phantoms. Every structure adds what the X-ray crosses
// of it (path length in mm times a density per mm) to an attenuation map; bone is kept
// apart as a path length so that its trabecular texture, the periodontal space and the
// lamina dura can modulate it, and teeth displace the bone they sit in. The detector sees
// I = exposure * exp(-attenuation) with quantum and electronic noise, and the stored
// 12-bit value rises with attenuation (enamel bright, air dark). Sizes are millimetres.

#include "image2d/framework/Parallel.h"
#include "platform/pixeldata/Image2D.h"

#include <QPointF>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tool::phantom {

constexpr double pi = 3.14159265358979323846;

double smoothstep(double e0, double e1, double x);
/// Deterministic smooth noise in [0, 1]; `cell` is the feature size in mm.
double valueNoise(double x, double y, double cell, std::uint32_t seed);
/// Path length through a rounded slab: 0 outside, rising over `ramp` mm from the edge
/// (`inside` mm in) to `thickness`, as through a rod's rounded border.
double roundedPath(double inside, double ramp, double thickness);

/// One tooth as it stands in the image.
enum class ToothKind
{
    Incisor,
    Canine,
    Premolar,
    Molar
};

struct Tooth
{
    double x = 0, y = 0;   ///< cusp-tip level on the tooth's axis, mm
    double angle = 0;      ///< direction from crown to apex, radians (0: down the image, pi: up)
    ToothKind kind = ToothKind::Molar;
    double width = 10;     ///< crown width (mesio-distal), mm
    double crown = 7.5;    ///< crown height, cusp tips to the cemento-enamel junction
    double root = 13;      ///< root length, junction to apex
    double depth = 10;     ///< crown depth along the beam (bucco-lingual), mm
    int roots = 1;         ///< 1, 2 (lower molars) or 3 (upper molars)
    double curve = 0;      ///< sideways bend of the roots at the apex, mm (+: towards +u)
    std::uint8_t label = 0;  ///< label in the teeth mask; 0: not labelled (the far side of a ceph)
    bool filling = false;  ///< an occlusal-distal metal restoration in the crown
};

/// The maps of one phantom and its ground truth, on a grid of w x h pixels of `px` mm.
struct Scene
{
    int w = 0, h = 0;
    double px = 0.1;
    std::vector<float> attenuation; ///< soft tissue, teeth, cortices, metal
    std::vector<float> boneDepth;   ///< mm of bone along the ray
    std::vector<float> toothDepth;  ///< mm of tooth along the ray (displaces bone)
    std::vector<float> boneFactor;  ///< periodontal space (< 1), lamina dura (> 1), canals
    std::vector<std::uint8_t> teeth; ///< tooth label per pixel (0: none)
    std::vector<std::uint8_t> pulp;  ///< 255 where the ray crosses pulp

    Scene(int width, int height, double pixel);

    /// f(index, x mm, y mm) for every pixel, rows in parallel.
    template <typename F>
    void forEach(F&& f) { forBox(0, 0, w * px, h * px, f); }
    /// f(index, x mm, y mm) for the pixels of a box given in mm, rows in parallel.
    template <typename F>
    void forBox(double x0, double y0, double x1, double y1, F&& f)
    {
        const int i0 = std::max(0, int(std::floor(x0 / px))), i1 = std::min(w - 1, int(std::ceil(x1 / px)));
        const int j0 = std::max(0, int(std::floor(y0 / px))), j1 = std::min(h - 1, int(std::ceil(y1 / px)));
        if (i0 > i1 || j0 > j1)
            return;
        // Rows are disjoint, so structures are drawn row-parallel.
        image2d::parallelFor(j0, j1 + 1, [&](int first, int last) {
            for (int j = first; j < last; ++j)
                for (int i = i0; i <= i1; ++i)
                    f(std::size_t(j) * std::size_t(w) + std::size_t(i), (i + 0.5) * px, (j + 0.5) * px);
        });
    }

    void addTooth(const Tooth& tooth);
    /// Ellipse of half-axes rx, ry turned by `angle`; an ellipsoid's path (depth at the
    /// centre). Bone when `bone`, otherwise density * path added to the attenuation.
    void addEllipsoid(double cx, double cy, double rx, double ry, double angle, double depth, double density, bool bone);
    /// Filled polygon (mm) with rounded borders: bone path `thickness` inside, or density.
    void addPolygon(const std::vector<QPointF>& points, double thickness, double ramp, double density, bool bone);
    /// A rod along a polyline (cortical lines, canals): path 2 sqrt(r^2 - d^2) times density;
    /// a negative density takes attenuation away (air, a canal's lumen).
    void addRod(const std::vector<QPointF>& points, double radius, double density);
    /// Multiplies the bone density along a polyline band (a canal: below 1).
    void scaleBone(const std::vector<QPointF>& points, double halfWidth, double factor);
};

/// Exposure of a scene.
struct Exposure
{
    double sigma = 0.011;   ///< quantum noise at full exposure
    double outside = 0.02;  ///< relative exposure behind the collimator
    double trabecula = 1.0; ///< size of the marrow spaces, mm
    double dose = 1.0;      ///< relative exposure inside the field
    bool detectorNoise = true; ///< quantum and electronic noise; off for noise-free references
};

/// The image and its masks: teeth labels, pulp (255), and bone (255 where there is bone
/// and no tooth), all 8-bit. `field` gives the collimator's opening (0..1) at a point.
struct Exposed
{
    Image2D image, teeth, pulp, bone;
};
Exposed expose(const Scene& scene, const Exposure& exposure, double (*field)(double, double, const Scene&));

/// The layouts at a dose relative to their normal one, with or without detector noise.
Exposed intraoral(double dose = 1.0, bool detectorNoise = true);
Exposed panoramic(double dose = 1.0, bool detectorNoise = true);
Exposed ceph(double dose = 1.0, bool detectorNoise = true);

} // namespace tool::phantom
