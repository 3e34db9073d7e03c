// libFuzzer target: bytes as the game checks and loads them. Every image the check passes is read
// by Allegro's BMP reader through a stream that stops the run if the reader wants a byte past the
// image's end; then the game's own loadBMP loads every sprite of a datafile that passes (without a
// display: no OpenGL, so textures come back 0). Input that starts like a BMP image is first put in
// a datafile as Enemy/RedAlien. At exit it prints how many inputs and images met each verdict.
#include "datafile_check.h"
#include "util.h"

#define ALLEGRO_NO_MAGIC_MAIN
#include <allegro.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

namespace {

long inputs, notDatafiles, damaged, wellFormed, imagesRefused, imagesRead, imagesAllegroRefused;
std::string datafile; // where each input is written for loadBMP

void printCounts()
{
    std::fprintf(stderr,
        "datafile_fuzz: %ld inputs: %ld not a datafile (or packed), %ld damaged, %ld well-formed; "
        "sprite images in them: %ld refused by the check, %ld passed and read by Allegro, %ld "
        "passed and refused by Allegro\n",
        inputs, notDatafiles, damaged, wellFormed, imagesRefused, imagesRead, imagesAllegroRefused);
}

std::string big(uint32_t value)
{
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return std::string(bytes, 4);
}

// A datafile of one nested datafile Enemy that holds image as RedAlien.
std::string datafileWithRedAlien(const std::string& image)
{
    const auto object = [](const std::string& name, const char* type, const std::string& contents) {
        return "propNAME" + big(uint32_t(name.size())) + name + type
            + big(uint32_t(contents.size())) + big(uint32_t(contents.size())) + contents;
    };
    return "slh.ALL." + big(1)
        + object("Enemy", "FILE", big(1) + object("RedAlien", "DATA", image));
}

// The image's bytes, for Allegro's reader; a read past their end stops the run.
struct Image {
    std::string_view bytes;
    size_t at = 0;
};
Image& imageOf(void* userdata) { return *static_cast<Image*>(userdata); }
void pastTheEnd()
{
    std::fprintf(stderr, "datafile_fuzz: Allegro read past the end of an image the check passed\n");
    std::abort();
}
int imageGetc(void* s)
{
    Image& image = imageOf(s);
    if (image.at >= image.bytes.size())
        pastTheEnd();
    return (unsigned char)image.bytes[image.at++];
}
int imageUngetc(int c, void* s)
{
    Image& image = imageOf(s);
    if (image.at == 0)
        return EOF;
    --image.at;
    return c;
}
long imageRead(void* p, long n, void* s)
{
    Image& image = imageOf(s);
    if (n < 0 || size_t(n) > image.bytes.size() - image.at)
        pastTheEnd();
    std::memcpy(p, image.bytes.data() + image.at, size_t(n));
    image.at += size_t(n);
    return n;
}
int imageSeek(void* s, int offset)
{
    Image& image = imageOf(s);
    if (offset < 0 || size_t(offset) > image.bytes.size() - image.at)
        pastTheEnd();
    image.at += size_t(offset);
    return 0;
}
int imageClose(void*) { return 0; }
int imagePutc(int, void*) { return EOF; }
long imageWrite(const void*, long, void*) { return 0; }
int imageEof(void* s) { return imageOf(s).at >= imageOf(s).bytes.size(); }
int imageError(void*) { return 0; }
const PACKFILE_VTABLE imageStream = {imageClose, imageGetc, imageUngetc, imageRead, imagePutc,
    imageWrite, imageSeek, imageEof, imageError};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        std::abort();
    set_color_depth(32);
    // Without a display, loadBMP shows its messages on standard output.
    char folder[] = "/tmp/datafile-fuzz-XXXXXX";
    if (!mkdtemp(folder) || !std::freopen("/dev/null", "w", stdout))
        std::abort();
    datafile = std::string(folder) + "/base.dat";
    std::atexit(printCounts);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ++inputs;
    std::string file(reinterpret_cast<const char*>(data), size);
    if (file.compare(0, 2, "BM") == 0)
        file = datafileWithRedAlien(file);

    const std::string fault = datafileFault(file);
    bool any = false;
    for (const char* path : spritePaths) {
        const auto bytes = datafileObject(file, spriteObject(path));
        any |= bool(bytes);
        if (!bytes || !fault.empty())
            continue;
        if (!bmpFault(*bytes).empty()) {
            ++imagesRefused;
            continue;
        }
        Image image {*bytes};
        PACKFILE* stream = pack_fopen_vtable(&imageStream, &image);
        BITMAP* bitmap = load_bmp_pf(stream, NULL);
        ++(bitmap ? imagesRead : imagesAllegroRefused);
        if (bitmap)
            destroy_bitmap(bitmap);
        pack_fclose(stream);
    }
    if (!fault.empty()) {
        ++(fault.compare(0, 10, "is damaged") == 0 ? damaged : notDatafiles);
        return 0;
    }
    ++wellFormed;
    if (!any)
        return 0;
    std::ofstream(datafile, std::ios::binary | std::ios::trunc) << file;
    for (const char* path : spritePaths)
        if (datafileObject(file, spriteObject(path)))
            loadBMP((datafile + std::strchr(path, '#')).c_str());
    return 0;
}
