#pragma once

// Chamfer distance maps and chamfer growth of a volume, one axial slice at a time with the 2D
// algorithms (image2d/analysis/DistanceTransform.h). Slices are independent: a structure in
// one slice never reaches the next.

#include "platform/pixeldata/VoxenImage3D.h"

/// Distance map of every axial slice of a binary volume: output voxel = the 2D chamfer
/// distance (5 per step) to the nearest set voxel of its slice, 32717 where its slice has none.
class VoxenImagePerSliceDistanceMap
{
public:
    virtual ~VoxenImagePerSliceDistanceMap();

    /// The binary volume (element type 3) to map; not owned.
    void setInput(VoxenImage3D* input) { m_input = input; }

    /// Creates the output: the input's size and voxel size, element type 1 (SHORT). False with
    /// the warning "invalid input image, not BINARY" when the input is missing, invalid or not
    /// binary (no output then), or when there is no memory for the output. Slices run one
    /// after the other on the calling thread.
    bool execute();

    /// The volume made by the last successful execute(), owned by the caller from then on;
    /// null before. A later execute() replaces the pointer without deleting the volume.
    VoxenImage3D* output() { return m_output; }

private:
    VoxenImage3D* m_input = nullptr;
    VoxenImage3D* m_output = nullptr;
};

/// Chamfer growth of a zone within a limit on every axial slice, thresholded into a binary
/// volume: output voxel = 1 where the 2D growth of its slice is above 0 (the zone's voxels
/// within reach of the limit, and what the penetration depth adds around them), else 0.
class VoxenImagePerSliceGrowChamfer
{
public:
    virtual ~VoxenImagePerSliceGrowChamfer();

    /// Binary volumes of one size (not owned): the structure that distances are measured
    /// from, and the zone the growth starts in.
    void setLimitImage(VoxenImage3D* limit) { m_limit = limit; }
    void setZoneImage(VoxenImage3D* zone) { m_zone = zone; }
    /// Chamfer units (5 per voxel step) added to the distances before the growth; 0 at first.
    void setPenetrationDepth(int depth) { m_penetrationDepth = depth; }

    /// Creates the output: the limit's size and voxel size, element type 3 (binary). False
    /// without output, with the warning "VoxenImagePerSliceGrowChamfer: input not complete or
    /// invalid" when a volume is missing or invalid, or "SoftTissueSegmentation : limit image
    /// and zone image do not have equal dimensions." when their sizes differ; false when there
    /// is no memory. A slice whose 2D growth fails (a volume that is not binary) logs the 2D
    /// warning and stays 0. Slices run one after the other on the calling thread.
    bool execute();

    /// The volume made by the last successful execute(), owned by the caller from then on.
    VoxenImage3D* output() { return m_output; }

private:
    VoxenImage3D* m_limit = nullptr;
    VoxenImage3D* m_zone = nullptr;
    VoxenImage3D* m_output = nullptr;
    int m_penetrationDepth = 0;
};
