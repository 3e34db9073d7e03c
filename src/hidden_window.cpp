#include "hidden_window.h"

#include "ending.h"

#include <X11/Xutil.h>
#include <atomic>
#include <chrono>
#include <poll.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

// The watch's connection, while the main thread makes calls on it, and the error handler that the
// game had before.
std::atomic<Display*> quieted {nullptr};
std::atomic<XErrorHandler> before {nullptr};

// An error on the watch's connection names the game's window, destroyed meanwhile: the watch
// learns that from its calls' results and their events, and the game goes on. Any other goes to
// the handler the game had (AllegroGL's while its graphics mode is set; Xlib's, which exits, else).
int onError(Display* display, XErrorEvent* error)
{
    const XErrorHandler other = before; // none only as the handler is being installed
    return display == quieted || !other ? 0 : other(display, error);
}

// Xlib has one error handler for the whole process, and AllegroGL swaps its own in and out as it
// sets and unsets its graphics mode, on the main thread. The watch's errors are met only where its
// answers and events are read: on the main thread, as it waits and as it closes the connection,
// once the nudger has ended (which reads nothing after its last requests). So the handler is
// swapped on that thread alone, and each one is put back exactly as it was found. Every call made
// meanwhile waits for its answer, or closes the connection: no error comes after.
class QuietErrors {
public:
    explicit QuietErrors(Display* watch)
    {
        quieted = watch;
        before = XSetErrorHandler(onError);
    }
    ~QuietErrors()
    {
        XSetErrorHandler(before);
        quieted = nullptr;
    }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;
};

} // namespace

WindowWatch::WindowWatch(Display* game)
{
    watch_ = XOpenDisplay(DisplayString(game));
    if (!watch_) {
        // Then AllegroGL's own wait decides, which holds the x-events thread up on Allegro's X
        // lock until the window shows.
        tellWhyNot("the X server takes no second connection from the game");
        return;
    }
    // Windows of the game's connection have ids in a range of its own: the connection's
    // resource base and mask, which Xlib's public header names private3 and private4.
    const auto* own = reinterpret_cast<_XPrivDisplay>(game);
    base_ = own->private3;
    mask_ = own->private4;
    XSelectInput(watch_, DefaultRootWindow(watch_), SubstructureNotifyMask);
    XSync(watch_, False);
    try {
        nudger_ = std::thread([this] { exposeTheNewWindow(); });
    } catch (const std::system_error& error) {
        XCloseDisplay(watch_);
        watch_ = nullptr;
        tellWhyNot(std::string("the game cannot start a thread (") + error.what() + ")");
    }
}

void WindowWatch::tellWhyNot(const std::string& why)
{
    const std::string line = "Outbreak: " + why
        + ": while the window manager keeps the window hidden, its close button is not heard (a"
          " request to stop still ends the game).\n";
    const ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
}

WindowWatch::~WindowWatch()
{
    done_ = true;
    if (nudger_.joinable())
        nudger_.join();
    if (watch_) {
        const QuietErrors quietErrors(watch_);
        XCloseDisplay(watch_);
    }
}

void WindowWatch::waitUntilShown()
{
    // The graphics mode is set, so the window had its exposure: from the watch, or a real one
    // before the watch saw the window made.
    done_ = true;
    if (nudger_.joinable())
        nudger_.join();
    if (!window_)
        return;
    const QuietErrors quietErrors(watch_);
    const Atom wmState = XInternAtom(watch_, "WM_STATE", False);
    for (;;) {
        while (XPending(watch_)) {
            XEvent event;
            XNextEvent(watch_, &event);
            if (event.type == Expose && !event.xexpose.send_event)
                return;
            // Another program destroyed the window: the game goes as its close button sends it.
            if (event.type == DestroyNotify)
                requestStop();
        }
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(watch_, window_, &attributes)) {
            requestStop(); // the window is gone; once the game plays, the frame loop ends it
            return;
        }
        if (attributes.map_state == IsViewable && !minimised(wmState))
            return;
        // Allegro's rest() spins until its timer is installed: the thread sleeps instead.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool WindowWatch::minimised(Atom wmState)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    const bool iconic = XGetWindowProperty(watch_, window_, wmState, 0, 1, False, wmState, &type,
                            &format, &count, &after, &data)
            == Success
        && data && format == 32 && count == 1
        && *reinterpret_cast<const long*>(data) == IconicState;
    if (data)
        XFree(data);
    return iconic;
}

void WindowWatch::exposeTheNewWindow()
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
        XSelectInput(watch_, window_, ExposureMask | StructureNotifyMask);
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
