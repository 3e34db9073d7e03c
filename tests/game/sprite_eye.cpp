#include "sprite_eye.h"

#include "util.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

const char* kindName(int kind)
{
    static const char* const names[spriteKinds]
        = {"red", "green", "purple", "white", "gray", "black", "hard ball"};
    return kind >= 0 && kind < spriteKinds ? names[kind] : "nothing";
}

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

SpriteEye::SpriteEye(const std::string& spriteDir)
{
    static_assert(spriteKinds == hardBallSprite + 1, "the kinds are the game's first sprites");
    for (int k = 0; k < spriteKinds; ++k) {
        // The build paints the sprite of object "base.dat#Enemy/RedAlien" as Enemy/RedAlien.
        const std::string file = spriteObject(spritePaths[k]);
        const Image sprite = loadPicture(spriteDir + "/" + file);
        if (sprite.width != 64 || sprite.height != 64)
            throw std::runtime_error("sprite is not 64x64: " + file);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                // Halved as a mipmap halves: the mean of two by two texels. Only pixels whose
                // texels are all opaque, well inside the rim, are compared: at the rim the
                // see-through texels' colour and the alpha test decide.
                int r = 0, g = 0, b = 0;
                bool opaque = true;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const Rgb& c = sprite.at(2 * x + dx, 2 * y + dy);
                        opaque = opaque && !(c.r == 255 && c.g == 0 && c.b == 255);
                        r += c.r;
                        g += c.g;
                        b += c.b;
                    }
                const double cx = x - 15.5, cy = y - 15.5;
                if (!opaque || cx * cx + cy * cy > 13.5 * 13.5)
                    continue;
                const Texel t {
                    x - 16, y - 16, Rgb {uint8_t(r / 4), uint8_t(g / 4), uint8_t(b / 4)}};
                fine_[k].push_back(t);
                if (x % 2 == 0 && y % 2 == 0)
                    coarse_[k].push_back(t);
            }
    }
}

double SpriteEye::mismatch(
    const Image& shot, int kind, int x, int y, bool coarse, double limit) const
{
    const std::vector<Texel>& texels = coarse ? coarse_[kind] : fine_[kind];
    const double count = double(texels.size());
    const long giveUp = limit < 1e6 ? long(limit * limit * 3 * count) + 1 : -1;
    const bool inside = x >= 16 && y >= 16 && x + 16 <= shot.width && y + 16 <= shot.height;
    long sum = 0;
    for (const Texel& t : texels) {
        const int sx = x + t.dx, sy = y + t.dy;
        Rgb s {0, 0, 0};
        if (inside || (sx >= 0 && sy >= 0 && sx < shot.width && sy < shot.height))
            s = shot.at(sx, sy);
        const int dr = s.r - t.colour.r, dg = s.g - t.colour.g, db = s.b - t.colour.b;
        sum += dr * dr + dg * dg + db * db;
        if (giveUp >= 0 && sum > giveUp)
            return limit + 1;
    }
    return std::sqrt(double(sum) / (3.0 * count));
}

SeenSprite SpriteEye::look(const Image& shot, int x, int y, int slack) const
{
    SeenSprite best;
    for (int dy = -slack; dy <= slack; ++dy)
        for (int dx = -slack; dx <= slack; ++dx)
            for (int k = 0; k < spriteKinds; ++k) {
                const double m = mismatch(shot, k, x + dx, y + dy, false, best.mismatch);
                if (m < best.mismatch) {
                    best.x = x + dx;
                    best.y = y + dy;
                    best.kind = k;
                    best.mismatch = m;
                }
            }
    return best;
}

std::vector<SeenSprite> SpriteEye::findAll(const Image& shot) const
{
    // A coarse look every other pixel with a quarter of each sprite's pixels, then the best
    // places, far enough apart, looked at closely.
    std::vector<SeenSprite> candidates;
    for (int y = 16; y + 16 <= shot.height; y += 2)
        for (int x = 16; x + 16 <= shot.width; x += 2) {
            if (shot.at(x, y).isBlack())
                continue;
            SeenSprite here;
            here.x = x;
            here.y = y;
            for (int k = 0; k < spriteKinds; ++k) {
                const double m = mismatch(shot, k, x, y, true, std::min(here.mismatch, 60.0));
                if (m < here.mismatch) {
                    here.mismatch = m;
                    here.kind = k;
                }
            }
            if (here.mismatch < 60)
                candidates.push_back(here);
        }
    std::sort(candidates.begin(), candidates.end(),
        [](const SeenSprite& a, const SeenSprite& b) { return a.mismatch < b.mismatch; });
    std::vector<SeenSprite> found;
    for (const SeenSprite& c : candidates) {
        bool free = true;
        for (const SeenSprite& f : found)
            free = free && (f.x - c.x) * (f.x - c.x) + (f.y - c.y) * (f.y - c.y) >= 20 * 20;
        if (!free)
            continue;
        const SeenSprite close = look(shot, c.x, c.y, 2);
        if (close.mismatch < recognised)
            found.push_back(close);
    }
    return found;
}

bool isInfectionSpot(const Rgb& c)
{
    // Bright yellow to yellow-green. The green alien is greener, the gray alien's eyes are
    // yellower, the purple alien's eyes are paler.
    return c.g >= 130 && c.b * 100 <= c.g * 55 && c.r * 100 >= c.g * 68 && c.r <= c.g;
}

int infectionSpotsNear(const Image& shot, int x, int y, int radius)
{
    int count = 0;
    for (int sy = std::max(0, y - radius); sy <= std::min(shot.height - 1, y + radius); ++sy)
        for (int sx = std::max(0, x - radius); sx <= std::min(shot.width - 1, x + radius); ++sx)
            if ((sx - x) * (sx - x) + (sy - y) * (sy - y) <= radius * radius
                && isInfectionSpot(shot.at(sx, sy)))
                ++count;
    return count;
}

int litPixels(const Image& shot, int x0, int y0, int x1, int y1)
{
    int count = 0;
    for (int y = std::max(0, y0); y < std::min(shot.height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(shot.width, x1); ++x)
            if (!shot.at(x, y).isBlack())
                ++count;
    return count;
}
