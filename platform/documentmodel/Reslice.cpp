#include "platform/documentmodel/Reslice.h"

Reslice::Reslice(ResliceType type) : m_type(type)
{
}

Reslice::~Reslice() = default;

CephReslice::CephReslice(meta::PointOfView pointOfView) : Reslice(ResliceType::Ceph), m_pointOfView(pointOfView)
{
}
