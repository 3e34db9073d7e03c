#include "util.h"

#include "process_guard.h"

#include <algorithm>
#include <alleggl.h>
#include <allegro.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#ifdef ALLEGRO_WITH_XWINDOWS
#include <xalleg.h>
// Allegro's X11 port gives the window this XPM image as its icon; the build paints ours. The
// window's class names it to the desktop, which finds the game's launcher and icon by it.
extern "C" char** allegro_icon;
extern "C" void xwin_set_window_name(const char* name, const char* group);
extern const char* outbreakIcon[];
#endif

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

// A message box through Allegro. A request to stop while it is up ends the game with the status
// it would have had: 1 after a box that ends the game anyway, 0 after one that it plays on from.
__attribute__((format(printf, 2, 3))) void showMessage(int statusIfStopped, const char* format, ...)
{
    char text[4096];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    MessageBoxWait wait(statusIfStopped);
    allegro_message("%s", text);
}

// Start-up failures other than the mouse end the game: a message, then exit status 1.
void failStartUp(const char* what)
{
    showMessage(1, "%s failed.\n%s\n", what, allegro_error);
    exit(1);
}

} // namespace

void enterDataFolder()
{
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> folders {fs::current_path(error)};
    const fs::path game = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        for (const fs::path& folder : {game.parent_path(),
                 (game.parent_path() / OUTBREAK_DATA_FROM_BINDIR).lexically_normal(),
                 (game.parent_path() / OUTBREAK_DATA_FROM_GAMESDIR).lexically_normal()})
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

void startAllegroAndOpenGL(void (*tick)())
{
    if (startWithSignalsHeld([] { return allegro_init(); }) != 0) {
        // Nothing more of Allegro may be called now, its message box included.
        fprintf(stderr, "Unable to start Allegro: is there an X display for the window?\n%s\n",
            allegro_error);
        exit(1);
    }
#ifdef ALLEGRO_WITH_XWINDOWS
    watchDisplay(ConnectionNumber(_xwin.display), DisplayString(_xwin.display));
#endif
    if (install_allegro_gl() != 0)
        failStartUp("Installing AllegroGL");
    if (install_keyboard() != 0)
        failStartUp("Installing the keyboard");
    if (install_mouse() < 0)
        showMessage(0, "Unable to install mouse.\n%s\n", allegro_error);

    allegro_gl_clear_settings();
    allegro_gl_set(AGL_COLOR_DEPTH, 32);
    allegro_gl_set(AGL_DOUBLEBUFFER, 1);
    allegro_gl_set(AGL_Z_DEPTH, 8);
    allegro_gl_set(AGL_WINDOWED, TRUE);
    allegro_gl_set(AGL_RENDERMETHOD, 1);
    allegro_gl_set(AGL_SUGGEST,
        AGL_COLOR_DEPTH | AGL_DOUBLEBUFFER | AGL_Z_DEPTH | AGL_WINDOWED | AGL_RENDERMETHOD);

    set_color_depth(32);
    set_window_title("Outbreak");
#ifdef ALLEGRO_WITH_XWINDOWS
    allegro_icon = const_cast<char**>(outbreakIcon);
    xwin_set_window_name("outbreak", "Outbreak");
#endif
    if (set_gfx_mode(GFX_OPENGL, 640, 480, 0, 0) != 0) {
        showMessage(1, "Error setting OpenGL graphics mode:\n%s\nAllegro GL error : %s\n",
            allegro_error, allegro_gl_error);
        exit(1);
    }

    if (install_timer() != 0)
        failStartUp("Installing the timer");
    if (install_int_ex(tick, BPS_TO_TIMER(60)) != 0)
        failStartUp("Installing the 60 Hz timer");

    srand(time(NULL));
    allegro_gl_use_mipmapping(TRUE);

    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT, GL_FILL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);

    show_mouse(screen);
    allegro_gl_set_projection();
}

unsigned loadBMP(const char* path)
{
    PACKFILE* file = pack_fopen(path, "r");
    if (!file) {
        // Without its sprites the game cannot be played, and the file must never be read.
        showMessage(1, "Couldn't open %s\n%s%s", path, allegro_error, dataSearchNote.c_str());
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
        showMessage(0, "Error reading %s\n%s", path, allegro_error);
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
