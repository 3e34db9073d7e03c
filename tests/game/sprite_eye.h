// What a screenshot of the game shows: its sprites, recognised by their looks, and the spots of
// the infection.
#pragma once

#include "GameWorld.h"
#include "picture.h"

#include <string>
#include <vector>

// The sprites, in the order the level makes their kinds: six aliens, then the hard ball.
enum SpriteKind {
    RedAlien,
    GreenAlien,
    PurpleAlien,
    WhiteAlien,
    GrayAlien,
    BlackAlien,
    HardBall,
    spriteKinds
};
static_assert(HardBall == GameWorld::alienKinds, "the aliens are the level's first kinds");
const char* kindName(int kind);

// A point of the window, in pixels.
struct Point {
    double x, y;
};
double distance(Point a, Point b);

// One sprite found in a screenshot: its centre (the pixel just right of and below the exact
// centre), its kind, and how far its pixels are from the sprite's (root mean square, 0-255).
struct SeenSprite {
    int x = 0, y = 0;
    int kind = -1;
    double mismatch = 1e9;
    operator Point() const { return {double(x), double(y)}; } // its centre
};
// Two sprites of radius 16 touch, or overlap, within a few pixels of rounding.
inline bool touching(const SeenSprite& a, const SeenSprite& b) { return distance(a, b) <= 36; }

// Recognises the game's sprites in screenshots. The game draws each 64-pixel sprite at radius 16,
// 32 pixels across, so every sprite file of the build is halved and compared, pixel by pixel,
// with the shot.
class SpriteEye {
public:
    explicit SpriteEye(const std::string& spriteDir);

    // Mismatch of the kind's sprite drawn at (x, y), from every pixel or, coarse, from every
    // other pixel in each direction. Gives up, with a value above limit, once it is sure to
    // come out above limit.
    double mismatch(
        const Image& shot, int kind, int x, int y, bool coarse = false, double limit = 1e9) const;
    // The kind and place that best explain the shot within slack pixels of (x, y).
    SeenSprite look(const Image& shot, int x, int y, int slack) const;
    // Every whole, unshrunk sprite in the shot, at least 20 pixels apart.
    std::vector<SeenSprite> findAll(const Image& shot) const;

    // A sprite whose mismatch is above this is not one of ours.
    static constexpr double recognised = 40;

private:
    struct Texel {
        int dx, dy; // from the centre
        Rgb colour;
    };
    std::vector<Texel> fine_[spriteKinds];
    std::vector<Texel> coarse_[spriteKinds];
};

// Pixels within radius of (x, y) coloured as the bright spots of the infection overlay.
int infectionSpotsNear(const Image& shot, int x, int y, int radius);
// True for the bright yellow-green of the infection overlay's spots.
bool isInfectionSpot(const Rgb& c);
// Non-black pixels in the rectangle [x0, x1) x [y0, y1).
int litPixels(const Image& shot, int x0, int y0, int x1, int y1);
