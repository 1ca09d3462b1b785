#pragma once

#include "platform/documentmodel/CTData.h"

#include <QList>
#include <QMatrix4x4>
#include <QVector3D>

#include <memory>

/// Kind of image a reslice produces; the codes are stored in documents.
enum class ResliceType : int
{
    Plain = 0, ///< a section through the volume along the curve
    XRay = 1,  ///< a simulated X-ray through a slab around the curve
    Ceph = 2   ///< a cephalometric projection from the curve to one side
};

namespace meta {

/// Side from which a cephalometric projection looks at the patient; the codes are stored.
enum class PointOfView : int
{
    Left = 0,
    Right = 1
};

} // namespace meta

/// A reslice of a CT document (document-model library): a curve of point pairs in patient
/// space (mm) swept along one direction, how it is sampled, and the CT it cuts through.
/// Point pairs (P[2i], P[2i + 1]): the second point of each pair traces the curve, and the
/// first point of pair 0 minus its second point is the sweep direction and extent.
class Reslice
{
public:
    explicit Reslice(ResliceType type = ResliceType::Plain);
    virtual ~Reslice();

    QList<QVector3D> getReslicePoints() const { return m_points; }
    void setReslicePoints(const QList<QVector3D>& points) { m_points = points; }
    /// Sample spacing in mm; z is the step along a projection ray. Default (1, 1, 1).
    QVector3D getSampleSize() const { return m_sampleSize; }
    void setSampleSize(const QVector3D& sampleSize) { m_sampleSize = sampleSize; }
    /// Depth of a projection slab in mm. Default 0.
    float getThickness() const { return m_thickness; }
    void setThickness(float thickness) { m_thickness = thickness; }
    /// Pixels per voxel spacing wanted in the image. Default 1.
    float getQualityFactor() const { return m_qualityFactor; }
    void setQualityFactor(float qualityFactor) { m_qualityFactor = qualityFactor; }
    /// Patient space to resampled space. Default identity.
    QMatrix4x4 getTotalResampleTransformation() const { return m_transformation; }
    void setTotalResampleTransformation(const QMatrix4x4& transformation) { m_transformation = transformation; }

    bool isType(ResliceType type) const { return m_type == type; }
    ResliceType getType() const { return m_type; }
    void setType(ResliceType type) { m_type = type; }

    /// The CT document the reslice cuts through (null when none is set); not const, as the
    /// automatic window is stored into it once computed.
    virtual CTData* getCTData() const { return m_ctData.get(); }
    void setCTData(std::shared_ptr<CTData> ctData) { m_ctData = std::move(ctData); }

private:
    ResliceType m_type;
    QList<QVector3D> m_points;
    QVector3D m_sampleSize{1, 1, 1};
    float m_thickness = 0.0f;
    float m_qualityFactor = 1.0f;
    QMatrix4x4 m_transformation;
    std::shared_ptr<CTData> m_ctData;
};

/// A cephalometric projection reslice (type Ceph) seen from one side.
class CephReslice : public Reslice
{
public:
    explicit CephReslice(meta::PointOfView pointOfView = meta::PointOfView::Right);

    meta::PointOfView getPointOfView() const { return m_pointOfView; }
    void setPointOfView(meta::PointOfView pointOfView) { m_pointOfView = pointOfView; }

private:
    meta::PointOfView m_pointOfView;
};
