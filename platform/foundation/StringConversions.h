#pragma once

#include <QString>
#include <QTransform>

/// Text forms of foundation types, stable across runs (used in cache keys).
class StringConversions
{
public:
    /// "[m11,m12,m13;m21,m22,m23;m31,m32,m33]", each number in its shortest round-trip form.
    static QString transformToString(const QTransform& transform);
};
