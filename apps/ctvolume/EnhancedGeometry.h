#pragma once

namespace gdcm {
class File;
}

namespace ctvolume {

/// False when GDCM would stop the process (assertions compiled into release builds) while it
/// takes the pixel spacing, origin, orientation or rescale of an enhanced multi-frame image
/// (enhanced CT and MR, ophthalmic tomography, segmentation; for the spacing alone also the
/// other classes GDCM reads it from there, multi-frame secondary capture among them) from its functional groups
/// (assertions, or an exception for a missing item): a functional group or one of its
/// sequences that is empty or not a sequence, a value of the wrong type in them, spacing
/// without any image orientation, positions of two frames or more that carry an orientation
/// of their own.
/// True for every other file (GDCM does not look at functional groups for them).
bool enhancedGeometryReadable(const gdcm::File& file);

} // namespace ctvolume
