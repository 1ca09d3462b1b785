#pragma once

#include <optional>
#include <utility>

namespace utility {

/// A value that may be absent: the result of operations that can fail and of the
/// typed parameter getters.
template <typename T>
class Optional : public std::optional<T>
{
public:
    using std::optional<T>::optional;
    Optional() = default;
    Optional(std::nullopt_t) : std::optional<T>() {}

    bool hasValue() const { return this->has_value(); }
    bool isEmpty() const { return !this->has_value(); }
};

} // namespace utility
