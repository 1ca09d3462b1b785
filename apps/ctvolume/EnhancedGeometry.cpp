// GDCM reads the geometry of enhanced multi-frame images from the shared (5200,9229) and
// per-frame (5200,9230) functional groups, asserting at each step that a sequence is there
// (a missing item throws), that it found an orientation before deriving the z spacing from
// the frame positions, and, with two frames or more, that a frame position's own
// orientation equals it. This walks the same road first, with the same fallbacks (checked
// against GDCM 3.0.21 on files edited for each step).
#include "EnhancedGeometry.h"

#include <gdcmDataSet.h>
#include <gdcmFile.h>
#include <gdcmImageHelper.h>
#include <gdcmMediaStorage.h>
#include <gdcmSequenceOfItems.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace ctvolume {

namespace {

const gdcm::Tag sharedGroups(0x5200, 0x9229), perFrameGroups(0x5200, 0x9230);
const gdcm::Tag planePosition(0x0020, 0x9113), planeOrientation(0x0020, 0x9116), pixelMeasures(0x0028, 0x9110),
    valueTransformation(0x0028, 0x9145);
const gdcm::Tag imagePosition(0x0020, 0x0032), imageOrientation(0x0020, 0x0037), pixelSpacing(0x0028, 0x0030),
    rescaleIntercept(0x0028, 0x1052), rescaleSlope(0x0028, 0x1053);

// The parsed sequence of `element`; null for anything else (GDCM would try to parse a
// plain value as one: that is refused here).
const gdcm::SequenceOfItems* sequenceOf(const gdcm::DataElement& element)
{
    return element.IsEmpty() ? nullptr : dynamic_cast<const gdcm::SequenceOfItems*>(&element.GetValue());
}

struct Road
{
    bool broken = false;

    // The data set of item `index` (from 1) of sequence `tag`; null when `tag` is absent.
    // Present but not a sequence, or without that item, is what GDCM asserts on.
    const gdcm::DataSet* item(const gdcm::DataSet& ds, const gdcm::Tag& tag, unsigned index = 1)
    {
        if (!ds.FindDataElement(tag))
            return nullptr;
        const gdcm::SequenceOfItems* sequence = sequenceOf(ds.GetDataElement(tag));
        if (!sequence || sequence->GetNumberOfItems() < index)
        {
            broken = true;
            return nullptr;
        }
        return &sequence->GetItem(index).GetNestedDataSet();
    }

    // GDCM reads these decimal strings through gdcm::Attribute, which asserts on the type.
    bool decimal(const gdcm::DataSet& ds, const gdcm::Tag& tag)
    {
        if (!ds.FindDataElement(tag))
            return false;
        const gdcm::DataElement& element = ds.GetDataElement(tag);
        if ((element.GetVR() != gdcm::VR::INVALID && !gdcm::VR(gdcm::VR::DS).Compatible(element.GetVR())) ||
            (!element.IsEmpty() && !element.GetByteValue()))
            broken = true;
        return true;
    }

    // A value GDCM reads from the first item of `inner` in the first item of functional group `group`.
    bool groupValue(const gdcm::DataSet& ds, const gdcm::Tag& group, const gdcm::Tag& inner, const gdcm::Tag& value)
    {
        const gdcm::DataSet* groups = item(ds, group);
        const gdcm::DataSet* values = groups ? item(*groups, inner) : nullptr;
        return values && decimal(*values, value);
    }
};

} // namespace

bool enhancedGeometryReadable(const gdcm::File& file)
{
    using MS = gdcm::MediaStorage;
    MS ms;
    ms.SetFromFile(file);
    const bool enhanced = ms == MS::EnhancedCTImageStorage || ms == MS::EnhancedMRImageStorage ||
                          ms == MS::OphthalmicTomographyImageStorage || ms == MS::SegmentationStorage;
    // GDCM takes only the spacing (and with it the z spacing) from the functional groups of these.
    static const MS::MSType spacingOnly[] = {
        MS::EnhancedMRColorImageStorage, MS::EnhancedPETImageStorage,
        MS::MultiframeSingleBitSecondaryCaptureImageStorage, MS::MultiframeGrayscaleByteSecondaryCaptureImageStorage,
        MS::MultiframeGrayscaleWordSecondaryCaptureImageStorage, MS::MultiframeTrueColorSecondaryCaptureImageStorage,
        MS::XRay3DAngiographicImageStorage, MS::XRay3DCraniofacialImageStorage, MS::IVOCTForProcessing,
        MS::IVOCTForPresentation, MS::BreastTomosynthesisImageStorage,
        MS::BreastProjectionXRayImageStorageForPresentation, MS::BreastProjectionXRayImageStorageForProcessing,
        MS::LegacyConvertedEnhancedMRImageStorage, MS::LegacyConvertedEnhancedCTImageStorage,
        MS::LegacyConvertedEnhancedPETImageStorage};
    if (!enhanced && std::find(std::begin(spacingOnly), std::end(spacingOnly), MS::MSType(ms)) == std::end(spacingOnly))
        return true;
    const gdcm::DataSet& ds = file.GetDataSet();
    Road road;
    bool spacing = false, orientation = false;
    for (const gdcm::Tag& group : {sharedGroups, perFrameGroups})
    {
        if (enhanced)
        {
            road.groupValue(ds, group, planePosition, imagePosition);
            road.groupValue(ds, group, valueTransformation, rescaleIntercept);
            road.groupValue(ds, group, valueTransformation, rescaleSlope);
        }
        orientation = road.groupValue(ds, group, planeOrientation, imageOrientation) || orientation;
        spacing = road.groupValue(ds, group, pixelMeasures, pixelSpacing) || spacing;
    }
    if (road.broken)
        return false;
    if (!spacing)
        return true;
    // The z spacing: an orientation, then the position of every frame along its normal.
    std::vector<double> cosines(6);
    if (!orientation && !gdcm::ImageHelper::GetDirectionCosinesFromDataSet(ds, cosines))
        return false;
    if (!ds.FindDataElement(perFrameGroups))
        return true;
    const gdcm::SequenceOfItems* frames = sequenceOf(ds.GetDataElement(perFrameGroups));
    const unsigned count = frames ? unsigned(frames->GetNumberOfItems()) : 0;
    if (count < 2)
        return true; // GDCM derives no z spacing from one frame
    for (unsigned i = 1; i <= count; ++i)
    {
        const gdcm::DataSet* frame = road.item(ds, perFrameGroups, i);
        const gdcm::DataSet* position = frame ? road.item(*frame, planePosition) : nullptr;
        if (road.broken)
            return false;
        if (!position)
            return true; // GDCM gives up on the z spacing here, without asserting
        // GDCM asserts that an orientation here equals the one above; none has one in practice.
        if (position->FindDataElement(imageOrientation))
            return false;
        if (!road.decimal(*position, imagePosition))
            return true; // GDCM gives up on the z spacing here, without asserting
        if (road.broken)
            return false;
    }
    return true;
}

} // namespace ctvolume
