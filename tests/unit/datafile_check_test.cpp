// The checks the game makes on its datafile and the sprites' BMP images before Allegro reads a
// byte of them: the game's own datafile passes, and each damaged copy gets its own verdict.
#include "bmp_bytes.h"
#include "datafile_check.h"
#include "util.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>

namespace {

std::string readWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

const std::string& intact()
{
    static const std::string bytes = readWhole(OUTBREAK_DATA_DIR "/base.dat");
    return bytes;
}

std::string objectOf(const char* spritePath) { return spriteObject(spritePath); }

// What the game makes of a datafile: the check's fault, or the first sprite that is missing or
// whose image is refused; empty when every sprite would load.
std::string verdict(const std::string& file)
{
    const std::string fault = datafileFault(file);
    if (!fault.empty())
        return "base.dat " + fault;
    for (const char* path : spritePaths) {
        const auto image = datafileObject(file, objectOf(path));
        if (!image)
            return "no object " + objectOf(path);
        const std::string refused = bmpFault(*image);
        if (!refused.empty())
            return objectOf(path) + ": " + refused;
    }
    return "";
}

// ---------------------------------------------------------------- bytes of a datafile

uint32_t big32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | uint8_t(bytes.at(at + i));
    return value;
}

std::string bigBytes(uint32_t value)
{
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += char((value >> shift) & 0xff);
    return bytes;
}

std::string withBig32(std::string bytes, size_t at, uint32_t value)
{
    return bytes.replace(at, 4, bigBytes(value));
}

// Where the header (type, two sizes) of the object named name starts, found by its NAME
// property: the properties after it are skipped.
size_t header(const std::string& file, const std::string& name)
{
    const size_t property = file.find("propNAME" + bigBytes(uint32_t(name.size())) + name);
    EXPECT_NE(std::string::npos, property) << name;
    size_t at = property + 12 + name.size();
    while (file.compare(at, 4, "prop") == 0)
        at += 12 + big32(file, at + 8);
    return at;
}

// Where the list of objects inside the nested datafile named name starts: at its count.
size_t contents(const std::string& file, const std::string& name)
{
    return header(file, name) + 12;
}

std::string n(size_t value) { return std::to_string(value); }

// The bytes left in the nested datafile named holder from byte at on.
size_t leftIn(const std::string& file, const std::string& holder, size_t at)
{
    const size_t list = contents(file, holder);
    return list + big32(file, list - 8) - at;
}

// The datafile with the object named name claiming one byte more than is left for it in the
// nested datafile holder, and the check's verdict on it.
std::string objectOneByteTooLarge(const std::string& file, const char* name, const char* holder)
{
    const size_t at = header(file, name);
    const uint32_t size = uint32_t(leftIn(file, holder, at + 12) + 1);
    return withBig32(withBig32(file, at + 4, size), at + 8, size);
}
std::string objectTooLargeVerdict(const std::string& file, const char* name, const char* holder)
{
    const size_t at = header(file, name), left = leftIn(file, holder, at + 12);
    return "base.dat is damaged: the object at byte " + n(at) + " claims " + n(left + 1)
        + " bytes, more than the " + n(left) + " left in the nested datafile at byte "
        + n(contents(file, holder));
}

// The datafile with the sprite Enemy/RedAlien holding other bytes; the sizes of the sprite and of
// the nested datafile Enemy follow.
std::string withRedAlien(const std::string& file, const std::string& image)
{
    std::string bytes = file;
    const size_t red = header(bytes, "RedAlien"), enemy = header(bytes, "Enemy");
    const uint32_t oldSize = big32(bytes, red + 4);
    const uint32_t grown = uint32_t(image.size()) - oldSize;
    bytes.replace(red + 12, oldSize, image);
    for (const size_t at : {red + 4, red + 8})
        bytes = withBig32(bytes, at, uint32_t(image.size()));
    for (const size_t at : {enemy + 4, enemy + 8})
        bytes = withBig32(bytes, at, big32(bytes, at) + grown);
    return bytes;
}

// A datafile of nothing but levels of nested datafiles, one inside the other.
std::string nestedDatafiles(int levels)
{
    std::string list = bigBytes(0);
    for (int i = 0; i < levels; ++i)
        list = bigBytes(1) + "FILE" + bigBytes(uint32_t(list.size()))
            + bigBytes(uint32_t(list.size())) + list;
    return "slh.ALL." + list;
}

} // namespace

TEST(DatafileCheck, TheGamesDatafilePassesAndHoldsEverySpriteAsPainted)
{
    ASSERT_FALSE(intact().empty()) << "no base.dat in " OUTBREAK_DATA_DIR;
    EXPECT_EQ("", verdict(intact()));
    for (const char* path : spritePaths) {
        const auto image = datafileObject(intact(), objectOf(path));
        EXPECT_TRUE(image) << path;
        if (image) {
            EXPECT_EQ(readWhole(OUTBREAK_DATA_DIR "/sprites/" + objectOf(path)), *image) << path;
        }
    }
    // Allegro finds objects whatever the case of the letters in their names.
    EXPECT_EQ(
        datafileObject(intact(), "Enemy/RedAlien"), datafileObject(intact(), "ENEMY/redalien"));
    EXPECT_FALSE(datafileObject(intact(), "Enemy/RedAlie"));
    EXPECT_FALSE(datafileObject(intact(), "RedAlien"));
}

namespace {

// Each sprite of the datafile, found by its name in the game's list, looks as that name says: the
// mean colour of its solid pixels (all but the mask colour) and how many there are.
struct Look {
    int r, g, b, solid;
};

Look lookOf(std::string_view bmp)
{
    // The painter's sprites: 24 bits, rows bottom up, no padding at 64 pixels across.
    const auto little = [&](size_t at) {
        return uint32_t(uint8_t(bmp.at(at))) | uint32_t(uint8_t(bmp.at(at + 1))) << 8
            | uint32_t(uint8_t(bmp.at(at + 2))) << 16 | uint32_t(uint8_t(bmp.at(at + 3))) << 24;
    };
    const size_t pixels = little(10);
    Look sum {0, 0, 0, 0};
    for (size_t k = 0; k < 64 * 64; ++k) {
        const int b = uint8_t(bmp.at(pixels + 3 * k)), g = uint8_t(bmp.at(pixels + 3 * k + 1)),
                  r = uint8_t(bmp.at(pixels + 3 * k + 2));
        if (r == 255 && g == 0 && b == 255)
            continue;
        sum = {sum.r + r, sum.g + g, sum.b + b, sum.solid + 1};
    }
    const int n = std::max(sum.solid, 1);
    return {sum.r / n, sum.g / n, sum.b / n, sum.solid};
}

const struct {
    const char* name;
    const char* says;
    bool (*fits)(const Look& l);
} spriteLooks[] = {
    {"RedAlien", "red", [](const Look& l) { return l.r > 2 * l.g && l.r > 2 * l.b; }},
    {"GreenAlien", "green", [](const Look& l) { return l.g > l.r && l.g > l.b; }},
    {"PurpleAlien", "purple", [](const Look& l) { return l.r > l.g + 20 && l.b > l.g + 20; }},
    {"WhiteAlien", "pale",
        [](const Look& l) {
            return std::min({l.r, l.g, l.b}) > 120;
        }},
    {"GrayAlien", "a middle grey",
        [](const Look& l) {
            return std::max({l.r, l.g, l.b}) < 100
                && std::max({l.r, l.g, l.b}) - std::min({l.r, l.g, l.b}) < 6;
        }},
    {"BlackAlien", "dark with a violet glow",
        [](const Look& l) { return l.r < 90 && l.b > l.r + 15; }},
    {"HardBall", "bluish steel", [](const Look& l) { return l.b > l.g && l.g > l.r; }},
    {"Infection", "spots on see-through",
        [](const Look& l) { return l.solid < 64 * 64 / 4; }},
};

} // namespace

TEST(DatafileCheck, EverySpriteLooksAsItsNameSays)
{
    for (const Sprite& sprite : sprites) {
        const auto image = datafileObject(intact(), objectOf(sprite.path));
        const auto row = std::find_if(std::begin(spriteLooks), std::end(spriteLooks),
            [&](const auto& look) { return std::string(look.name) == sprite.name; });
        if (!image || row == std::end(spriteLooks)) {
            ADD_FAILURE() << sprite.name << (image ? " has no row here" : " is not in base.dat");
            continue;
        }
        const Look l = lookOf(*image);
        EXPECT_TRUE(row->fits(l)) << sprite.name << " should look " << row->says
                                  << ", but its mean is (" << l.r << ", " << l.g << ", " << l.b
                                  << ") over " << l.solid << " solid pixels";
    }
}

struct DatafileDamage {
    const char* name;
    std::string (*damage)(const std::string& intact);
    std::string (*verdict)(const std::string& intact); // "" when every sprite loads
};
void PrintTo(const DatafileDamage& d, std::ostream* out) { *out << d.name; }

const DatafileDamage datafileDamages[] = {
    {"RepaintedPixels",
        [](const std::string& file) {
            std::string bytes = file;
            const size_t pixels = header(bytes, "RedAlien") + 12 + 54;
            for (size_t i = 0; i < 64 * 64 * 3; ++i)
                bytes[pixels + i] = char(i * 7);
            return bytes;
        },
        [](const std::string&) { return std::string(); }},
    {"WildSizeInAProperty", [](const std::string& file) { return withBig32(file, 20, 0xfffffff0); },
        [](const std::string& file) {
            return "base.dat is damaged: the property at byte 12 claims 4294967280 bytes, more "
                   "than the "
                + n(file.size() - 24) + " left in the file";
        }},
    {"WildSizeOfAnObject",
        [](const std::string& file) {
            return withBig32(file, header(file, "Effects") + 4, 0x7ffffff0);
        },
        [](const std::string& file) {
            const size_t at = header(file, "Effects");
            return "base.dat is damaged: the object at byte " + n(at)
                + " claims 2147483632 bytes, more than the " + n(file.size() - at - 12)
                + " left in the file";
        }},
    // The sprite claims a byte more than is left in the nested datafile Enemy, which the file
    // holds.
    {"WildSizeInANestedDatafile",
        [](const std::string& file) { return objectOneByteTooLarge(file, "RedAlien", "Enemy"); },
        [](const std::string& file) { return objectTooLargeVerdict(file, "RedAlien", "Enemy"); }},
    // Enemy ends where the file ends; Effects does not, so the rest of the file would hold what
    // its sprite claims.
    {"WildSizeInANestedDatafileBeforeTheLast",
        [](const std::string& file) {
            return objectOneByteTooLarge(file, "Infected_bmp", "Effects");
        },
        [](const std::string& file) {
            return objectTooLargeVerdict(file, "Infected_bmp", "Effects");
        }},
    // One bit flipped in the second size: a check that trusted it would read a megabyte past the
    // end of the file.
    {"TwoSizesOfAnObject",
        [](const std::string& file) {
            const size_t at = header(file, "RedAlien") + 8;
            return withBig32(file, at, big32(file, at) ^ 0x100000);
        },
        [](const std::string& file) {
            const size_t at = header(file, "RedAlien");
            const uint32_t size = big32(file, at + 8);
            return "base.dat is damaged: the object at byte " + n(at) + " gives two sizes, "
                + n(size) + " and " + n(size ^ 0x100000);
        }},
    // A name within the file, but a byte longer than what is left in the nested datafile.
    {"WildSizeOfAPropertyInANestedDatafile",
        [](const std::string& file) {
            const size_t at = file.find("propNAME" + bigBytes(12) + "Infected_bmp");
            return withBig32(file, at + 8, uint32_t(leftIn(file, "Effects", at + 12) + 1));
        },
        [](const std::string& file) {
            const size_t at = file.find("propNAME" + bigBytes(12) + "Infected_bmp");
            const size_t left = leftIn(file, "Effects", at + 12);
            return "base.dat is damaged: the property at byte " + n(at) + " claims " + n(left + 1)
                + " bytes, more than the " + n(left) + " left in the nested datafile at byte "
                + n(contents(file, "Effects"));
        }},
    {"WildCount", [](const std::string& file) { return withBig32(file, 8, 0x7fffffff); },
        [](const std::string& file) {
            return "base.dat is damaged: the file counts 2147483647 objects but holds "
                + n(big32(file, 8));
        }},
    {"CutInsideAnObjectsHeader",
        [](const std::string& file) { return file.substr(0, header(file, "Effects") + 6); },
        [](const std::string& file) {
            return "base.dat is damaged: it ends inside the header of the object at byte "
                + n(header(file, "Effects"));
        }},
    // Three bytes of a word: one short.
    {"CutThreeBytesIntoAnObjectsHeader",
        [](const std::string& file) { return file.substr(0, header(file, "Effects") + 7); },
        [](const std::string& file) {
            return "base.dat is damaged: it ends inside the header of the object at byte "
                + n(header(file, "Effects"));
        }},
    {"LastKilobyteCut", [](const std::string& file) { return file.substr(0, file.size() - 1024); },
        [](const std::string& file) {
            const size_t at = header(file, "Enemy");
            return "base.dat is damaged: the object at byte " + n(at) + " claims "
                + n(big32(file, at + 4)) + " bytes, more than the "
                + n(file.size() - 1024 - at - 12) + " left in the file";
        }},
    {"BytesAfterTheLastObject", [](const std::string& file) { return file + "junk!"; },
        [](const std::string&) {
            return std::string("base.dat is damaged: the file has 5 bytes after its last object");
        }},
    {"NestedSeventeenDeep", [](const std::string&) { return nestedDatafiles(17); },
        [](const std::string&) {
            // Each level puts a count and an object header before the next one's contents.
            return "base.dat is damaged: its datafiles are nested more than 16 deep at byte "
                + n(8 + 17 * 16);
        }},
    {"NestedSixteenDeep", [](const std::string&) { return nestedDatafiles(16); },
        [](const std::string&) { return std::string("no object Enemy/RedAlien"); }},
    {"Packed", [](const std::string& file) { return "slh!" + file.substr(4); },
        [](const std::string&) {
            return std::string(
                "base.dat is packed (compressed), which the game does not read: save "
                "it unpacked (dat -c0)");
        }},
    {"ACompressedObject",
        [](const std::string& file) {
            return withBig32(file, header(file, "RedAlien") + 8, -20000);
        },
        [](const std::string& file) {
            return "base.dat is damaged: the object at byte " + n(header(file, "RedAlien"))
                + " is compressed, which the game does not read";
        }},
    {"AOneLineTextFile", [](const std::string&) { return std::string("Not a datafile at all.\n"); },
        [](const std::string&) { return std::string("base.dat is not an Allegro datafile"); }},
    {"AnotherProgramsDatafile",
        [](const std::string& file) {
            std::string bytes = file;
            bytes[bytes.find("propNAME" + bigBytes(8) + "RedAlien") + 12 + 7] = 'X';
            return bytes;
        },
        [](const std::string&) { return std::string("no object Enemy/RedAlien"); }},
    {"RleJunkInASprite",
        [](const std::string& file) {
            return withRedAlien(file, bmpBytes({.bits = 8, .compression = 1}));
        },
        [](const std::string&) {
            return std::string(
                "Enemy/RedAlien: The image is run-length compressed (RLE), which the "
                "game does not read");
        }},
    {"SixteenBitBitFieldsSpriteCutByOneByte",
        [](const std::string& file) {
            return withRedAlien(file, bmpBytes({.bits = 16, .compression = 3, .cut = 1}));
        },
        [](const std::string&) { return std::string("Enemy/RedAlien: The image is cut short"); }},
    {"SixteenBitBitFieldsSpriteCutByABlock",
        [](const std::string& file) {
            return withRedAlien(file, bmpBytes({.bits = 16, .compression = 3, .cut = 4096}));
        },
        [](const std::string&) { return std::string("Enemy/RedAlien: The image is cut short"); }},
    {"SixteenBitBitFieldsSpriteWhole",
        [](const std::string& file) {
            return withRedAlien(file, bmpBytes({.bits = 16, .compression = 3}));
        },
        [](const std::string&) { return std::string(); }},
};

class DamagedDatafiles : public testing::TestWithParam<DatafileDamage> {};

TEST_P(DamagedDatafiles, GetTheirVerdict)
{
    ASSERT_FALSE(intact().empty());
    EXPECT_EQ(GetParam().verdict(intact()), verdict(GetParam().damage(intact())));
}

INSTANTIATE_TEST_SUITE_P(Datafile, DamagedDatafiles, testing::ValuesIn(datafileDamages),
    [](const testing::TestParamInfo<DatafileDamage>& info) {
        return std::string(info.param.name);
    });

// ---------------------------------------------------------------- BMP layouts

struct Layout {
    const char* name;
    BmpLayout layout;
    const char* fault; // "" when the game reads it
};
void PrintTo(const Layout& l, std::ostream* out) { *out << l.name; }

const Layout layouts[] = {
    {"TwentyFourBitsOddWidth", {.width = 5, .height = 3}, ""},
    {"EightBitsFullPalette", {.bits = 8, .colours = 256}, ""},
    {"FourBits", {.bits = 4, .colours = 16}, ""},
    {"OneBit", {.width = 5, .bits = 1, .colours = 2}, ""},
    {"SixteenBitsPlain", {.bits = 16}, ""},
    {"ThirtyTwoBitsPlain", {.bits = 32}, ""},
    {"ThirtyTwoBitsBitFields", {.bits = 32, .compression = 3}, ""},
    {"Rle8", {.bits = 8, .compression = 1},
        "The image is run-length compressed (RLE), which the game does not read"},
    {"Rle4", {.bits = 4, .compression = 2},
        "The image is run-length compressed (RLE), which the game does not read"},
    {"Jpeg", {.compression = 4},
        "The image is compressed (method 4), which the game does not read"},
    {"TwoBits", {.bits = 2}, "The image has 2 bits a pixel; the game reads 1, 4, 8, 16, 24 or 32"},
    {"BitFieldsOf24Bits", {.compression = 3},
        "The image has bit fields with 24 bits a pixel; the game reads them with 16 or 32"},
    {"Os2Header", {.headerSize = 12},
        "The image has a BMP header of 12 bytes; the game reads only the 40-byte Windows header"},
    {"V5Header", {.headerSize = 124},
        "The image has a BMP header of 124 bytes; the game reads only the 40-byte Windows header"},
    {"TopDown", {.height = -64}, "The image is stored top-down, which the game does not read"},
    {"NoWidth", {.width = 0}, "The image is 0 by 64 pixels; the game reads 1 to 4096 each way"},
    {"WiderThan4096", {.width = 4097, .height = 1},
        "The image is 4097 by 1 pixels; the game reads 1 to 4096 each way"},
    {"TallerThan4096", {.width = 1, .height = 4097},
        "The image is 1 by 4097 pixels; the game reads 1 to 4096 each way"},
    {"PixelsInsideTheHeader", {.pixelsAt = 40},
        "The image's pixels start at byte 40, inside its header"},
    {"PaletteOf257", {.bits = 8, .colours = 257},
        "The image has 257 palette colours; a palette holds 256"},
    {"BitFieldsWithPixelsElsewhere", {.bits = 16, .compression = 3, .pixelsAt = 70},
        "The image's pixels start at byte 70, not at byte 66 after its bit fields"},
    {"PixelsStartLate", {.pixelsAt = 58}, "The image is cut short"},
    {"OneBitCutByOneByte", {.bits = 1, .colours = 2, .cut = 1}, "The image is cut short"},
    // The reader takes the padding of the last row too.
    {"CutInTheLastRowsPadding", {.width = 5, .height = 3, .cut = 1}, "The image is cut short"},
    {"CutInsideTheHeader", {.cut = 64 * 64 * 3 + 1}, "The image is cut short"},
};

class BmpLayouts : public testing::TestWithParam<Layout> {};

TEST_P(BmpLayouts, AreReadOrRefusedWithTheirReason)
{
    EXPECT_EQ(GetParam().fault, bmpFault(bmpBytes(GetParam().layout)));
}

INSTANTIATE_TEST_SUITE_P(Bmp, BmpLayouts, testing::ValuesIn(layouts),
    [](const testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

TEST(BmpCheck, AnObjectThatIsNotABmpIsNotAnImage)
{
    EXPECT_EQ("The object is not a BMP image", bmpFault("A red alien, in words.\n"));
    EXPECT_EQ("The object is not a BMP image", bmpFault(""));
}
