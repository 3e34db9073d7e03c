#include "util.h"

#include "data_folder.h"
#include "datafile_check.h"
#include "ending.h"
#include "message_box.h"

#include <algorithm>
#include <alleggl.h>
#include <allegro.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace {

// A sprite's BMP image, read by Allegro's loader from the bytes that were checked. The stream notes
// whether the loader wanted bytes past the image's end: a sprite cut short.
struct ObjectStream {
    std::string_view image;
    size_t at;
    bool cutShort;
};

ObjectStream& streamOf(void* userdata) { return *static_cast<ObjectStream*>(userdata); }

int streamClose(void*) { return 0; }
int streamGetc(void* s)
{
    ObjectStream& stream = streamOf(s);
    if (stream.at < stream.image.size())
        return (unsigned char)stream.image[stream.at++];
    stream.cutShort = true;
    return EOF;
}
int streamUngetc(int c, void* s)
{
    // The loader only ever puts back the byte it has just read.
    ObjectStream& stream = streamOf(s);
    if (stream.at == 0)
        return EOF;
    --stream.at;
    return c;
}
long streamRead(void* p, long n, void* s)
{
    ObjectStream& stream = streamOf(s);
    const size_t left = stream.image.size() - stream.at;
    const size_t got = n <= 0 ? 0 : std::min(size_t(n), left);
    std::memcpy(p, stream.image.data() + stream.at, got);
    stream.at += got;
    stream.cutShort |= long(got) < n;
    return long(got);
}
int streamPutc(int, void*) { return EOF; }
long streamWrite(const void*, long, void*) { return 0; }
int streamSeek(void* s, int offset)
{
    ObjectStream& stream = streamOf(s);
    if (offset < 0 || size_t(offset) > stream.image.size() - stream.at) {
        stream.cutShort = true;
        return -1;
    }
    stream.at += size_t(offset);
    return 0;
}
int streamEof(void* s) { return streamOf(s).at >= streamOf(s).image.size(); }
int streamError(void*) { return 0; }

const PACKFILE_VTABLE objectStream = {streamClose, streamGetc, streamUngetc, streamRead, streamPutc,
    streamWrite, streamSeek, streamEof, streamError};

} // namespace

unsigned loadBMP(const char* path)
{
    // The datafile is read whole and checked before Allegro sees a byte of it, and Allegro reads
    // the sprite from the very bytes that were checked.
    const char* hash = std::strchr(path, '#');
    const std::string file = hash ? std::string(path, hash) : path;
    const std::string object = hash ? hash + 1 : "";
    const DatafileBytes datafile = datafileBytes(file);
    std::string unopened = datafile.unread;
    const std::optional<std::string_view> image
        = unopened.empty() ? datafileObject(datafile.bytes, object) : std::nullopt;
    if (unopened.empty() && !image)
        unopened = "has no object " + object;
    if (!unopened.empty()) {
        // Without its sprites the game cannot be played.
        std::error_code error;
        const std::filesystem::path where = std::filesystem::absolute(file, error);
        const std::string why = (error ? file : where.string()) + " " + unopened;
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, why.c_str());
        showMessage(BoxReport::failure, "Couldn't open %s\n%s\n%s", path, why.c_str(),
            dataSearchNote().c_str());
        endNow(Ending::unopenedSprite);
    }

    BITMAP* bitmap = NULL;
    const std::string fault = bmpFault(*image);
    if (fault.empty()) {
        ObjectStream stream {*image, 0, false};
        PACKFILE* checked = pack_fopen_vtable(&objectStream, &stream);
        bitmap = checked ? load_bmp_pf(checked, NULL) : NULL;
        if (checked)
            pack_fclose(checked);
        if (bitmap && stream.cutShort) {
            // What the loader got past the image's end is not the image.
            destroy_bitmap(bitmap);
            bitmap = NULL;
            ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, "The image is cut short");
        }
    } else {
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, fault.c_str());
    }
    if (!bitmap) {
        showMessage(BoxReport::notice, "Error reading %s\n%s", path, allegro_error);
        return 0;
    }

    GLuint texture = allegro_gl_make_masked_texture(bitmap);
    destroy_bitmap(bitmap);
    return texture;
}

unsigned makeQuad(unsigned texture)
{
    unsigned list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, texture);
    // Counter-clockwise on screen (y grows downwards), so back-face culling keeps it; t = 1 is
    // the image's top row and lies at y = -1, the top edge.
    glBegin(GL_QUADS);
    glTexCoord2f(1, 0);
    glVertex2f(1, 1);
    glTexCoord2f(1, 1);
    glVertex2f(1, -1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, -1);
    glTexCoord2f(0, 0);
    glVertex2f(-1, 1);
    glEnd();
    glEndList();
    return list;
}
