#include "picture.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

Image loadBmp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(data[at])) | uint32_t(uint8_t(data[at + 1])) << 8
            | uint32_t(uint8_t(data[at + 2])) << 16 | uint32_t(uint8_t(data[at + 3])) << 24;
    };
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M')
        throw std::runtime_error("not a BMP image: " + path);
    const uint32_t offset = u32(10);
    const int width = int32_t(u32(18));
    const int height = int32_t(u32(22));
    const int bits = uint8_t(data[28]) | uint8_t(data[29]) << 8;
    if (bits != 24 || width <= 0 || height <= 0)
        throw std::runtime_error("not a 24-bit bottom-up BMP image: " + path);
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    if (data.size() < offset + stride * height)
        throw std::runtime_error("short BMP image: " + path);
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.resize(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = offset + size_t(height - 1 - y) * stride + size_t(x) * 3;
            image.pixels[size_t(y) * width + x]
                = Rgb {uint8_t(data[at + 2]), uint8_t(data[at + 1]), uint8_t(data[at])};
        }
    return image;
}
