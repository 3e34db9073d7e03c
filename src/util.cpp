#include "util.h"

#include "datafile_check.h"
#include "process_guard.h"

#include <algorithm>
#include <alleggl.h>
#include <allegro.h>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#ifdef ALLEGRO_WITH_XWINDOWS
#include <X11/Xutil.h>
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

// The effective character set of the player's locale names UTF-8.
bool localeIsUtf8()
{
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if ((name = getenv(variable)) && *name)
            break;
    std::string lower = name ? name : "";
    std::transform(lower.begin(), lower.end(), lower.begin(),
        [](unsigned char c) { return char(std::tolower(c)); });
    return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

// Where the letter (a UTF-8 sequence) that starts at byte i ends.
size_t letterEnd(const std::string& text, size_t i)
{
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xc0) == 0x80)
        ++i;
    return i;
}

size_t letters(const std::string& text)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size(); i = letterEnd(text, i))
        ++count;
    return count;
}

// The first n letters of text, as bytes.
size_t bytesOfLetters(const std::string& text, size_t n)
{
    size_t i = 0;
    for (; i < text.size() && n > 0; --n)
        i = letterEnd(text, i);
    return i;
}

// A message as the box shows it: lines longer than the screen is wide are wrapped, after a '/' or
// a space where there is one near the end, and a line so long that it would fill the screen (a
// deep folder) is shortened in its middle, so that the reason at its end stays in sight.
std::string fitToScreen(const std::string& text, size_t columns)
{
    std::string fitted;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (letters(line) > 3 * columns) {
            const size_t head = bytesOfLetters(line, columns);
            const std::string rest = line.substr(head);
            const size_t tail = bytesOfLetters(rest, letters(rest) - (2 * columns - 1));
            line = line.substr(0, head) + "\u2026" + rest.substr(tail);
        }
        while (letters(line) > columns) {
            size_t cut = bytesOfLetters(line, columns);
            const size_t breakAt = line.find_last_of("/ ", cut - 1);
            if (breakAt != std::string::npos && breakAt + 1 > bytesOfLetters(line, columns * 2 / 3))
                cut = breakAt + 1;
            fitted += line.substr(0, cut) + "\n";
            line = line.substr(cut);
        }
        fitted += line + "\n";
    }
    return fitted;
}

// Letters across the message box's widest line: xmessage makes its box at most three quarters of
// the screen wide, and its font's letters are 7 pixels wide.
size_t screenColumns()
{
    int width = 1024;
#ifdef ALLEGRO_WITH_XWINDOWS
    if (_xwin.display)
        width = DisplayWidth(_xwin.display, DefaultScreen(_xwin.display));
#endif
    return size_t(std::max(40, (width * 3 / 4 - 60) / 7));
}

// The strings as a list of C strings, ended by a null pointer, as exec takes them.
std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

void writeWhole(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno != EINTR)
            return;
        done += wrote > 0 ? size_t(wrote) : 0;
    }
}

// A message box, shown as Allegro shows one on X11: xmessage with an OK button. Allegro's own box
// turns every letter outside ASCII into '^' (a folder's name in Cyrillic or Japanese), cuts the
// text at 4 KB, gives the box the game's signals and streams, and where no box can be shown writes
// the text to standard output, buffered, where an exit drops it. Here the text stays UTF-8 and
// whole; where no box can be shown (no xmessage, or it fails) it goes to standard error at once,
// and the game goes on as after the box. A request to stop while the box is up ends the game with
// the status it would have had: 1 after a box that ends the game anyway, 0 after one that it plays
// on from.
void tellPlayer(int statusIfStopped, std::string text)
{
    if (text.empty() || text.back() != '\n')
        text += '\n';
    std::string shown = fitToScreen(text, screenColumns());
    std::vector<std::string> words {"xmessage", "-buttons", "OK:101", "-default", "OK", "-center",
        "-xrm", "*international: true", shown};
    // Its letters are read as UTF-8, whatever the locale the game was started in.
    std::vector<std::string> environment;
    const bool utf8 = localeIsUtf8();
    for (char** variable = environ; *variable; ++variable)
        if (utf8 || std::strncmp(*variable, "LC_ALL=", 7) != 0)
            environment.push_back(*variable);
    if (!utf8)
        environment.push_back("LC_ALL=C.UTF-8");
    const int status
        = runMessageBox(pointersTo(words).data(), pointersTo(environment).data(), statusIfStopped);
    const bool answered = status >= 0 && WIFEXITED(status)
        && (WEXITSTATUS(status) == 101 || WEXITSTATUS(status) == 0);
    if (!answered)
        writeWhole(STDERR_FILENO, text);
}

__attribute__((format(printf, 2, 3))) void showMessage(int statusIfStopped, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(size_t(std::max(length, 0)), '\0');
    vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    tellPlayer(statusIfStopped, text);
}

// Start-up failures other than the mouse end the game: a message, then exit status 1.
void failStartUp(const char* what)
{
    showMessage(1, "%s failed.\n%s\n", what, allegro_error);
    exit(1);
}

#ifdef ALLEGRO_WITH_XWINDOWS
// AllegroGL's graphics mode waits for its new window's first exposure, with Allegro's X lock held,
// looking for it every millisecond with no end. A window that the window manager maps hidden
// (minimised, or on another desktop) gets none until it is shown, and the game hung there, deaf to
// its close button and to requests to stop. A connection of the game's own watches for the window
// to be made and hands that wait an exposure at once. The game then waits for its window to be
// shown, looking twenty times a second, which costs next to nothing, while Allegro hears the close
// button; the level starts only once the player can see it.
class WindowWatch {
public:
    explicit WindowWatch(Display* game)
    {
        watch_ = XOpenDisplay(DisplayString(game));
        if (!watch_)
            return; // then AllegroGL's own wait decides, as before
        // Windows of the game's connection have ids in a range of its own: the connection's
        // resource base and mask, which Xlib's public header names private3 and private4.
        const auto* own = reinterpret_cast<_XPrivDisplay>(game);
        base_ = own->private3;
        mask_ = own->private4;
        XSelectInput(watch_, DefaultRootWindow(watch_), SubstructureNotifyMask);
        XSync(watch_, False);
        nudger_ = std::thread([this] { exposeTheNewWindow(); });
    }
    ~WindowWatch()
    {
        done_ = true;
        if (nudger_.joinable())
            nudger_.join();
        if (watch_)
            XCloseDisplay(watch_);
    }
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;

    // Once the graphics mode is set: waits until the window is shown, that is exposed, or mapped
    // and not minimised (where the exposure came before the watch looked for it).
    void waitUntilShown()
    {
        if (nudger_.joinable())
            nudger_.join();
        if (!window_)
            return;
        const Atom wmState = XInternAtom(watch_, "WM_STATE", False);
        for (;;) {
            while (XPending(watch_)) {
                XEvent event;
                XNextEvent(watch_, &event);
                if (event.type == Expose && !event.xexpose.send_event)
                    return;
            }
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(watch_, window_, &attributes))
                return;
            if (attributes.map_state == IsViewable && !minimised(wmState))
                return;
            // Allegro's rest() spins until its timer is installed: the thread sleeps instead.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

private:
    // Whether the window manager keeps the window minimised (its WM_STATE is IconicState).
    bool minimised(Atom wmState)
    {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        const bool iconic = XGetWindowProperty(watch_, window_, wmState, 0, 1, False, wmState,
                                &type, &format, &count, &after, &data)
                == Success
            && data && format == 32 && count == 1
            && *reinterpret_cast<const long*>(data) == IconicState;
        if (data)
            XFree(data);
        return iconic;
    }

    void exposeTheNewWindow()
    {
        while (!done_) {
            if (!XPending(watch_)) {
                pollfd connection = {ConnectionNumber(watch_), POLLIN, 0};
                poll(&connection, 1, 50);
                continue;
            }
            XEvent event;
            XNextEvent(watch_, &event);
            if (event.type != CreateNotify || (event.xcreatewindow.window & ~mask_) != base_)
                continue;
            window_ = event.xcreatewindow.window;
            XSelectInput(watch_, DefaultRootWindow(watch_), NoEventMask);
            XSelectInput(watch_, window_, ExposureMask);
            XEvent expose = {};
            expose.xexpose.type = Expose;
            expose.xexpose.window = window_;
            expose.xexpose.width = event.xcreatewindow.width;
            expose.xexpose.height = event.xcreatewindow.height;
            XSendEvent(watch_, window_, False, ExposureMask, &expose);
            XFlush(watch_);
            return;
        }
    }

    Display* watch_ = nullptr;
    XID base_ = 0, mask_ = 0;
    Window window_ = 0;
    std::atomic<bool> done_ {false};
    std::thread nudger_;
};
#endif

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
    // The window's close button ends the game as Escape does, and as a request to stop does; it
    // is heard from the moment the window is made.
    set_close_button_callback(requestStop);
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
    WindowWatch watch(_xwin.display);
#endif
    if (set_gfx_mode(GFX_OPENGL, 640, 480, 0, 0) != 0) {
        showMessage(1, "Error setting OpenGL graphics mode:\n%s\nAllegro GL error : %s\n",
            allegro_error, allegro_gl_error);
        exit(1);
    }
#ifdef ALLEGRO_WITH_XWINDOWS
    watch.waitUntilShown();
#endif

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
