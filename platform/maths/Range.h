#pragma once

namespace math {

/// A closed interval [minimum, maximum].
template <typename T>
class Range
{
public:
    Range() = default;
    Range(T minimum, T maximum) : m_min(minimum), m_max(maximum) {}

    T getMin() const { return m_min; }
    T getMax() const { return m_max; }
    void setMin(T v) { m_min = v; }
    void setMax(T v) { m_max = v; }
    T getLength() const { return m_max - m_min; }
    bool contains(T v) const { return v >= m_min && v <= m_max; }

    bool operator==(const Range& other) const = default;

private:
    T m_min{};
    T m_max{};
};

} // namespace math
