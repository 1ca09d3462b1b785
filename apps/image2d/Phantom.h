#pragma once

// The built-in synthetic radiographs, and their ground truth.
//
// Each layout is a projection: soft tissue, bone with a trabecular texture from filtered
// noise, and teeth with enamel caps, dentine (denser than the bone around it), pulp chamber
// and root canals, periodontal space and lamina dura, exposed on a detector with quantum and
// electronic noise. Values are 12-bit (brighter is denser, as displayed) in an UNSIGNED_SHORT
// image with its pixel size. The same call always gives the same pixels.
//
// Intraoral (1440 x 960 pixels of 0.025 mm, 36 x 24 mm): a periapical view of the lower
// left posterior teeth, crowns at the top, roots pointing down, mesial to the left. A round
// collimator cuts the lower left corner. Teeth, with their label in the teeth mask, the
// FDI number and the position of the cusp tips on the tooth's axis (x, y in mm from the
// top left corner; in pixels divide by 0.025):
//   label 1  tooth 34  first premolar, cut by the left edge   (-2.4, 2.8), x < 1.2 visible
//   label 2  tooth 35  second premolar, one root              ( 5.0, 2.7)  crown 7.2 mm wide
//   label 3  tooth 36  first molar, two roots, an occlusal-distal metal filling
//                                                              (14.3, 2.2)  crown 11.0 mm wide
//   label 4  tooth 37  second molar, two roots                (25.1, 2.5)  crown 10.4 mm wide
// Crowns are 7 to 8 mm high, roots 12 to 13.5 mm long (apices near y = 22 mm); the alveolar
// crest runs 1.6 mm below the cemento-enamel junctions.
//
// Panoramic (2800 x 1400 pixels of 0.1 mm): 28 teeth, second molar to second molar in both
// jaws, labels 1-14 for the upper jaw from the patient's right (17 ... 11, 21 ... 27) and
// 15-28 for the lower jaw from the patient's right (47 ... 41, 31 ... 37); mandible with
// rami, condyles and coronoid processes, the mandibular canals, maxillary sinuses, nasal
// cavity, hard palate and the tongue's shadow under it, the hyoid and the spine's ghost.
//
// Ceph (2000 x 2400 pixels of 0.12 mm): a lateral skull facing right: vault with its two
// tables, cranial base with sella and clivus, orbit, nasal bone, maxilla with palate and
// sinus, mandible with ramus, condyle and symphysis, upper and lower teeth (labels 1-8:
// upper incisor, canine, premolar, molar, then the same below), cervical vertebrae C2-C5,
// airway and the soft-tissue profile.
//
// Masks (image2d phantom --masks DIR, 8-bit PNGs of the image's size and pixel size):
//   teeth.png  the tooth label (above) where the ray crosses at least 0.05 mm of that tooth,
//              0 elsewhere; where teeth overlap, the tooth drawn later (the one listed later) wins
//   pulp.png   255 where the ray crosses pulp (chamber or canal) of any tooth, 0 elsewhere
//   bone.png   255 where the ray crosses more than 1 mm of bone and no tooth, 0 elsewhere
// Pixels behind the collimator (less than half exposed) are 0 in every mask.

#include "ImageIO.h"
#include "Settings.h"

#include "platform/pixeldata/Image2D.h"

namespace tool {

/// Layout of the synthetic radiograph.
enum class PhantomLayout
{
    Intraoral,
    Panoramic,
    Ceph
};

/// Phantom layout that fits the media type.
PhantomLayout phantomLayoutFor(Media media);

/// How the phantom is taken: the dose relative to the layout's normal one (less leaves the
/// image bright, more burns it dark), and the unsharpness of the detector, a Gaussian of
/// `blur` pixels (sigma) over the stored image (not the masks).
struct PhantomAcquisition
{
    double dose = 1.0;
    double blur = 0.0;
    bool detectorNoise = true; ///< off: a noise-free reference for what noise does to an algorithm
};

/// Doses of `phantom --exposure under|normal|over`.
constexpr double underExposure = 0.4, overExposure = 2.5;

/// The synthetic radiograph of a layout (see above).
Image2D makePhantom(PhantomLayout layout, const PhantomAcquisition& acquisition = {});

/// The radiograph with its ground-truth masks (8-bit, see above).
struct PhantomWithMasks
{
    Image2D image;
    Image2D teeth; ///< tooth labels
    Image2D pulp;  ///< 255: pulp
    Image2D bone;  ///< 255: bone without tooth
};
PhantomWithMasks makePhantomWithMasks(PhantomLayout layout, const PhantomAcquisition& acquisition = {});

/// The phantom of the media as a loaded image (12 bits stored, pixel size known).
bool loadPhantom(Media media, LoadedImage& out, QString& error);

} // namespace tool
