// A window that the window manager maps hidden (minimised, or on another desktop). AllegroGL's
// graphics mode waits for its new window's first exposure, with Allegro's X lock held, looking for
// it every millisecond with no end; a hidden window gets none until it is shown, and the game
// would hang there, deaf to its close button and to requests to stop. A watch on a connection of
// its own sees the game's window made and hands that wait an exposure at once; then the game waits
// for its window to be shown, cheaply, while the x-events thread (event_thread.h) hears the close
// button, so that the level starts only once the player can see it.
#pragma once

#include <X11/Xlib.h>
#include <atomic>
#include <string>
#include <thread>

class WindowWatch {
public:
    // Before the graphics mode is set: watches for the window that the game's connection makes
    // next. Without a second connection to the display, or a thread to watch on, AllegroGL's own
    // wait decides.
    explicit WindowWatch(Display* game);
    ~WindowWatch();
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;

    // Once the graphics mode is set, on the thread that set it (as the watch's end too): waits
    // until the window is shown, that is exposed, or mapped and not minimised (where the exposure
    // came before the watch looked for it), looking twenty times a second. A window that another
    // program destroys meanwhile ends the game as its close button does.
    void waitUntilShown();

private:
    // Without a connection or a thread of its own, the watch says on standard error what the
    // player loses.
    static void tellWhyNot(const std::string& why);
    bool minimised(Atom wmState);
    void exposeTheNewWindow();

    Display* watch_ = nullptr;
    XID base_ = 0, mask_ = 0; // the range of the game's connection's resource ids
    Window window_ = 0;
    std::atomic<bool> done_ {false};
    std::thread nudger_;
};
