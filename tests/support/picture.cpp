#include "picture.h"
#include "test_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <stdexcept>

bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

std::ostream& operator<<(std::ostream& out, Rgb c)
{
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

bool near(Rgb a, Rgb b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance
        && std::abs(a.b - b.b) <= tolerance;
}

std::ostream& operator<<(std::ostream& out, const Box& b)
{
    return out << "columns " << b.x0 << ".." << b.x1 - 1 << ", rows " << b.y0 << ".." << b.y1 - 1;
}

std::string Image::coverageMismatch(const Box& covered, Rgb background) const
{
    int uncovered = 0, spilled = 0;
    std::ostringstream firsts;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool drawn = !near(at(x, y), background, 4);
            const bool inside = covered.contains(x, y);
            if (drawn == inside)
                continue;
            int& tally = inside ? uncovered : spilled;
            if (tally++ < 3)
                firsts << " (" << x << ", " << y << ")=" << at(x, y);
        }
    }
    if (uncovered == 0 && spilled == 0)
        return "";
    std::ostringstream out;
    out << "expected exactly " << covered << " drawn; " << uncovered
        << " pixels inside are background, " << spilled << " pixels outside are drawn; e.g."
        << firsts.str();
    return out.str();
}

std::string Image::regionMismatch(const Box& region, Rgb colour) const
{
    int wrong = 0;
    std::ostringstream firsts;
    for (int y = region.y0; y < region.y1; ++y)
        for (int x = region.x0; x < region.x1; ++x)
            if (!near(at(x, y), colour) && wrong++ < 3)
                firsts << " (" << x << ", " << y << ")=" << at(x, y);
    if (wrong == 0)
        return "";
    std::ostringstream out;
    out << wrong << " pixels of " << region << " are not " << colour << "; e.g." << firsts.str();
    return out.str();
}

// ImageMagick's convert from one picture file to another, each of the kind that its name says;
// "", or how it failed.
static std::string convert(const std::string& from, const std::string& to)
{
    ChildProcess child({"convert", from, to}, makeScratchDir());
    return child.waitForExit(30 * slowness) == 0 ? "" : child.describe();
}

void Image::save(const std::string& path) const
{
    std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (const Rgb& c : pixels)
        ppm += {char(c.r), char(c.g), char(c.b)};
    const std::string raw = makeScratchDir() + "/picture.ppm";
    writeFile(raw, ppm);
    const std::string failure = convert(raw, std::filesystem::absolute(path));
    if (!failure.empty())
        std::fprintf(stderr, "could not write %s: %s\n", path.c_str(), failure.c_str());
}

Image loadPicture(const std::string& path)
{
    const std::string raw = makeScratchDir() + "/picture.ppm";
    const std::string failure = convert(std::filesystem::absolute(path), "ppm:" + raw);
    std::istringstream in(readFile(raw));
    Image image;
    std::string magic, maximum;
    if (in >> magic >> image.width >> image.height >> maximum && magic == "P6" && maximum == "255"
        && in.get() != EOF)
        for (char rgb[3]; in.read(rgb, 3);)
            image.pixels.push_back({uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2])});
    if (image.pixels.empty() || image.pixels.size() != size_t(image.width) * image.height)
        throw std::runtime_error("cannot read the picture " + path + ": " + failure);
    return image;
}
