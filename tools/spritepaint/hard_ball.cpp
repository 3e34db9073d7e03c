// The hard ball, in riveted steel, and the infection overlay that the game lays over the aliens
// that carry the infection.
#include "art.h"

#include <cmath>

namespace {

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

} // namespace

const Art hardBallArt {"HardBall", Art::HardBall, paintHardBall};
const Art infectionArt {"Infection", Art::Overlay, paintInfection};
