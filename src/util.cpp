#include "util.h"

#include <algorithm>
#include <alleggl.h>
#include <allegro.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// Set when no folder holds base.dat: the line that names the folders looked in.
std::string dataSearchNote;

// A datafile object, read through a stream that notes whether the object ran out while the BMP
// loader still wanted bytes: a sprite cut short. Allegro's own stream cannot tell, as it sets its
// end-of-file flag on reading the last byte of a whole object, and an object cut short by the end
// of a truncated datafile sets no error.
struct ObjectStream {
    PACKFILE* object;
    bool cutShort;
};

ObjectStream& streamOf(void* userdata) { return *static_cast<ObjectStream*>(userdata); }

int streamClose(void* s) { return pack_fclose(streamOf(s).object); }
int streamGetc(void* s)
{
    const int c = pack_getc(streamOf(s).object);
    streamOf(s).cutShort |= c == EOF;
    return c;
}
int streamUngetc(int c, void* s) { return pack_ungetc(c, streamOf(s).object); }
long streamRead(void* p, long n, void* s)
{
    const long got = pack_fread(p, n, streamOf(s).object);
    streamOf(s).cutShort |= got < n;
    return got;
}
int streamPutc(int, void*) { return EOF; }
long streamWrite(const void*, long, void*) { return 0; }
int streamSeek(void* s, int offset) { return pack_fseek(streamOf(s).object, offset); }
int streamEof(void* s) { return pack_feof(streamOf(s).object); }
int streamError(void* s) { return pack_ferror(streamOf(s).object); }

const PACKFILE_VTABLE objectStream = {streamClose, streamGetc, streamUngetc, streamRead, streamPutc,
    streamWrite, streamSeek, streamEof, streamError};

} // namespace

void enterDataFolder()
{
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> folders {fs::current_path(error)};
    const fs::path game = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        for (const fs::path& folder : {game.parent_path(),
                 (game.parent_path() / OUTBREAK_DATA_FROM_BINDIR).lexically_normal()})
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(folder);
    }

    std::string lookedIn;
    for (const fs::path& folder : folders) {
        if (fs::is_regular_file(folder / "base.dat", error)
            && (folder == folders[0] || chdir(folder.c_str()) == 0))
            return;
        lookedIn += (lookedIn.empty() ? "" : ", ") + folder.string();
    }
    dataSearchNote = "\nLooked for base.dat in: " + lookedIn + "\n";
}

unsigned loadBMP(const char* path)
{
    PACKFILE* file = pack_fopen(path, "r");
    if (!file) {
        // Without its sprites the game cannot be played, and the file must never be read.
        allegro_message("Couldn't open %s\n%s%s", path, allegro_error, dataSearchNote.c_str());
        exit(1);
    }

    ObjectStream stream {file, false};
    PACKFILE* checked = pack_fopen_vtable(&objectStream, &stream);
    BITMAP* bitmap = checked ? load_bmp_pf(checked, NULL) : NULL;
    pack_fclose(checked ? checked : file);
    if (bitmap && stream.cutShort) {
        // What the loader got past the object's end is not the image.
        destroy_bitmap(bitmap);
        bitmap = NULL;
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, "The image is cut short");
    }
    if (!bitmap) {
        allegro_message("Error reading %s\n%s", path, allegro_error);
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
