#pragma once

namespace math {

/// Three-component vector of the maths library.
template <typename T>
struct BasicVec3
{
    T x{};
    T y{};
    T z{};

    constexpr BasicVec3() = default;
    constexpr BasicVec3(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}

    constexpr T& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    constexpr const T& operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    constexpr BasicVec3 operator+(const BasicVec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr BasicVec3 operator-(const BasicVec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr BasicVec3 operator*(T s) const { return {x * s, y * s, z * s}; }
    constexpr bool operator==(const BasicVec3&) const = default;
};

using Vec3 = BasicVec3<float>;
using Ivec3 = BasicVec3<int>;

} // namespace math
