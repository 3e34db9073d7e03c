#include "picture.h"

#include <cstdio>
#include <cstdlib>
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

void Image::save(const std::string& path) const
{
    // ImageMagick writes the kind of picture that the path's ending names.
    FILE* out = popen(("convert ppm:- '" + path + "'").c_str(), "w");
    if (out) {
        std::fprintf(out, "P6\n%d %d\n255\n", width, height);
        for (const Rgb& c : pixels)
            std::fputc(c.r, out), std::fputc(c.g, out), std::fputc(c.b, out);
    }
    if (!out || pclose(out) != 0)
        std::fprintf(stderr, "could not write %s\n", path.c_str());
}

Image loadPicture(const std::string& path)
{
    // ImageMagick reads the file, whatever its kind, and hands on its pixels as a PPM.
    FILE* in = popen(("convert '" + path + "' ppm:-").c_str(), "r");
    Image image;
    int maximum = 0;
    if (in && std::fscanf(in, "P6 %d %d %d", &image.width, &image.height, &maximum) == 3
        && maximum == 255 && std::fgetc(in) != EOF) {
        std::vector<unsigned char> rgb(size_t(image.width) * image.height * 3);
        if (std::fread(rgb.data(), 1, rgb.size(), in) == rgb.size())
            for (size_t i = 0; i < rgb.size(); i += 3)
                image.pixels.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
    }
    if (!in || pclose(in) != 0 || image.pixels.empty())
        throw std::runtime_error("cannot read the picture " + path);
    return image;
}
