#include "hidden_window.h"

#include <X11/Xutil.h>
#include <chrono>
#include <poll.h>

WindowWatch::WindowWatch(Display* game)
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

WindowWatch::~WindowWatch()
{
    done_ = true;
    if (nudger_.joinable())
        nudger_.join();
    if (watch_)
        XCloseDisplay(watch_);
}

void WindowWatch::waitUntilShown()
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
