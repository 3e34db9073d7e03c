// Pictures the tests look at: screenshots of the game's window, OpenGL's back buffer, sprite
// files; the checks made on them, and a way to save one for a person to look at.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct Rgb {
    int r, g, b;
    bool isBlack() const { return r == 0 && g == 0 && b == 0; }
};
bool operator==(Rgb a, Rgb b);
std::ostream& operator<<(std::ostream& out, Rgb c);
// Texture filtering blends neighbouring texels a little; a pixel within tolerance of a colour on
// every channel counts as that colour.
bool near(Rgb a, Rgb b, int tolerance = 24);

// A half-open rectangle of pixels, y downwards: columns x0..x1-1, rows y0..y1-1.
struct Box {
    int x0, y0, x1, y1;
    bool contains(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
    // The same box less a margin on every side, where quadrant borders and edges cannot blend in.
    Box inner(int margin) const { return {x0 + margin, y0 + margin, x1 - margin, y1 - margin}; }
};
std::ostream& operator<<(std::ostream& out, const Box& b);

// Pixels in rows from the top, each row from the left.
struct Image {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;

    const Rgb& at(int x, int y) const { return pixels[size_t(y) * width + x]; }
    // Empty when the pixels that differ from the background are exactly those in covered;
    // otherwise a description of the difference.
    std::string coverageMismatch(const Box& covered, Rgb background) const;
    // Empty when every pixel of region is near colour; otherwise a description.
    std::string regionMismatch(const Box& region, Rgb colour) const;
    // A picture file for a person to look at, of the kind the path's ending names (.png, .ppm).
    void save(const std::string& path) const;
};

// A picture file of any kind ImageMagick reads, such as the sprites the build paints (BMP images,
// magenta where they are see-through).
Image loadPicture(const std::string& path);
