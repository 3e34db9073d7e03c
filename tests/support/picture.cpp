#include "picture.h"
#include "test_support.h"

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

// ImageMagick's convert from one picture file to another, run in dir; "", or how it failed.
static std::string convert(const std::string& from, const std::string& to, const std::string& dir)
{
    ChildProcess child({"convert", from, to}, dir);
    return child.waitForExit(30 * slowness) == 0 ? "" : child.describe();
}

void Image::save(const std::string& path) const
{
    // ImageMagick writes the kind of picture that the path's ending names.
    std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (const Rgb& c : pixels)
        ppm += {char(c.r), char(c.g), char(c.b)};
    const std::string dir = makeScratchDir();
    writeFile(dir + "/picture.ppm", ppm);
    const std::string failure
        = convert("picture.ppm", std::filesystem::absolute(path).string(), dir);
    if (!failure.empty())
        std::fprintf(stderr, "could not write %s: %s\n", path.c_str(), failure.c_str());
}

Image loadPicture(const std::string& path)
{
    // ImageMagick reads the file, whatever its kind, and hands on its pixels as a PPM.
    const std::string dir = makeScratchDir();
    const std::string failure
        = convert(std::filesystem::absolute(path).string(), "ppm:picture.ppm", dir);
    std::istringstream in(readFile(dir + "/picture.ppm"));
    Image image;
    int maximum = 0;
    std::string magic;
    if (failure.empty() && in >> magic >> image.width >> image.height >> maximum && magic == "P6"
        && maximum == 255 && in.get() != EOF) {
        std::vector<unsigned char> rgb(size_t(image.width) * image.height * 3);
        if (in.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size())))
            for (size_t i = 0; i < rgb.size(); i += 3)
                image.pixels.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
    }
    if (image.pixels.empty())
        throw std::runtime_error("cannot read the picture " + path + ": " + failure);
    return image;
}
