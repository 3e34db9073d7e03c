// Stops the game inside Allegro's start-up, once Allegro has put in its own signal handlers and
// before it returns, so that a test can send a signal at exactly that moment; the test lets it go
// on with SIGCONT. Preloaded into the game: Allegro opens its X display through here.
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <signal.h>

extern "C" Display* XOpenDisplay(const char* name)
{
    using Open = Display* (*)(const char*);
    static const Open realOpen = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "XOpenDisplay"));
    static bool first = true;
    if (first) {
        first = false;
        raise(SIGSTOP);
    }
    return realOpen(name);
}
