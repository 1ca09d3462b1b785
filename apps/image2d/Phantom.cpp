#include "Phantom.h"

#include "image2d/framework/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// The phantom is built like a projection radiograph: every structure adds its
// attenuation (density per mm times the path length through it) to a map A, the
// detector sees I = exposure * exp(-A) plus quantum and electronic noise, and the
// stored value rises with attenuation, so enamel is bright and air is dark. All sizes
// are in millimetres so that the three layouts share one set of anatomy.

namespace tool {

namespace {

constexpr double pi = 3.14159265358979323846;

double smoothstep(double e0, double e1, double x)
{
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed)
{
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

double unit(std::uint32_t h)
{
    return (h >> 8) * (1.0 / 16777216.0);
}

// Smooth lattice noise in [0, 1]; `cell` is the feature size in mm.
double valueNoise(double x, double y, double cell, std::uint32_t seed)
{
    const double fx = x / cell + 1000.0, fy = y / cell + 1000.0;
    const auto ix = static_cast<std::uint32_t>(fx), iy = static_cast<std::uint32_t>(fy);
    const double tx = smoothstep(0, 1, fx - ix), ty = smoothstep(0, 1, fy - iy);
    const double a = unit(hash(ix, iy, seed)), b = unit(hash(ix + 1, iy, seed));
    const double c = unit(hash(ix, iy + 1, seed)), d = unit(hash(ix + 1, iy + 1, seed));
    return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

// Distance to the nearest and second-nearest of jittered points, one per cell of `cell`
// mm: their difference is small along the borders between neighbouring points.
double cellEdge(double x, double y, double cell, std::uint32_t seed)
{
    const double fx = x / cell + 1000.0, fy = y / cell + 1000.0;
    const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
    double f1 = 1e9, f2 = 1e9;
    for (std::int64_t j = iy - 1; j <= iy + 1; ++j)
        for (std::int64_t i = ix - 1; i <= ix + 1; ++i)
        {
            const std::uint32_t h = hash(std::uint32_t(i), std::uint32_t(j), seed);
            const double px = double(i) + unit(h), py = double(j) + unit(hash(h, 7u, seed));
            const double d = std::hypot(px - fx, py - fy);
            if (d < f1)
                f2 = f1, f1 = d;
            else if (d < f2)
                f2 = d;
        }
    return (f2 - f1) * cell;
}

// Trabecular bone: struts along the borders of irregular marrow spaces, thicker in some
// places than in others, over a slowly varying density.
double trabecular(double x, double y)
{
    // Two layers of struts seen through each other, as a projection sees the bone.
    const double warp = 0.35 * (valueNoise(x, y, 1.2, 15) - 0.5);
    const double width = 0.16 + 0.22 * valueNoise(x, y, 2.5, 16);
    const double a = 1.0 - smoothstep(0.0, width, cellEdge(x + warp, y - warp, 1.0, 11));
    const double b = 1.0 - smoothstep(0.0, width * 0.8, cellEdge(x - warp + 0.37, y + warp, 0.7, 12));
    return 0.4 * a + 0.3 * b + 0.15 * valueNoise(x, y, 0.6, 17) + 0.15 * valueNoise(x, y, 4.0, 14);
}

// Path length through an elliptic cylinder of half-width hw (depth 1.8 * hw) at offset u.
double chord(double u, double hw)
{
    if (hw <= 0.0)
        return 0.0;
    const double r = u / hw;
    return r >= 1.0 || r <= -1.0 ? 0.0 : 1.8 * hw * std::sqrt(1.0 - r * r);
}

struct Tooth
{
    double x, y;    ///< centre of the occlusal surface, mm
    double angle;   ///< direction from crown to apex, radians (0 = down the image)
    double width;   ///< crown half-width, mm
    double length;  ///< occlusal surface to apex, mm
    int roots;      ///< 1 or 2
};

struct Scene
{
    int w = 0, h = 0;
    double px = 0.1; // mm per pixel
    std::vector<float> attenuation; // soft tissue, teeth, cortical bone
    std::vector<float> boneDepth;   // mm of bone along the ray
    std::vector<float> toothDepth;  // mm of tooth along the ray (displaces bone)
    std::vector<float> boneFactor;  // periodontal space (< 1) and lamina dura (> 1)

    Scene(int width, int height, double pixel) : w(width), h(height), px(pixel)
    {
        const std::size_t n = std::size_t(w) * std::size_t(h);
        attenuation.assign(n, 0.0f);
        boneDepth.assign(n, 0.0f);
        toothDepth.assign(n, 0.0f);
        boneFactor.assign(n, 1.0f);
    }

    template <typename F>
    void forEach(F&& f)
    {
        image2d::parallelFor(0, h, [&](int first, int last) {
            for (int j = first; j < last; ++j)
                for (int i = 0; i < w; ++i)
                    f(std::size_t(j) * std::size_t(w) + std::size_t(i), (i + 0.5) * px, (j + 0.5) * px);
        });
    }

    // Pixels within a box given in mm.
    template <typename F>
    void forBox(double x0, double y0, double x1, double y1, F&& f)
    {
        const int i0 = std::max(0, int(std::floor(x0 / px))), i1 = std::min(w - 1, int(std::ceil(x1 / px)));
        const int j0 = std::max(0, int(std::floor(y0 / px))), j1 = std::min(h - 1, int(std::ceil(y1 / px)));
        if (i0 > i1 || j0 > j1)
            return;
        // Rows are disjoint, so structures can be drawn row-parallel.
        image2d::parallelFor(j0, j1 + 1, [&](int first, int last) {
            for (int j = first; j < last; ++j)
                for (int i = i0; i <= i1; ++i)
                    f(std::size_t(j) * std::size_t(w) + std::size_t(i), (i + 0.5) * px, (j + 0.5) * px);
        });
    }

    void addTooth(const Tooth& t)
    {
        const double ax = std::sin(t.angle), ay = std::cos(t.angle); // crown -> apex
        const double reach = std::max(t.length, t.width) + 1.0;
        const double crown = 0.38 * t.length;
        const double W = t.width;
        constexpr double enamelDensity = 0.32, dentineDensity = 0.17, pulpDensity = 0.0;
        forBox(t.x - reach, t.y - reach, t.x + reach, t.y + reach, [&](std::size_t k, double x, double y) {
            const double dx = x - t.x, dy = y - t.y;
            const double v = dx * ax + dy * ay;  // along the axis
            const double u = dx * ay - dy * ax;  // across
            if (v < -0.5 || v > t.length + 0.8 || std::abs(u) > 1.3 * W + 0.8)
                return;
            const double un = u / W;
            // Occlusal outline: cusp tips at the sides, a fossa in the middle.
            const double top = crown * (0.10 * un * un + 0.045 * (1.0 + std::cos(2.0 * pi * un)));
            double outer = 0, dentine = 0, pulp = 0;
            double rootCentre[2] = {0, 0}, rootHalf[2] = {0, 0};
            int rootCount = 0;
            if (v <= crown)
            {
                const double hw = W * (0.82 + 0.18 * std::sin(pi * (0.3 + 0.7 * std::max(0.0, v) / crown)));
                const double entry = smoothstep(top - 0.08, top + 0.08, v);
                outer = chord(u, hw) * entry;
                const double enamel = W * 0.17 * (1.0 - smoothstep(0.45 * crown, crown, v));
                dentine = chord(u, hw - enamel) * smoothstep(top + 0.2 * W - 0.08, top + 0.2 * W + 0.08, v);
                // Pulp chamber with horns under the cusps.
                const double roof = crown * (0.47 + 0.09 * std::cos(pi * std::clamp(un / 0.3, -1.0, 1.0)));
                const double chamber = 0.30 * W * std::sqrt(smoothstep(0.38 * crown, 0.38 * crown + 1.6, v));
                pulp = chord(u, chamber) * smoothstep(roof - 0.15, roof + 0.15, v);
            }
            else
            {
                const double s = std::min(1.0, (v - crown) / (t.length - crown));
                const double tip = std::sqrt(std::clamp((t.length - v) / (0.07 * t.length), 0.0, 1.0));
                const double single = W * 0.82 * (1.0 - 0.78 * std::pow(s, 1.3)) * tip;
                const double canal = W * (0.12 + 0.18 * std::exp(-s / 0.08)) * (1.0 - 0.6 * s) * std::sqrt(std::clamp((t.length - v) / (0.05 * t.length) - 0.3, 0.0, 1.0));
                if (t.roots == 1)
                {
                    outer = dentine = chord(u, single);
                    pulp = chord(u, canal);
                    rootCentre[0] = 0, rootHalf[0] = single, rootCount = 1;
                }
                else
                {
                    const double c = W * (0.30 + 0.26 * s), hw = W * (0.52 - 0.36 * s) * tip;
                    const double split = smoothstep(0.22, 0.45, s);
                    const double two = std::max(chord(u - c, hw), chord(u + c, hw));
                    outer = dentine = (1 - split) * chord(u, c + hw) + split * two;
                    // The canals leave the chamber floor together and part towards the root tips.
                    const double cc = c * smoothstep(0.0, 0.3, s) * (0.6 + 0.4 * split);
                    const double hc = W * (0.10 * (1.0 - 0.5 * s) + 0.2 * std::exp(-s / 0.06)) *
                                      std::sqrt(std::clamp((t.length - v) / (0.05 * t.length) - 0.3, 0.0, 1.0));
                    pulp = std::max(chord(u - cc, hc), chord(u + cc, hc));
                    rootCentre[0] = c, rootCentre[1] = -c, rootHalf[0] = rootHalf[1] = hw, rootCount = 2;
                    if (split < 0.5)
                        rootCentre[0] = 0, rootHalf[0] = c + hw, rootCount = 1;
                }
            }
            pulp = std::min(pulp, dentine);
            dentine = std::min(dentine, outer);
            attenuation[k] += float(enamelDensity * (outer - dentine) + dentineDensity * (dentine - pulp) + pulpDensity * pulp);
            toothDepth[k] += float(outer);
            // Periodontal ligament (dark) and lamina dura (bright) beside the root.
            for (int r = 0; r < rootCount; ++r)
            {
                const double gap = std::abs(u - rootCentre[r]) - rootHalf[r];
                if (rootHalf[r] > 0.2 && gap > 0 && gap < 0.55 && v > crown + 1.0)
                    boneFactor[k] = std::min(boneFactor[k], gap < 0.15 ? 0.6f : 1.45f);
            }
        });
    }

    // Filled ellipsoid projected: an ellipse whose path length falls off to its rim.
    void addEllipsoid(double cx, double cy, double rx, double ry, double depth, double density, bool bone)
    {
        forBox(cx - rx, cy - ry, cx + rx, cy + ry, [&](std::size_t k, double x, double y) {
            const double q = ((x - cx) * (x - cx)) / (rx * rx) + ((y - cy) * (y - cy)) / (ry * ry);
            if (q >= 1.0)
                return;
            const double path = depth * std::sqrt(1.0 - q);
            if (bone)
                boneDepth[k] += float(path);
            else
                attenuation[k] += float(density * path);
        });
    }

    // Shell of an ellipsoid (skull vault): the path through the shell, brightest at its rim.
    void addShell(double cx, double cy, double rx, double ry, double thickness, double density)
    {
        forBox(cx - rx, cy - ry, cx + rx, cy + ry, [&](std::size_t k, double x, double y) {
            const double ox = (x - cx) / rx, oy = (y - cy) / ry;
            const double q = ox * ox + oy * oy;
            if (q >= 1.0)
                return;
            const double r = std::min(rx, ry);
            const double inner = std::max(0.0, 1.0 - thickness / r);
            const double outerPath = std::sqrt(1.0 - q);
            const double innerPath = q < inner * inner ? std::sqrt(inner * inner - q) : 0.0;
            attenuation[k] += float(density * r * (outerPath - innerPath));
        });
    }

    // A cylinder along a segment (cortical borders, vertebrae edges).
    void addCapsule(double x0, double y0, double x1, double y1, double radius, double density)
    {
        const double lx = x1 - x0, ly = y1 - y0, len2 = std::max(1e-9, lx * lx + ly * ly);
        forBox(std::min(x0, x1) - radius, std::min(y0, y1) - radius, std::max(x0, x1) + radius,
               std::max(y0, y1) + radius, [&](std::size_t k, double x, double y) {
                   const double t = std::clamp(((x - x0) * lx + (y - y0) * ly) / len2, 0.0, 1.0);
                   const double d = std::hypot(x - x0 - t * lx, y - y0 - t * ly);
                   if (d < radius)
                       attenuation[k] += float(density * 2.0 * std::sqrt(radius * radius - d * d));
               });
    }
};

struct Exposure
{
    double beam = 1.0;     // relative exposure inside the field
    double sigma = 0.011;  // quantum noise at full exposure
    double outside = 0.02; // relative exposure behind the collimator
};

// Detector: quantum noise grows with the square root of the dose, electronic noise is
// constant; the 12-bit value rises with attenuation.
Image2D expose(const Scene& scene, const Exposure& e, double (*field)(double, double, const Scene&))
{
    Image2D image(scene.w, scene.h, Image2D::UNSIGNED_SHORT, QVector3D(float(scene.px), float(scene.px), 1.0f));
    if (!image.isValid())
        return image;
    auto* out = image.getData<std::uint16_t>();
    image2d::parallelFor(0, scene.h, [&](int first, int last) {
    for (int j = first; j < last; ++j)
        for (int i = 0; i < scene.w; ++i)
        {
            const std::size_t k = std::size_t(j) * std::size_t(scene.w) + std::size_t(i);
            const double x = (i + 0.5) * scene.px, y = (j + 0.5) * scene.px;
            const double bone = std::max(0.0, double(scene.boneDepth[k]) - 0.8 * scene.toothDepth[k]);
            const double density = bone > 0.0 ? (0.040 + 0.035 * trabecular(x, y)) * scene.boneFactor[k] : 0.0;
            const double a = scene.attenuation[k] + bone * density;
            const double inField = field(x, y, scene);
            const double dose = e.beam * (1.0 - 0.08 * x / (scene.w * scene.px)); // heel effect
            double intensity = dose * (e.outside + (1.0 - e.outside) * inField) * std::exp(-a);
            const std::uint32_t h1 = hash(std::uint32_t(i), std::uint32_t(j), 101);
            const std::uint32_t h2 = hash(std::uint32_t(i), std::uint32_t(j), 202);
            const double g = std::sqrt(-2.0 * std::log(1.0 - unit(h1))) * std::cos(2.0 * pi * unit(h2));
            const double g2 = std::sqrt(-2.0 * std::log(1.0 - unit(h2))) * std::sin(2.0 * pi * unit(h1));
            intensity += e.sigma * std::sqrt(std::max(intensity, 0.0)) * g;
            const double value = 40.0 + 4000.0 * (1.0 - intensity) + 3.0 * g2;
            out[k] = static_cast<std::uint16_t>(std::clamp(std::lround(value), 0L, 4095L));
        }
    });
    image.editFinished();
    return image;
}

// --- Intraoral: lower premolar and two molars on a size-2 sensor with a cone cut. ---

double intraoralField(double x, double y, const Scene&)
{
    const double r = std::hypot(x - 21.0, y - 9.5);
    return 1.0 - smoothstep(22.8, 23.3, r);
}

Image2D intraoral()
{
    Scene s(1440, 960, 0.025);
    const double W = s.w * s.px, H = s.h * s.px;
    const double occlusal = 3.2, cej = occlusal + 0.38 * 20.5;
    s.forEach([&](std::size_t k, double x, double y) {
        // Cheek and tongue everywhere, gingiva over the crest, air above the teeth.
        s.attenuation[k] += float(0.18 + 0.12 * smoothstep(0.0, 5.0, y) + 0.10 * smoothstep(cej - 3.0, cej, y) +
                                  0.04 * valueNoise(x, y, 6.0, 3));
        // Alveolar bone below a wavy crest, denser at the crest (cortical rim).
        const double crest = cej + 1.6 + 0.6 * std::sin(x * 0.45) + 0.8 * valueNoise(x, 0, 4.0, 4);
        const double inBone = smoothstep(crest - 0.3, crest + 0.5, y);
        s.boneDepth[k] += float(11.0 * inBone * (0.9 + 0.1 * smoothstep(crest, H, y)));
        s.attenuation[k] += float(0.12 * std::exp(-std::pow((y - crest - 0.5) / 0.5, 2.0)));
        // Mandibular canal: a darker band low in the bone.
        const double canal = H - 3.0 + 0.08 * (x - W / 2);
        s.boneFactor[k] *= float(1.0 - 0.35 * std::exp(-std::pow((y - canal) / 1.1, 2.0)));
    });
    s.addTooth({5.5, occlusal + 0.6, -0.05, 3.6, 21.5, 1});
    s.addTooth({15.6, occlusal, 0.02, 5.3, 20.5, 2});
    s.addTooth({26.6, occlusal + 0.3, 0.06, 5.1, 19.5, 2});
    // Amalgam-like filling in the first molar: very dense, sharp edges.
    s.addEllipsoid(15.2, occlusal + 1.6, 2.0, 1.2, 2.2, 1.2, false);
    return expose(s, Exposure{}, intraoralField);
}

// --- Panoramic: both arches along the occlusal curve, jaws, palate and spine shadow. ---

double panoramicField(double x, double y, const Scene& s)
{
    const double W = s.w * s.px, H = s.h * s.px, inset = 4.0, radius = 25.0;
    const double dx = std::max({inset + radius - x, x - (W - inset - radius), 0.0});
    const double dy = std::max({inset + radius - y, y - (H - inset - radius), 0.0});
    return 1.0 - smoothstep(radius - 0.4, radius + 0.4, std::hypot(dx, dy));
}

Image2D panoramic()
{
    Scene s(2800, 1400, 0.1);
    const double W = s.w * s.px, cx = W / 2;
    auto occlusal = [&](double x) { return 72.0 + 14.0 * std::pow((x - cx) / 110.0, 2.0); };
    // Lower border of the mandible: low at the chin, rising towards the angles.
    auto border = [&](double x) { return 126.0 - 14.0 * std::pow((x - cx) / 100.0, 2.0); };
    auto band = [](double v, double lo, double hi, double soft) {
        return smoothstep(lo - soft, lo + soft, v) * (1.0 - smoothstep(hi - soft, hi + soft, v));
    };
    s.forEach([&](std::size_t k, double x, double y) {
        const double o = occlusal(x), dx = x - cx;
        s.attenuation[k] += float(0.28 + 0.08 * valueNoise(x, y, 20.0, 5));
        // Cervical spine superimposed in the middle, blurred by the rotation.
        s.attenuation[k] += float(0.40 * std::exp(-std::pow(dx / 16.0, 2.0)) * smoothstep(50.0, 95.0, y));
        // Mandible: the body under the lower teeth and a ramus rising at each end.
        const double body = band(y, o + 2.0, border(x), 1.5) * band(std::abs(dx), -1.0, 100.0, 6.0);
        double ramus = 0.0;
        for (int side = -1; side <= 1; side += 2)
        {
            // Axis from the angle up to the condyle, leaning outwards.
            const double ax = cx + side * 100.0, ay = border(cx + side * 100.0) - 4.0;
            const double bx = cx + side * 112.0, by = 38.0;
            const double lx = bx - ax, ly = by - ay, t = std::clamp(((x - ax) * lx + (y - ay) * ly) / (lx * lx + ly * ly), 0.0, 1.0);
            const double d = std::hypot(x - ax - t * lx, y - ay - t * ly);
            const double half = 13.0 - 5.0 * smoothstep(0.75, 1.0, t);
            ramus = std::max(ramus, 1.0 - smoothstep(half - 1.5, half + 1.5, d));
        }
        const double mandible = std::max(body, ramus);
        // Maxilla above the upper teeth, up to the palate and the sinus floors.
        const double maxilla = band(y, o - 36.0, o - 2.0, 2.0) * band(std::abs(dx), -1.0, 92.0, 8.0);
        s.boneDepth[k] += float(11.0 * std::max(mandible, maxilla));
        // Cortex along the lower border and the posterior edge of the rami.
        s.attenuation[k] += float(0.20 * body * std::exp(-std::pow((y - border(x) + 2.2) / 1.6, 2.0)));
        // Mandibular canal: a darker band through the body.
        s.boneFactor[k] *= float(1.0 - 0.3 * body * std::exp(-std::pow((y - border(x) + 11.0 + 0.04 * std::abs(dx)) / 1.5, 2.0)) *
                                           smoothstep(25.0, 45.0, std::abs(dx)));
        // Maxillary sinuses and nasal cavity: air; hard palate: a dense line above the apices.
        const double sinus = std::hypot((std::abs(dx) - 58.0) / 30.0, (y - (o - 33.0)) / 13.0);
        s.attenuation[k] -= float(0.22 * (1.0 - smoothstep(0.8, 1.0, sinus)));
        const double nasal = std::hypot(dx / 15.0, (y - (o - 50.0)) / 14.0);
        s.attenuation[k] -= float(0.12 * (1.0 - smoothstep(0.6, 1.0, nasal)));
        s.attenuation[k] += float(0.22 * std::exp(-std::pow((y - (o - 38.0 + 0.002 * dx * dx)) / 1.4, 2.0)) *
                                  (1.0 - smoothstep(80.0, 95.0, std::abs(dx))));
        // Airway shadow crossing the rami.
        s.attenuation[k] -= float(0.08 * std::exp(-std::pow((y - o + 4.0) / 5.0, 2.0)) * band(std::abs(dx), 88.0, 125.0, 6.0));
    });
    // Seven teeth per quadrant: incisors, canine, premolars, molars.
    const double widths[7] = {4.2, 3.9, 4.9, 4.7, 4.7, 6.6, 6.5};
    const double lengths[7] = {28.0, 27.0, 32.0, 28.0, 27.0, 25.0, 24.0};
    const int roots[7] = {1, 1, 1, 1, 1, 2, 2};
    for (int side = -1; side <= 1; side += 2)
    {
        double x = cx + side * 0.3;
        for (int t = 0; t < 7; ++t)
        {
            const double half = widths[t] * (t < 3 ? 1.05 : 1.15);
            x += side * half;
            const double o = occlusal(x);
            const double tilt = side * (0.04 + 0.02 * t);
            s.addTooth({x, o - 0.8, pi - tilt, widths[t], lengths[t], roots[t]});
            s.addTooth({x + side * 0.8, o + 0.8, tilt * 0.6, widths[t] * 0.95, lengths[t] - 0.5, roots[t]});
            x += side * half;
        }
    }
    Exposure e;
    e.sigma = 0.009;
    return expose(s, e, panoramicField);
}

// --- Cephalometric: lateral skull, face and teeth, spine, soft-tissue profile. ---

double cephField(double x, double y, const Scene& s)
{
    const double W = s.w * s.px, H = s.h * s.px;
    const double edge = std::min({x - 3.0, W - 3.0 - x, y - 3.0, H - 3.0 - y});
    return smoothstep(-0.4, 0.4, edge);
}

Image2D ceph()
{
    Scene s(2000, 2400, 0.12);
    const double W = s.w * s.px; // 240 x 288 mm
    // Facial profile: forehead, nose, lips and chin, as the x of the skin for each y.
    auto profile = [&](double y) {
        const double forehead = 196.0 + 0.05 * (y - 60.0);
        const double nose = 22.0 * std::exp(-std::pow((y - 150.0) / 14.0, 2.0));
        const double lips = 7.0 * std::exp(-std::pow((y - 192.0) / 8.0, 2.0)) + 5.0 * std::exp(-std::pow((y - 212.0) / 7.0, 2.0));
        const double chin = -10.0 * smoothstep(225.0, 260.0, y) + 4.0 * std::exp(-std::pow((y - 238.0) / 8.0, 2.0));
        return forehead + nose + lips + chin;
    };
    s.forEach([&](std::size_t k, double x, double y) {
        // Head and neck soft tissue; air in front of the face and below the chin.
        const double skin = profile(y);
        const double neck = 215.0 - 1.3 * std::max(0.0, y - 238.0);
        const double inside = (1.0 - smoothstep(skin - 1.0, skin + 1.0, x)) * (1.0 - smoothstep(neck - 1.0, neck + 1.0, x)) *
                              smoothstep(10.0, 14.0, y);
        s.attenuation[k] += float(inside * (0.55 + 0.08 * valueNoise(x, y, 25.0, 6)));
        // Maxilla, and the mandible: body, angle and ramus up to the condyle.
        const double maxilla = (1.0 - smoothstep(0.9, 1.0, std::hypot((x - 160.0) / 30.0, (y - 180.0) / 14.0)));
        const double bodyTop = 209.0, bodyBottom = 236.0 + 0.14 * (x - 110.0);
        const double chin = std::hypot((x - 176.0) / 16.0, (y - 228.0) / 22.0);
        const double body = smoothstep(bodyTop - 1.5, bodyTop + 1.5, y) * (1.0 - smoothstep(bodyBottom - 1.5, bodyBottom + 1.5, y)) *
                            smoothstep(104.0, 112.0, x) * (x < 176.0 ? 1.0 : 1.0 - smoothstep(0.9, 1.0, chin));
        const double ramusAxis = 111.0 - 0.12 * (238.0 - y);
        const double ramus = (1.0 - smoothstep(9.0, 11.0, std::abs(x - ramusAxis))) * smoothstep(146.0, 154.0, y) *
                             (1.0 - smoothstep(232.0, 240.0, y));
        s.boneDepth[k] += float(14.0 * std::max({maxilla, body, ramus}));
        s.attenuation[k] += float(0.18 * body * std::exp(-std::pow((y - bodyBottom + 2.0) / 1.8, 2.0)));
        // Air in the pharynx and the nasal cavity.
        const double airway = 1.0 - smoothstep(0.8, 1.0, std::hypot((x - 120.0) / 6.0, (y - 215.0) / 45.0));
        const double nasal = 1.0 - smoothstep(0.8, 1.0, std::hypot((x - 165.0) / 28.0, (y - 150.0) / 12.0));
        s.attenuation[k] -= float(0.25 * airway + 0.15 * nasal);
    });
    // Skull vault, inner table and the cranial base.
    s.addShell(105.0, 95.0, 92.0, 78.0, 7.0, 0.045);
    s.forBox(10.0, 14.0, 200.0, 176.0, [&](std::size_t k, double x, double y) {
        const double q = std::hypot((x - 105.0) / 92.0, (y - 95.0) / 78.0);
        if (q < 1.0 && q > 0.9)
            s.boneDepth[k] += float(20.0 * smoothstep(0.9, 0.93, q) * (1.0 - smoothstep(0.97, 1.0, q)));
    });
    s.addEllipsoid(105.0, 95.0, 85.0, 71.0, 130.0, 0.0025, false);
    s.forBox(20.0, 25.0, 190.0, 165.0, [&](std::size_t k, double x, double y) {
        // Inner skull surface: vascular grooves and the convolutional pattern, faintly.
        s.attenuation[k] += float(0.05 * (valueNoise(x, y, 9.0, 21) - 0.5) * (1.0 - smoothstep(0.85, 0.95, std::hypot((x - 105.0) / 85.0, (y - 95.0) / 71.0))));
    });
    s.addEllipsoid(112.0, 128.0, 40.0, 9.0, 30.0, 0.012, false);   // anterior cranial base
    s.addEllipsoid(92.0, 138.0, 16.0, 8.0, 30.0, 0.03, false);     // petrous part of the temporal bone
    s.addShell(118.0, 122.0, 6.0, 5.0, 1.5, 0.08);                  // sella turcica
    s.addShell(172.0, 118.0, 14.0, 13.0, 2.5, 0.07);                // orbit rim
    s.addEllipsoid(98.0, 148.0, 5.0, 5.0, 10.0, 0.16, false);       // ear rod
    // Cervical vertebrae below the skull base: bodies with denser end plates.
    for (int v = 0; v < 4; ++v)
    {
        const double y0 = 182.0 + v * 21.0, x0 = 76.0 - v * 3.0;
        s.forBox(x0 - 12.0, y0 - 1.0, x0 + 12.0, y0 + 17.0, [&](std::size_t k, double x, double y) {
            const double inside = smoothstep(-11.0, -10.0, x - x0) * (1.0 - smoothstep(10.0, 11.0, x - x0)) *
                                  smoothstep(y0, y0 + 1.0, y) * (1.0 - smoothstep(y0 + 15.0, y0 + 16.0, y));
            s.boneDepth[k] += float(16.0 * inside);
            const double plate = std::exp(-std::pow((y - y0 - 1.2) / 0.9, 2.0)) + std::exp(-std::pow((y - y0 - 14.8) / 0.9, 2.0));
            s.attenuation[k] += float(0.12 * inside * plate);
        });
        s.addCapsule(x0 - 30.0, y0 + 6.0, x0 - 16.0, y0 + 9.0, 3.0, 0.06); // spinous process
    }
    // Teeth seen from the side overlap each other.
    for (int t = 0; t < 6; ++t)
    {
        const double x = 182.0 - t * 8.5;
        s.addTooth({x, 202.0, pi - 0.25 + 0.04 * t, 4.0, 21.0, t < 3 ? 1 : 2});
        s.addTooth({x - 2.0, 205.0, 0.2 - 0.04 * t, 3.8, 20.0, t < 3 ? 1 : 2});
    }
    (void)W;
    Exposure e;
    e.sigma = 0.008;
    return expose(s, e, cephField);
}

} // namespace

Image2D makePhantom(PhantomLayout layout)
{
    switch (layout)
    {
    case PhantomLayout::Panoramic: return panoramic();
    case PhantomLayout::Ceph: return ceph();
    case PhantomLayout::Intraoral: break;
    }
    return intraoral();
}

} // namespace tool

namespace tool {

PhantomLayout phantomLayoutFor(Media media)
{
    switch (media)
    {
    case Media::Panoramic: return PhantomLayout::Panoramic;
    case Media::Ceph: return PhantomLayout::Ceph;
    default: return PhantomLayout::Intraoral;
    }
}

bool loadPhantom(Media media, LoadedImage& out, QString& error)
{
    out = LoadedImage{};
    out.image = makePhantom(phantomLayoutFor(media));
    out.format = QStringLiteral("phantom");
    out.bitsStored = 12;
    out.pixelSizeKnown = true;
    if (!out.image.isValid())
    {
        error = QStringLiteral("not enough memory for the phantom");
        return false;
    }
    return true;
}

} // namespace tool
