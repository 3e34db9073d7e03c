#include "running_game.h"

#include <X11/Xlib.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

std::string buildDir() { return OUTBREAK_BUILD_DIR; }

GameOptions inBuildDir()
{
    GameOptions options;
    options.workDir = buildDir();
    return options;
}

GameOptions copyOfTheGame(const std::string& bin, const std::string& workDir)
{
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file(OUTBREAK_BINARY, bin + "/outbreak");
    GameOptions options;
    options.binary = bin + "/outbreak";
    options.workDir = workDir;
    return options;
}

namespace {

// The test's connection to the game's X display. The game may end, and its window go, at any
// moment while a test looks at it or moves the pointer over it: the X errors that follow are no
// reason to end the test program.
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
    holdMesaDriver(environment);
    // The test's hooks inside the game (tests/support/game_hooks.cpp), where it asks for one.
    using Stop = GameOptions::Stop;
    const char* const stopAt[]
        = {nullptr, "XOpenDisplay", "glXQueryServerString", "glXSwapBuffers"};
    if (options.stop != Stop::nowhere)
        environment.set("STOP_AT", stopAt[int(options.stop)]);
    if (!options.withMouse)
        environment.set("NO_MOUSE", "1");
    if (options.levelSeed >= 0)
        environment.set("STOPPED_CLOCK", std::to_string(options.levelSeed));
    if (options.stop != Stop::nowhere || !options.withMouse || options.levelSeed >= 0)
        environment.preload(GAME_HOOKS_LIBRARY);
    for (const auto& [name, value] : options.environment) {
        if (value)
            environment.set(name, value);
        else
            environment.unset(name);
    }
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
}

RunningGame::~RunningGame() { letGoOfDisplay(); }

void RunningGame::letGoOfDisplay()
{
    if (display_)
        XCloseDisplay(display_);
    display_ = nullptr;
}

// The game's window below w.
static Window findBelow(Display* display, Window w, bool hidden)
{
    char* title = nullptr;
    if (XFetchName(display, w, &title) && title) {
        const bool match = std::strcmp(title, "Outbreak") == 0;
        XFree(title);
        // Allegro makes a window of the game's name that it never maps; the game's own is 640x480.
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
            found = findBelow(display, children[i], hidden);
        if (children)
            XFree(children);
    }
    return found;
}

unsigned long findGameWindow(Display* display, bool hidden)
{
    return findBelow(display, DefaultRootWindow(display), hidden);
}

bool RunningGame::waitForWindow(double seconds, Mapped mapped)
{
    const bool shown = waitUntil(
        seconds,
        [&] {
            window_ = findGameWindow(display_, mapped == Mapped::hidden);
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
    window_ = findGameWindow(display_);
    Image shot = window_ ? screenshot() : Image();
    resume();
    return shot;
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

Image windowPicture(Display* display, unsigned long window)
{
    XWindowAttributes a {};
    XImage* x = XGetWindowAttributes(display, window, &a)
        ? XGetImage(display, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap)
        : nullptr;
    return x ? toImage(x) : Image();
}

void RunningGame::forceWindowSize(int width, int height)
{
    XResizeWindow(display_, window_, unsigned(width), unsigned(height));
    XSync(display_, False);
    sceneLeft_ = (width - 640) / 2;
    sceneTop_ = (height - 480) / 2;
}

Image RunningGame::wholeWindow() { return windowPicture(display_, window_); }

Image RunningGame::screenshot()
{
    Image shot = windowPicture(display_, window_);
    if (!shot.pixels.empty() && (sceneLeft_ || sceneTop_)) {
        Image scene;
        scene.width = 640;
        scene.height = 480;
        for (int y = 0; y < scene.height; ++y)
            for (int x = 0; x < scene.width; ++x)
                scene.pixels.push_back(shot.at(x + sceneLeft_, y + sceneTop_));
        shot = scene;
    }
    if (shot.pixels.empty()) {
        // The game has ended and its window is gone.
        shot.width = lastWidth_;
        shot.height = lastHeight_;
        shot.pixels.assign(size_t(shot.width) * shot.height, Rgb {0, 0, 0});
    }
    lastWidth_ = shot.width;
    lastHeight_ = shot.height;
    return shot;
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
    x += sceneLeft_;
    y += sceneTop_;
    XWarpPointer(display_, None, window_, 0, 0, 0, 0, x, y);
    int rootX = x, rootY = y;
    Window child;
    XTranslateCoordinates(
        display_, window_, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, 0);
    XFlush(display_);
}

void putPointerOnScreen(int x, int y)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        throw std::runtime_error("no X display for the pointer");
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, x, y);
    XTestFakeMotionEvent(display, DefaultScreen(display), x, y, 0);
    XSync(display, False);
    XCloseDisplay(display);
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

void closeWindow(Display* display, unsigned long window)
{
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

void RunningGame::requestClose() { closeWindow(display_, window_); }

void RunningGame::destroyWindow()
{
    XDestroyWindow(display_, window_);
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

PrivateDisplay::PrivateDisplay(const std::string& windowRule)
    : dir_(makeScratchDir()), server_({OUTBREAK_SOURCE_DIR "/tests/with-xvfb", "--serve"}, dir_)
{
    // with-xvfb says ":N PID" once the server is ready.
    waitUntil(5 * slowness, [&] { return !server_.output().empty() || !server_.running(); });
    std::istringstream(server_.output()) >> name_ >> serverPid_;
    if (name_.empty() || serverPid_ <= 0)
        throw std::runtime_error("no private X server: " + server_.describe());
    if (windowRule.empty())
        return;
    std::string config = readFile("/etc/xdg/openbox/rc.xml");
    const size_t rules = config.find("<applications>") + std::string("<applications>").size();
    config.insert(rules, "<application class=\"Outbreak\">" + windowRule + "</application>");
    writeFile(dir_ + "/rc.xml", config);
    windowManager_ = std::make_unique<ChildProcess>(
        std::vector<std::string> {"openbox", "--config-file", dir_ + "/rc.xml"}, dir_, onIt());
    // It manages new windows once it answers as the window manager.
    const auto managing = [&] { return run({"wmctrl", "-m"}) == 0; };
    if (!waitUntil(5 * slowness, managing, 50))
        throw std::runtime_error("no window manager: " + windowManager_->describe());
}

ChildEnvironment PrivateDisplay::onIt() const
{
    ChildEnvironment environment;
    environment.set("DISPLAY", name_);
    return environment;
}

int PrivateDisplay::run(const std::vector<std::string>& command)
{
    ChildProcess child(command, dir_, onIt());
    return child.waitForExit(5 * slowness);
}

bool PrivateDisplay::end(int signal)
{
    ::kill(serverPid_, signal);
    return waitUntil(5, [&] { return !processAlive(serverPid_); });
}
