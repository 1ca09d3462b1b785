#include "Phantom.h"

#include "PhantomScene.h"

namespace tool {

PhantomWithMasks makePhantomWithMasks(PhantomLayout layout, bool detectorNoise)
{
    phantom::Exposed exposed;
    switch (layout)
    {
    case PhantomLayout::Panoramic: exposed = phantom::panoramic(detectorNoise); break;
    case PhantomLayout::Ceph: exposed = phantom::ceph(detectorNoise); break;
    case PhantomLayout::Intraoral: exposed = phantom::intraoral(detectorNoise); break;
    }
    return {std::move(exposed.image), std::move(exposed.teeth), std::move(exposed.pulp), std::move(exposed.bone)};
}

Image2D makePhantom(PhantomLayout layout)
{
    return makePhantomWithMasks(layout).image;
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
