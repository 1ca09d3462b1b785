#include "Phantom.h"

#include "PhantomScene.h"

#include "image2d/filtering/Convolution.h"

#include <cmath>

namespace tool {

PhantomWithMasks makePhantomWithMasks(PhantomLayout layout, const PhantomAcquisition& acquisition)
{
    phantom::Exposed exposed;
    switch (layout)
    {
    case PhantomLayout::Panoramic: exposed = phantom::panoramic(acquisition.dose, acquisition.detectorNoise); break;
    case PhantomLayout::Ceph: exposed = phantom::ceph(acquisition.dose, acquisition.detectorNoise); break;
    case PhantomLayout::Intraoral: exposed = phantom::intraoral(acquisition.dose, acquisition.detectorNoise); break;
    }
    if (acquisition.blur > 0.0 && exposed.image.isValid())
    {
        const image2d::SeparableGaussian kernel(static_cast<int>(std::ceil(3.0 * acquisition.blur)),
                                                static_cast<float>(acquisition.blur));
        const std::shared_ptr<Image2D> blurred = image2d::separableFilter(exposed.image, kernel, Image2D::UNSIGNED_SHORT);
        exposed.image = blurred ? std::move(*blurred) : Image2D();
    }
    return {std::move(exposed.image), std::move(exposed.teeth), std::move(exposed.pulp), std::move(exposed.bone)};
}

Image2D makePhantom(PhantomLayout layout, const PhantomAcquisition& acquisition)
{
    return makePhantomWithMasks(layout, acquisition).image;
}

PhantomLayout phantomLayoutFor(Media media)
{
    switch (media)
    {
    case Media::Panoramic: return PhantomLayout::Panoramic;
    case Media::Ceph: return PhantomLayout::Ceph;
    default: return PhantomLayout::Intraoral;
    }
}

bool loadPhantom(Media media, LoadedImage& out, QString& error)
{
    out = LoadedImage{};
    out.image = makePhantom(phantomLayoutFor(media));
    out.format = QStringLiteral("phantom");
    out.bitsStored = 12;
    out.pixelSizeKnown = true;
    if (!out.image.isValid())
    {
        error = QStringLiteral("not enough memory for the phantom");
        return false;
    }
    return true;
}

} // namespace tool
