// The six aliens: each a round body grown with a skin of its own and a face of its own, so that
// the kinds can be told apart without their colours.
#include "art.h"

#include <cmath>
#include <utility>

namespace {

// An alien's whole look: its colour, the seed of its noise, how glossy it is, the fine texture
// its skin is grown with (over the colour, mottled a little), and its face.
struct Alien {
    Rgb colour;
    uint32_t seed;
    float gloss;
    Rgb (*texture)(const Alien& a, Rgb mottled, float x, float y);
    void (*face)(Canvas& c, const Alien& a);
};

// Skin albedo at (x, y).
Rgb skin(const Alien& a, float x, float y)
{
    return a.texture(a, a.colour * (1.0f + 0.07f * fbm(x / 3.0f, y / 3.0f, a.seed)), x, y);
}

template <const Alien& a> void paintAlien(Canvas& c)
{
    body(c, [&](float x, float y) { return softShade(skin(a, x, y), bodyNormal(x, y), a.gloss); });
    a.face(c, a);
}

// ---------------------------------------------------------------- features

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

// ---------------------------------------------------------------- red

// Red: a cyclops -- one huge golden eye with a slit pupil -- and a fanged mouth, on skin with
// small dark pits of different sizes, not in every cell.
Rgb redSkin(const Alien& a, Rgb c, float x, float y)
{
    Cells k = cells(x / 4.0f, y / 4.0f, a.seed + 1);
    float size = float(k.id % 5) * 0.07f; // 0 .. 0.28 of a cell
    return c * (0.78f + 0.22f * smoothstep(size - 0.08f, size + 0.04f, k.f1));
}

void redFace(Canvas& c, const Alien&)
{
    paintEye(c, {32, 25.5f, 12.0f, {70, 8, 10}, {255, 190, 30}, 6.8f, 1.8f, 5.8f});
    paintMouth(c, 43, 8.5f, 38, 9.5f, {60, 6, 8}, [](float x) {
        float off = std::min(std::fabs(x - 28.5f), std::fabs(x - 35.5f));
        return 3.0f * (1.0f - off / 1.6f);
    });
}

const Alien red {{205, 38, 36}, 11, 0.35f, redSkin, redFace};

// ---------------------------------------------------------------- green

// Green: two big round eyes with red irises and a wide smile, on frog-like skin with paler
// patches and a few pits.
Rgb greenSkin(const Alien& a, Rgb c, float x, float y)
{
    float b = smoothstep(0.15f, 0.35f, fbm(x / 7.0f, y / 7.0f, a.seed + 2));
    Cells k = cells(x / 5.0f, y / 5.0f, a.seed + 3);
    return mix(c, Rgb {200, 240, 110}, 0.38f * b) * (0.8f + 0.2f * smoothstep(0.08f, 0.22f, k.f1));
}

void greenFace(Canvas& c, const Alien&)
{
    for (float ex : {21.5f, 42.5f})
        paintEye(c, {ex, 27, 8.0f, {20, 60, 15}, {220, 40, 30}, 4.8f, 2.6f, 2.9f});
    paintGrinLine(c, 32, 33, 11, 40, 1.4f, {20, 60, 15});
}

const Alien green {{90, 200, 60}, 23, 0.3f, greenSkin, greenFace};

// ---------------------------------------------------------------- purple

// Purple: three eyes, two above and one below, each with a slit pupil, on skin of tiny plates,
// each a touch different, with dark seams.
Rgb purpleSkin(const Alien& a, Rgb c, float x, float y)
{
    Cells k = cells(x / 3.6f, y / 3.6f, a.seed + 4);
    float plate = 0.93f + 0.14f * float(k.id & 255) / 255.0f;
    return c * plate * (0.74f + 0.26f * smoothstep(0.04f, 0.2f, k.f2 - k.f1));
}

void purpleFace(Canvas& c, const Alien&)
{
    const Rgb lid {45, 10, 60}, iris {120, 230, 90};
    paintEye(c, {20.5f, 25, 6.8f, lid, iris, 4.0f, 1.2f, 3.6f});
    paintEye(c, {43.5f, 25, 6.8f, lid, iris, 4.0f, 1.2f, 3.6f});
    paintEye(c, {32, 41, 6.8f, lid, iris, 4.0f, 1.2f, 3.6f});
}

const Alien purple {{140, 62, 200}, 37, 0.35f, purpleSkin, purpleFace};

// ---------------------------------------------------------------- white

// White: two antennae with glowing red knobs, little black bead eyes, an "o" mouth, on milky
// skin with a faint bluish mottle.
Rgb whiteSkin(const Alien& a, Rgb c, float x, float y)
{
    float m = smoothstep(-0.2f, 0.5f, fbm(x / 6.0f, y / 6.0f, a.seed + 7));
    return mix(c, Rgb {185, 195, 235}, 0.35f * m);
}

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

const Alien white {{235, 233, 240}, 41, 0.25f, whiteSkin, whiteFace};

// ---------------------------------------------------------------- gray

// Gray: dark bands wrapped round the body like a grub's, two glowing yellow eyes in the light
// band across the middle, on skin of fine folds.
Rgb graySkin(const Alien& a, Rgb c, float x, float y)
{
    float r = 1.0f - std::fabs(fbm(x / 6.0f, y / 9.0f, a.seed + 5));
    return c * (1.08f - 0.3f * std::pow(r, 6.0f));
}

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

const Alien gray {{140, 140, 146}, 53, 0.25f, graySkin, grayFace};

// ---------------------------------------------------------------- black

// Black: a violet rim glow so it shows on black, narrow amber eyes and a big toothy grin, on a
// dark hide with a few glinting flecks.
Rgb blackSkin(const Alien& a, Rgb c, float x, float y)
{
    float h = hash01(int(x), int(y), a.seed + 6);
    return h > 0.94f ? c + Rgb {40, 36, 70} : c;
}

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

const Alien black {{40, 36, 52}, 67, 0.5f, blackSkin, blackFace};

} // namespace

const Art alienArt[6] = {
    {"RedAlien", Art::Alien, paintAlien<red>},
    {"GreenAlien", Art::Alien, paintAlien<green>},
    {"PurpleAlien", Art::Alien, paintAlien<purple>},
    {"WhiteAlien", Art::Alien, paintAlien<white>},
    {"GrayAlien", Art::Alien, paintAlien<gray>},
    {"BlackAlien", Art::Alien, paintAlien<black>},
};
