#include "PhantomScene.h"

#include <algorithm>
#include <cmath>

namespace tool::phantom {

namespace {

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

// Path through an ellipse of half-width a and half-depth b at offset u from its centre.
double chord(double u, double a, double b)
{
    if (a <= 0.0 || b <= 0.0)
        return 0.0;
    const double r = u / a;
    return r * r >= 1.0 ? 0.0 : 2.0 * b * std::sqrt(1.0 - r * r);
}

// Three box blurs in each direction: close to a Gaussian of standard deviation sigma
// (pixels), in time independent of sigma.
void blur(std::vector<float>& data, int w, int h, double sigma)
{
    const int radius = std::max(1, int(std::lround((std::sqrt(4.0 * sigma * sigma + 1.0) - 1.0) / 2.0)));
    const float norm = 1.0f / float(2 * radius + 1);
    auto pass = [&](int count, int length, auto index) {
        image2d::parallelFor(0, count, [&](int first, int last) {
            std::vector<float> line(static_cast<std::size_t>(length));
            for (int c = first; c < last; ++c)
                for (int repeat = 0; repeat < 3; ++repeat)
                {
                    for (int k = 0; k < length; ++k)
                        line[std::size_t(k)] = data[index(c, k)];
                    float sum = 0.0f;
                    for (int k = -radius; k <= radius; ++k)
                        sum += line[std::size_t(std::clamp(k, 0, length - 1))];
                    for (int k = 0; k < length; ++k)
                    {
                        data[index(c, k)] = sum * norm;
                        sum += line[std::size_t(std::min(k + radius + 1, length - 1))] -
                               line[std::size_t(std::max(k - radius, 0))];
                    }
                }
        });
    };
    pass(h, w, [w](int row, int k) { return std::size_t(row) * std::size_t(w) + std::size_t(k); });
    pass(w, h, [w](int column, int k) { return std::size_t(k) * std::size_t(w) + std::size_t(column); });
}

// Band-pass filtered white noise scaled to unit standard deviation: blobs about `size`
// mm across, the texture the trabecular pattern is drawn from.
std::vector<float> bandPassNoise(int w, int h, double px, double size, std::uint32_t seed)
{
    const std::size_t n = std::size_t(w) * std::size_t(h);
    std::vector<float> fine(n), coarse(n);
    image2d::parallelFor(0, h, [&](int first, int last) {
        for (int j = first; j < last; ++j)
            for (int i = 0; i < w; ++i)
                fine[std::size_t(j) * std::size_t(w) + std::size_t(i)] = float(unit(hash(std::uint32_t(i), std::uint32_t(j), seed)) - 0.5);
    });
    coarse = fine;
    blur(fine, w, h, 0.18 * size / px);
    blur(coarse, w, h, 0.5 * size / px);
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k)
    {
        fine[k] -= coarse[k];
        sum += double(fine[k]) * fine[k];
    }
    const float scale = float(1.0 / std::sqrt(std::max(sum / double(n), 1e-20)));
    for (float& v : fine)
        v *= scale;
    return fine;
}

// Squared distance from (x, y) to the segment ab (squared, so that the hot loops take one
// square root per pixel).
double squaredDistanceToSegment(double x, double y, const QPointF& a, const QPointF& b)
{
    const double lx = b.x() - a.x(), ly = b.y() - a.y();
    const double s = std::clamp(((x - a.x()) * lx + (y - a.y()) * ly) / std::max(1e-12, lx * lx + ly * ly), 0.0, 1.0);
    const double dx = x - a.x() - s * lx, dy = y - a.y() - s * ly;
    return dx * dx + dy * dy;
}

double distanceToPolyline(double x, double y, const std::vector<QPointF>& points)
{
    double nearest = 1e300;
    for (std::size_t i = 0; i + 1 < points.size(); ++i)
        nearest = std::min(nearest, squaredDistanceToSegment(x, y, points[i], points[i + 1]));
    return std::sqrt(nearest);
}

struct Bounds
{
    double x0 = 1e30, y0 = 1e30, x1 = -1e30, y1 = -1e30;
    explicit Bounds(const std::vector<QPointF>& points, double margin)
    {
        for (const QPointF& p : points)
            x0 = std::min(x0, p.x()), y0 = std::min(y0, p.y()), x1 = std::max(x1, p.x()), y1 = std::max(y1, p.y());
        x0 -= margin, y0 -= margin, x1 += margin, y1 += margin;
    }
};

} // namespace

double smoothstep(double e0, double e1, double x)
{
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

double valueNoise(double x, double y, double cell, std::uint32_t seed)
{
    const double fx = x / cell + 1000.0, fy = y / cell + 1000.0;
    const auto ix = static_cast<std::uint32_t>(fx), iy = static_cast<std::uint32_t>(fy);
    const double tx = smoothstep(0, 1, fx - ix), ty = smoothstep(0, 1, fy - iy);
    const double a = unit(hash(ix, iy, seed)), b = unit(hash(ix + 1, iy, seed));
    const double c = unit(hash(ix, iy + 1, seed)), d = unit(hash(ix + 1, iy + 1, seed));
    return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

double roundedPath(double inside, double ramp, double thickness)
{
    if (inside <= 0.0)
        return 0.0;
    const double t = std::min(1.0, inside / ramp);
    return thickness * std::sqrt(1.0 - (1.0 - t) * (1.0 - t));
}

Scene::Scene(int width, int height, double pixel) : w(width), h(height), px(pixel)
{
    const std::size_t n = std::size_t(w) * std::size_t(h);
    attenuation.assign(n, 0.0f);
    boneDepth.assign(n, 0.0f);
    toothDepth.assign(n, 0.0f);
    boneFactor.assign(n, 1.0f);
    teeth.assign(n, 0);
    pulp.assign(n, 0);
}

void Scene::addTooth(const Tooth& t)
{
    constexpr double enamelDensity = 0.26, dentineDensity = 0.125, pulpDensity = 0.012, metalDensity = 2.2;
    const double ax = std::sin(t.angle), ay = std::cos(t.angle); // crown to apex
    const double W = t.width / 2, B = t.depth / 2, C = t.crown, R = t.root, L = C + R;
    const bool molar = t.kind == ToothKind::Molar;
    // The crown narrows to the cervix; enamel is thickest over the cusps.
    const double cervix = molar ? 0.78 : t.kind == ToothKind::Premolar ? 0.72 : 0.66;
    const double enamelTop = molar ? 2.0 : t.kind == ToothKind::Incisor ? 1.1 : 1.7;
    const double rc = cervix * W;            // root half-width at the cervix
    const double furcation = molar ? 0.24 : 2.0;
    const double reach = L + W + 1.5;
    forBox(t.x - reach, t.y - reach, t.x + reach, t.y + reach, [&](std::size_t k, double x, double y) {
        const double dx = x - t.x, dy = y - t.y;
        const double v = dx * ax + dy * ay; // along the axis, from the cusp tips
        const double u = dx * ay - dy * ax; // across
        if (v < -0.5 || v > L + 1.0 || std::abs(u) > W + 1.0)
            return;
        const double un = u / W, au = std::abs(un);
        double outer = 0, dentine = 0, pulp = 0, metal = 0;
        struct Root
        {
            double centre, half;
        } roots[4];
        int rootCount = 0;
        if (v <= C)
        {
            // Occlusal outline: fissure and cusps for molars, one cusp for premolars and
            // canines, a straight edge for incisors.
            double top = 0;
            switch (t.kind)
            {
            case ToothKind::Molar:
                top = 1.1 * std::exp(-(un / 0.16) * (un / 0.16)) + 0.35 * std::exp(-std::pow((au - 0.05) / 0.08, 2.0)) +
                      2.6 * std::pow(std::max(0.0, au - 0.5) / 0.5, 2.0) - 0.15 * std::cos(pi * un);
                break;
            case ToothKind::Premolar: top = 2.4 * un * un + 0.5 * std::pow(std::max(0.0, au - 0.6) / 0.4, 2.0); break;
            case ToothKind::Canine: top = 3.6 * std::pow(au, 1.4); break;
            case ToothKind::Incisor: top = 0.2 * au + 1.6 * std::pow(std::max(0.0, au - 0.7) / 0.3, 2.0); break;
            }
            top += 0.15;
            const double s = std::clamp(v / C, 0.0, 1.0);
            const double a = s < 0.35 ? W * (1.0 - 0.10 * std::pow((0.35 - s) / 0.35, 2.0))
                                      : W * (1.0 - (1.0 - cervix) * std::pow((s - 0.35) / 0.65, 1.6));
            const double b = B * a / W;
            const double entry = smoothstep(top - 0.06, top + 0.06, v);
            outer = chord(u, a, b) * entry;
            const double enamel = enamelTop * (1.0 - smoothstep(0.2, 1.0, s)) + 0.25 * (1.0 - s);
            dentine = chord(u, a - enamel, b - enamel) * smoothstep(top + enamel - 0.06, top + enamel + 0.06, v);
            // Pulp chamber: a roof with horns under the cusps; in molars a low chamber
            // whose floor lies just below the cervix, in the other teeth a chamber that
            // narrows into the canal.
            const double horns = molar ? 1.1 * std::exp(-std::pow((au - 0.4) / 0.12, 2.0))
                                 : t.kind == ToothKind::Incisor ? 1.6 * std::exp(-un * un / 0.03)
                                                                : 1.8 * std::exp(-un * un / 0.04);
            const double roof = C * (molar ? 0.62 : t.kind == ToothKind::Incisor ? 0.32 : 0.5) - horns;
            const double chamber = (molar ? 0.42 : 0.30 + 0.08 * s) * a;
            pulp = chord(u, chamber, 0.36 * b) * smoothstep(roof - 0.12, roof + 0.12, v);
            if (t.filling)
            {
                // Occlusal-distal restoration: from beside the central fissure out to the +u
                // surface, 2 mm deep over the occlusal surface and deeper in the proximal box.
                const double flat = top - 1.1 * std::exp(-(un / 0.16) * (un / 0.16));
                const double floor = 2.2 + (0.68 * C - 2.2) * smoothstep(0.5, 0.75, un);
                const double inside = std::min({v - flat, floor - v, (un - 0.2) * W, 0.97 * a - u});
                metal = inside > 0 ? 1.3 * b * smoothstep(0.0, 0.15, inside) * smoothstep(flat - 0.06, flat + 0.06, v) : 0.0;
            }
        }
        else
        {
            const double s = (v - C) / R;
            const double tip = std::sqrt(std::clamp((1.0 - s) / 0.07, 0.0, 1.0));
            const double canal = std::sqrt(std::clamp((0.97 - s) / 0.05, 0.0, 1.0));
            const double bend = t.curve * s * s;
            if (s < furcation + 0.06)
            {
                // The trunk (and the single root of incisors, canines and premolars).
                const double half = (molar ? rc * (1.0 - 0.15 * s) : rc * (1.0 - 0.72 * std::pow(s, 1.15))) * tip;
                const double fade = molar ? 1.0 - smoothstep(furcation - 0.03, furcation + 0.06, s) : 1.0;
                const double depthHalf = B * cervix * (1.0 - 0.45 * s);
                outer = chord(u - bend, half, depthHalf * (molar ? 1.0 : 0.95)) * fade;
                const double floor = 1.3 / R; // the molar chamber's floor, just below the cervix
                const double lumen = molar ? 0.42 * rc * (1.0 - smoothstep(floor - 0.03, floor + 0.03, s))
                                           : (rc * 0.085 + rc * 0.22 * std::exp(-s / 0.12)) * (1.0 - 0.5 * s) * canal;
                pulp = chord(u - bend, lumen, 0.5 * depthHalf) * fade;
                if (molar && s > floor - 0.02)
                    for (const double side : {-1.0, 1.0}) // canals from the chamber floor into the roots
                        pulp = std::max(pulp, chord(u - bend - side * 0.5 * rc, rc * 0.085 * canal, 0.5 * depthHalf));
                if (!molar || fade > 0.5)
                    roots[rootCount++] = {bend, half};
            }
            if (molar && s > furcation - 0.04)
            {
                const double sp = std::clamp((s - furcation) / (1.0 - furcation), 0.0, 1.0);
                const double spread = rc * (0.5 + 0.18 * sp);
                const double half = rc * 0.47 * (1.0 - 0.62 * std::pow(sp, 1.2)) * tip;
                const double depthHalf = B * cervix * (t.roots == 3 ? 0.55 : 0.9) * (1.0 - 0.4 * sp);
                const double centres[3] = {-spread, spread, 0.0};
                double path = 0, lumen = 0;
                for (int r = 0; r < t.roots; ++r)
                {
                    const double c = centres[r] + bend + (r == 2 ? 0.0 : 0.0);
                    path = std::max(path, chord(u - c, half, depthHalf));
                    const double fromFloor = smoothstep(1.1 / R, 1.5 / R, s);
                    lumen = std::max(lumen, chord(u - c, rc * (0.085 - 0.045 * sp) * canal * fromFloor, 0.5 * depthHalf));
                    roots[rootCount++] = {c, half};
                }
                if (t.roots == 3)
                    path += 0.5 * chord(u - bend, half, depthHalf); // palatal root behind the buccal ones
                outer = std::max(outer, path);
                pulp = std::max(pulp, lumen);
            }
            dentine = outer;
        }
        pulp = std::min(pulp, dentine);
        dentine = std::min(dentine, outer);
        attenuation[k] += float(enamelDensity * (outer - dentine) + dentineDensity * (dentine - pulp) + pulpDensity * pulp +
                                metalDensity * metal);
        toothDepth[k] += float(outer);
        if (outer > 0.05 && t.label != 0)
            teeth[k] = t.label;
        if (pulp > 0.05 && metal <= 0.0)
            this->pulp[k] = 255;
        // Periodontal ligament (dark) and lamina dura (bright) around the roots in the bone.
        for (int r = 0; r < rootCount && v > C + 0.8; ++r)
        {
            const double gap = v <= L ? std::abs(u - roots[r].centre) - roots[r].half
                                      : std::sqrt((u - roots[r].centre) * (u - roots[r].centre) + (v - L) * (v - L));
            if (roots[r].half <= 0.15 || gap <= 0.0 || gap > 0.6)
                continue;
            if (gap < 0.18)
                boneFactor[k] = std::min(boneFactor[k], 0.62f);
            else if (boneFactor[k] >= 1.0f && gap < 0.45)
                boneFactor[k] = std::max(boneFactor[k], 1.4f);
        }
    });
}

void Scene::addEllipsoid(double cx, double cy, double rx, double ry, double angle, double depth, double density, bool bone)
{
    const double c = std::cos(angle), s = std::sin(angle), r = std::max(rx, ry);
    forBox(cx - r, cy - r, cx + r, cy + r, [&](std::size_t k, double x, double y) {
        const double ex = ((x - cx) * c + (y - cy) * s) / rx, ey = (-(x - cx) * s + (y - cy) * c) / ry;
        const double q = ex * ex + ey * ey;
        if (q >= 1.0)
            return;
        const double path = depth * std::sqrt(1.0 - q);
        if (bone)
            boneDepth[k] += float(path);
        else
            attenuation[k] += float(density * path);
    });
}

void Scene::addPolygon(const std::vector<QPointF>& points, double thickness, double ramp, double density, bool bone)
{
    if (points.size() < 3)
        return;
    const Bounds b(points, 0.0);
    // Only the border within `ramp` shapes the path: edges farther away are skipped by
    // their bounding boxes before any distance is computed.
    std::vector<Bounds> near;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++)
        near.emplace_back(std::vector<QPointF>{points[i], points[j]}, ramp);
    forBox(b.x0, b.y0, b.x1, b.y1, [&](std::size_t k, double x, double y) {
        bool in = false;
        double nearest = ramp * ramp;
        for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++)
        {
            const QPointF& p = points[i];
            const QPointF& q = points[j];
            if ((p.y() > y) != (q.y() > y) && x < (q.x() - p.x()) * (y - p.y()) / (q.y() - p.y()) + p.x())
                in = !in;
            if (x >= near[i].x0 && x <= near[i].x1 && y >= near[i].y0 && y <= near[i].y1)
                nearest = std::min(nearest, squaredDistanceToSegment(x, y, p, q));
        }
        if (!in)
            return;
        const double path = roundedPath(std::sqrt(nearest), ramp, thickness);
        if (bone)
            boneDepth[k] += float(path);
        else
            attenuation[k] += float(density * path);
    });
}

void Scene::addRod(const std::vector<QPointF>& points, double radius, double density)
{
    const Bounds b(points, radius);
    forBox(b.x0, b.y0, b.x1, b.y1, [&](std::size_t k, double x, double y) {
        const double d = distanceToPolyline(x, y, points);
        if (d < radius)
            attenuation[k] += float(density * 2.0 * std::sqrt(radius * radius - d * d));
    });
}

void Scene::scaleBone(const std::vector<QPointF>& points, double halfWidth, double factor)
{
    const Bounds b(points, halfWidth * 2);
    forBox(b.x0, b.y0, b.x1, b.y1, [&](std::size_t k, double x, double y) {
        const double d = distanceToPolyline(x, y, points);
        const double inside = 1.0 - smoothstep(halfWidth * 0.8, halfWidth * 1.2, d);
        if (inside > 0)
            boneFactor[k] *= float(1.0 - (1.0 - factor) * inside);
    });
}

Exposed expose(const Scene& scene, const Exposure& e, double (*field)(double, double, const Scene&))
{
    const QVector3D pixelSize(float(scene.px), float(scene.px), 1.0f);
    Exposed out{Image2D(scene.w, scene.h, Image2D::UNSIGNED_SHORT, pixelSize),
                Image2D(scene.w, scene.h, Image2D::UNSIGNED_CHAR, pixelSize),
                Image2D(scene.w, scene.h, Image2D::UNSIGNED_CHAR, pixelSize),
                Image2D(scene.w, scene.h, Image2D::UNSIGNED_CHAR, pixelSize)};
    if (!out.image.isValid() || !out.teeth.isValid() || !out.pulp.isValid() || !out.bone.isValid())
        return {};
    // Trabecular bone: two layers of filtered noise seen through each other; the struts
    // follow the zero crossings (a network of irregular marrow spaces) and thicken into
    // plates where the noise is high.
    const std::vector<float> first = bandPassNoise(scene.w, scene.h, scene.px, e.trabecula, 11);
    const std::vector<float> second = bandPassNoise(scene.w, scene.h, scene.px, 1.7 * e.trabecula, 12);
    auto* pixels = out.image.getData<std::uint16_t>();
    auto* teeth = out.teeth.getData<std::uint8_t>();
    auto* pulp = out.pulp.getData<std::uint8_t>();
    auto* bone = out.bone.getData<std::uint8_t>();
    const auto hashAt = [](int i, int j, std::uint32_t seed) { return hash(std::uint32_t(i), std::uint32_t(j), seed); };
    image2d::parallelFor(0, scene.h, [&](int firstRow, int lastRow) {
        for (int j = firstRow; j < lastRow; ++j)
            for (int i = 0; i < scene.w; ++i)
            {
                const std::size_t k = std::size_t(j) * std::size_t(scene.w) + std::size_t(i);
                const double x = (i + 0.5) * scene.px, y = (j + 0.5) * scene.px;
                const double path = std::max(0.0, double(scene.boneDepth[k]) - 0.8 * scene.toothDepth[k]);
                const double a1 = first[k], a2 = second[k];
                const double struts = 0.5 * std::exp(-a1 * a1 / 0.25) + 0.2 * smoothstep(0.3, 1.6, a1) +
                                      0.3 * std::exp(-a2 * a2 / 0.35) + 0.1 * smoothstep(0.5, 1.8, a2);
                const double density = (0.042 + 0.026 * struts) * scene.boneFactor[k];
                const double a = scene.attenuation[k] + path * density;
                const double open = field(x, y, scene);
                const double dose = e.dose * (1.0 - 0.08 * x / (scene.w * scene.px)); // heel effect
                double intensity = dose * (e.outside + (1.0 - e.outside) * open) * std::exp(-a);
                const std::uint32_t h1 = hashAt(i, j, 101), h2 = hashAt(i, j, 202);
                const double g = std::sqrt(-2.0 * std::log(1.0 - unit(h1))) * std::cos(2.0 * pi * unit(h2));
                const double g2 = std::sqrt(-2.0 * std::log(1.0 - unit(h2))) * std::sin(2.0 * pi * unit(h1));
                const double noise = e.detectorNoise ? 1.0 : 0.0;
                intensity += noise * e.sigma * std::sqrt(std::max(intensity, 0.0)) * g;
                const double value = 40.0 + 4000.0 * (1.0 - intensity) + noise * 3.0 * g2;
                pixels[k] = static_cast<std::uint16_t>(std::clamp(std::lround(value), 0L, 4095L));
                const bool exposed = open > 0.5;
                teeth[k] = exposed ? scene.teeth[k] : 0;
                pulp[k] = exposed ? scene.pulp[k] : 0;
                bone[k] = exposed && path > 1.0 && scene.teeth[k] == 0 ? 255 : 0;
            }
    });
    out.image.editFinished();
    out.teeth.editFinished();
    out.pulp.editFinished();
    out.bone.editFinished();
    return out;
}

} // namespace tool::phantom
