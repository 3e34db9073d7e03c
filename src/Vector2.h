// Two-dimensional float vector: every position, velocity, force and size in the game.
// A plain inline value, as cheap as two floats.
#pragma once

#include <cassert>
#include <cmath>

class Vector2 {
public:
    float x;
    float y;

    Vector2() : x(0), y(0) {}
    Vector2(float x, float y) : x(x), y(y) {}

    // The assertion text is what a failing index reports; keep it as written.
    // clang-format off
    float& operator[](unsigned Position)
    {
        assert(Position<2);
        return Position == 0 ? x : y;
    }
    const float& operator[](unsigned Position) const
    {
        assert(Position<2);
        return Position == 0 ? x : y;
    }
    // clang-format on

    Vector2& operator+=(const Vector2& v)
    {
        x = x + v.x;
        y = y + v.y;
        return *this;
    }
    Vector2& operator-=(const Vector2& v)
    {
        x = x - v.x;
        y = y - v.y;
        return *this;
    }
    Vector2& operator*=(float s)
    {
        x = x * s;
        y = y * s;
        return *this;
    }
    // Two true divisions, not a multiplication by 1/s.
    Vector2& operator/=(float s)
    {
        x = x / s;
        y = y / s;
        return *this;
    }

    // Exact compare, no epsilon.
    bool operator==(const Vector2& v) { return x == v.x && y == v.y; }
    bool operator!=(const Vector2& v) { return !(*this == v); }

    Vector2 operator-() { return Vector2(-x, -y); }
    Vector2 operator+(const Vector2& v) { return Vector2(x + v.x, y + v.y); }
    Vector2 operator-(const Vector2& v) { return Vector2(x - v.x, y - v.y); }
    Vector2 operator*(float s) { return Vector2(x * s, y * s); }
    Vector2 operator/(float s) { return Vector2(x / s, y / s); }

    void Set(float nx, float ny)
    {
        x = nx;
        y = ny;
    }

    float Length() const { return std::sqrt(LengthSqr()); }
    float LengthSqr() const { return x * x + y * y; }
    bool IsZero() const { return x == 0 && y == 0; }

    // Scales by the reciprocal of the length. A length of zero or NaN scales by 0: the zero
    // vector stays zero, and (NaN, 1) becomes (NaN, 0).
    Vector2& Normalize()
    {
        const float length = Length();
        const float factor = length > 0 ? 1 / length : 0;
        x = x * factor;
        y = y * factor;
        return *this;
    }
};

inline bool operator==(const Vector2& a, const Vector2& b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(const Vector2& a, const Vector2& b) { return !(a == b); }
inline Vector2 operator-(const Vector2& a) { return Vector2(-a.x, -a.y); }
inline Vector2 operator+(const Vector2& a, const Vector2& b)
{
    return Vector2(a.x + b.x, a.y + b.y);
}
inline Vector2 operator-(const Vector2& a, const Vector2& b)
{
    return Vector2(a.x - b.x, a.y - b.y);
}
inline Vector2 operator*(const Vector2& a, float s) { return Vector2(a.x * s, a.y * s); }
inline Vector2 operator*(float s, const Vector2& a) { return Vector2(s * a.x, s * a.y); }
inline Vector2 operator/(const Vector2& a, float s) { return Vector2(a.x / s, a.y / s); }
