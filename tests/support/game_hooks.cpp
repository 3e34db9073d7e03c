// The tests' hands inside the game: preloaded into it (GameOptions), each function here stands in
// front of the library function of its name, calls it, and does the test's part only where the
// game's environment asks for it:
//   STOPPED_CLOCK=S  time() answers second S: the game seeds its colours with the time, so that a
//                    test plays the level it chose;
//   NO_MOUSE=1       installing the mouse fails, as on a machine without one;
//   STOP_AT=F        the game stops itself (SIGSTOP) at the first call of F, so that a test acts at
//                    exactly that moment, however busy the machine, and lets it go on with SIGCONT:
//     XOpenDisplay          inside Allegro's start-up, once Allegro has its own signal handlers;
//     glXQueryServerString  as the OpenGL driver starts to set up the window;
//     glXSwapBuffers        once the first frame has reached the X server.
#include <GL/glx.h>
#include <X11/Xlib.h>
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

// True at the first call of function, when STOP_AT names it; called remembers the first call.
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
    static const auto real = hidden<time_t(time_t*)>("time");
    const char* stoppedAt = std::getenv("STOPPED_CLOCK");
    if (!stoppedAt)
        return real(now);
    const time_t t = time_t(std::strtoll(stoppedAt, nullptr, 10));
    if (now)
        *now = t;
    return t;
}

extern "C" int install_mouse()
{
    static const auto real = hidden<int()>("install_mouse");
    return std::getenv("NO_MOUSE") ? -1 : real();
}

extern "C" Display* XOpenDisplay(const char* name)
{
    static const auto real = hidden<Display*(const char*)>("XOpenDisplay");
    static bool called = false;
    if (stopsHere("XOpenDisplay", called))
        raise(SIGSTOP);
    return real(name);
}

extern "C" const char* glXQueryServerString(Display* display, int screen, int name)
{
    static const auto real = hidden<const char*(Display*, int, int)>("glXQueryServerString");
    static bool called = false;
    if (stopsHere("glXQueryServerString", called))
        raise(SIGSTOP);
    return real(display, screen, name);
}

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    static const auto real = hidden<void(Display*, GLXDrawable)>("glXSwapBuffers");
    static bool called = false;
    real(display, drawable);
    if (stopsHere("glXSwapBuffers", called)) {
        XSync(display, False); // the frame has reached the X server
        raise(SIGSTOP);
    }
}
