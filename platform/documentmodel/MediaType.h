#pragma once

/// Kind of image a document holds; the codes are stored in documents.
enum class MediaType : int
{
    Unknown = 0,
    IntraoralSensor = 1,
    IntraoralPhosphorPlate = 2,
    Panoramic = 3,
    Cephalometric = 4,
    Photograph = 5,
    GeneratedPanoramic = 10,
    GeneratedCephalometric = 11,
    CtVolume = 16
};
