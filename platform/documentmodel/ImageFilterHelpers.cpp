#include "platform/documentmodel/ImageFilterHelpers.h"

namespace dataobject {

bool ImageFilterHelpers::getUseNavrel(ImageFilterModality modality)
{
    return modality == ImageFilterModality::IntraoralSensor;
}

bool ImageFilterHelpers::getUseConstrainedLocalAlpha(ImageFilterModality modality)
{
    return modality == ImageFilterModality::IntraoralPhosphorPlate;
}

bool ImageFilterHelpers::getUseSharpenOrvane(ImageFilterModality modality)
{
    return modality == ImageFilterModality::Unknown;
}

} // namespace dataobject
