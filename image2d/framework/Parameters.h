#pragma once

// Each parameter of an algorithm class is declared once, beside its key: how it is checked
// and read, its bounds, its value when absent and a one-line doc. Validation, the docs and
// the bindings come from the declarations, and the catalogue test (tests/support/
// AlgorithmCatalog.h) checks every declaration of every class against its warnings.

#include "image2d/framework/Uniforms.h"
#include "platform/utility/Optional.h"

#include <QList>
#include <QMetaType>
#include <QPoint>
#include <QString>
#include <QVariant>

#include <cmath>
#include <limits>
#include <optional>
#include <type_traits>

namespace image2d {

class Algorithm;

/// How a parameter value is converted from the store: the typed getters of Uniforms.
/// A few parameters are checked with one conversion and read with another (a float
/// value that must also convert to int, say); the declaration names both.
enum class ValueKind
{
    Int,         ///< QVariant::toInt succeeds
    UInt,        ///< QVariant::toUInt succeeds
    Float,       ///< QVariant::toFloat succeeds
    Double,      ///< QVariant::toDouble succeeds
    Bool,        ///< the stored type is bool exactly
    Point,       ///< the stored type is QPoint exactly
    Text,        ///< QVariant::convert to the declared type succeeds (a QString, a QSize, ...)
    Enumeration, ///< QVariant::convert to the declared enumeration succeeds
    Variant,     ///< any value; the algorithm interprets it itself
};

/// Text of a kind for documentation ("int", "float", ...).
const char* toString(ValueKind kind);

/// The admissible values of a numeric parameter: an interval whose ends may be open,
/// closed or absent. NaN is outside unless allowed; infinities are outside when the
/// interval is marked finite.
struct Bounds
{
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    bool lowOpen = false;
    bool highOpen = false;
    bool finite = false;
    bool allowNaN = false;

    bool contains(double value) const;
    /// "[0, 2047]", "(0, inf)", "any number", ... for the docs.
    QString describe() const;

    static constexpr Bounds any() { return Bounds{}; }
    static constexpr Bounds anyIncludingNaN() { return Bounds{.allowNaN = true}; }
    static constexpr Bounds atLeast(double low) { return Bounds{.low = low}; }
    static constexpr Bounds finiteAtLeast(double low) { return Bounds{.low = low, .finite = true}; }
    static constexpr Bounds above(double low) { return Bounds{.low = low, .lowOpen = true}; }
    static constexpr Bounds between(double low, double high) { return Bounds{.low = low, .high = high}; }
    static constexpr Bounds finiteValue() { return Bounds{.finite = true}; }
};

/// Prints one validation warning for a parameter key, e.g. the usual
/// "<owner> : missing input: <key>" or an algorithm's own wording.
using KeyWarning = void (*)(const char* owner, const QString& key);

/// "<owner> : missing input: " key
void warnMissingKey(const char* owner, const QString& key);
/// "<owner> : invalid input: " key
void warnInvalidKey(const char* owner, const QString& key);
/// "<owner> : value out of range: " key
void warnOutOfRangeKey(const char* owner, const QString& key);

/// Which warning each failed check of a parameter gives. The defaults are the library's
/// usual pattern; some algorithms word a check their own way.
struct ParameterMessages
{
    KeyWarning missing = warnMissingKey;    ///< the key is absent
    KeyWarning invalid = warnInvalidKey;    ///< the value does not convert
    KeyWarning outOfRange = warnInvalidKey; ///< the value converts but lies outside the bounds
};

/// Type-erased view of one parameter declaration: what validation, the documentation
/// and the language bindings need to know about it.
class ParameterInfo
{
public:
    virtual ~ParameterInfo() = default;

    const QString& key() const { return *m_key; }
    ValueKind checkedAs() const { return m_checkedAs; }
    ValueKind readAs() const { return m_readAs; }
    const Bounds& bounds() const { return m_bounds; }
    const char* doc() const { return m_doc; }
    const ParameterMessages& messages() const { return m_messages; }
    /// The value used when the key is absent; invalid when the parameter is required.
    virtual QVariant fallback() const = 0;
    bool required() const { return !fallback().isValid(); }
    /// False for a lenient parameter: never validated, its fallback stands in for an absent
    /// or unconvertible value.
    bool validated() const { return m_validated; }

    /// Checks presence, conversion and bounds in that order; on failure prints the
    /// declared warning with `owner` and records the reason on `algorithm`.
    bool validate(const Algorithm& algorithm, const char* owner) const;
    /// The same checks without warnings: 0 ok, 1 missing, 2 not convertible, 3 out of bounds.
    int check(const Uniforms& uniforms) const;
    /// For core functions, which take typed values: whether `value` lies inside the bounds;
    /// prints the declared out-of-range warning with `owner` otherwise.
    bool accepts(double value, const char* owner) const;

protected:
    ParameterInfo(const QString* key, ValueKind checkedAs, ValueKind readAs, QMetaType readType, Bounds bounds,
                  const char* doc, ParameterMessages messages, bool validated)
        : m_key(key), m_checkedAs(checkedAs), m_readAs(readAs), m_readType(readType), m_bounds(bounds), m_doc(doc),
          m_messages(messages), m_validated(validated)
    {
    }

private:
    bool convertsAs(const QVariant& value, ValueKind kind, double& number) const;

    const QString* m_key; // the class's static key constant
    ValueKind m_checkedAs;
    ValueKind m_readAs;
    QMetaType m_readType; // the declared type, for Text and Enumeration conversions
    Bounds m_bounds;
    const char* m_doc;
    ParameterMessages m_messages;
    bool m_validated;
};

/// Tag of the lenient parameter constructor.
struct Lenient
{
};

namespace parameters_detail {
template <typename T>
constexpr ValueKind kindOf()
{
    if constexpr (std::is_same_v<T, int>)
        return ValueKind::Int;
    else if constexpr (std::is_same_v<T, unsigned int>)
        return ValueKind::UInt;
    else if constexpr (std::is_same_v<T, float>)
        return ValueKind::Float;
    else if constexpr (std::is_same_v<T, double>)
        return ValueKind::Double;
    else if constexpr (std::is_same_v<T, bool>)
        return ValueKind::Bool;
    else if constexpr (std::is_same_v<T, QPoint>)
        return ValueKind::Point;
    else if constexpr (std::is_enum_v<T>)
        return ValueKind::Enumeration;
    else if constexpr (std::is_same_v<T, QVariant>)
        return ValueKind::Variant;
    else
        return ValueKind::Text;
}
} // namespace parameters_detail

/// One parameter of an algorithm, declared once: key, how it is checked and read, its
/// bounds, its value when absent (none: required) and a one-line doc. Declared as a static
/// member beside the key, e.g.
///     const Parameter<int> AreaAverage::RADIUS_PARAMETER{&KERNEL_RADIUS, Bounds::atLeast(0), "window radius"};
template <typename T>
class Parameter final : public ParameterInfo
{
public:
    /// A required parameter checked and read as T.
    Parameter(const QString* key, Bounds bounds, const char* doc, ParameterMessages messages = {})
        : ParameterInfo(key, kind, kind, QMetaType::fromType<T>(), bounds, doc, messages, true)
    {
    }
    /// A required parameter checked with another conversion than the one it is read with.
    Parameter(const QString* key, ValueKind checkedAs, Bounds bounds, const char* doc, ParameterMessages messages = {})
        : ParameterInfo(key, checkedAs, kind, QMetaType::fromType<T>(), bounds, doc, messages, true)
    {
    }
    /// An optional parameter: `fallback` when the key is absent; a present value is validated.
    Parameter(const QString* key, T fallback, Bounds bounds, const char* doc, ParameterMessages messages = {})
        : ParameterInfo(key, kind, kind, QMetaType::fromType<T>(), bounds, doc, messages, true), m_fallback(fallback)
    {
    }
    /// A lenient parameter: never validated; `fallback` when absent or not convertible.
    Parameter(const QString* key, T fallback, Lenient, const char* doc)
        : ParameterInfo(key, kind, kind, QMetaType::fromType<T>(), Bounds::anyIncludingNaN(), doc, {}, false),
          m_fallback(fallback)
    {
    }

    QVariant fallback() const override { return m_fallback ? QVariant::fromValue(*m_fallback) : QVariant(); }

    /// The stored value converted as declared (no bounds check); empty when absent or not
    /// convertible.
    utility::Optional<T> get(const Uniforms& uniforms) const
    {
        if constexpr (std::is_same_v<T, int>)
            return uniforms.getUniformIntValue(key());
        else if constexpr (std::is_same_v<T, unsigned int>)
        {
            bool ok = false;
            const unsigned int value = uniforms.getUniformValue(key()).toUInt(&ok);
            return ok ? utility::Optional<T>(value) : utility::Optional<T>();
        }
        else if constexpr (std::is_same_v<T, float>)
            return uniforms.getUniformFloatValue(key());
        else if constexpr (std::is_same_v<T, double>)
            return uniforms.getUniformDoubleValue(key());
        else if constexpr (std::is_same_v<T, bool>)
            return uniforms.getUniformBoolValue(key());
        else if constexpr (std::is_same_v<T, QPoint>)
            return uniforms.getUniformPointValue(key());
        else if constexpr (std::is_same_v<T, QVariant>)
        {
            const QVariant value = uniforms.getUniformValue(key());
            return value.isValid() ? utility::Optional<T>(value) : utility::Optional<T>();
        }
        else
        {
            QVariant value = uniforms.getUniformValue(key());
            if (!value.isValid() || !value.convert(QMetaType::fromType<T>()))
                return {};
            return value.value<T>();
        }
    }

    /// The value to run with: the stored one, or the fallback when absent or not
    /// convertible. Call after validation, or for optional parameters.
    T operator()(const Uniforms& uniforms) const
    {
        const utility::Optional<T> value = get(uniforms);
        return value ? *value : m_fallback.value_or(T{});
    }

private:
    static constexpr ValueKind kind = parameters_detail::kindOf<T>();
    std::optional<T> m_fallback;
};

/// The declared parameters of one algorithm class, in the order it validates them.
using ParameterList = QList<const ParameterInfo*>;

} // namespace image2d
