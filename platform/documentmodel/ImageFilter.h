#pragma once

#include "platform/utility/Optional.h"

#include <QList>
#include <QString>

#include <vector>

namespace dataobject {

/// Kinds of display filter element; the codes are stored in documents.
enum class ImageFilterElementType : int
{
    Gamma = 0,
    Invert = 1,
    Sharpen = 2,
    HistogramEqualization = 3,
    Denoise = 4
};

/// Imaging modality of a filtered image; decides which sharpening algorithm and which
/// kernel sizes the display filters use.
enum class ImageFilterModality : int
{
    Unknown = 0,
    IntraoralPhosphorPlate = 1,
    IntraoralSensor = 2,
    Panoramic = 3,
    Cephalometric = 4,
    GeneratedPanoramic = 5,
    CtSlice = 6,
    GeneratedCephalometric = 7
};

/// The single float setting of a filter element (a gamma, a strength, a level).
class ImageFilterElementParameter
{
public:
    explicit ImageFilterElementParameter(float value = 0.0f) : m_value(value) {}
    virtual ~ImageFilterElementParameter();

    float get() const { return m_value; }
    void set(float value) { m_value = value; }
    /// Text form, stable across runs: the shortest text that reads back as the same float.
    virtual QString toString() const;

private:
    float m_value;
};

/// The display filters of one image: an ordered list of elements, each visible or not,
/// active or not, with an optional parameter, plus the image's modality.
class ImageFilter
{
public:
    explicit ImageFilter(ImageFilterModality modality = ImageFilterModality::Unknown) : m_modality(modality) {}

    /// Sets the element of `type`: replaces it in place when present, appends it otherwise.
    void setElement(ImageFilterElementType type, utility::Optional<float> parameter = {}, bool visible = true,
                    bool active = true);
    void removeElement(ImageFilterElementType type);
    void setVisible(ImageFilterElementType type, bool visible);
    void setActive(ImageFilterElementType type, bool active);

    /// Types of the elements that are visible and active, in list order.
    QList<ImageFilterElementType> getVisibleAndActiveFilterIds() const;
    /// The element's parameter, or null when the element is absent or has none.
    ImageFilterElementParameter* getParameter(ImageFilterElementType type);
    const ImageFilterElementParameter* getParameter(ImageFilterElementType type) const;

    ImageFilterModality getModality() const { return m_modality; }
    void setModality(ImageFilterModality modality) { m_modality = modality; }

private:
    struct Element
    {
        ImageFilterElementType type;
        bool visible;
        bool active;
        bool hasParameter;
        ImageFilterElementParameter parameter;
    };
    Element* find(ImageFilterElementType type);
    const Element* find(ImageFilterElementType type) const;

    std::vector<Element> m_elements;
    ImageFilterModality m_modality;
};

} // namespace dataobject

namespace conversions {

/// Name of an element type ("Gamma", "Invert", ...); "Unknown(<code>)" for other codes.
QString toString(dataobject::ImageFilterElementType type);

} // namespace conversions
