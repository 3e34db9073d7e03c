#include "util.h"

#include "datafile_check.h"
#include "process_guard.h"

#include <algorithm>
#include <alleggl.h>
#include <allegro.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
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

// Set when the working directory's base.dat was passed over, or no folder holds a usable one:
// lines that name the folders looked in and why each was passed over.
std::string dataSearchNote;

// The largest base.dat the game reads: its own is some 100 KB.
constexpr off_t largestDatafile = 64 << 20;

// Reads the whole of a datafile into bytes. Empty when it can; otherwise why not, worded to follow
// the file's name. Only a regular file is read: a pipe or a device by that name could block or
// never end.
std::string readDatafile(const std::string& file, std::string& bytes)
{
    const char* const tooLarge = "is larger than 64 MB, far too large for the game's datafile";
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::string("cannot be read: ") + strerror(errno);
    struct stat status;
    std::string fault;
    if (fstat(fd, &status) != 0)
        fault = std::string("cannot be read: ") + strerror(errno);
    else if (!S_ISREG(status.st_mode))
        fault = "is not a file";
    else if (status.st_size > largestDatafile)
        fault = tooLarge;
    bytes.clear();
    char buffer[65536];
    ssize_t got = 0;
    while (fault.empty() && (got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno != EINTR)
            fault = std::string("cannot be read: ") + strerror(errno);
        else if (got > 0 && bytes.size() + size_t(got) > size_t(largestDatafile))
            fault = tooLarge; // it grew as it was read
        else if (got > 0)
            bytes.append(buffer, size_t(got));
    }
    close(fd);
    return fault.empty() ? datafileFault(bytes) : fault;
}

// A datafile as it was read: its bytes, or why they cannot be read.
struct ReadDatafile {
    std::string bytes;
    std::string unread; // readDatafile's fault; empty when read and well-formed
};

// The base.dat of the folder the game chose, read once at the choice: every "base.dat#..." sprite
// comes from these bytes, whatever happens to the file afterwards (a copy over it, a rebuild).
std::optional<ReadDatafile> chosenDatafile;

// Empty when a well-formed datafile holds every sprite of the game; otherwise why not.
std::string gameDatafileFault(const ReadDatafile& datafile)
{
    if (!datafile.unread.empty())
        return datafile.unread;
    for (const char* path : spritePaths) {
        const char* object = std::strchr(path, '#') + 1;
        if (!datafileObject(datafile.bytes, object))
            return std::string("is not the game's datafile: it has no object ") + object;
    }
    return "";
}

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
    std::vector<fs::path> gamesOwn;
    const fs::path game = fs::read_symlink("/proc/self/exe", error);
    if (!error)
        gamesOwn = {game.parent_path(),
            (game.parent_path() / OUTBREAK_DATA_FROM_BINDIR).lexically_normal(),
            (game.parent_path() / OUTBREAK_DATA_FROM_GAMESDIR).lexically_normal()};
    for (const fs::path& folder : gamesOwn)
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);

    // A datafile that is damaged or not the game's is passed over in the working directory, where
    // anything may lie. Beside the game or in its data folder it is the game's own, damaged, and
    // loadBMP reports what is wrong with it. Each base.dat is read once, and the chosen one's bytes
    // are kept for the sprites.
    std::string lookedIn;
    std::optional<ReadDatafile> inWorkingDirectory;
    for (const fs::path& folder : folders) {
        const fs::path file = folder / "base.dat";
        std::string finding = "no base.dat";
        if (fs::exists(file, error) || fs::is_symlink(file, error)) {
            ReadDatafile datafile;
            datafile.unread = readDatafile(file, datafile.bytes);
            const std::string fault = gameDatafileFault(datafile);
            const bool own = std::find(gamesOwn.begin(), gamesOwn.end(), folder) != gamesOwn.end();
            if (fault.empty() || own) {
                if (folder == folders[0] || chdir(folder.c_str()) == 0) {
                    if (!lookedIn.empty())
                        dataSearchNote = "Looked for base.dat in:\n" + lookedIn;
                    chosenDatafile = std::move(datafile);
                    return;
                }
                finding = std::string("cannot be entered: ") + strerror(errno);
            } else {
                finding = "base.dat " + fault;
            }
            if (folder == folders[0])
                inWorkingDirectory = std::move(datafile);
        }
        lookedIn += "  " + folder.string() + ": " + finding + "\n";
    }
    dataSearchNote = "Looked for base.dat in:\n" + lookedIn;
    // The working directory stays, and the sprites' message says why its base.dat is no use.
    if (!inWorkingDirectory) {
        inWorkingDirectory.emplace();
        inWorkingDirectory->unread = readDatafile("base.dat", inWorkingDirectory->bytes);
    }
    chosenDatafile = std::move(inWorkingDirectory);
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
    // The datafile is read whole and checked before Allegro sees a byte of it, and Allegro reads
    // the sprite from the very bytes that were checked. The chosen base.dat was read at the
    // folder choice; any other datafile is read now.
    const char* hash = std::strchr(path, '#');
    const std::string file = hash ? std::string(path, hash) : path;
    const std::string object = hash ? hash + 1 : "";
    const bool chosen = chosenDatafile && file == "base.dat";
    ReadDatafile readNow;
    if (!chosen)
        readNow.unread = readDatafile(file, readNow.bytes);
    const ReadDatafile& datafile = chosen ? *chosenDatafile : readNow;
    std::string unopened = datafile.unread;
    const std::optional<std::string_view> image
        = unopened.empty() ? datafileObject(datafile.bytes, object) : std::nullopt;
    if (unopened.empty() && !image)
        unopened = "has no object " + object;
    if (!unopened.empty()) {
        // Without its sprites the game cannot be played.
        std::error_code error;
        const std::string why = std::filesystem::absolute(file, error).string() + " " + unopened;
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, why.c_str());
        showMessage(1, "Couldn't open %s\n%s\n%s", path, why.c_str(), dataSearchNote.c_str());
        exit(1);
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
