#include "platform/documentmodel/ImageFilter.h"

#include <algorithm>
#include <charconv>

namespace dataobject {

ImageFilterElementParameter::~ImageFilterElementParameter() = default;

QString ImageFilterElementParameter::toString() const
{
    // Shortest round-trip form of the float itself, so 0.1f reads "0.1", not its double expansion.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), m_value);
    return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

ImageFilter::Element* ImageFilter::find(ImageFilterElementType type)
{
    auto it = std::find_if(m_elements.begin(), m_elements.end(), [type](const Element& e) { return e.type == type; });
    return it == m_elements.end() ? nullptr : &*it;
}

const ImageFilter::Element* ImageFilter::find(ImageFilterElementType type) const
{
    return const_cast<ImageFilter*>(this)->find(type);
}

void ImageFilter::setElement(ImageFilterElementType type, utility::Optional<float> parameter, bool visible, bool active)
{
    Element element{type, visible, active, parameter.hasValue(), ImageFilterElementParameter(parameter.value_or(0.0f))};
    if (Element* existing = find(type))
        *existing = element;
    else
        m_elements.push_back(element);
}

void ImageFilter::removeElement(ImageFilterElementType type)
{
    std::erase_if(m_elements, [type](const Element& e) { return e.type == type; });
}

void ImageFilter::setVisible(ImageFilterElementType type, bool visible)
{
    if (Element* e = find(type))
        e->visible = visible;
}

void ImageFilter::setActive(ImageFilterElementType type, bool active)
{
    if (Element* e = find(type))
        e->active = active;
}

QList<ImageFilterElementType> ImageFilter::getVisibleAndActiveFilterIds() const
{
    QList<ImageFilterElementType> ids;
    for (const Element& e : m_elements)
        if (e.visible && e.active)
            ids.append(e.type);
    return ids;
}

ImageFilterElementParameter* ImageFilter::getParameter(ImageFilterElementType type)
{
    Element* e = find(type);
    return e && e->hasParameter ? &e->parameter : nullptr;
}

const ImageFilterElementParameter* ImageFilter::getParameter(ImageFilterElementType type) const
{
    const Element* e = find(type);
    return e && e->hasParameter ? &e->parameter : nullptr;
}

} // namespace dataobject

namespace conversions {

QString toString(dataobject::ImageFilterElementType type)
{
    using T = dataobject::ImageFilterElementType;
    switch (type)
    {
    case T::Gamma: return QStringLiteral("Gamma");
    case T::Invert: return QStringLiteral("Invert");
    case T::Sharpen: return QStringLiteral("Sharpen");
    case T::HistogramEqualization: return QStringLiteral("HistogramEqualization");
    case T::Denoise: return QStringLiteral("Denoise");
    }
    return QStringLiteral("Unknown(%1)").arg(static_cast<int>(type));
}

} // namespace conversions
