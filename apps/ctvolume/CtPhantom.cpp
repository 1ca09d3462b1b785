#include "CtPhantom.h"

#include "image2d/framework/Parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

// Every structure is a closed-form shape in volume millimetres. Most of them are described
// in the coordinates of the dental arch: s, the arc length of the nearest point of the arch
// parabola, and d, the signed distance to it. s and d depend on the column only, so they are
// found once per column; each voxel then tests the shapes at its height.

namespace ctphantom {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kFieldRadius = 51.0f;
constexpr float kHeadCentreY = 55.0f, kHeadHalfX = 44.0f, kHeadHalfY = 48.0f;
constexpr float kJawEnd = 62.0f, kJawRounding = 6.0f;

struct ToothShape
{
    float width, depth, crownHeight, rootLength;
    int roots;
};

// Per jaw, from the central incisor to the second molar.
constexpr std::array<ToothShape, 7> kUpperShapes{{{8.5f, 7.0f, 10.5f, 13.0f, 1},
                                                   {6.5f, 6.0f, 9.0f, 13.0f, 1},
                                                   {7.5f, 8.0f, 10.0f, 17.0f, 1},
                                                   {7.0f, 9.0f, 8.5f, 14.0f, 1},
                                                   {6.5f, 9.0f, 8.0f, 14.0f, 1},
                                                   {10.0f, 11.0f, 7.5f, 13.0f, 2},
                                                   {9.0f, 10.5f, 7.0f, 12.5f, 2}}};
constexpr std::array<ToothShape, 7> kLowerShapes{{{5.5f, 6.0f, 9.0f, 12.5f, 1},
                                                   {6.0f, 6.5f, 9.0f, 14.0f, 1},
                                                   {7.0f, 7.5f, 10.0f, 16.0f, 1},
                                                   {7.0f, 7.5f, 8.0f, 14.0f, 1},
                                                   {7.0f, 8.0f, 8.0f, 14.5f, 1},
                                                   {11.0f, 10.5f, 7.5f, 13.0f, 2},
                                                   {10.5f, 10.0f, 7.0f, 13.0f, 2}}};
constexpr float kGap = 0.2f; // between neighbouring crowns along the arch

// One tooth of one side, positioned along the arch (|s| from `start` to `end`).
struct PlacedTooth
{
    ToothShape shape;
    float start, end, centre;
    float cej; // height of the cemento-enamel junction
    bool upper;
};

struct Jaw
{
    std::array<PlacedTooth, 7> teeth;
};

Jaw placeJaw(bool upper)
{
    Jaw jaw;
    float s = 0.0f;
    for (int i = 0; i < 7; ++i)
    {
        const ToothShape& shape = upper ? kUpperShapes[i] : kLowerShapes[i];
        PlacedTooth& t = jaw.teeth[i];
        t.shape = shape;
        t.start = s;
        t.end = s + shape.width + kGap;
        t.centre = s + 0.5f * (shape.width + kGap);
        t.cej = upper ? kUpperOcclusal + shape.crownHeight : kLowerOcclusal - shape.crownHeight;
        t.upper = upper;
        s = t.end;
    }
    return jaw;
}

const Jaw& upperJaw()
{
    static const Jaw jaw = placeJaw(true);
    return jaw;
}

const Jaw& lowerJaw()
{
    static const Jaw jaw = placeJaw(false);
    return jaw;
}

// Arc length of the parabola from the midline to x (relative to the midline).
double arcLength(double x)
{
    const double c = kArchCurvature, k = 2.0 * c * x;
    return 0.5 * x * std::sqrt(1.0 + k * k) + std::asinh(k) / (4.0 * c);
}

double xAtArc(double s)
{
    double x = s;
    for (int i = 0; i < 30; ++i)
    {
        const double k = 2.0 * kArchCurvature * x;
        x -= (arcLength(x) - s) / std::sqrt(1.0 + k * k);
    }
    return x;
}

// Nearest point of y = kArchFront + c x^2 (x relative to the midline) to (px, py): the real
// roots of 2c^2 t^3 + (1 + 2c (kArchFront - py)) t - px = 0.
void nearestOnArch(double px, double py, double& s, double& d)
{
    const double c = kArchCurvature;
    const double p = (1.0 + 2.0 * c * (kArchFront - py)) / (2.0 * c * c), q = -px / (2.0 * c * c);
    double roots[3];
    int count = 0;
    const double disc = 0.25 * q * q + p * p * p / 27.0;
    if (disc >= 0.0)
        roots[count++] = std::cbrt(-0.5 * q + std::sqrt(disc)) + std::cbrt(-0.5 * q - std::sqrt(disc));
    else
    {
        const double r = 2.0 * std::sqrt(-p / 3.0);
        const double phi = std::acos(std::clamp(1.5 * q / p * std::sqrt(-3.0 / p), -1.0, 1.0)) / 3.0;
        for (int k = 0; k < 3; ++k)
            roots[count++] = r * std::cos(phi - 2.0 * kPi * k / 3.0);
    }
    double best = 1e300, bestT = 0.0;
    for (int i = 0; i < count; ++i)
    {
        const double t = roots[i], dy = kArchFront + c * t * t - py;
        const double distance = (t - px) * (t - px) + dy * dy;
        if (distance < best)
            best = distance, bestT = t;
    }
    s = arcLength(bestT);
    d = std::sqrt(best) * (py < kArchFront + c * px * px ? 1.0 : -1.0);
}

float smoothstep(float e0, float e1, float x)
{
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t z, std::uint32_t seed)
{
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ z * 0xcb1ab31fu ^ seed * 0x9e3779b9u;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

float unit(std::uint32_t h)
{
    return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

// Smooth lattice noise in [0, 1] with features of `cell` mm.
float valueNoise(float x, float y, float z, float cell)
{
    const float fx = x / cell + 64.0f, fy = y / cell + 64.0f, fz = z / cell + 64.0f;
    const auto ix = static_cast<std::uint32_t>(fx), iy = static_cast<std::uint32_t>(fy),
               iz = static_cast<std::uint32_t>(fz);
    const float tx = smoothstep(0, 1, fx - ix), ty = smoothstep(0, 1, fy - iy), tz = smoothstep(0, 1, fz - iz);
    auto at = [&](int a, int b, int c) { return unit(hash(ix + a, iy + b, iz + c, 17u)); };
    auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
    return lerp(lerp(lerp(at(0, 0, 0), at(1, 0, 0), tx), lerp(at(0, 1, 0), at(1, 1, 0), tx), ty),
                lerp(lerp(at(0, 0, 1), at(1, 0, 1), tx), lerp(at(0, 1, 1), at(1, 1, 1), tx), ty), tz);
}

// Trabecular bone: marrow spaces between struts.
float trabecular(float x, float y, float z)
{
    return 150.0f + 600.0f * smoothstep(0.3f, 0.7f, valueNoise(x, y, z, 1.4f));
}

// A rounded box in the (d, z, s) coordinates of a jaw: inside when the value is at most 1.
float jawShape(float d, float z, float s, float halfWidth, float centreZ, float halfHeight, float end, float rounding)
{
    const float a = d / halfWidth, b = (z - centreZ) / halfHeight;
    const float e = std::max(0.0f, std::abs(s) - (end - rounding)) / rounding;
    return a * a * a * a + b * b * b * b + e * e;
}

enum class Bone
{
    None,
    Cortical,
    Trabecular
};

// Bone of a jaw with a 2 mm cortical shell.
Bone jawBone(float d, float z, float s, float halfWidth, float centreZ, float halfHeight)
{
    if (jawShape(d, z, s, halfWidth, centreZ, halfHeight, kJawEnd, kJawRounding) > 1.0f)
        return Bone::None;
    if (jawShape(d, z, s, halfWidth - 2.0f, centreZ, halfHeight - 2.0f, kJawEnd - 2.0f, kJawRounding - 2.0f) > 1.0f)
        return Bone::Cortical;
    return Bone::Trabecular;
}

enum class ToothPart
{
    None,
    Enamel,
    Dentine,
    RootDentine,
    Pulp,
    Ligament,
    LaminaDura
};

// Half-axes of the crown's cross-section at height h above the junction (0 above the crown).
float crownProfile(float h, float height)
{
    if (h < 0.0f || h > height)
        return 0.0f;
    const float shoulder = 0.45f * height;
    if (h < shoulder)
        return 0.85f + 0.15f * h / shoulder;
    const float t = (h - shoulder) / (height - shoulder);
    return std::pow(std::max(0.0f, 1.0f - t * t * t * t), 0.25f);
}

ToothPart toothPart(const PlacedTooth& t, float u, float v, float z)
{
    const ToothShape& shape = t.shape;
    const float a = 0.5f * shape.width, b = 0.5f * shape.depth;
    const float h = t.upper ? t.cej - z : z - t.cej; // height above the junction, towards the crown
    if (h >= 0.0f)
    {
        const float p = crownProfile(h, shape.crownHeight);
        if (p <= 0.0f || (u / a) * (u / a) + (v / b) * (v / b) > p * p)
            return ToothPart::None;
        const float chamber = shape.roots > 1 ? 0.4f : 0.33f;
        if (h < 0.55f * shape.crownHeight &&
            (u / (chamber * a)) * (u / (chamber * a)) + (v / (chamber * b)) * (v / (chamber * b)) <= 1.0f)
            return ToothPart::Pulp;
        const float pd = crownProfile(h, shape.crownHeight - 1.3f), ad = a - 1.3f, bd = b - 1.3f;
        if (pd > 0.0f && (u / ad) * (u / ad) + (v / bd) * (v / bd) <= pd * pd)
            return ToothPart::Dentine;
        return ToothPart::Enamel;
    }
    // Roots: tapered ellipses, one per root, joined near the junction (the root trunk).
    const float depth = -h, length = shape.rootLength;
    if (depth > length + 1.0f)
        return ToothPart::None;
    const float along = std::min(depth / length, 1.0f), taper = 1.0f - 0.75f * along;
    const bool split = shape.roots > 1 && along > 0.2f;
    ToothPart best = ToothPart::None;
    for (int r = 0; r < (split ? 2 : 1); ++r)
    {
        const float centre = split ? (r == 0 ? -0.42f : 0.42f) * a : 0.0f;
        const float ra = (split ? 0.38f : 0.72f) * a * taper, rb = 0.82f * b * taper;
        const float du = u - centre;
        auto inside = [&](float margin) {
            const float ea = ra + margin, eb = rb + margin;
            return depth <= length + margin && (du / ea) * (du / ea) + (v / eb) * (v / eb) <= 1.0f;
        };
        ToothPart part = ToothPart::None;
        if (inside(0.0f))
        {
            const float canal = 0.55f * (1.0f - 0.5f * along);
            part = du * du + v * v <= canal * canal ? ToothPart::Pulp : ToothPart::RootDentine;
        }
        else if (inside(0.4f))
            part = ToothPart::Ligament;
        else if (inside(1.0f))
            part = ToothPart::LaminaDura;
        // The innermost finding wins where the sockets of two roots meet.
        if (part != ToothPart::None && (best == ToothPart::None || static_cast<int>(part) < static_cast<int>(best)))
            best = part;
    }
    return best;
}

const PlacedTooth* toothAt(const Jaw& jaw, float absS)
{
    for (const PlacedTooth& t : jaw.teeth)
        if (absS < t.end)
            return &t;
    return nullptr;
}

// What the column (x, y) of every slice needs.
struct Column
{
    float x, y;   // volume mm
    float s, d;   // arch coordinates
    float head;   // squared normalised radius in the head ellipse
    bool inField; // inside the scan cylinder
};

struct Metal
{
    float x, y, z; // centre of the filling
    const PlacedTooth* tooth;
};

Metal metalFilling()
{
    const PlacedTooth& molar = lowerJaw().teeth[5]; // 36: lower left first molar
    const QVector3D p = archPoint(molar.centre, kLowerOcclusal);
    return {p.x(), p.y(), kLowerOcclusal - 1.25f, &molar};
}

bool inFilling(const Metal& metal, float u, float v, float z)
{
    const float w = (z - kLowerOcclusal) / 2.5f;
    return z <= kLowerOcclusal && (u / 3.0f) * (u / 3.0f) + (v / 2.2f) * (v / 2.2f) + w * w <= 1.0f &&
           toothPart(*metal.tooth, u, v, z) != ToothPart::None;
}

// The material value of one voxel before streaks and noise.
float material(const Column& c, float z, const Metal& metal)
{
    // Below the jaw the head narrows into the neck.
    const float neck = z < 8.0f ? 1.0f - 0.3f * (8.0f - z) / 8.0f : 1.0f;
    if (c.head > neck * neck)
        return kAir;
    float value = kSoftTissue;
    const float dx = c.x - kMidline;

    // Skull shell at the sides and back of the upper slices.
    if (z >= 56.0f && c.y > 50.0f)
    {
        const float depth = (1.0f - std::sqrt(c.head)) * 46.0f;
        if (depth >= 4.0f && depth <= 9.0f)
            value = depth < 5.5f || depth > 7.5f ? kCorticalBone : 600.0f;
    }
    // Vertebra behind the airway.
    const float spine = std::hypot(dx, c.y - 90.0f);
    if (spine <= 8.0f && z <= 46.0f)
        value = spine > 6.5f || z > 44.5f ? 1300.0f : trabecular(c.x, c.y, z);
    // Airway.
    if (z <= 62.0f && (dx / 9.0f) * (dx / 9.0f) + ((c.y - 73.0f) / 6.0f) * (c.y - 73.0f) / 6.0f <= 1.0f)
        return kAir;

    const float absS = std::abs(c.s);
    const bool nearArch = std::abs(c.d) < 14.0f && absS < kJawEnd + 2.0f;
    // Jaws: the mandible below the occlusal planes, the maxilla and palate above them.
    const bool lower = z < 0.5f * (kLowerOcclusal + kUpperOcclusal);
    Bone bone = Bone::None;
    if (nearArch)
    {
        const float widen = smoothstep(5.0f, 35.0f, absS);
        bone = lower ? jawBone(c.d, z, c.s, 4.5f + 2.0f * widen, 20.5f, 12.5f)
                     : jawBone(c.d, z, c.s, 5.0f + 2.5f * widen, 63.0f, 11.0f);
    }
    if (!lower && bone == Bone::None && c.d < 0.0f && c.y < 62.0f && z >= 60.0f && z <= 64.0f)
        bone = z < 61.2f || z > 62.8f ? Bone::Cortical : Bone::Trabecular; // palate
    if (bone != Bone::None)
        value = bone == Bone::Cortical ? static_cast<float>(kCorticalBone) : trabecular(c.x, c.y, z);
    if (!lower)
    {
        // Nasal cavity above the palate, and the maxillary sinuses with a thin wall.
        if (z > 64.5f && std::abs(dx) < 12.0f && c.y > 25.0f && c.y < 70.0f)
            return kAir;
        for (const float side : {-22.0f, 22.0f})
        {
            const float a = (dx - side) / 9.0f, b = (c.y - 52.0f) / 12.0f, e = (z - 72.0f) / 7.0f;
            const float r = a * a + b * b + e * e;
            if (r <= 1.0f)
                return r <= 0.78f ? static_cast<float>(kAir) : static_cast<float>(kCorticalBone);
        }
    }
    if (!nearArch)
        return value;

    // Mandibular canal: a tube with a dense wall, from below the premolars backwards.
    if (lower && absS >= kCanalStart)
    {
        const float r = std::hypot(c.d + 0.5f, z - kCanalHeight);
        if (r <= 1.4f)
            return 30.0f;
        if (r <= 2.0f)
            value = 900.0f;
    }

    // Teeth and their sockets.
    const PlacedTooth* tooth = toothAt(lower ? lowerJaw() : upperJaw(), absS);
    if (!tooth)
        return value;
    const float u = absS - tooth->centre, v = c.d;
    switch (toothPart(*tooth, u, v, z))
    {
    case ToothPart::None: break;
    case ToothPart::Enamel: value = kEnamel; break;
    case ToothPart::Dentine: value = kDentine; break;
    case ToothPart::RootDentine: value = kRootDentine; break;
    case ToothPart::Pulp: value = kPulp; break;
    case ToothPart::Ligament:
        if (bone != Bone::None)
            value = 20.0f;
        break;
    case ToothPart::LaminaDura:
        if (bone != Bone::None)
            value = kCorticalBone;
        break;
    }
    if (tooth == metal.tooth && c.s > 0.0f && inFilling(metal, u, v, z))
        value = kMetal;
    return value;
}

} // namespace

QVector3D archPoint(float s, float z)
{
    const double x = xAtArc(s);
    return QVector3D(static_cast<float>(kMidline + x), static_cast<float>(kArchFront + kArchCurvature * x * x), z);
}

const std::vector<Tooth>& teeth()
{
    static const std::vector<Tooth> all = [] {
        std::vector<Tooth> list;
        // FDI quadrants: 1 upper right, 2 upper left, 3 lower left, 4 lower right.
        for (int quadrant = 1; quadrant <= 4; ++quadrant)
        {
            const bool upper = quadrant <= 2;
            const float side = quadrant == 1 || quadrant == 4 ? -1.0f : 1.0f;
            for (int i = 0; i < 7; ++i)
            {
                const PlacedTooth& t = (upper ? upperJaw() : lowerJaw()).teeth[i];
                const float arc = side * t.centre;
                const float crownZ = upper ? kUpperOcclusal + 0.5f * t.shape.crownHeight
                                           : kLowerOcclusal - 0.5f * t.shape.crownHeight;
                const float apexZ = upper ? t.cej + t.shape.rootLength : t.cej - t.shape.rootLength;
                list.push_back({quadrant * 10 + i + 1, upper, arc, archPoint(arc, crownZ), archPoint(arc, apexZ),
                                t.shape.width, t.shape.depth, quadrant == 3 && i == 5});
            }
        }
        return list;
    }();
    return all;
}

VoxenImage3D makeCtPhantom(int downsample)
{
    downsample = std::clamp(downsample, 1, 8);
    const math::Ivec3 size(kColumns / downsample, kRows / downsample, kSlices / downsample);
    const float voxel = kVoxelSize * static_cast<float>(downsample);
    VoxenImage3D volume(size, QVector3D(voxel, voxel, voxel), image::DataType::SHORT);
    if (!volume.isValid())
        return volume;

    std::vector<Column> columns(static_cast<std::size_t>(size.x) * size.y);
    image2d::parallelFor(0, size.y, [&](int first, int last) {
        for (int j = first; j < last; ++j)
            for (int i = 0; i < size.x; ++i)
            {
                Column& c = columns[static_cast<std::size_t>(j) * size.x + i];
                c.x = static_cast<float>(i) * voxel;
                c.y = static_cast<float>(j) * voxel;
                c.inField = std::hypot(c.x - kMidline, c.y - kMidline) <= kFieldRadius;
                const float hx = (c.x - kMidline) / kHeadHalfX, hy = (c.y - kHeadCentreY) / kHeadHalfY;
                c.head = hx * hx + hy * hy;
                double s = 0.0, d = 0.0;
                nearestOnArch(c.x - kMidline, c.y, s, d);
                c.s = static_cast<float>(s);
                c.d = static_cast<float>(d);
            }
    });

    const Metal metal = metalFilling();
    std::int16_t* voxels = volume.data<std::int16_t>();
    image2d::parallelFor(0, size.z, [&](int first, int last) {
        for (int k = first; k < last; ++k)
        {
            const float z = static_cast<float>(k) * voxel;
            const float streakWeight = std::max(0.0f, 1.0f - std::abs(z - metal.z) / 3.0f);
            std::int16_t* slice = voxels + static_cast<std::size_t>(k) * columns.size();
            for (std::size_t n = 0; n < columns.size(); ++n)
            {
                const Column& c = columns[n];
                if (!c.inField)
                {
                    slice[n] = kPadding;
                    continue;
                }
                float value = material(c, z, metal);
                // Metal streaks: alternating bright and dark rays from the filling, inside the head.
                if (streakWeight > 0.0f && value != kMetal && value != kAir)
                {
                    const float rx = c.x - metal.x, ry = c.y - metal.y, r = std::hypot(rx, ry);
                    const float theta = std::atan2(ry, rx);
                    value += 700.0f * streakWeight * std::exp(-r / 20.0f) * std::min(1.0f, r / 1.5f) *
                             (0.6f * std::cos(2.0f * theta + 0.4f) + 0.4f * std::cos(7.0f * theta + 1.1f));
                }
                // About 20 HU of noise: the sum of three uniform numbers, centred.
                const auto i = static_cast<std::uint32_t>(n % static_cast<std::size_t>(size.x));
                const auto j = static_cast<std::uint32_t>(n / static_cast<std::size_t>(size.x));
                const std::uint32_t h = hash(i, j, static_cast<std::uint32_t>(k), 5u);
                const float noise = (unit(h) + unit(h * 0x2c1b3c6du + 1u) + unit(h * 0x297a2d39u + 7u) - 1.5f) * 40.0f;
                slice[n] = static_cast<std::int16_t>(std::clamp(std::lround(value + noise), long(kPadding), 32767L));
            }
        }
    });
    volume.editFinished();
    return volume;
}

} // namespace ctphantom
