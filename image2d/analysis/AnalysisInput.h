#pragma once

// The pixel-type check of the analysis algorithms that take one type only.

#include "image2d/framework/Log.h"
#include "platform/pixeldata/Image2D.h"

#include <QByteArray>
#include <QString>

namespace image2d {

/// True when `image` has pixel type `type`; otherwise warns
/// "<owner>: input not of type Image2D::DataType::<TYPE>: " followed by the key, and false.
inline bool requireDataType(const Image2D& image, Image2D::DataType type, const char* owner, const QString& key)
{
    if (image.getDataType() == type)
        return true;
    const QByteArray text =
        QByteArray(owner) + ": input not of type Image2D::DataType::" + Image2D::dataTypeString(type).toLatin1() + ": ";
    warning(text.constData(), key);
    return false;
}

} // namespace image2d
