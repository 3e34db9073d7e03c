// BMP images written byte by byte, in layouts that the game's painter never writes (bit fields,
// run-length compression, odd headers), for the tests of what the game reads safely.
#pragma once

#include <cstdint>
#include <string>

struct BmpLayout {
    int width = 64, height = 64;
    int bits = 24;
    int compression = 0; // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    int colours = 0;     // palette entries after the header
    int headerSize = 40; // the info header's own size field
    long pixelsAt = -1;  // the file header's offset of the pixels; -1: where they are
    size_t cut = 0;      // bytes left off the end
};

inline void putLittle(std::string& bytes, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes += char((value >> (8 * i)) & 0xff);
}

// The image, its pixels a pattern of bytes (junk when read as runs). With bit fields, the masks
// of 5-6-5 at 16 bits and 8-8-8 at 32.
inline std::string bmpBytes(const BmpLayout& b)
{
    std::string info;
    putLittle(info, b.headerSize, 4);
    putLittle(info, uint32_t(b.width), 4);
    putLittle(info, uint32_t(b.height), 4);
    putLittle(info, 1, 2);
    putLittle(info, b.bits, 2);
    putLittle(info, b.compression, 4);
    const size_t rowBytes = (size_t(b.width < 0 ? -b.width : b.width) * b.bits + 31) / 32 * 4;
    const size_t pixelBytes = rowBytes * size_t(b.height < 0 ? -b.height : b.height);
    putLittle(info, uint32_t(pixelBytes), 4);
    for (int i = 0; i < 4; ++i)
        putLittle(info, i < 2 ? 2835 : 0, 4);
    if (b.compression == 3) {
        const bool wide = b.bits == 32;
        putLittle(info, wide ? 0xff0000 : 0xf800, 4);
        putLittle(info, wide ? 0x00ff00 : 0x07e0, 4);
        putLittle(info, wide ? 0x0000ff : 0x001f, 4);
    }
    for (int i = 0; i < b.colours; ++i)
        putLittle(info, uint32_t(i) * 0x010101, 4);

    std::string bytes = "BM";
    putLittle(bytes, uint32_t(14 + info.size() + pixelBytes), 4);
    putLittle(bytes, 0, 4);
    putLittle(bytes, b.pixelsAt >= 0 ? uint32_t(b.pixelsAt) : uint32_t(14 + info.size()), 4);
    bytes += info;
    for (size_t i = 0; i < pixelBytes; ++i)
        bytes += char((i * 37 + 11) & 0xff);
    bytes.resize(bytes.size() - (b.cut < bytes.size() ? b.cut : bytes.size()));
    return bytes;
}
