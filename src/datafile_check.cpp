#include "datafile_check.h"

#include <cstdint>

namespace {

// A datafile's numbers are big-endian and its tags four characters.
constexpr uint32_t tag(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16
        | uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}
constexpr uint32_t unpackedMagic = tag("slh.");
constexpr uint32_t packedMagic = tag("slh!");
constexpr uint32_t datafileMagic = tag("ALL.");
constexpr uint32_t propertyTag = tag("prop");
constexpr uint32_t nameTag = tag("NAME");
constexpr uint32_t fileTag = tag("FILE");
constexpr size_t headerSize = 8; // the two magic numbers

// The check goes one call deeper for each nested datafile.
constexpr int deepestNesting = 16;

std::string number(size_t n) { return std::to_string(n); }

// Reads the bytes from at up to end of a file, never past end.
struct Reader {
    std::string_view file;
    size_t at, end;

    size_t left() const { return end - at; }
    bool peek(uint32_t& word) const
    {
        if (left() < 4)
            return false;
        const auto byte = [&](size_t i) { return uint32_t(uint8_t(file[at + i])); };
        word = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        return true;
    }
    bool get(uint32_t& word)
    {
        if (!peek(word))
            return false;
        at += 4;
        return true;
    }
};

struct Object {
    std::string_view name; // its first NAME property
    uint32_t type = 0;
    size_t begin = 0, size = 0; // its contents
};

// Reads the properties and header of the object at r.at and leaves r.at at its contents, which
// lie within r. Empty when it can, otherwise what is damaged; where names what holds the object.
std::string readObject(Reader& r, const std::string& where, Object& object)
{
    bool named = false;
    uint32_t word;
    while (r.peek(word) && word == propertyTag) {
        const size_t start = r.at;
        uint32_t type, size;
        r.at += 4;
        if (!r.get(type) || !r.get(size))
            return "it ends inside the property at byte " + number(start);
        if (size > r.left())
            return "the property at byte " + number(start) + " claims " + number(size)
                + " bytes, more than the " + number(r.left()) + " left in " + where;
        if (type == nameTag && !named) {
            object.name = r.file.substr(r.at, size);
            named = true;
        }
        r.at += size;
    }

    const size_t start = r.at;
    uint32_t packedSize, size;
    if (!r.get(object.type) || !r.get(packedSize) || !r.get(size))
        return "it ends inside the header of the object at byte " + number(start);
    if (packedSize > r.left())
        return "the object at byte " + number(start) + " claims " + number(packedSize)
            + " bytes, more than the " + number(r.left()) + " left in " + where;
    if (int32_t(size) < 0)
        return "the object at byte " + number(start)
            + " is compressed, which the game does not read";
    if (packedSize != size)
        return "the object at byte " + number(start) + " gives two sizes, " + number(packedSize)
            + " and " + number(size);
    object.begin = r.at;
    object.size = size;
    return "";
}

// Checks the list of objects from begin to end, its count first, and every nested datafile in it.
std::string listFault(std::string_view file, size_t begin, size_t end, int depth)
{
    const std::string where
        = depth == 0 ? "the file" : "the nested datafile at byte " + number(begin);
    Reader r {file, begin, end};
    uint32_t count;
    if (!r.get(count))
        return where + " ends inside its count of objects";
    // Each object takes at least 12 bytes, so a wild count runs out of bytes soon.
    for (uint32_t i = 0; i < count; ++i) {
        if (r.left() == 0)
            return where + " counts " + number(count) + " objects but holds " + number(i);
        Object object;
        std::string fault = readObject(r, where, object);
        if (fault.empty() && object.type == fileTag) {
            if (depth + 1 > deepestNesting)
                return "its datafiles are nested more than " + number(deepestNesting)
                    + " deep at byte " + number(object.begin);
            fault = listFault(file, object.begin, object.begin + object.size, depth + 1);
        }
        if (!fault.empty())
            return fault;
        r.at = object.begin + object.size;
    }
    if (r.left() != 0)
        return where + " has " + number(r.left()) + " bytes after its last object";
    return "";
}

// Allegro compares names as UTF-8 text with the case of letters ignored; the game's names are
// ASCII.
bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

uint32_t little32(std::string_view bytes, size_t at)
{
    const auto byte = [&](size_t i) { return uint32_t(uint8_t(bytes[at + i])); };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

} // namespace

std::string datafileFault(std::string_view file)
{
    Reader r {file, 0, file.size()};
    uint32_t magic, datafile;
    if (!r.get(magic) || (magic != unpackedMagic && magic != packedMagic))
        return "is not an Allegro datafile";
    if (magic == packedMagic)
        return "is packed (compressed), which the game does not read: save it unpacked (dat -c0)";
    if (!r.get(datafile) || datafile != datafileMagic)
        return "is not an Allegro datafile";
    const std::string fault = listFault(file, headerSize, file.size(), 0);
    return fault.empty() ? "" : "is damaged: " + fault;
}

std::optional<std::string_view> datafileObject(std::string_view file, std::string_view path)
{
    if (file.substr(0, headerSize) != "slh.ALL.")
        return std::nullopt;
    Reader list {file, headerSize, file.size()};
    for (;;) {
        const size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        uint32_t count;
        if (!list.get(count))
            return std::nullopt;
        Object object;
        bool found = false;
        for (uint32_t i = 0; i < count && list.left() > 0 && !found; ++i) {
            if (!readObject(list, "", object).empty())
                return std::nullopt;
            found = sameName(object.name, name);
            list.at = object.begin + object.size;
        }
        if (!found)
            return std::nullopt;
        if (slash == std::string_view::npos)
            return file.substr(object.begin, object.size);
        if (object.type != fileTag)
            return std::nullopt;
        list = Reader {file, object.begin, object.begin + object.size};
        path.remove_prefix(slash + 1);
    }
}

std::string bmpFault(std::string_view image)
{
    // Where the Windows BMP header puts what the reader uses.
    const size_t pixelsAtField = 10, headerSizeField = 14, widthField = 18, heightField = 22,
                 bitsField = 28, compressionField = 30, headersEnd = 54;
    if (image.size() < 2 || image.substr(0, 2) != "BM")
        return "The object is not a BMP image";
    if (image.size() < headerSizeField + 4)
        return "The image is cut short";
    const uint32_t infoSize = little32(image, headerSizeField);
    if (infoSize != 40)
        return "The image has a BMP header of " + number(infoSize)
            + " bytes; the game reads only the 40-byte Windows header";
    if (image.size() < headersEnd)
        return "The image is cut short";

    const int32_t width = int32_t(little32(image, widthField));
    const int32_t height = int32_t(little32(image, heightField));
    const uint32_t bits = little32(image, bitsField) & 0xffff;
    const uint32_t compression = little32(image, compressionField);
    const uint32_t pixelsAt = little32(image, pixelsAtField);

    if (compression == 1 || compression == 2)
        return "The image is run-length compressed (RLE), which the game does not read";
    if (compression == 3) {
        if (bits != 16 && bits != 32)
            return "The image has bit fields with " + number(bits)
                + " bits a pixel; the game reads them with 16 or 32";
        // The reader takes three masks after the header, and the pixels right after them.
        if (pixelsAt != headersEnd + 12)
            return "The image's pixels start at byte " + number(pixelsAt) + ", not at byte "
                + number(headersEnd + 12) + " after its bit fields";
    } else if (compression != 0) {
        return "The image is compressed (method " + number(compression)
            + "), which the game does not read";
    } else {
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return "The image has " + number(bits)
                + " bits a pixel; the game reads 1, 4, 8, 16, 24 or 32";
        // The reader takes (pixelsAt - 54) / 4 palette colours after the header into a palette
        // of 256, then skips to pixelsAt.
        if (pixelsAt < headersEnd)
            return "The image's pixels start at byte " + number(pixelsAt) + ", inside its header";
        if ((pixelsAt - headersEnd) / 4 > 256)
            return "The image has " + number((pixelsAt - headersEnd) / 4)
                + " palette colours; a palette holds 256";
    }
    if (height < 0)
        return "The image is stored top-down, which the game does not read";
    if (width < 1 || height < 1 || width > 4096 || height > 4096)
        return "The image is " + std::to_string(width) + " by " + std::to_string(height)
            + " pixels; the game reads 1 to 4096 each way";

    // Every row is padded to a multiple of 4 bytes, the last one too.
    const uint64_t rowBytes = (uint64_t(width) * bits + 31) / 32 * 4;
    if (pixelsAt + rowBytes * uint64_t(height) > image.size())
        return "The image is cut short";
    return "";
}
