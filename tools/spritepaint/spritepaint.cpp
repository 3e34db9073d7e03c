// spritepaint: paints Outbreak's sprite art -- the six aliens, the hard ball
// and the infection overlay -- with Allegro's bitmap routines and saves each
// one as a 64x64 BMP, ready for the `dat` tool to pack into base.dat.
// The art is procedural and deterministic (fixed-seed noise only), so every
// build of the datafile carries exactly the same pixels.
//
//   spritepaint OUTDIR            OUTDIR/Enemy/<kind>Alien, OUTDIR/Enemy/HardBall,
//                                 OUTDIR/Effects/Infected_bmp and a preview OUTDIR/sheet.bmp
//   spritepaint --sheet FILE.bmp  only the preview: every sprite at its on-screen
//                                 size (32x32) on black, and each alien infected
//   spritepaint --icon N FILE.png the game's icon, N pixels square, see-through round it
//   spritepaint --xpm N FILE.cpp  the same as an XPM image in C++ source: the window's icon
//
// Pixels of colour (255,0,255) are transparent in game; everything outside the
// round body is that colour, and the body's soft edge fades to black, never pink.

#include <allegro.h>

#include "util.h"
#include <loadpng.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kSize = 64;
constexpr float kMid = 32.0f;  // centre of the sprite (pixel edges at integers)
constexpr float kBody = 31.0f; // body radius: its anti-aliased edge stays inside r = 32

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "spritepaint: %s\n", what.c_str());
    std::exit(EXIT_FAILURE);
}

// ---------------------------------------------------------------- colour & light

struct Rgb {
    float r, g, b;
};
Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
Rgb mix(Rgb a, Rgb b, float t) { return a * (1.0f - t) + b * t; }
const Rgb kWhite {255, 255, 255};
const Rgb kBlack {0, 0, 0};

struct Vec3 {
    float x, y, z;
};
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 normalize(Vec3 v)
{
    float l = std::sqrt(dot(v, v));
    return {v.x / l, v.y / l, v.z / l};
}

// Screen axes: x right, y down, z towards the player. Light comes from the top left.
const Vec3 kLight = normalize({-0.55f, -0.7f, 0.65f});
const Vec3 kHalf = normalize({kLight.x, kLight.y, kLight.z + 1.0f});

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
float smoothstep(float a, float b, float v)
{
    float t = clamp01((v - a) / (b - a));
    return t * t * (3.0f - 2.0f * t);
}

// Normal of a dome of radius r centred at (cx, cy), seen from the front.
Vec3 dome(float x, float y, float cx, float cy, float r)
{
    float dx = (x - cx) / r, dy = (y - cy) / r;
    float r2 = dx * dx + dy * dy;
    if (r2 > 0.995f) {
        float s = std::sqrt(0.995f / r2);
        dx *= s, dy *= s, r2 = 0.995f;
    }
    return {dx, dy, std::sqrt(1.0f - r2)};
}
Vec3 bodyNormal(float x, float y) { return dome(x, y, kMid, kMid, kBody); }

// Soft, fleshy shading: wrapped diffuse, a dark rim and a broad dull highlight.
Rgb softShade(Rgb albedo, Vec3 n, float gloss)
{
    float wrap = std::max(0.0f, (dot(n, kLight) + 0.4f) / 1.4f);
    float rim = 1.0f - n.z;
    float light = (0.14f + 1.0f * wrap) * (1.0f - 0.5f * rim * rim);
    float shine = std::pow(std::max(0.0f, dot(n, kHalf)), 16.0f) * gloss;
    return albedo * light + kWhite * shine;
}

// ---------------------------------------------------------------- noise (fixed seeds)

uint32_t hash(int x, int y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B9u ^ uint32_t(x) * 0x85EBCA6Bu ^ uint32_t(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}
float hash01(int x, int y, uint32_t seed) { return float(hash(x, y, seed) >> 8) / 16777216.0f; }

float valueNoise(float x, float y, uint32_t seed)
{
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = smoothstep(0, 1, x - ix), fy = smoothstep(0, 1, y - iy);
    float a = hash01(ix, iy, seed), b = hash01(ix + 1, iy, seed);
    float c = hash01(ix, iy + 1, seed), d = hash01(ix + 1, iy + 1, seed);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

// Roughly -1..1.
float fbm(float x, float y, uint32_t seed)
{
    float sum = 0, amp = 0.5f;
    for (int o = 0; o < 3; ++o, x *= 2.03f, y *= 2.03f, amp *= 0.5f)
        sum += amp * (valueNoise(x, y, seed + o) * 2 - 1);
    return sum / 0.875f;
}

// Cellular noise: distances to the nearest and second nearest jittered point.
struct Cells {
    float f1, f2;
    uint32_t id;
};
Cells cells(float x, float y, uint32_t seed)
{
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    Cells c {9, 9, 0};
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            float px = ix + i + 0.15f + 0.7f * hash01(ix + i, iy + j, seed);
            float py = iy + j + 0.15f + 0.7f * hash01(ix + i, iy + j, seed + 77);
            float d = std::hypot(x - px, y - py);
            if (d < c.f1) {
                c.f2 = c.f1, c.f1 = d, c.id = hash(ix + i, iy + j, seed + 5);
            } else if (d < c.f2) {
                c.f2 = d;
            }
        }
    return c;
}

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
float circle(float x, float y, float cx, float cy, float r)
{
    return std::hypot(x - cx, y - cy) - r;
}
float ellipse(float x, float y, float cx, float cy, float rx, float ry)
{
    float k = std::hypot((x - cx) / rx, (y - cy) / ry);
    return (k - 1.0f) * std::min(rx, ry);
}
float segment(float x, float y, float ax, float ay, float bx, float by, float halfWidth)
{
    float vx = bx - ax, vy = by - ay;
    float t = clamp01(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy));
    return std::hypot(x - ax - t * vx, y - ay - t * vy) - halfWidth;
}

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

// ---------------------------------------------------------------- aliens

enum class Skin { Pores, Blotches, Scales, Pearl, Wrinkles, Flecks };

struct Alien {
    Rgb colour;
    Skin skin;
    uint32_t seed;
    float gloss;
    void (*face)(Canvas&, const Alien&);
};

// Skin albedo at (x, y): the fine surface texture each kind is grown with.
Rgb skin(const Alien& a, float x, float y)
{
    Rgb c = a.colour * (1.0f + 0.07f * fbm(x / 3.0f, y / 3.0f, a.seed));
    switch (a.skin) {
    case Skin::Pores: { // small dark pits of different sizes, not in every cell
        Cells k = cells(x / 4.0f, y / 4.0f, a.seed + 1);
        float size = float(k.id % 5) * 0.07f; // 0 .. 0.28 of a cell
        return c * (0.78f + 0.22f * smoothstep(size - 0.08f, size + 0.04f, k.f1));
    }
    case Skin::Blotches: { // paler frog-like patches with a few pits
        float b = smoothstep(0.15f, 0.35f, fbm(x / 7.0f, y / 7.0f, a.seed + 2));
        Cells k = cells(x / 5.0f, y / 5.0f, a.seed + 3);
        return mix(c, Rgb {200, 240, 110}, 0.38f * b)
            * (0.8f + 0.2f * smoothstep(0.08f, 0.22f, k.f1));
    }
    case Skin::Scales: { // tiny plates, each a touch different, with dark seams
        Cells k = cells(x / 3.6f, y / 3.6f, a.seed + 4);
        float plate = 0.93f + 0.14f * float(k.id & 255) / 255.0f;
        return c * plate * (0.74f + 0.26f * smoothstep(0.04f, 0.2f, k.f2 - k.f1));
    }
    case Skin::Pearl: { // milky, with a faint bluish mottle
        float m = smoothstep(-0.2f, 0.5f, fbm(x / 6.0f, y / 6.0f, a.seed + 7));
        return mix(c, Rgb {185, 195, 235}, 0.35f * m);
    }
    case Skin::Wrinkles: { // fine folds
        float r = 1.0f - std::fabs(fbm(x / 6.0f, y / 9.0f, a.seed + 5));
        return c * (1.08f - 0.3f * std::pow(r, 6.0f));
    }
    case Skin::Flecks: { // dark hide with a few glinting flecks
        float h = hash01(int(x), int(y), a.seed + 6);
        return h > 0.94f ? c + Rgb {40, 36, 70} : c;
    }
    }
    return c;
}

void paintSkin(Canvas& c, const Alien& a)
{
    body(c, [&](float x, float y) { return softShade(skin(a, x, y), bodyNormal(x, y), a.gloss); });
}

// A bulging eye: dark lid, white ball shaded as a little dome, coloured iris,
// pupil (round or a slit) and a glint towards the light.
struct Eye {
    float x, y, r;
    Rgb lid, iris;
    float irisR, pupilW, pupilH;
};

void paintEye(Canvas& c, const Eye& e)
{
    paint(
        c, [&](float x, float y) { return circle(x, y, e.x, e.y, e.r + 1.5f); },
        [&](float, float) { return e.lid; });
    paint(
        c, [&](float x, float y) { return circle(x, y, e.x, e.y, e.r); },
        [&](float x, float y) {
            return softShade({245, 242, 232}, dome(x, y, e.x, e.y, e.r), 0.0f);
        });
    float ix = e.x + 0.08f * e.r, iy = e.y + 0.06f * e.r; // looking a little down and right
    paint(
        c, [&](float x, float y) { return circle(x, y, ix, iy, e.irisR); },
        [&](float x, float y) { return softShade(e.iris, dome(x, y, e.x, e.y, e.r), 0.0f); });
    paint(
        c, [&](float x, float y) { return ellipse(x, y, ix, iy, e.pupilW, e.pupilH); },
        [&](float, float) {
            return Rgb {8, 6, 10};
        });
    float g = std::max(1.3f, 0.24f * e.r);
    paint(
        c, [&](float x, float y) { return circle(x, y, e.x - 0.38f * e.r, e.y - 0.4f * e.r, g); },
        [&](float, float) { return kWhite; });
}

// A curved mouth line: the part of a ring (centre cx, cy, radius R) below y = cut.
void paintGrinLine(Canvas& c, float cx, float cy, float R, float cut, float halfWidth, Rgb colour)
{
    paint(
        c,
        [&](float x, float y) {
            return std::max(std::fabs(circle(x, y, cx, cy, R)) - halfWidth, cut - y);
        },
        [&](float, float) { return colour; });
}

// An open mouth: the crescent inside circle (32, cy1, r1) but outside circle
// (32, cy2, r2), edged with `lip`. teeth(x) is how far a tooth hangs down from
// the upper edge at x (<= 0 for none).
template <class Teeth>
void paintMouth(Canvas& c, float cy1, float r1, float cy2, float r2, Rgb lip, Teeth teeth)
{
    auto mouth = [=](float x, float y) {
        return std::max(circle(x, y, 32, cy1, r1), -circle(x, y, 32, cy2, r2));
    };
    paint(
        c, [&](float x, float y) { return mouth(x, y) - 1.4f; }, [&](float, float) { return lip; });
    paint(c, mouth, [&](float x, float y) {
        float upper = cy2 + std::sqrt(std::max(0.0f, r2 * r2 - (x - 32) * (x - 32)));
        return y - upper < teeth(x) ? Rgb {245, 240, 225} : Rgb {90, 10, 25};
    });
}

// Red: a cyclops -- one huge golden eye with a slit pupil -- and a fanged mouth.
void redFace(Canvas& c, const Alien&)
{
    paintEye(c, {32, 25.5f, 12.0f, {70, 8, 10}, {255, 190, 30}, 6.8f, 1.8f, 5.8f});
    paintMouth(c, 43, 8.5f, 38, 9.5f, {60, 6, 8}, [](float x) {
        float off = std::min(std::fabs(x - 28.5f), std::fabs(x - 35.5f));
        return 3.0f * (1.0f - off / 1.6f);
    });
}

// Green: two big round eyes with red irises and a wide smile.
void greenFace(Canvas& c, const Alien&)
{
    for (float ex : {21.5f, 42.5f})
        paintEye(c, {ex, 27, 8.0f, {20, 60, 15}, {220, 40, 30}, 4.8f, 2.6f, 2.9f});
    paintGrinLine(c, 32, 33, 11, 40, 1.4f, {20, 60, 15});
}

// Purple: three eyes, two above and one below, each with a slit pupil.
void purpleFace(Canvas& c, const Alien&)
{
    const Rgb lid {45, 10, 60}, iris {120, 230, 90};
    paintEye(c, {20.5f, 25, 6.8f, lid, iris, 4.0f, 1.2f, 3.6f});
    paintEye(c, {43.5f, 25, 6.8f, lid, iris, 4.0f, 1.2f, 3.6f});
    paintEye(c, {32, 41, 6.8f, lid, iris, 4.0f, 1.2f, 3.6f});
}

// White: two antennae with glowing red knobs, little black bead eyes, an "o" mouth.
void whiteFace(Canvas& c, const Alien&)
{
    const Rgb stalk {70, 70, 95};
    for (float side : {-1.0f, 1.0f}) {
        float bx = 32 + side * 5, tx = 32 + side * 13, ty = 12;
        paint(
            c, [&](float x, float y) { return segment(x, y, bx, 27, tx, ty, 1.7f); },
            [&](float, float) { return stalk; });
        paint(
            c, [&](float x, float y) { return circle(x, y, tx, ty, 5.6f); },
            [&](float, float) {
                return Rgb {60, 10, 10};
            });
        paint(
            c, [&](float x, float y) { return circle(x, y, tx, ty, 4.4f); },
            [&](float x, float y) {
                return softShade({255, 70, 50}, dome(x, y, tx, ty, 4.4f), 0.9f);
            });
    }
    for (float ex : {25.0f, 39.0f}) {
        paint(
            c, [&](float x, float y) { return ellipse(x, y, ex, 35, 3.2f, 4.4f); },
            [&](float, float) {
                return Rgb {15, 15, 25};
            });
        paint(
            c, [&](float x, float y) { return circle(x, y, ex - 1.1f, 33.3f, 1.2f); },
            [&](float, float) { return kWhite; });
    }
    paint(
        c, [&](float x, float y) { return std::fabs(ellipse(x, y, 32, 45, 3.4f, 2.8f)) - 1.2f; },
        [&](float, float) {
            return Rgb {40, 40, 60};
        });
}

// Gray: dark bands wrapped round the body like a grub's, two glowing yellow eyes
// in the light band across the middle.
void grayFace(Canvas& c, const Alien& a)
{
    paint(
        c,
        [&](float x, float y) {
            Vec3 n = bodyNormal(x, y);
            float lat = std::asin(std::clamp(n.y, -1.0f, 1.0f)) + 0.12f * std::sin(n.x * 7.0f);
            // three bands, at latitudes -0.95, -0.42 and 0.5 rad, some 9 pixels wide at the front
            float d
                = std::min({std::fabs(lat + 0.95f), std::fabs(lat + 0.42f), std::fabs(lat - 0.5f)});
            return (d - 0.14f) * kBody * n.z;
        },
        [&](float x, float y) {
            return softShade(skin(a, x, y) * 0.42f, bodyNormal(x, y), a.gloss * 0.5f);
        });
    for (float side : {-1.0f, 1.0f}) {
        float ex = 32 + side * 8.5f;
        auto tilt = [side, ex](float x, float y) { // eyes slant up towards the sides
            float dx = x - ex, dy = y - 34.5f;
            return std::pair<float, float> {
                dx * 0.94f - side * dy * 0.34f, side * dx * 0.34f + dy * 0.94f};
        };
        paint(
            c,
            [&](float x, float y) {
                auto [u, v] = tilt(x, y);
                return ellipse(u, v, 0, 0, 5.6f, 3.4f);
            },
            [&](float, float) {
                return Rgb {30, 25, 10};
            });
        paint(
            c,
            [&](float x, float y) {
                auto [u, v] = tilt(x, y);
                return ellipse(u, v, 0, 0, 4.2f, 2.2f);
            },
            [&](float x, float y) {
                return softShade({255, 225, 60}, dome(x, y, ex, 34.5f, 5.0f), 0.6f);
            });
    }
}

// Black: a violet rim glow so it shows on black, narrow amber eyes and a big
// toothy grin.
void blackFace(Canvas& c, const Alien&)
{
    // the rim: a glow towards the edge plus a thin light outline
    for (int y = 0; y < c.size; ++y)
        for (int x = 0; x < c.size; ++x) {
            if (c.cover(x, y) <= 0)
                continue;
            float px = c.at(x), py = c.at(y);
            Vec3 n = bodyNormal(px, py);
            float glow = std::pow(1.0f - n.z, 2.5f);
            float edge = smoothstep(kBody - 3.2f, kBody - 1.2f, std::hypot(px - kMid, py - kMid));
            c.px(x, y) = c.px(x, y) + Rgb {120, 90, 230} * (0.7f * glow) + Rgb {70, 60, 120} * edge;
        }
    for (float side : {-1.0f, 1.0f}) {
        float ex = 32 + side * 9.5f;
        auto slant = [&](float x, float y) {
            float dx = x - ex, dy = y - 25.0f;
            float u = dx * 0.9f + side * dy * 0.44f, v = -side * dx * 0.44f + dy * 0.9f;
            return ellipse(u, v, 0, 0, 6.0f, 2.6f);
        };
        paint(c, slant, [&](float x, float y) {
            return softShade({255, 175, 30}, dome(x, y, ex, 25, 6.0f), 0.8f);
        });
        paint(
            c, [&](float x, float y) { return ellipse(x, y, ex, 25, 1.0f, 2.2f); },
            [&](float, float) {
                return Rgb {20, 8, 0};
            });
    }
    // the grin, full of little pointed teeth
    paintMouth(c, 24, 20, 18, 21.5f, {110, 90, 190},
        [](float x) { return 3.6f - 1.5f * std::fabs(std::fmod(x + 400.0f, 4.0f) - 2.0f); });
}

// In the order of the game's sprites: red, green, purple, white, gray, black.
const Alien kAliens[] = {
    {{205, 38, 36}, Skin::Pores, 11, 0.35f, redFace},
    {{90, 200, 60}, Skin::Blotches, 23, 0.3f, greenFace},
    {{140, 62, 200}, Skin::Scales, 37, 0.35f, purpleFace},
    {{235, 233, 240}, Skin::Pearl, 41, 0.25f, whiteFace},
    {{140, 140, 146}, Skin::Wrinkles, 53, 0.25f, grayFace},
    {{40, 36, 52}, Skin::Flecks, 67, 0.5f, blackFace},
};

// ---------------------------------------------------------------- the hard ball

// The ball's own frame is turned a little right and tipped towards the player,
// so its seams curve like the lines on a globe seen from above.
constexpr float kYaw = 0.3f, kPitch = -0.3f;
Vec3 ballToScreen(Vec3 o)
{
    float cy = std::cos(kYaw), sy = std::sin(kYaw), cp = std::cos(kPitch), sp = std::sin(kPitch);
    Vec3 a {o.x * cy + o.z * sy, o.y, -o.x * sy + o.z * cy};
    return {a.x, a.y * cp - a.z * sp, a.y * sp + a.z * cp};
}
Vec3 screenToBall(Vec3 n)
{
    float cy = std::cos(kYaw), sy = std::sin(kYaw), cp = std::cos(kPitch), sp = std::sin(kPitch);
    Vec3 a {n.x, n.y * cp + n.z * sp, -n.y * sp + n.z * cp};
    return {a.x * cy - a.z * sy, a.y, a.x * sy + a.z * cy};
}

// Polished riveted steel: it mirrors a bright sky over a darker ground, has a
// sharp highlight, and two welded seams (equator and one meridian) studded
// with rivets.
void paintHardBall(Canvas& c)
{
    body(c, [&](float x, float y) {
        Vec3 n = bodyNormal(x, y);
        Vec3 r {2 * n.z * n.x, 2 * n.z * n.y, 2 * n.z * n.z - 1}; // reflected view ray
        Rgb env = r.y < 0.1f
            ? mix(Rgb {150, 160, 180}, Rgb {230, 236, 248}, smoothstep(0.1f, -0.7f, r.y))
            : mix(Rgb {62, 62, 68}, Rgb {120, 112, 105}, smoothstep(0.1f, 0.9f, r.y));
        float brushed = 1.0f + 0.05f * fbm(x / 9.0f, y / 1.3f, 91);
        Rgb steel = Rgb {env.r * 0.74f, env.g * 0.78f, env.b * 0.86f} * brushed;
        Vec3 o = screenToBall(n);
        float seam = std::min(std::fabs(o.y), std::fabs(o.x)) * kBody; // roughly pixels
        if (seam < 1.4f)
            steel = steel * 0.3f; // the groove
        else if (seam < 2.6f)
            steel = steel * 1.12f; // the weld's raised lip
        steel = steel * (1.0f - 0.45f * std::pow(1.0f - n.z, 2.0f));
        float shine = std::pow(std::max(0.0f, dot(n, kHalf)), 220.0f);
        return steel + kWhite * (1.8f * shine);
    });
    auto rivet = [&](Vec3 o) {
        Vec3 s = ballToScreen(o);
        if (s.z < 0.3f)
            return; // round the back, or too edge-on to show
        float cx = kMid + s.x * kBody, cy = kMid + s.y * kBody, rr = 3.3f;
        float len = std::hypot(s.x, s.y);
        float ux = len > 1e-3f ? s.x / len : 1, uy = len > 1e-3f ? s.y / len : 0;
        auto shape = [=](float x, float y, float grow) { // squashed towards the edge
            float a = (x - cx) * ux + (y - cy) * uy, b = -(x - cx) * uy + (y - cy) * ux;
            return ellipse(a, b, 0, 0, rr * s.z + grow, rr + grow);
        };
        paint(
            c, [&](float x, float y) { return shape(x, y, 0.7f); },
            [](float, float) {
                return Rgb {18, 18, 22};
            });
        paint(
            c, [&](float x, float y) { return shape(x, y, 0); },
            [&](float x, float y) {
                Vec3 n = dome(x, y, cx, cy, rr);
                float shine = std::pow(std::max(0.0f, dot(n, kHalf)), 40.0f);
                return Rgb {140, 145, 160} * (0.25f + 0.9f * std::max(0.0f, dot(n, kLight)))
                    + kWhite * shine;
            });
    };
    for (int i = 0; i < 8; ++i) { // every 45 degrees round both seams, between the crossings
        float a = (i + 0.5f) * 0.7854f;
        rivet({std::sin(a), 0, std::cos(a)});
        rivet({0, std::sin(a), std::cos(a)});
    }
}

// ---------------------------------------------------------------- infection overlay

// Acid-green pustules with dark rims, scattered round the edge so the face
// underneath still shows. Only the spots are solid; the rest is mask colour.
void paintInfection(Canvas& c)
{
    struct Spot {
        float x, y, r;
    };
    const Spot spots[] = {
        {13, 44, 6.0f},
        {20.5f, 51.5f, 3.4f},
        {7.5f, 35.5f, 2.6f}, // lower left clump
        {53, 40, 5.2f},
        {57, 30.5f, 3.0f},
        {48.5f, 48.5f, 2.6f}, // right clump
        {33, 57, 4.4f},
        {41.5f, 56, 2.4f}, // chin
        {31, 7, 3.6f},
        {38.5f, 6.5f, 2.2f}, // crown
        {8.5f, 22, 3.4f},
        {52.5f, 13.5f, 3.0f},
    };
    for (int y = 0; y < c.size; ++y)
        for (int x = 0; x < c.size; ++x) {
            c.cover(x, y) = 0;
            c.px(x, y) = kBlack;
        }
    for (const Spot& s : spots) {
        const float rim = std::max(1.1f, 0.28f * s.r);
        for (int y = 0; y < c.size; ++y)
            for (int x = 0; x < c.size; ++x) {
                float px = c.at(x), py = c.at(y);
                float d = circle(px, py, s.x, s.y, s.r);
                if (d > 0)
                    continue; // the mask has no half-measures: in or out
                Vec3 n = dome(px, py, s.x, s.y, s.r);
                Rgb pus = softShade({190, 255, 30}, n, 0.9f) + Rgb {40, 45, 0};
                float core = smoothstep(
                    0.45f * s.r, 0.15f * s.r, std::hypot(px - s.x - 0.5f, py - s.y - 0.5f));
                pus = mix(pus, Rgb {90, 150, 0},
                    0.5f * core * (s.r > 3)); // a darker head on the big ones
                c.px(x, y) = d > -rim ? Rgb {25, 45, 0} : pus;
                c.cover(x, y) = 1;
            }
    }
}

// ---------------------------------------------------------------- output

int maskColour() { return makecol(255, 0, 255); }

int toColour(Rgb c)
{
    int r = int(std::lround(std::clamp(c.r, 0.0f, 255.0f)));
    int g = int(std::lround(std::clamp(c.g, 0.0f, 255.0f)));
    int b = int(std::lround(std::clamp(c.b, 0.0f, 255.0f)));
    if (r == 255 && g == 0 && b == 255)
        r = 254; // never transparent by accident
    return makecol(r, g, b);
}

// The finished sprite: solid pixels fade to black at the very edge (the game's
// background), everything else is the mask colour.
BITMAP* toBitmap(const Canvas& c)
{
    BITMAP* bmp = create_bitmap(c.size, c.size);
    if (!bmp)
        die("out of memory creating a sprite bitmap");
    clear_to_color(bmp, maskColour());
    for (int y = 0; y < c.size; ++y)
        for (int x = 0; x < c.size; ++x)
            if (c.cover(x, y) > 0.02f)
                putpixel(bmp, x, y, toColour(c.px(x, y) * c.cover(x, y)));
    return bmp;
}

struct Sprite {
    std::string path; // relative to the output folder, no extension
    BITMAP* bmp;
};

// Where the game looks for a sprite inside base.dat, as a path below the sprite folder.
std::string objectPath(int sprite) { return spriteObject(spritePaths[sprite]); }

// The sprites in the order of the game's list: the aliens, the hard ball, the overlay.
std::vector<Sprite> paintAll()
{
    static_assert(std::size(kAliens) == hardBallSprite && infectionSprite == hardBallSprite + 1
            && std::size(spritePaths) == infectionSprite + 1,
        "the painter paints the game's sprites, no more and no fewer");
    std::vector<Sprite> out;
    auto canvas = std::make_unique<Canvas>(kSize);
    for (const Alien& a : kAliens) {
        paintSkin(*canvas, a);
        a.face(*canvas, a);
        out.push_back({objectPath(int(out.size())), toBitmap(*canvas)});
    }
    paintHardBall(*canvas);
    out.push_back({objectPath(hardBallSprite), toBitmap(*canvas)});
    paintInfection(*canvas);
    out.push_back({objectPath(infectionSprite), toBitmap(*canvas)});
    return out;
}

void save(const fs::path& file, BITMAP* bmp)
{
    if (save_bmp(file.c_str(), bmp, nullptr) != 0)
        die("cannot write " + file.string());
}

// Shrinks a 64x64 sprite to its on-screen 32x32 by averaging 2x2 blocks, the way
// linear filtering shows it, with the mask colour counting as black. If `over`
// is given, its solid pixels are laid on top first.
void shrinkInto(BITMAP* sheet, BITMAP* src, BITMAP* over, int left, int top)
{
    const int mask = maskColour();
    for (int y = 0; y < kSize / 2; ++y)
        for (int x = 0; x < kSize / 2; ++x) {
            int r = 0, g = 0, b = 0;
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i) {
                    int p = getpixel(src, 2 * x + i, 2 * y + j);
                    if (over && getpixel(over, 2 * x + i, 2 * y + j) != mask)
                        p = getpixel(over, 2 * x + i, 2 * y + j);
                    if (p == mask)
                        continue;
                    r += getr(p), g += getg(p), b += getb(p);
                }
            putpixel(sheet, left + x, top + y, makecol(r / 4, g / 4, b / 4));
        }
}

// Top row: the eight sprites as they are; bottom row: each alien infected.
void saveSheet(const fs::path& file, const std::vector<Sprite>& sprites)
{
    const int cell = 40, margin = 8;
    BITMAP* sheet = create_bitmap(margin + 8 * cell, margin + 2 * cell);
    if (!sheet)
        die("out of memory creating the sheet");
    clear_to_color(sheet, makecol(0, 0, 0));
    BITMAP* overlay = sprites.back().bmp;
    for (size_t i = 0; i < sprites.size(); ++i)
        shrinkInto(sheet, sprites[i].bmp, nullptr, margin + int(i) * cell, margin);
    for (size_t i = 0; i < std::size(kAliens); ++i)
        shrinkInto(sheet, sprites[i].bmp, overlay, margin + int(i) * cell, margin + cell);
    save(file, sheet);
    destroy_bitmap(sheet);
}

// ---------------------------------------------------------------- the game's icon

// The red alien, the game's face: one big eye reads at any size. Painted at the icon's own size,
// not scaled from the sprite, so it is sharp from 16 to 256 pixels.
Canvas paintIcon(int size)
{
    Canvas c(size);
    paintSkin(c, kAliens[0]);
    kAliens[0].face(c, kAliens[0]);
    return c;
}

int channel(float v) { return int(std::lround(std::clamp(v, 0.0f, 255.0f))); }

// With an alpha channel: see-through round the body, its rim partly covered.
void saveIconPng(const fs::path& file, const Canvas& c)
{
    BITMAP* bmp = create_bitmap_ex(32, c.size, c.size);
    if (!bmp)
        die("out of memory creating the icon");
    for (int y = 0; y < c.size; ++y)
        for (int x = 0; x < c.size; ++x) {
            const Rgb p = c.px(x, y);
            putpixel(bmp, x, y,
                makeacol32(channel(p.r), channel(p.g), channel(p.b), channel(255 * c.cover(x, y))));
        }
    const int failed = save_png(file.c_str(), bmp, nullptr);
    destroy_bitmap(bmp);
    if (failed)
        die("cannot write " + file.string());
}

// An XPM image as C++ source defining `const char* outbreakIcon[]`, which Allegro's X11 port takes
// as the window's icon. XPM pixels are either solid or see-through: those at least half covered
// are solid.
void saveIconXpm(const fs::path& file, const Canvas& c)
{
    const std::string symbols
        = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,:;-+=*#$%&@";
    std::map<int, std::string> codes; // colour 0xRRGGBB to its two symbols
    std::vector<std::string> rows;
    for (int y = 0; y < c.size; ++y) {
        std::string row;
        for (int x = 0; x < c.size; ++x) {
            if (c.cover(x, y) < 0.5f) {
                row += "  ";
                continue;
            }
            const Rgb p = c.px(x, y);
            const int colour = channel(p.r) << 16 | channel(p.g) << 8 | channel(p.b);
            auto code = codes.find(colour);
            if (code == codes.end()) {
                const size_t n = codes.size();
                if (n >= symbols.size() * symbols.size())
                    die("too many colours for the XPM icon");
                code = codes
                           .emplace(colour,
                               std::string {
                                   symbols[n / symbols.size()], symbols[n % symbols.size()]})
                           .first;
            }
            row += code->second;
        }
        rows.push_back(row);
    }
    std::ofstream out(file);
    out << "// The game's window icon, painted by spritepaint. Generated by the build: do not "
           "edit.\n"
        << "extern const char* outbreakIcon[];\n"
        << "const char* outbreakIcon[] = {\n"
        << "    \"" << c.size << " " << c.size << " " << codes.size() + 1 << " 2\",\n"
        << "    \"   c None\",\n";
    for (const auto& [colour, code] : codes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%06X", colour);
        out << "    \"" << code << " c " << hex << "\",\n";
    }
    for (const std::string& row : rows)
        out << "    \"" << row << "\",\n";
    out << "};\n";
    if (!out)
        die("cannot write " + file.string());
}

void makeDir(const fs::path& dir)
{
    std::error_code err;
    fs::create_directories(dir, err);
    if (err || !fs::is_directory(dir))
        die("cannot create folder " + dir.string() + ": " + err.message());
}

} // namespace

int main(int argc, char** argv)
{
    std::string outDir, sheetFile, iconFile, mode;
    int iconSize = 0;
    if (argc == 2 && argv[1][0] != '-') {
        outDir = argv[1];
    } else if (argc == 3 && std::string(argv[1]) == "--sheet") {
        sheetFile = argv[2];
    } else if (argc == 4 && (std::string(argv[1]) == "--icon" || std::string(argv[1]) == "--xpm")
        && std::atoi(argv[2]) >= 8 && std::atoi(argv[2]) <= 1024) {
        mode = argv[1];
        iconSize = std::atoi(argv[2]);
        iconFile = argv[3];
    } else {
        std::fprintf(stderr,
            "usage: %s OUTDIR             paint the sprites into OUTDIR (plus OUTDIR/sheet.bmp)\n"
            "       %s --sheet FILE.bmp   only write the 32x32 preview sheet\n"
            "       %s --icon N FILE.png  the game's icon, N by N pixels (8 to 1024)\n"
            "       %s --xpm N FILE.cpp   the window's icon, as XPM in C++ source\n",
            argv[0], argv[0], argv[0], argv[0]);
        return EXIT_FAILURE;
    }

    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        die("cannot initialise Allegro");
    set_color_depth(32);

    if (iconSize) {
        const Canvas icon = paintIcon(iconSize);
        if (fs::path(iconFile).has_parent_path())
            makeDir(fs::path(iconFile).parent_path());
        if (mode == "--icon")
            saveIconPng(iconFile, icon);
        else
            saveIconXpm(iconFile, icon);
        return EXIT_SUCCESS;
    }

    std::vector<Sprite> sprites = paintAll();
    if (!outDir.empty()) {
        const fs::path root(outDir);
        for (const Sprite& s : sprites) {
            fs::path file = root / s.path;
            makeDir(file.parent_path());
            save(file, s.bmp);
        }
        sheetFile = (root / "sheet.bmp").string();
    }
    saveSheet(sheetFile, sprites);

    for (Sprite& s : sprites)
        destroy_bitmap(s.bmp);
    return EXIT_SUCCESS;
}
