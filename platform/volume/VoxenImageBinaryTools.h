#pragma once

#include "platform/pixeldata/VoxenImage3D.h"

/// Binary operations on volumes (the volume library's tools).
class VoxenImageBinaryTools
{
public:
    void setInput(const VoxenImage3D* input) { m_input = input; }
    /// A volume of the input's size and element type 3 (binary) that receives the result.
    void setOutput(VoxenImage3D* output) { m_output = output; }

    /// Output voxel = 1 where the input voxel is above `threshold` (`above` true) or at or
    /// below it (`above` false), else 0. False, output unchanged, for a missing or invalid
    /// volume, an output that is not binary or of another size, or input element type 4.
    /// Voxels run in parallel on the TBB worker pool.
    bool thresholdFilter(int threshold, bool above);

private:
    const VoxenImage3D* m_input = nullptr;
    VoxenImage3D* m_output = nullptr;
};
