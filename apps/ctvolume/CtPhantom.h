#pragma once

// A synthetic dental CT of a head, made in code: the data of the tool's `phantom --media ct`,
// of the volume tests and of the benchmarks.
//
// Coordinates are "volume millimetres": voxel (i, j, k) is centred at (i, j, k) times the
// voxel size, x towards the patient's left, y towards the back, z upwards (slice 0 is the
// lowest). At full size the volume is 256 x 256 x 200 voxels of 0.4 mm, so x and y run
// from 0 to 102 mm and z from 0 to 79.6 mm; the midline is x = 51 mm.
//
// Where things are (full size; a downsampled phantom has the same anatomy):
// - Scan field: a cylinder of radius 51 mm around (51, 51); outside it every voxel holds the
//   padding value -1024 exactly, without noise. Inside: air -1000 and a head (soft tissue 40)
//   whose outline is an ellipse around (51, 55) with half-axes 44 mm (x) and 48 mm (y), the
//   face at the front (small y); below z = 8 mm it narrows into the neck.
// - Dental arch: both jaws follow the parabola y = 21 + 0.06 (x - 51)^2 in every axial slice.
//   The incisors meet the midline at (51, 21); the second molars end about 27.5 mm to each
//   side, near y = 66. Positions along the arch are arc lengths s from the midline (negative
//   on the patient's right, x < 51); d is the distance from the curve, positive on the outer
//   (lip and cheek) side.
// - Mandible: bone around the curve for |s| <= 62 mm and z from 8 to 33 mm (the alveolar
//   crest), 4.5 mm (front) to 6.5 mm (back) to each side of the curve: a 2 mm cortical shell
//   (1500) over trabecular bone (150 to 750).
// - Maxilla: the same bone around the curve for z from 52 to 74 mm, 5 to 7.5 mm to each
//   side, with the palate (z 60 to 64, inside the arch up to y = 62), the nasal cavity (air,
//   |x - 51| < 12, y 25 to 70, z above 64.5) and two maxillary sinuses (air in a 1 mm wall,
//   ellipsoids around (51 -+ 22, 52, 72) with half-axes 9, 12 and 7 mm).
// - Teeth: 28 (second molar to second molar in each jaw), FDI numbers 11-17, 21-27, 31-37,
//   41-47; their centres are listed by teeth(). Lower crowns rise from their cemento-enamel
//   junction to the occlusal plane z = 42.0 mm, upper crowns hang down to z = 42.8 mm; roots
//   run 12.5 to 17 mm into the bone, one per tooth, two for molars. Enamel 2900 (1.3 mm),
//   crown dentine 1900, root dentine 1800, pulp 35 (a chamber in the crown and a canal in
//   each root), a 0.4 mm periodontal space (20) and a 0.6 mm lamina dura (1500) around each
//   root inside the bone.
// - Mandibular canal: a tube of radius 1.4 mm (30 inside, a 0.6 mm wall of 900) along the
//   curve at d = -0.5 mm and z = 15 mm, for |s| from 22 mm (below the premolars) to the end
//   of the mandible, on both sides; the apices of the lower molars are at z = 21.5 mm.
// - Restoration: one metal filling (10000) in the occlusal surface of the lower left first
//   molar (36): an ellipsoid around its crown centre line at z 39.5 to 42 mm. Slices within
//   3 mm of it carry streaks of +-700 that radiate from it and fade with distance.
// - Airway: air tube around (51, 73), half-axes 9 x 6 mm, z from 0 to 62 mm; a vertebra
//   (cortical shell over trabecular bone) of radius 8 mm around (51, 90), z up to 46 mm;
//   a skull shell (two cortical tables around diploe, 5 mm) just inside the skin at the sides
//   and back above z = 56 mm.
// - Noise: about 20 HU (deterministic) everywhere inside the scan field.
// Values are Hounsfield units in a SHORT volume; the same call always gives the same voxels.

#include "platform/pixeldata/VoxenImage3D.h"

#include <QVector3D>

#include <vector>

namespace ctphantom {

/// Values (HU) of the phantom's materials, before streaks and noise.
inline constexpr int kPadding = -1024;
inline constexpr int kAir = -1000;
inline constexpr int kSoftTissue = 40;
inline constexpr int kCorticalBone = 1500;
inline constexpr int kEnamel = 2900;
inline constexpr int kDentine = 1900;
inline constexpr int kRootDentine = 1800;
inline constexpr int kPulp = 35;
inline constexpr int kMetal = 10000;

/// Full-size geometry.
inline constexpr int kColumns = 256, kRows = 256, kSlices = 200;
inline constexpr float kVoxelSize = 0.4f;
inline constexpr float kMidline = 51.0f;        ///< x of the midline, mm
inline constexpr float kArchFront = 21.0f;      ///< y of the arch at the midline, mm
inline constexpr float kArchCurvature = 0.06f;  ///< y = kArchFront + kArchCurvature (x - kMidline)^2
inline constexpr float kLowerOcclusal = 42.0f;  ///< z of the lower occlusal plane, mm
inline constexpr float kUpperOcclusal = 42.8f;  ///< z of the upper occlusal plane, mm
inline constexpr float kCanalHeight = 15.0f;    ///< z of the mandibular canal's axis, mm
inline constexpr float kCanalStart = 22.0f;     ///< |s| where the canal begins, mm

/// One tooth, in volume millimetres.
struct Tooth
{
    int number;            ///< FDI number: 11..17, 21..27 upper, 31..37, 41..47 lower
    bool upper;
    float arc;             ///< arc length of its centre from the midline (negative: patient's right)
    QVector3D crownCentre; ///< on the arch curve, halfway up the crown
    QVector3D apex;        ///< on the arch curve, at the tip of the root(s)
    float width;           ///< mesio-distal crown width (along the arch)
    float depth;           ///< bucco-lingual crown depth (across the arch)
    bool restoration;      ///< holds the metal filling
};

/// The 28 teeth, upper right (11..17), upper left, lower left, lower right.
const std::vector<Tooth>& teeth();

/// Point of the arch curve at arc length s from the midline, at height z (volume mm).
QVector3D archPoint(float s, float z);

/// The phantom. `downsample` 1 gives the full 256 x 256 x 200 volume at 0.4 mm; 2 or 4 give
/// 128 x 128 x 100 at 0.8 mm or 64 x 64 x 50 at 1.6 mm (for quick tests), with the same
/// anatomy. Slices are made in parallel; the full size takes well under a second on two cores.
VoxenImage3D makeCtPhantom(int downsample = 1);

} // namespace ctphantom
