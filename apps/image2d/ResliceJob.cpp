#include "ResliceJob.h"

#include "Compare.h"
#include "DentalArch.h"
#include "DisplayConversion.h"
#include "EnhanceJob.h"

#include "image2d/volume/CachedReslicer.h"
#include "image2d/volume/GeneratedCeph.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

namespace tool {

namespace {

// Projections are stored like a radiograph's detector values: 12 bits.
constexpr float kDetectorMax = 4095.0f;
// Default slab of the simulated panoramic X-ray: about the depth of the teeth and jaw bone.
constexpr float kXRayThickness = 16.0f;

struct Extent
{
    double x, y, z; // mm from the first voxel centre to the last
};

Extent extentOf(const VoxenImage3D& volume)
{
    const math::Ivec3 n = volume.imageSize();
    const QVector3D v = volume.voxelSize();
    return {(n.x - 1) * double(v.x()), (n.y - 1) * double(v.y()), (n.z - 1) * double(v.z())};
}

// Pairs (bottom, top) along a curve in the axial plane, from the lowest slice to the highest:
// image rows run from the top of the volume down.
QList<QVector3D> curtain(const QList<QPointF>& curve, double top)
{
    QList<QVector3D> points;
    for (const QPointF& p : curve)
        points << QVector3D(float(p.x()), float(p.y()), 0.0f) << QVector3D(float(p.x()), float(p.y()), float(top));
    return points;
}

// The lateral curtain of a cephalogram, at the patient's right (x = 0): columns from the back
// to the face when seen from the right (the face on the right of the image), from the face
// to the back when seen from the left. Either way the normals (column step x row step, rows
// going down, negated for the left view) point along +x, across the head.
QList<QPointF> cephLine(const Extent& e, meta::PointOfView view, double x)
{
    const QPointF back(x, e.y), face(x, 0.0);
    return view == meta::PointOfView::Right ? QList<QPointF>{back, face} : QList<QPointF>{face, back};
}

template <typename T>
Image2D quantised(const Image2D& source, Image2D::DataType type, float scale, float offset, float lo, float hi)
{
    Image2D out(source.getSize(), type, source.getPixelSize());
    if (!out.isValid())
        return out;
    const float* in = source.getConstData<float>();
    T* target = out.getData<T>();
    for (std::size_t i = 0; i < source.getNumPixels(); ++i)
        target[i] = static_cast<T>(std::lround(std::clamp(in[i] * scale + offset, lo, hi)));
    out.editFinished();
    return out;
}

// The tooth-level projection seen through the CT window, with the curve (and for X-rays
// the slab around it, for cephs the far side of the rays) drawn on it.
QImage axialPicture(const ToothLevelProjection& projection, const math::Range<float>& window,
                    const QList<QPointF>& curve, const QList<QList<QPointF>>& guides)
{
    const Image2D& mip = projection.image;
    QImage picture(mip.getWidth(), mip.getHeight(), QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    const float lo = window.getMin(), span = std::max(1.0f, window.getLength());
    const float* v = mip.getConstData<float>();
    for (int y = 0; y < mip.getHeight(); ++y)
    {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < mip.getWidth(); ++x)
        {
            const int g = int(std::lround(255.0f * std::clamp((v[std::size_t(y) * mip.getWidth() + x] - lo) / span, 0.0f, 1.0f)));
            line[x] = qRgb(g, g, g);
        }
    }
    const QVector3D voxel = mip.getPixelSize();
    auto path = [&](const QList<QPointF>& points) {
        QPainterPath p;
        for (qsizetype i = 0; i < points.size(); ++i)
        {
            const QPointF at(points[i].x() / voxel.x() + 0.5, points[i].y() / voxel.y() + 0.5);
            i == 0 ? p.moveTo(at) : p.lineTo(at);
        }
        return p;
    };
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal width = std::max(1.0, picture.width() / 160.0);
    painter.setPen(QPen(QColor(255, 140, 0), width));
    painter.drawPath(path(curve));
    painter.setPen(QPen(QColor(80, 200, 255), width * 0.6, Qt::DashLine));
    for (const QList<QPointF>& guide : guides)
        painter.drawPath(path(guide));
    return picture;
}

// The curve moved by `distance` mm to its left (seen along it) in the axial plane.
QList<QPointF> offsetCurve(const QList<QPointF>& curve, double distance)
{
    QList<QPointF> out;
    for (qsizetype i = 0; i < curve.size(); ++i)
    {
        const QPointF d = curve[std::min(i + 1, curve.size() - 1)] - curve[std::max<qsizetype>(i - 1, 0)];
        const double length = std::hypot(d.x(), d.y());
        out << (length > 0 ? curve[i] + QPointF(-d.y(), d.x()) * (distance / length) : curve[i]);
    }
    return out;
}

QString mm(double value)
{
    return QString::number(value, 'f', 1);
}

// The arch fitted to the teeth of the projection, as points every mm.
bool archAlongTheTeeth(const VoxenImage3D& volume, const ToothLevelProjection& projection, QList<QPointF>& points,
                       ArchFit& fit, QString& error)
{
    if (!fitArch(projection, fit, error))
        return false;
    points = archPoints(fit, volume);
    if (points.size() >= 2)
        return true;
    error = QStringLiteral("the arch found lies outside the volume (give one with --arch FILE.json)");
    return false;
}

} // namespace

QString resliceKindName(ResliceKind kind)
{
    switch (kind)
    {
    case ResliceKind::XRay: return QStringLiteral("xray");
    case ResliceKind::Ceph: return QStringLiteral("ceph");
    case ResliceKind::Panoramic: break;
    }
    return QStringLiteral("panoramic");
}

bool parseResliceKind(const QString& text, ResliceKind& kind)
{
    for (const ResliceKind k : {ResliceKind::Panoramic, ResliceKind::XRay, ResliceKind::Ceph})
        if (text.trimmed().compare(resliceKindName(k), Qt::CaseInsensitive) == 0)
        {
            kind = k;
            return true;
        }
    return false;
}

bool automaticArch(const VoxenImage3D& volume, QList<QPointF>& points, QString& error)
{
    ArchFit fit;
    return archAlongTheTeeth(volume, toothLevelProjection(volume), points, fit, error);
}

bool runReslice(std::shared_ptr<VoxenImage3D> volume, const ResliceRequest& request, ResliceOutcome& out,
                QString& error, const std::function<void(const QString&)>& progress)
{
    out = ResliceOutcome{};
    if (!volume || !volume->isValid())
    {
        error = QStringLiteral("no volume");
        return false;
    }
    const Extent extent = extentOf(*volume);
    const QVector3D voxel = volume->voxelSize();
    const float step = std::min({voxel.x(), voxel.y(), voxel.z()});
    if (!(step > 0.0f) || !std::isfinite(std::max({voxel.x(), voxel.y(), voxel.z()})))
    {
        error = QStringLiteral("the voxel size must be above 0");
        return false;
    }
    auto ct = std::make_shared<CTData>(std::make_shared<ImageVolume>(volume));

    // The teeth: where the arch is found and what --compare shows.
    const bool needProjection = request.compare || (request.kind != ResliceKind::Ceph && request.arch.isEmpty());
    ToothLevelProjection projection;
    if (needProjection)
    {
        projection = toothLevelProjection(*volume);
        progress(QStringLiteral("teeth from z = %1 to %2 mm (voxels of %3 HU and more)")
                     .arg(mm(projection.firstSlice * voxel.z()), mm(projection.lastSlice * voxel.z()))
                     .arg(double(projection.threshold)));
    }

    // The curve and the reslice document.
    std::unique_ptr<Reslice> reslice;
    QList<QList<QPointF>> guides;
    float thickness = 0.0f;
    if (request.kind == ResliceKind::Ceph)
    {
        thickness = request.thickness.value_or(float(extent.x) + step);
        out.curve = cephLine(extent, request.view, 0.0);
        guides << cephLine(extent, request.view, thickness - step);
        reslice = std::make_unique<CephReslice>(request.view);
    }
    else
    {
        if (!request.arch.isEmpty())
            out.curve = request.arch;
        else
        {
            ArchFit fit;
            if (!archAlongTheTeeth(*volume, projection, out.curve, fit, error))
                return false;
            const auto& c = fit.coefficients;
            progress(QStringLiteral("arch: y = %1 %2 %3 x %4 %5 x^2 mm through %6 points of the band of teeth, x = %7 to %8 mm")
                         .arg(c[0], 0, 'f', 2)
                         .arg(c[1] < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                         .arg(std::abs(c[1]), 0, 'f', 3)
                         .arg(c[2] < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                         .arg(std::abs(c[2]), 0, 'f', 4)
                         .arg(fit.pixels)
                         .arg(mm(fit.xFirst), mm(fit.xLast)));
        }
        if (request.kind == ResliceKind::XRay)
        {
            thickness = request.thickness.value_or(kXRayThickness);
            guides << offsetCurve(out.curve, thickness / 2) << offsetCurve(out.curve, -thickness / 2);
        }
        reslice = std::make_unique<Reslice>(request.kind == ResliceKind::XRay ? ResliceType::XRay : ResliceType::Plain);
    }
    reslice->setReslicePoints(curtain(out.curve, extent.z));
    reslice->setSampleSize(QVector3D(step, step, step));
    reslice->setThickness(thickness);
    reslice->setCTData(ct);

    // The CT window, stored into the CT data once: the X-ray's opacities, the panoramic's
    // display window and the axial picture's.
    math::Range<float> window;
    data::LevelWindow lw(0, 0);
    if (request.kind != ResliceKind::Ceph || request.compare)
    {
        window = image2d::ResliceExtractor::getOpacityRange(reslice.get());
        lw = ct->getAutoLevelWindow().value_or(lw);
        progress(QStringLiteral("CT window: level %1, window %2 (automatic)").arg(lw.getLevel()).arg(lw.getWindow()));
    }

    // The reslice, stored as the display road's input.
    std::unique_ptr<Image2D> image;
    LoadedImage input;
    input.pixelSizeKnown = true;
    const int steps = std::max(1, int(thickness / step));
    const QString what = QStringLiteral("%1 along %2 mm").arg(resliceKindName(request.kind), mm(polylineLength(out.curve)));
    if (request.kind == ResliceKind::Ceph)
    {
        progress(QStringLiteral("preparing the volume for the cephalogram"));
        const std::unique_ptr<VoxenImage3D> prepared = ceph::createPreprocessedImageForGeneratedCeph(*volume, {});
        if (!prepared)
        {
            error = QStringLiteral("not enough memory to prepare the volume");
            return false;
        }
        image = image2d::CachedReslicer::getResliceImageCPU(prepared.get(), reslice.get());
        if (image && image->isValid())
            ceph::postProcessGeneratedCeph(*image, math::Range<float>(0.0f, kDetectorMax));
    }
    else
        image = image2d::CachedReslicer::getResliceImageCPU(volume.get(), reslice.get());
    if (!image || !image->isValid())
    {
        error = QStringLiteral("not enough memory for the %1 image").arg(resliceKindName(request.kind));
        return false;
    }
    const QVector3D pixel = image->getPixelSize();
    progress(QStringLiteral("%1: %2 x %3 pixels of %4 x %5 mm%6")
                 .arg(what)
                 .arg(image->getWidth())
                 .arg(image->getHeight())
                 .arg(double(pixel.x()), 0, 'f', 3)
                 .arg(double(pixel.y()), 0, 'f', 3)
                 .arg(thickness > 0 ? QStringLiteral(", %1 mm deep in %2 steps").arg(mm(thickness)).arg(steps) : QString()));

    EnhanceSettings settings = request.settings;
    if (request.kind == ResliceKind::Panoramic)
    {
        // Back to Hounsfield units, shown through the CT window unless a window is given.
        const math::Range<float> range = volume->getValueRange();
        input.image = quantised<std::int16_t>(*image, Image2D::SHORT, range.getLength(), range.getMin(), -32768.0f, 32767.0f);
        input.format = QStringLiteral("CT panoramic reslice");
        input.bitsStored = 16;
        if (!settings.level)
        {
            settings.level = lw.getLevel();
            settings.window = std::max(1, lw.getWindow());
        }
    }
    else
    {
        // Opacities (X-ray) and tone-mapped projections (ceph) as 12-bit detector values.
        const float scale = request.kind == ResliceKind::XRay ? kDetectorMax : 1.0f;
        input.image = quantised<std::uint16_t>(*image, Image2D::UNSIGNED_SHORT, scale, 0.0f, 0.0f, kDetectorMax);
        input.format = request.kind == ResliceKind::XRay ? QStringLiteral("simulated X-ray") : QStringLiteral("generated cephalogram");
        input.bitsStored = 12;
    }
    if (!input.image.isValid())
    {
        error = QStringLiteral("not enough memory for the %1 image").arg(resliceKindName(request.kind));
        return false;
    }
    image.reset();

    EnhanceOutcome outcome;
    const std::atomic<bool> cancel{false};
    if (!runEnhance(input, settings, outcome, error, cancel))
        return false;
    out.display = std::move(outcome.display);
    out.notes << outcome.notes;
    out.notes << QStringLiteral("shown with level %1, window %2 (%3)")
                     .arg(outcome.level, 0, 'g', 6)
                     .arg(outcome.window, 0, 'g', 6)
                     .arg(request.kind == ResliceKind::Panoramic && !request.settings.level ? QStringLiteral("CT window")
                                                                                            : outcome.levelWindowSource);

    if (request.compare)
    {
        const QImage axial = axialPicture(projection, window, out.curve, guides);
        const QString caption =
            QStringLiteral("%1 | axial maximum-intensity projection of z %2 to %3 mm through the CT window %4 to %5 HU | %6")
                .arg(what, mm(projection.firstSlice * voxel.z()), mm(projection.lastSlice * voxel.z()))
                .arg(double(window.getMin()))
                .arg(double(window.getMax()))
                .arg(out.notes.last());
        out.compare = sideBySide(axial,
                                 {QStringLiteral("axial projection at the teeth, curve drawn"), QStringLiteral("axial"),
                                  QString()},
                                 toDisplayImage(out.display, 8).convertToFormat(QImage::Format_RGB32),
                                 resliceKindName(request.kind), caption);
        if (out.compare.isNull())
        {
            error = QStringLiteral("not enough memory for the --compare picture");
            return false;
        }
    }
    return true;
}

} // namespace tool
