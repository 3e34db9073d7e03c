#include "running_game.h"

#include <X11/Xlib.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string buildDir() { return OUTBREAK_BUILD_DIR; }

std::string makeScratchDir()
{
    char pattern[] = "/tmp/outbreak-test-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

static std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

void Image::savePng(const std::string& path) const
{
    const std::string ppm = path + ".ppm";
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        out.write(reinterpret_cast<const char*>(pixels.data()), std::streamsize(pixels.size() * 3));
    }
    const std::string convert = "convert '" + ppm + "' '" + path + "' && rm -f '" + ppm + "'";
    if (std::system(convert.c_str()) != 0)
        std::fprintf(stderr, "could not write %s\n", path.c_str());
}

RunningGame::RunningGame(const GameOptions& options) : scratch_(makeScratchDir())
{
    // A stand-in for xmessage: records the message box's text and returns at once, as if its
    // OK button had been pressed.
    const std::string bin = scratch_ + "/bin";
    mkdir(bin.c_str(), 0755);
    {
        std::ofstream stub(bin + "/xmessage");
        stub << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" << scratch_
             << "/messages.log'\nexit 0\n";
    }
    chmod((bin + "/xmessage").c_str(), 0755);

    if (options.withDisplay) {
        display_ = XOpenDisplay(nullptr);
        if (!display_)
            throw std::runtime_error("the test has no X display");
    }

    const std::string outputPath = scratch_ + "/output.log";
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        if (chdir(options.workDir.c_str()) != 0)
            _exit(120);
        const std::string path = bin + ":" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
        setenv("PATH", path.c_str(), 1);
        if (!options.withDisplay)
            unsetenv("DISPLAY");
        for (const std::string& e : options.extraEnv)
            putenv(strdup(e.c_str()));
        const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        execl(OUTBREAK_BINARY, OUTBREAK_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
}

RunningGame::~RunningGame()
{
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (display_)
        XCloseDisplay(display_);
    const std::string cleanup = "rm -rf '" + scratch_ + "'";
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", scratch_.c_str());
}

static Window findViewable(Display* display, Window w, const char* name)
{
    char* title = nullptr;
    if (XFetchName(display, w, &title) && title) {
        const bool match = std::strcmp(title, name) == 0;
        XFree(title);
        XWindowAttributes attributes;
        if (match && XGetWindowAttributes(display, w, &attributes)
            && attributes.map_state == IsViewable)
            return w;
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, w, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i)
            found = findViewable(display, children[i], name);
        if (children)
            XFree(children);
    }
    return found;
}

bool RunningGame::waitForWindow(double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && running()) {
        window_ = findViewable(display_, DefaultRootWindow(display_), "Outbreak");
        if (window_) {
            // The game selects its input events just after the window shows; give it time.
            sleepMs(300);
            return true;
        }
        sleepMs(20);
    }
    return false;
}

int RunningGame::windowWidth() const
{
    XWindowAttributes a;
    XGetWindowAttributes(display_, window_, &a);
    return a.width;
}

int RunningGame::windowHeight() const
{
    XWindowAttributes a;
    XGetWindowAttributes(display_, window_, &a);
    return a.height;
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

Image RunningGame::screenshot()
{
    Image image;
    image.width = windowWidth();
    image.height = windowHeight();
    XImage* x = XGetImage(display_, window_, 0, 0, image.width, image.height, AllPlanes, ZPixmap);
    if (!x)
        throw std::runtime_error("XGetImage failed");
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

void RunningGame::movePointer(int x, int y)
{
    XWarpPointer(display_, None, window_, 0, 0, 0, 0, x, y);
    int rootX, rootY;
    Window child;
    XTranslateCoordinates(
        display_, window_, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, 0);
    XFlush(display_);
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

bool RunningGame::running()
{
    if (status_ != -1000)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return false;
    }
    return true;
}

int RunningGame::waitForExit(double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (running() && std::chrono::steady_clock::now() < end)
        sleepMs(10);
    return status_;
}

std::string RunningGame::messages() const { return readFile(scratch_ + "/messages.log"); }

std::string RunningGame::output() const { return readFile(scratch_ + "/output.log"); }
