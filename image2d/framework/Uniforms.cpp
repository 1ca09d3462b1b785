#include "image2d/framework/Uniforms.h"

namespace image2d {

Uniforms::~Uniforms() = default;

void Uniforms::setUniformValue(const QString& key, QVariant value)
{
    m_uniforms.insert(key, std::move(value));
}

void Uniforms::setUniforms(const QHash<QString, QVariant>& uniforms)
{
    m_uniforms = uniforms;
}

utility::Optional<bool> Uniforms::getUniformBoolValue(const QString& key) const
{
    const QVariant v = getUniformValue(key);
    if (!v.isValid() || v.typeId() != QMetaType::Bool)
        return {};
    return v.toBool();
}

utility::Optional<double> Uniforms::getUniformDoubleValue(const QString& key) const
{
    const QVariant v = getUniformValue(key);
    bool ok = false;
    const double d = v.isValid() ? v.toDouble(&ok) : 0.0;
    if (!ok)
        return {};
    return d;
}

utility::Optional<float> Uniforms::getUniformFloatValue(const QString& key) const
{
    const QVariant v = getUniformValue(key);
    bool ok = false;
    const float f = v.isValid() ? v.toFloat(&ok) : 0.0f;
    if (!ok)
        return {};
    return f;
}

utility::Optional<int> Uniforms::getUniformIntValue(const QString& key) const
{
    const QVariant v = getUniformValue(key);
    bool ok = false;
    const int i = v.isValid() ? v.toInt(&ok) : 0;
    if (!ok)
        return {};
    return i;
}

utility::Optional<QPoint> Uniforms::getUniformPointValue(const QString& key) const
{
    const QVariant v = getUniformValue(key);
    if (!v.isValid() || v.typeId() != QMetaType::QPoint)
        return {};
    return v.toPoint();
}

} // namespace image2d
