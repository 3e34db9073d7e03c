#include "running_game.h"

#include "util.h"

#include <X11/Xlib.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

std::string buildDir() { return OUTBREAK_BUILD_DIR; }

GameOptions inBuildDir()
{
    GameOptions options;
    options.workDir = buildDir();
    return options;
}

namespace {

// The game's X display, opened before the game starts. The game may end, and its window go, at
// any moment while a test looks at it or moves the pointer over it: the X errors that follow are
// no reason to end the test program.
Display* openDisplay(const GameOptions& options)
{
    if (!options.withDisplay)
        return nullptr;
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Display* display = XOpenDisplay(options.display.empty() ? nullptr : options.display.c_str());
    if (!display)
        throw std::runtime_error("the test has no X display");
    return display;
}

ChildEnvironment gameEnvironment(const GameOptions& options)
{
    ChildEnvironment environment;
    environment.boxesStayUp = options.messageBoxesStayUp;
    if (!options.withDisplay)
        environment.unset("DISPLAY");
    else if (!options.display.empty())
        environment.set("DISPLAY", options.display);
#ifdef OUTBREAK_SANITIZE
    // X11 and Mesa keep allocations until exit that LeakSanitizer reports; it can only match
    // them to the suppressions while Mesa's software driver is still mapped, so the driver is
    // preloaded and never unloaded. The path is quoted, as it may hold spaces and colons.
    environment.set("LSAN_OPTIONS",
        "suppressions=\"" OUTBREAK_SOURCE_DIR "/tests/lsan.supp\":print_suppressions=0");
    environment.set("ASAN_OPTIONS", "verify_asan_link_order=0");
    environment.preload("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so");
#endif
    for (const std::string& library : options.preloads)
        environment.preload(library);
    if (options.levelSeed >= 0) {
        environment.preload(STOPPED_CLOCK_LIBRARY);
        environment.set("STOPPED_CLOCK", std::to_string(options.levelSeed));
    }
    if (options.pauseAtFirstFrame)
        environment.preload(FIRST_FRAME_PAUSE_LIBRARY);
    return environment;
}

std::vector<std::string> commandLine(const GameOptions& options)
{
    std::vector<std::string> argv = options.launcher;
    argv.push_back(options.binary);
    return argv;
}

} // namespace

RunningGame::RunningGame(const GameOptions& options)
    : ChildProcess(commandLine(options),
        options.workDir.empty() ? makeScratchDir() : options.workDir, gameEnvironment(options)),
      display_(openDisplay(options))
{
    if (!started())
        throw std::runtime_error("the game did not start");
}

RunningGame::~RunningGame() { letGoOfDisplay(); }

void RunningGame::letGoOfDisplay()
{
    if (display_)
        XCloseDisplay(display_);
    display_ = nullptr;
}

// The game's window by its name: viewable, or (hidden) a 640x480 one that is not.
static Window findViewable(Display* display, Window w, const char* name, bool hidden = false)
{
    char* title = nullptr;
    if (XFetchName(display, w, &title) && title) {
        const bool match = std::strcmp(title, name) == 0;
        XFree(title);
        XWindowAttributes a;
        if (match && XGetWindowAttributes(display, w, &a)
            && (hidden ? a.map_state != IsViewable && a.width == 640 && a.height == 480
                       : a.map_state == IsViewable))
            return w;
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, w, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i)
            found = findViewable(display, children[i], name, hidden);
        if (children)
            XFree(children);
    }
    return found;
}

bool RunningGame::waitForWindow(double seconds, Mapped mapped)
{
    const bool shown = waitUntil(
        seconds,
        [&] {
            window_ = findViewable(
                display_, DefaultRootWindow(display_), "Outbreak", mapped == Mapped::hidden);
            return window_ || !running();
        },
        mapped == Mapped::justNow ? 1 : 20);
    if (!shown || !window_)
        return false;
    // The game selects its input events just after the window shows; give it time.
    if (mapped == Mapped::settled)
        sleepMs(300);
    return true;
}

Image RunningGame::firstFrame(double seconds)
{
    if (!waitForStop(seconds))
        return Image();
    window_ = findViewable(display_, DefaultRootWindow(display_), "Outbreak");
    Image shot = window_ ? screenshot() : Image();
    resume();
    return shot;
}

int RunningGame::windowWidth() const
{
    XWindowAttributes a {};
    return XGetWindowAttributes(display_, window_, &a) ? a.width : 0;
}

int RunningGame::windowHeight() const
{
    XWindowAttributes a {};
    return XGetWindowAttributes(display_, window_, &a) ? a.height : 0;
}

static int shiftOf(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// The pixels of an image read from the X server, which it destroys.
static Image toImage(XImage* x)
{
    Image image;
    image.width = x->width;
    image.height = x->height;
    const int rs = shiftOf(x->red_mask), gs = shiftOf(x->green_mask), bs = shiftOf(x->blue_mask);
    image.pixels.resize(size_t(image.width) * image.height);
    for (int y = 0; y < image.height; ++y)
        for (int xx = 0; xx < image.width; ++xx) {
            const unsigned long p = XGetPixel(x, xx, y);
            image.pixels[size_t(y) * image.width + xx] = Rgb {uint8_t((p & x->red_mask) >> rs),
                uint8_t((p & x->green_mask) >> gs), uint8_t((p & x->blue_mask) >> bs)};
        }
    XDestroyImage(x);
    return image;
}

Image RunningGame::screenshot()
{
    const int width = windowWidth(), height = windowHeight();
    XImage* x = width > 0 && height > 0
        ? XGetImage(display_, window_, 0, 0, width, height, AllPlanes, ZPixmap)
        : nullptr;
    if (!x) {
        // The game has ended and its window is gone.
        Image image;
        image.width = lastWidth_;
        image.height = lastHeight_;
        image.pixels.assign(size_t(image.width) * image.height, Rgb {0, 0, 0});
        return image;
    }
    lastWidth_ = width;
    lastHeight_ = height;
    return toImage(x);
}

RunningGame::Icon RunningGame::windowIcon()
{
    Icon icon;
    XWMHints* hints = XGetWMHints(display_, window_);
    if (!hints)
        return icon;
    Window root;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    XImage* pixels = (hints->flags & IconPixmapHint)
            && XGetGeometry(
                display_, hints->icon_pixmap, &root, &x, &y, &width, &height, &border, &depth)
        ? XGetImage(display_, hints->icon_pixmap, 0, 0, width, height, AllPlanes, ZPixmap)
        : nullptr;
    if (pixels) {
        // A pixmap has no visual of its own: its pixels are the screen's.
        const Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
        pixels->red_mask = visual->red_mask;
        pixels->green_mask = visual->green_mask;
        pixels->blue_mask = visual->blue_mask;
        icon.image = toImage(pixels);
        icon.shown.assign(icon.image.pixels.size(), true);
        XImage* mask = (hints->flags & IconMaskHint)
            ? XGetImage(display_, hints->icon_mask, 0, 0, width, height, 1, XYPixmap)
            : nullptr;
        for (int yy = 0; mask && yy < int(height); ++yy)
            for (int xx = 0; xx < int(width); ++xx)
                icon.shown[size_t(yy) * width + xx] = XGetPixel(mask, xx, yy) != 0;
        if (mask)
            XDestroyImage(mask);
    }
    XFree(hints);
    return icon;
}

void RunningGame::movePointer(int x, int y)
{
    XWarpPointer(display_, None, window_, 0, 0, 0, 0, x, y);
    int rootX = x, rootY = y;
    Window child;
    XTranslateCoordinates(
        display_, window_, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, 0);
    XFlush(display_);
}

bool RunningGame::movePointerAndSee(int x, int y, double seconds)
{
    return waitUntil(
        seconds,
        [&] {
            movePointer(x, y);
            sleepMs(50);
            return !screenshot().at(x, y).isBlack();
        },
        50);
}

void RunningGame::pressButton(int holdMs)
{
    XTestFakeButtonEvent(display_, 1, True, 0);
    XFlush(display_);
    sleepMs(holdMs);
    XTestFakeButtonEvent(display_, 1, False, 0);
    XFlush(display_);
}

void RunningGame::click(int x, int y, int holdMs)
{
    movePointer(x, y);
    sleepMs(50);
    pressButton(holdMs);
}

void RunningGame::holdKey(unsigned long keysym, int holdMs)
{
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    const KeyCode code = XKeysymToKeycode(display_, keysym);
    XTestFakeKeyEvent(display_, code, True, 0);
    XFlush(display_);
    sleepMs(holdMs);
    XTestFakeKeyEvent(display_, code, False, 0);
    XFlush(display_);
}

void RunningGame::requestClose()
{
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window_;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window_, False, NoEventMask, &event);
    XFlush(display_);
}

std::string RunningGame::windowClass()
{
    XClassHint hint {};
    if (!XGetClassHint(display_, window_, &hint))
        return "";
    const std::string both = std::string(hint.res_name) + ", " + hint.res_class;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return both;
}

const char* kindName(int kind)
{
    static const char* const names[spriteKinds]
        = {"red", "green", "purple", "white", "gray", "black", "hard ball"};
    return kind >= 0 && kind < spriteKinds ? names[kind] : "nothing";
}

SpriteEye::SpriteEye(const std::string& spriteDir)
{
    static_assert(spriteKinds == hardBallSprite + 1, "the kinds are the game's first sprites");
    for (int k = 0; k < spriteKinds; ++k) {
        // The build paints the sprite of object "base.dat#Enemy/RedAlien" as Enemy/RedAlien.
        const std::string file = spriteObject(spritePaths[k]);
        const Image sprite = loadBmp(spriteDir + "/" + file);
        if (sprite.width != 64 || sprite.height != 64)
            throw std::runtime_error("sprite is not 64x64: " + file);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                // Halved as a mipmap halves: the mean of two by two texels. Only pixels whose
                // texels are all opaque, well inside the rim, are compared: at the rim the
                // see-through texels' colour and the alpha test decide.
                int r = 0, g = 0, b = 0;
                bool opaque = true;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const Rgb& c = sprite.at(2 * x + dx, 2 * y + dy);
                        opaque = opaque && !(c.r == 255 && c.g == 0 && c.b == 255);
                        r += c.r;
                        g += c.g;
                        b += c.b;
                    }
                const double cx = x - 15.5, cy = y - 15.5;
                if (!opaque || cx * cx + cy * cy > 13.5 * 13.5)
                    continue;
                const Texel t {
                    x - 16, y - 16, Rgb {uint8_t(r / 4), uint8_t(g / 4), uint8_t(b / 4)}};
                fine_[k].push_back(t);
                if (x % 2 == 0 && y % 2 == 0)
                    coarse_[k].push_back(t);
            }
    }
}

double SpriteEye::mismatch(
    const Image& shot, int kind, int x, int y, bool coarse, double limit) const
{
    const std::vector<Texel>& texels = coarse ? coarse_[kind] : fine_[kind];
    const double count = double(texels.size());
    const long giveUp = limit < 1e6 ? long(limit * limit * 3 * count) + 1 : -1;
    const bool inside = x >= 16 && y >= 16 && x + 16 <= shot.width && y + 16 <= shot.height;
    long sum = 0;
    for (const Texel& t : texels) {
        const int sx = x + t.dx, sy = y + t.dy;
        Rgb s {0, 0, 0};
        if (inside || (sx >= 0 && sy >= 0 && sx < shot.width && sy < shot.height))
            s = shot.at(sx, sy);
        const int dr = s.r - t.colour.r, dg = s.g - t.colour.g, db = s.b - t.colour.b;
        sum += dr * dr + dg * dg + db * db;
        if (giveUp >= 0 && sum > giveUp)
            return limit + 1;
    }
    return std::sqrt(double(sum) / (3.0 * count));
}

SeenSprite SpriteEye::look(const Image& shot, int x, int y, int slack) const
{
    SeenSprite best;
    for (int dy = -slack; dy <= slack; ++dy)
        for (int dx = -slack; dx <= slack; ++dx)
            for (int k = 0; k < spriteKinds; ++k) {
                const double m = mismatch(shot, k, x + dx, y + dy, false, best.mismatch);
                if (m < best.mismatch) {
                    best.x = x + dx;
                    best.y = y + dy;
                    best.kind = k;
                    best.mismatch = m;
                }
            }
    return best;
}

std::vector<SeenSprite> SpriteEye::findAll(const Image& shot) const
{
    // A coarse look every other pixel with a quarter of each sprite's pixels, then the best
    // places, far enough apart, looked at closely.
    std::vector<SeenSprite> candidates;
    for (int y = 16; y + 16 <= shot.height; y += 2)
        for (int x = 16; x + 16 <= shot.width; x += 2) {
            if (shot.at(x, y).isBlack())
                continue;
            SeenSprite here;
            here.x = x;
            here.y = y;
            for (int k = 0; k < spriteKinds; ++k) {
                const double m = mismatch(shot, k, x, y, true, std::min(here.mismatch, 60.0));
                if (m < here.mismatch) {
                    here.mismatch = m;
                    here.kind = k;
                }
            }
            if (here.mismatch < 60)
                candidates.push_back(here);
        }
    std::sort(candidates.begin(), candidates.end(),
        [](const SeenSprite& a, const SeenSprite& b) { return a.mismatch < b.mismatch; });
    std::vector<SeenSprite> found;
    for (const SeenSprite& c : candidates) {
        bool free = true;
        for (const SeenSprite& f : found)
            free = free && (f.x - c.x) * (f.x - c.x) + (f.y - c.y) * (f.y - c.y) >= 20 * 20;
        if (!free)
            continue;
        const SeenSprite close = look(shot, c.x, c.y, 2);
        if (close.mismatch < recognised)
            found.push_back(close);
    }
    return found;
}

bool isInfectionSpot(const Rgb& c)
{
    // Bright yellow to yellow-green. The green alien is greener, the gray alien's eyes are
    // yellower, the purple alien's eyes are paler.
    return c.g >= 130 && c.b * 100 <= c.g * 55 && c.r * 100 >= c.g * 68 && c.r <= c.g;
}

int infectionSpotsNear(const Image& shot, int x, int y, int radius)
{
    int count = 0;
    for (int sy = std::max(0, y - radius); sy <= std::min(shot.height - 1, y + radius); ++sy)
        for (int sx = std::max(0, x - radius); sx <= std::min(shot.width - 1, x + radius); ++sx)
            if ((sx - x) * (sx - x) + (sy - y) * (sy - y) <= radius * radius
                && isInfectionSpot(shot.at(sx, sy)))
                ++count;
    return count;
}

int litPixels(const Image& shot, int x0, int y0, int x1, int y1)
{
    int count = 0;
    for (int y = std::max(0, y0); y < std::min(shot.height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(shot.width, x1); ++x)
            if (!shot.at(x, y).isBlack())
                ++count;
    return count;
}
