#include "image2d/framework/Parameters.h"

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Log.h"

#include <QByteArray>

namespace image2d {

const char* toString(ValueKind kind)
{
    switch (kind)
    {
    case ValueKind::Int: return "int";
    case ValueKind::UInt: return "unsigned int";
    case ValueKind::Float: return "float";
    case ValueKind::Double: return "double";
    case ValueKind::Bool: return "bool";
    case ValueKind::Point: return "point";
    case ValueKind::Text: return "text";
    case ValueKind::Enumeration: return "enumeration";
    case ValueKind::Variant: return "any value";
    }
    return "?";
}

bool Bounds::contains(double value) const
{
    if (std::isnan(value))
        return allowNaN;
    if (finite && !std::isfinite(value))
        return false;
    const bool aboveLow = lowOpen ? value > low : value >= low;
    const bool belowHigh = highOpen ? value < high : value <= high;
    return aboveLow && belowHigh;
}

QString Bounds::describe() const
{
    const bool unboundedLow = std::isinf(low) && low < 0, unboundedHigh = std::isinf(high) && high > 0;
    QString text;
    if (unboundedLow && unboundedHigh)
        text = finite ? QStringLiteral("any finite number") : QStringLiteral("any number");
    else if (unboundedHigh)
        text = QStringLiteral("%1 %2").arg(lowOpen ? ">" : ">=").arg(low);
    else if (unboundedLow)
        text = QStringLiteral("%1 %2").arg(highOpen ? "<" : "<=").arg(high);
    else
        text = QStringLiteral("%1%2, %3%4").arg(lowOpen ? "(" : "[").arg(low).arg(high).arg(highOpen ? ")" : "]");
    if (finite && !(unboundedLow && unboundedHigh))
        text += QStringLiteral(", finite");
    if (allowNaN)
        text += QStringLiteral(", NaN allowed");
    return text;
}

namespace {

void warnKey(const char* owner, const char* what, const QString& key)
{
    const QByteArray text = QByteArray(owner) + what;
    warning(text.constData(), key);
}

bool isNumeric(ValueKind kind)
{
    return kind == ValueKind::Int || kind == ValueKind::UInt || kind == ValueKind::Float || kind == ValueKind::Double;
}

} // namespace

// Whether the stored value passes the declared conversion, and its number for the bounds.
bool ParameterInfo::convertsAs(const QVariant& value, ValueKind kind, double& number) const
{
    bool ok = false;
    number = 0.0;
    switch (kind)
    {
    case ValueKind::Int: number = value.toInt(&ok); return ok;
    case ValueKind::UInt: number = value.toUInt(&ok); return ok;
    case ValueKind::Float: number = value.toFloat(&ok); return ok;
    case ValueKind::Double: number = value.toDouble(&ok); return ok;
    case ValueKind::Bool: return value.typeId() == QMetaType::Bool;
    case ValueKind::Point: return value.typeId() == QMetaType::QPoint;
    case ValueKind::Text:
    case ValueKind::Enumeration: return QVariant(value).convert(m_readType);
    case ValueKind::Variant: return true;
    }
    return false;
}

void warnMissingKey(const char* owner, const QString& key)
{
    warnKey(owner, " : missing input: ", key);
}

void warnInvalidKey(const char* owner, const QString& key)
{
    warnKey(owner, " : invalid input: ", key);
}

void warnOutOfRangeKey(const char* owner, const QString& key)
{
    warnKey(owner, " : value out of range: ", key);
}

int ParameterInfo::check(const Uniforms& uniforms) const
{
    if (!m_validated)
        return 0;
    const QVariant value = uniforms.getUniformValue(key());
    if (!value.isValid())
        return required() ? 1 : 0;
    double number = 0.0;
    if (!convertsAs(value, m_checkedAs, number))
        return 2;
    // The bounds apply to the value as it is read, which may differ from the checked one.
    if (m_readAs != m_checkedAs && !convertsAs(value, m_readAs, number))
        return 2;
    if (isNumeric(m_readAs) && !m_bounds.contains(number))
        return 3;
    return 0;
}

bool ParameterInfo::accepts(double value, const char* owner) const
{
    if (m_bounds.contains(value))
        return true;
    m_messages.outOfRange(owner, key());
    return false;
}

bool ParameterInfo::validate(const Algorithm& algorithm, const char* owner) const
{
    switch (check(algorithm))
    {
    case 1:
        m_messages.missing(owner, key());
        return algorithm.fail(FailureReason::Missing, key());
    case 2:
        m_messages.invalid(owner, key());
        return algorithm.fail(FailureReason::Invalid, key());
    case 3:
        m_messages.outOfRange(owner, key());
        return algorithm.fail(FailureReason::OutOfRange, key());
    default:
        return true;
    }
}

} // namespace image2d
