// Writes damaged copies of a datafile: damage_datafile BASE.DAT OUTDIR COUNT [SEED]
// OUTDIR/NNNN.dat for each copy, and OUTDIR/damages.txt with a line per copy saying what was done:
// bytes changed, runs of bytes zeroed, bytes put in or taken out, the file cut, a size or a count
// in the structure made wild, a field of a sprite's BMP header changed, or a sprite made RLE.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::mt19937 rng;

size_t below(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng); }

// Where text occurs in bytes.
std::vector<size_t> places(const std::string& bytes, const std::string& text)
{
    std::vector<size_t> found;
    for (size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + 1))
        found.push_back(at);
    return found;
}

// A value that a wild field would hold: huge, negative, just too large, or any.
uint32_t wildValue(uint32_t old)
{
    switch (below(6)) {
    case 0:
        return 0xffffffffu - uint32_t(below(16));
    case 1:
        return 0x7fffffffu - uint32_t(below(16));
    case 2:
        return old + 1 + uint32_t(below(64));
    case 3:
        return old - 1 - uint32_t(below(64));
    case 4:
        return uint32_t(below(256));
    default:
        return uint32_t(rng());
    }
}

void putBig(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4 && at + i < bytes.size(); ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}
uint32_t getBig(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | (at + i < bytes.size() ? uint8_t(bytes[at + i]) : 0);
    return value;
}
void putLittle(std::string& bytes, size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size && at + i < bytes.size(); ++i)
        bytes[at + i] = char(value >> (8 * i));
}

std::string damage(std::string bytes, std::ostream& said)
{
    const std::vector<size_t> properties = places(bytes, "prop");
    std::vector<size_t> objects = places(bytes, "DATA");
    const std::vector<size_t> files = places(bytes, "FILE");
    objects.insert(objects.end(), files.begin(), files.end());
    const std::vector<size_t> images = places(bytes, "BM6");
    size_t kind = below(10);
    // A damage on top of another may find nothing left to aim at: bytes change instead.
    if ((kind == 4 && properties.empty()) || (kind == 5 && objects.empty())
        || (kind == 6 && files.empty()) || (kind >= 7 && images.empty()))
        kind = 0;
    if (bytes.empty())
        return bytes;
    switch (kind) {
    case 0: {
        const size_t count = 1 + below(16);
        said << "changed " << count << " bytes;";
        for (size_t i = 0; i < count; ++i)
            bytes[below(bytes.size())] = char(rng());
        break;
    }
    case 1: {
        const size_t at = below(bytes.size()), length = 1 + below(4096);
        said << "zeroed " << length << " bytes at " << at << ";";
        for (size_t i = at; i < at + length && i < bytes.size(); ++i)
            bytes[i] = 0;
        break;
    }
    case 2: {
        const size_t at = below(bytes.size()), length = 1 + below(64);
        if (below(2)) {
            said << "took out " << length << " bytes at " << at << ";";
            bytes.erase(at, length);
        } else {
            said << "put in " << length << " bytes at " << at << ";";
            bytes.insert(at, length, char(rng()));
        }
        break;
    }
    case 3: {
        const size_t length = below(bytes.size());
        said << "cut to " << length << " bytes;";
        bytes.resize(length);
        break;
    }
    case 4: {
        const size_t at = properties[below(properties.size())] + 8;
        const uint32_t value = wildValue(getBig(bytes, at));
        said << "property size at " << at << " made " << value << ";";
        putBig(bytes, at, value);
        break;
    }
    case 5: {
        const size_t at = objects[below(objects.size())] + 4 + 4 * below(2);
        const uint32_t value = wildValue(getBig(bytes, at));
        said << "object size at " << at << " made " << value << ";";
        putBig(bytes, at, value);
        break;
    }
    case 6: {
        // The top count, or the count that opens a nested datafile.
        const size_t at = below(2) ? 8 : files[below(files.size())] + 12;
        const uint32_t value = wildValue(getBig(bytes, at));
        said << "count at " << at << " made " << value << ";";
        putBig(bytes, at, value);
        break;
    }
    case 7:
    case 8: {
        // A field of a sprite's BMP header: pixel offset, header size, width, height, bits,
        // compression.
        const size_t image = images[below(images.size())];
        static const size_t fields[] = {10, 14, 18, 22, 28, 30};
        const size_t field = fields[below(6)];
        const uint32_t value = field == 28 ? uint32_t(below(40)) : wildValue(uint32_t(below(128)));
        said << "BMP field " << field << " of the image at " << image << " made " << value << ";";
        putLittle(bytes, image + field, value, field == 28 ? 2 : 4);
        break;
    }
    default: {
        const size_t image = images[below(images.size())];
        const bool four = below(2);
        said << "image at " << image << " made RLE" << (four ? 4 : 8) << ";";
        putLittle(bytes, image + 28, four ? 4 : 8, 2);
        putLittle(bytes, image + 30, four ? 2 : 1, 4);
        break;
    }
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: damage_datafile BASE.DAT OUTDIR COUNT [SEED]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    const std::string intact = read.str();
    if (intact.size() < 16) {
        std::fprintf(stderr, "damage_datafile: %s is no datafile\n", argv[1]);
        return 1;
    }
    rng.seed(argc > 4 ? std::stoul(argv[4]) : 1);
    std::ofstream log(std::string(argv[2]) + "/damages.txt");
    for (int i = 0; i < std::stoi(argv[3]); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%04d.dat", i);
        std::ostringstream said;
        std::string bytes = damage(intact, said);
        // Now and then a second damage on top of the first.
        if (below(4) == 0)
            bytes = damage(bytes, said);
        std::ofstream(std::string(argv[2]) + "/" + name, std::ios::binary) << bytes;
        log << name << " " << said.str() << "\n";
    }
    return 0;
}
