#pragma once

// `image2d reslice`: 2D images of a dental CT along its arch (a panoramic section, a
// simulated panoramic X-ray) or across the head (a generated cephalogram), through the
// library's reslicing and the display road of `enhance`.

#include "Settings.h"

#include "platform/documentmodel/Reslice.h"
#include "platform/pixeldata/VoxenImage3D.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tool {

enum class ResliceKind
{
    Panoramic, ///< the CT values on the curved section through the arch
    XRay,      ///< mean opacity through a slab around the arch
    Ceph       ///< generated cephalogram: projection across the whole head
};

QString resliceKindName(ResliceKind kind);
bool parseResliceKind(const QString& text, ResliceKind& kind);

/// What to make.
struct ResliceRequest
{
    ResliceKind kind = ResliceKind::Panoramic;
    std::optional<float> thickness;   ///< mm; default 16 for X-ray, the head's width for ceph
    QList<QPointF> arch;              ///< the arch in volume mm (readArchFile); empty: found automatically
    meta::PointOfView view = meta::PointOfView::Right; ///< ceph: the side the head is seen from
    EnhanceSettings settings;         ///< the display road; level/window in the image's values
    bool compare = false;             ///< also make the axial picture with the curve drawn
};

/// What was made.
struct ResliceOutcome
{
    Image2D display;      ///< the display road's result, with the reslice's pixel size
    QImage compare;       ///< axial projection with the curve beside the result (when asked)
    QList<QPointF> curve; ///< the curve the reslice follows, volume mm
    QStringList notes;    ///< what the run found and chose, one line each
};

/// Makes the reslice of `volume` (SHORT, Hounsfield units, as the series reader gives it).
/// `progress` gets one line per step. False with a one-line reason.
bool runReslice(std::shared_ptr<VoxenImage3D> volume, const ResliceRequest& request, ResliceOutcome& out,
                QString& error, const std::function<void(const QString&)>& progress);

/// The points of the automatically found arch (volume mm), as runReslice uses them; false
/// with a reason when the volume shows none.
bool automaticArch(const VoxenImage3D& volume, QList<QPointF>& points, QString& error);

} // namespace tool
