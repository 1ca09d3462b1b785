#include "DentalArch.h"

#include "image2d/framework/Parallel.h"
#include "platform/pixeldata/PixelTypes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

namespace tool {

namespace {

constexpr std::size_t kMinToothVoxels = 1000;
constexpr int kMinArchPixels = 50;
constexpr int kMinArchPoints = 10;

// Calls f(slice pointer) with the voxels of slice z in their own type.
template <typename F>
void withSlice(const VoxenImage3D& volume, int z, F&& f)
{
    pixeldata::visitDataType(volume.sliceDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        f(reinterpret_cast<const T*>(volume.getAxialSlice(z)));
    });
}

// The value of the densest `fraction` of the voxels, from every 16th voxel.
float densestValue(const VoxenImage3D& volume, double fraction)
{
    std::vector<float> sample;
    const std::size_t sliceVoxels = volume.getSliceVoxels();
    for (int z = 0; z < volume.imageSize().z; ++z)
        withSlice(volume, z, [&](const auto* v) {
            for (std::size_t i = z % 16; i < sliceVoxels; i += 16)
                sample.push_back(static_cast<float>(v[i]));
        });
    if (sample.empty())
        return 0.0f;
    const auto k = static_cast<std::ptrdiff_t>(std::min<double>(sample.size() - 1, sample.size() * (1.0 - fraction)));
    std::nth_element(sample.begin(), sample.begin() + k, sample.end());
    return sample[static_cast<std::size_t>(k)];
}

std::vector<std::size_t> countsAtLeast(const VoxenImage3D& volume, float threshold)
{
    std::vector<std::size_t> counts(static_cast<std::size_t>(volume.imageSize().z), 0);
    const std::size_t sliceVoxels = volume.getSliceVoxels();
    image2d::parallelFor(0, volume.imageSize().z, [&](int first, int last) {
        for (int z = first; z < last; ++z)
            withSlice(volume, z, [&](const auto* v) {
                counts[z] = static_cast<std::size_t>(
                    std::count_if(v, v + sliceVoxels, [&](auto x) { return static_cast<float>(x) >= threshold; }));
            });
    });
    return counts;
}

// Solves the 3 x 3 system a x = b by Gaussian elimination with partial pivoting.
bool solve3(std::array<std::array<double, 3>, 3> a, std::array<double, 3> b, std::array<double, 3>& x)
{
    for (int c = 0; c < 3; ++c)
    {
        int pivot = c;
        for (int r = c + 1; r < 3; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                pivot = r;
        if (!(std::abs(a[pivot][c]) > 1e-12))
            return false;
        std::swap(a[c], a[pivot]);
        std::swap(b[c], b[pivot]);
        for (int r = c + 1; r < 3; ++r)
        {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 3; ++k)
                a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (int r = 2; r >= 0; --r)
    {
        double s = b[r];
        for (int k = r + 1; k < 3; ++k)
            s -= a[r][k] * x[k];
        x[r] = s / a[r][r];
    }
    return true;
}

double parabola(const std::array<double, 3>& c, double x)
{
    return c[0] + (c[1] + c[2] * x) * x;
}

} // namespace

ToothLevelProjection toothLevelProjection(const VoxenImage3D& volume)
{
    ToothLevelProjection out;
    const math::Ivec3 n = volume.imageSize();
    if (!volume.isValid() || n.z < 1)
        return out;
    out.threshold = kToothDensity;
    std::vector<std::size_t> counts = countsAtLeast(volume, out.threshold);
    std::size_t total = 0;
    for (const std::size_t c : counts)
        total += c;
    if (total < kMinToothVoxels)
    {
        out.threshold = densestValue(volume, 0.002);
        counts = countsAtLeast(volume, out.threshold);
    }
    const std::size_t most = *std::max_element(counts.begin(), counts.end());
    for (int z = 0; z < n.z; ++z)
        if (most > 0 && 2 * counts[z] >= most)
        {
            if (out.lastSlice < 0)
                out.firstSlice = z;
            out.lastSlice = z;
        }
    if (out.lastSlice < 0)
        out.firstSlice = 0, out.lastSlice = n.z - 1;

    out.image = Image2D(n.x, n.y, Image2D::FLOAT, volume.voxelSize());
    if (!out.image.isValid())
        return out;
    float* mip = out.image.getData<float>();
    image2d::parallelFor(0, n.y, [&](int firstRow, int lastRow) {
        const std::size_t begin = static_cast<std::size_t>(firstRow) * n.x, end = static_cast<std::size_t>(lastRow) * n.x;
        std::fill(mip + begin, mip + end, -std::numeric_limits<float>::infinity());
        for (int z = out.firstSlice; z <= out.lastSlice; ++z)
            withSlice(volume, z, [&](const auto* v) {
                for (std::size_t i = begin; i < end; ++i)
                    mip[i] = std::max(mip[i], static_cast<float>(v[i]));
            });
    });
    out.image.editFinished();
    return out;
}

bool fitArch(const ToothLevelProjection& projection, ArchFit& fit, QString& error)
{
    const Image2D& image = projection.image;
    if (!image.isValid())
    {
        error = QStringLiteral("no projection of the teeth");
        return false;
    }
    const double px = image.getPixelSize().x(), py = image.getPixelSize().y();
    std::vector<std::pair<double, double>> teeth;
    double cx = 0.0, cy = 0.0;
    const float* mip = image.getConstData<float>();
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (mip[static_cast<std::size_t>(y) * image.getWidth() + x] >= projection.threshold)
            {
                teeth.emplace_back(x * px, y * py);
                cx += x * px;
                cy += y * py;
            }
    if (teeth.size() < static_cast<std::size_t>(kMinArchPixels))
    {
        error = QStringLiteral("only %1 voxels at the level of the teeth reach %2 HU: no dental arch to follow "
                               "(give one with --arch FILE.json)")
                    .arg(teeth.size())
                    .arg(double(projection.threshold));
        return false;
    }
    // The middle of the band of teeth, one point per degree seen from the centroid of its
    // pixels (inside the horseshoe, so every ray crosses the band once and across it).
    cx /= double(teeth.size());
    cy /= double(teeth.size());
    std::array<std::pair<double, int>, 360> rays{};
    for (const auto& [x, y] : teeth)
    {
        const int degree = static_cast<int>(std::floor(std::atan2(y - cy, x - cx) * 180.0 / 3.14159265358979323846)) + 180;
        rays[std::clamp(degree, 0, 359)].first += std::hypot(x - cx, y - cy);
        ++rays[std::clamp(degree, 0, 359)].second;
    }
    std::vector<std::pair<double, double>> all;
    for (int degree = 0; degree < 360; ++degree)
        if (rays[degree].second >= 3)
        {
            const double angle = (degree - 180 + 0.5) * 3.14159265358979323846 / 180.0;
            const double r = rays[degree].first / rays[degree].second;
            all.emplace_back(cx + r * std::cos(angle), cy + r * std::sin(angle));
        }

    std::vector<char> keep(all.size(), 1);
    std::array<double, 3> c{};
    // A pixel's distance from the curve along y, times 1 / sqrt(1 + slope^2) at its x: nearly
    // its distance across the curve, also where the arch runs along y at the molars.
    auto across = [&](std::size_t i, const std::array<double, 3>& curve) {
        const double slope = curve[1] + 2.0 * curve[2] * all[i].first;
        return 1.0 / std::sqrt(1.0 + slope * slope);
    };
    for (int round = 0; round < 6; ++round)
    {
        // Weighted normal equations of y = c0 + c1 x + c2 x^2 over the kept pixels, the
        // weights those of the last round's curve.
        std::array<std::array<double, 3>, 3> a{};
        std::array<double, 3> b{};
        int used = 0;
        for (std::size_t i = 0; i < all.size(); ++i)
            if (keep[i])
            {
                const auto [x, y] = all[i];
                const double w = round == 0 ? 1.0 : std::pow(across(i, c), 2);
                const double p[3] = {1.0, x, x * x};
                for (int r = 0; r < 3; ++r)
                {
                    for (int k = 0; k < 3; ++k)
                        a[r][k] += w * p[r] * p[k];
                    b[r] += w * p[r] * y;
                }
                ++used;
            }
        if (used < kMinArchPoints || !solve3(a, b, c))
        {
            error = QStringLiteral("the dense voxels at the level of the teeth do not form an arch (give one with --arch FILE.json)");
            return false;
        }
        std::vector<double> distances;
        for (std::size_t i = 0; i < all.size(); ++i)
            distances.push_back(std::abs(all[i].second - parabola(c, all[i].first)) * across(i, c));
        std::vector<double> kept;
        for (std::size_t i = 0; i < all.size(); ++i)
            if (keep[i])
                kept.push_back(distances[i]);
        std::nth_element(kept.begin(), kept.begin() + kept.size() / 2, kept.end());
        const double band = std::max(2.0, 2.5 * kept[kept.size() / 2]);
        for (std::size_t i = 0; i < all.size(); ++i)
            keep[i] = distances[i] <= band;
    }
    fit.coefficients = c;
    fit.pixels = 0;
    fit.xFirst = std::numeric_limits<double>::max();
    fit.xLast = std::numeric_limits<double>::lowest();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (keep[i])
        {
            ++fit.pixels;
            fit.xFirst = std::min(fit.xFirst, all[i].first);
            fit.xLast = std::max(fit.xLast, all[i].first);
        }
    if (fit.pixels < kMinArchPoints || !(fit.xLast > fit.xFirst))
    {
        error = QStringLiteral("the dense voxels at the level of the teeth do not form an arch (give one with --arch FILE.json)");
        return false;
    }
    return true;
}

double polylineLength(const QList<QPointF>& points)
{
    double length = 0.0;
    for (qsizetype i = 1; i < points.size(); ++i)
        length += std::hypot(points[i].x() - points[i - 1].x(), points[i].y() - points[i - 1].y());
    return length;
}

QList<QPointF> resampleByLength(const QList<QPointF>& points, double spacing)
{
    const double length = polylineLength(points);
    if (points.size() < 2 || !(length > 0.0) || !(spacing > 0.0))
        return points;
    const int segments = std::max(1, static_cast<int>(std::ceil(length / spacing)));
    const double step = length / segments;
    QList<QPointF> out{points.front()};
    double along = 0.0; // arc length at points[i - 1]
    qsizetype i = 1;
    for (int k = 1; k < segments; ++k)
    {
        const double target = k * step;
        double piece = std::hypot(points[i].x() - points[i - 1].x(), points[i].y() - points[i - 1].y());
        while (along + piece < target && i + 1 < points.size())
        {
            along += piece;
            ++i;
            piece = std::hypot(points[i].x() - points[i - 1].x(), points[i].y() - points[i - 1].y());
        }
        const double f = piece > 0.0 ? (target - along) / piece : 0.0;
        out << points[i - 1] + (points[i] - points[i - 1]) * f;
    }
    out << points.back();
    return out;
}

QList<QPointF> archPoints(const ArchFit& fit, const VoxenImage3D& volume, double spacing, double margin)
{
    const math::Ivec3 n = volume.imageSize();
    const QVector3D v = volume.voxelSize();
    const double xMax = (n.x - 1) * double(v.x()), yMax = (n.y - 1) * double(v.y());
    // Dense samples, margin mm of x beyond the teeth (at least margin mm of arc).
    constexpr double dense = 0.05;
    QList<QPointF> curve;
    double along = 0.0, first = -1.0, last = -1.0;
    for (double x = fit.xFirst - margin; x <= fit.xLast + margin; x += dense)
    {
        const QPointF p(x, parabola(fit.coefficients, x));
        if (!curve.isEmpty())
            along += std::hypot(p.x() - curve.back().x(), p.y() - curve.back().y());
        if (first < 0.0 && x >= fit.xFirst)
            first = along;
        if (x <= fit.xLast)
            last = along;
        curve << p;
    }
    QList<QPointF> kept;
    along = 0.0;
    for (qsizetype i = 0; i < curve.size(); ++i)
    {
        if (i > 0)
            along += std::hypot(curve[i].x() - curve[i - 1].x(), curve[i].y() - curve[i - 1].y());
        const QPointF& p = curve[i];
        if (along >= first - margin && along <= last + margin && p.x() >= 0 && p.x() <= xMax && p.y() >= 0 && p.y() <= yMax)
            kept << p;
    }
    return resampleByLength(kept, spacing);
}

bool readArchFile(const QString& path, QList<QPointF>& points, QString& error, double spacing)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
    {
        error = QStringLiteral("cannot read: %1").arg(file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isArray())
    {
        error = QStringLiteral("expected a JSON list of [x, y] points in mm, like [[30, 60], [51, 21], [72, 60]]");
        return false;
    }
    QList<QPointF> read;
    const QJsonArray list = document.array();
    for (qsizetype i = 0; i < list.size(); ++i)
    {
        const QJsonArray p = list[i].toArray();
        if (p.size() != 2 || !p[0].isDouble() || !p[1].isDouble() || !std::isfinite(p[0].toDouble()) ||
            !std::isfinite(p[1].toDouble()))
        {
            error = QStringLiteral("point %1: expected [x, y] in mm").arg(i + 1);
            return false;
        }
        read << QPointF(p[0].toDouble(), p[1].toDouble());
    }
    if (read.size() < 2 || !(polylineLength(read) > 0.0))
    {
        error = QStringLiteral("the arch needs at least two distinct points");
        return false;
    }
    points = resampleByLength(read, spacing);
    return true;
}

} // namespace tool
