#include "platform/foundation/StringConversions.h"

#include <QLocale>

QString StringConversions::transformToString(const QTransform& t)
{
    const auto n = [](double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); };
    return QStringLiteral("[%1,%2,%3;%4,%5,%6;%7,%8,%9]")
        .arg(n(t.m11()), n(t.m12()), n(t.m13()), n(t.m21()), n(t.m22()), n(t.m23()), n(t.m31()), n(t.m32()),
             n(t.m33()));
}
