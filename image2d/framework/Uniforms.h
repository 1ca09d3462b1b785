#pragma once

#include "platform/utility/Optional.h"

#include <QHash>
#include <QPoint>
#include <QString>
#include <QVariant>

namespace image2d {

/// Named, loosely typed parameter store of every algorithm and of each filter in a
/// filter set. Copies share the hash until one side writes (Qt implicit sharing).
class Uniforms
{
public:
    Uniforms() = default;
    Uniforms(const Uniforms&) = default;
    Uniforms& operator=(const Uniforms&) = default;
    virtual ~Uniforms();

    /// Inserts the value, replacing any value under the key.
    void setUniformValue(const QString& key, QVariant value);
    /// Replaces the whole store.
    void setUniforms(const QHash<QString, QVariant>& uniforms);
    QHash<QString, QVariant> getUniforms() const { return m_uniforms; }
    /// The stored value, or an invalid QVariant when the key is absent.
    QVariant getUniformValue(const QString& key) const { return m_uniforms.value(key); }

    /// Holds a value only when the stored value is of type bool exactly.
    utility::Optional<bool> getUniformBoolValue(const QString& key) const;
    /// Hold a value when the stored value converts to the number type.
    utility::Optional<double> getUniformDoubleValue(const QString& key) const;
    utility::Optional<float> getUniformFloatValue(const QString& key) const;
    utility::Optional<int> getUniformIntValue(const QString& key) const;
    /// Holds a value only when the stored value is a QPoint exactly.
    utility::Optional<QPoint> getUniformPointValue(const QString& key) const;

private:
    QHash<QString, QVariant> m_uniforms;
};

} // namespace image2d
