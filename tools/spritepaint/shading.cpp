#include "shading.h"

#include <cmath>

namespace {

Vec3 normalize(Vec3 v)
{
    float l = std::sqrt(dot(v, v));
    return {v.x / l, v.y / l, v.z / l};
}

} // namespace

const Vec3 kLight = normalize({-0.55f, -0.7f, 0.65f});
const Vec3 kHalf = normalize({kLight.x, kLight.y, kLight.z + 1.0f});

float smoothstep(float a, float b, float v)
{
    float t = clamp01((v - a) / (b - a));
    return t * t * (3.0f - 2.0f * t);
}

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

Rgb softShade(Rgb albedo, Vec3 n, float gloss)
{
    float wrap = std::max(0.0f, (dot(n, kLight) + 0.4f) / 1.4f);
    float rim = 1.0f - n.z;
    float light = (0.14f + 1.0f * wrap) * (1.0f - 0.5f * rim * rim);
    float shine = std::pow(std::max(0.0f, dot(n, kHalf)), 16.0f) * gloss;
    return albedo * light + kWhite * shine;
}

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

float fbm(float x, float y, uint32_t seed)
{
    float sum = 0, amp = 0.5f;
    for (int o = 0; o < 3; ++o, x *= 2.03f, y *= 2.03f, amp *= 0.5f)
        sum += amp * (valueNoise(x, y, seed + o) * 2 - 1);
    return sum / 0.875f;
}

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
