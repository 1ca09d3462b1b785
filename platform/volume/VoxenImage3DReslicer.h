#pragma once

#include "platform/maths/Range.h"
#include "platform/pixeldata/Image2D.h"
#include "platform/pixeldata/VoxenImage3D.h"

/// Samples a volume into 2D images (the volume library's reslicer).
///
/// Sampling conventions, shared by the three samplers:
/// - Coordinates are in voxel units: voxel (i, j, k) is centred at the point (i, j, k).
/// - A sample is the trilinear interpolation of the eight voxels around the point.
/// - A point outside [0, n - 1] on any axis (n the volume's size on that axis) reads the
///   volume's minimum value; on an axis of size 1 only the coordinate 0 is inside.
/// - "Normalized" is (v - vmin) / (vmax - vmin) with the volume's value range, 0 when
///   vmax equals vmin (so an outside point normalizes to 0).
/// - Pixel (x, y) of the image is built from the point p = origin + columns[x] + rows[y]
///   (origin one xyz triple, columns `width` triples, rows `height` triples, normals one
///   triple per column).
/// - The image is made a FLOAT image of width x height when it is not one already (its
///   pixel size is kept); rows are filled in parallel on the TBB worker pool.
/// - A null or invalid volume, null arrays or a non-positive size leave the image unchanged.
///   The samplers read the volume only; several may run on one volume at the same time.
class VoxenImage3DReslicer
{
public:
    /// Sets `image` to a copy of axial slice z (the 2D type of the volume's element type,
    /// pixel size = voxel size). Leaves `image` unchanged for a null or invalid volume, a
    /// null image or z outside [0, slices).
    static void loadAxialSlice2D(const VoxenImage3D* volume, int z, Image2D* image);

    /// Pixel (x, y) = the normalized sample at p.
    static void loadInterpolatedNormalizedReslice(const VoxenImage3D* volume, const float* origin,
                                                  const float* columns, const float* rows, int width, int height,
                                                  Image2D& image);

    /// Simulated X-ray through a slab centred on the curtain: pixel (x, y) = the mean over
    /// k = 0 .. steps - 1 of clamp((v - opacity.min) / (opacity.max - opacity.min), 0, 1), with v
    /// the raw sample at p + (k - (steps - 1) / 2) * normals[x]. An empty opacity range
    /// (max <= min) counts a sample as 1 when v > opacity.min, else 0. Steps below 1 count as 1.
    static void loadXRayNormalizedReslice(const VoxenImage3D* volume, const float* origin, const float* columns,
                                          const float* rows, int width, int height, const float* normals, int steps,
                                          const math::Range<float>& opacity, Image2D& image);

    /// Projection on one side of the curtain: pixel (x, y) = the mean over k = 0 .. steps - 1
    /// of the normalized sample at p + k * normals[x]. Steps below 1 count as 1.
    static void loadCephNormalizedReslice(const VoxenImage3D* volume, const float* origin, const float* columns,
                                          const float* rows, int width, int height, const float* normals, int steps,
                                          Image2D& image);
};
