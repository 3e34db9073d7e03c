#include "output.h"

#include "util.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

int toColour(Rgb c)
{
    int r = int(std::lround(std::clamp(c.r, 0.0f, 255.0f)));
    int g = int(std::lround(std::clamp(c.g, 0.0f, 255.0f)));
    int b = int(std::lround(std::clamp(c.b, 0.0f, 255.0f)));
    if (r == 255 && g == 0 && b == 255)
        r = 254; // never transparent by accident
    return makecol(r, g, b);
}

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

} // namespace

void die(const std::string& what)
{
    std::fprintf(stderr, "spritepaint: %s\n", what.c_str());
    std::exit(EXIT_FAILURE);
}

void makeDir(const fs::path& dir)
{
    std::error_code err;
    fs::create_directories(dir, err);
    if (err || !fs::is_directory(dir))
        die("cannot create folder " + dir.string() + ": " + err.message());
}

void saveBmp(const fs::path& file, BITMAP* bmp)
{
    if (save_bmp(file.c_str(), bmp, nullptr) != 0)
        die("cannot write " + file.string());
}

int maskColour() { return makecol(255, 0, 255); }

std::vector<Painted> paintEveryArt()
{
    std::vector<Painted> painted;
    Canvas canvas(kSize);
    for (const Art* art : everyArt()) {
        art->paint(canvas);
        painted.push_back({art, toBitmap(canvas)});
    }
    return painted;
}

void forget(std::vector<Painted>& painted)
{
    for (Painted& p : painted)
        destroy_bitmap(p.bmp);
    painted.clear();
}

void saveSprites(const fs::path& root, const std::vector<Painted>& painted)
{
    std::vector<bool> saved(painted.size(), false);
    std::ofstream objects(root / "objects");
    for (const Sprite& sprite : sprites) {
        size_t k = 0;
        while (k < painted.size() && std::string(sprite.name) != painted[k].art->name)
            ++k;
        if (k == painted.size())
            die(std::string("the game's sprite ") + sprite.name + " has no art");
        const fs::path file = root / spriteObject(sprite.path);
        makeDir(file.parent_path());
        saveBmp(file, painted[k].bmp);
        saved[k] = true;
        objects << spriteObject(sprite.path) << '\n';
    }
    for (size_t k = 0; k < painted.size(); ++k)
        if (!saved[k])
            die(std::string("the art ") + painted[k].art->name + " is no sprite of the game");
    if (!objects.flush())
        die("cannot write " + (root / "objects").string());
}
