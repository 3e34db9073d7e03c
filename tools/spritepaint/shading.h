// The painter's shading and shapes: colours, the light from the top left, fixed-seed noise, and a
// canvas on which shapes given as distance fields are painted, anti-aliased, at any size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kSize = 64;      // a sprite's pixels across, and the units of the art across
constexpr float kMid = 32.0f;  // centre of the sprite (pixel edges at integers)
constexpr float kBody = 31.0f; // body radius: its anti-aliased edge stays inside r = 32

// ---------------------------------------------------------------- colour & light

struct Rgb {
    float r, g, b;
};
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Rgb mix(Rgb a, Rgb b, float t) { return a * (1.0f - t) + b * t; }
constexpr Rgb kWhite {255, 255, 255};
constexpr Rgb kBlack {0, 0, 0};

struct Vec3 {
    float x, y, z;
};
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Screen axes: x right, y down, z towards the player. Light comes from the top left; kHalf lies
// halfway between it and the viewer, for highlights.
extern const Vec3 kLight;
extern const Vec3 kHalf;

inline float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
float smoothstep(float a, float b, float v);

// Normal of a dome of radius r centred at (cx, cy), seen from the front.
Vec3 dome(float x, float y, float cx, float cy, float r);
// Normal of the round body of every sprite.
Vec3 bodyNormal(float x, float y);

// Soft, fleshy shading: wrapped diffuse, a dark rim and a broad dull highlight.
Rgb softShade(Rgb albedo, Vec3 n, float gloss);

// ---------------------------------------------------------------- noise (fixed seeds)

uint32_t hash(int x, int y, uint32_t seed);
float hash01(int x, int y, uint32_t seed); // 0..1
float valueNoise(float x, float y, uint32_t seed);
float fbm(float x, float y, uint32_t seed); // roughly -1..1

// Cellular noise: distances to the nearest and second nearest jittered point.
struct Cells {
    float f1, f2;
    uint32_t id;
};
Cells cells(float x, float y, uint32_t seed);

// ---------------------------------------------------------------- canvas & shapes

// The art is drawn in a frame of kSize by kSize units; a canvas paints it at any size in pixels,
// a sprite at one pixel to the unit, an icon at more or fewer.
struct Canvas {
    explicit Canvas(int pixels)
        : size(pixels), scale(float(pixels) / kSize), colour(size_t(pixels) * pixels),
          coverage(colour.size())
    {
    }
    int size;    // pixels across
    float scale; // pixels to the unit of the art
    std::vector<Rgb> colour;
    std::vector<float> coverage; // 0 = transparent (mask colour), 1 = solid

    Rgb& px(int x, int y) { return colour[size_t(y) * size + x]; }
    float& cover(int x, int y) { return coverage[size_t(y) * size + x]; }
    Rgb px(int x, int y) const { return colour[size_t(y) * size + x]; }
    float cover(int x, int y) const { return coverage[size_t(y) * size + x]; }
    // Where in the art a pixel's centre, or a point a fraction of the way across it, lies.
    float at(int pixel, float fraction = 0.5f) const { return (pixel + fraction) / scale; }
};

// Distance fields, in units of the art, negative inside.
float circle(float x, float y, float cx, float cy, float r);
float ellipse(float x, float y, float cx, float cy, float rx, float ry);
float segment(float x, float y, float ax, float ay, float bx, float by, float halfWidth);

// Blends shade(x, y) over the canvas wherever sdf(x, y) < 0, anti-aliased.
template <class Sdf, class Shade> void paint(Canvas& c, Sdf sdf, Shade shade)
{
    for (int y = 0; y < c.size; ++y)
        for (int x = 0; x < c.size; ++x) {
            float px = c.at(x), py = c.at(y);
            float a = clamp01(0.5f - sdf(px, py) * c.scale);
            if (a > 0)
                c.px(x, y) = mix(c.px(x, y), shade(px, py), a);
        }
}

// The round body: every pixel whose centre lies within kBody (+ half a pixel of
// anti-aliasing) is solid; shade(x, y) gives its colour, averaged over a 3x3
// grid inside each pixel so fine detail doesn't sparkle.
template <class Shade> void body(Canvas& c, Shade shade)
{
    for (int y = 0; y < c.size; ++y)
        for (int x = 0; x < c.size; ++x) {
            c.cover(x, y) = clamp01(0.5f - circle(c.at(x), c.at(y), kMid, kMid, kBody) * c.scale);
            c.px(x, y) = kBlack;
            if (c.cover(x, y) <= 0)
                continue;
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i)
                    c.px(x, y) = c.px(x, y)
                        + shade(c.at(x, (i + 0.5f) / 3), c.at(y, (j + 0.5f) / 3)) * (1.0f / 9);
        }
}
