// The tests' hands inside the game, preloaded into it (GameOptions). Each function stands in front
// of the library function of its name and does the test's part only where the game's environment
// asks for it: STOPPED_CLOCK=S, time() answers second S (the game seeds its colours with the time:
// the test plays the level it chose); NO_MOUSE=1, installing the mouse fails; STOP_AT=F, the game
// stops itself (SIGSTOP) at the first call of F, for the test to act at exactly that moment,
// however busy the machine, and let it go on with SIGCONT.
#include <GL/glx.h>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <signal.h>

namespace {

// The function of that name that the hook stands in front of.
template <class Function> Function* hidden(const char* name)
{
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

// True at the first call of function (called remembers it), if STOP_AT names it.
bool stopsHere(const char* function, bool& called)
{
    const char* stopAt = std::getenv("STOP_AT");
    const bool first = !called;
    called = true;
    return first && stopAt && std::strcmp(stopAt, function) == 0;
}

} // namespace

extern "C" time_t time(time_t* now)
{
    const char* stoppedAt = std::getenv("STOPPED_CLOCK");
    const time_t t = stoppedAt ? time_t(std::strtoll(stoppedAt, nullptr, 10))
                               : hidden<time_t(time_t*)>("time")(nullptr);
    if (now)
        *now = t;
    return t;
}

extern "C" int install_mouse()
{
    return std::getenv("NO_MOUSE") ? -1 : hidden<int()>("install_mouse")();
}

// Inside Allegro's start-up, once Allegro has its own signal handlers.
extern "C" Display* XOpenDisplay(const char* name)
{
    static bool called = false;
    if (stopsHere("XOpenDisplay", called))
        raise(SIGSTOP);
    return hidden<Display*(const char*)>("XOpenDisplay")(name);
}

// As the OpenGL driver starts to set up the window.
extern "C" const char* glXQueryServerString(Display* display, int screen, int name)
{
    static bool called = false;
    if (stopsHere("glXQueryServerString", called))
        raise(SIGSTOP);
    return hidden<const char*(Display*, int, int)>("glXQueryServerString")(display, screen, name);
}

// Once the first frame has reached the X server.
extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    static bool called = false;
    hidden<void(Display*, GLXDrawable)>("glXSwapBuffers")(display, drawable);
    if (stopsHere("glXSwapBuffers", called)) {
        XSync(display, False);
        raise(SIGSTOP);
    }
}
