// Stops the game as the OpenGL driver starts to set up its window, so that a test can make
// something happen at exactly that moment (its display going away); the test lets it go on with
// SIGCONT. Preloaded into the game: AllegroGL asks GLX for the server's strings through here.
#include <GL/glx.h>
#include <dlfcn.h>
#include <signal.h>

extern "C" const char* glXQueryServerString(Display* display, int screen, int name)
{
    using Query = const char* (*)(Display*, int, int);
    static const Query realQuery
        = reinterpret_cast<Query>(dlsym(RTLD_NEXT, "glXQueryServerString"));
    static bool first = true;
    if (first) {
        first = false;
        raise(SIGSTOP);
    }
    return realQuery(display, screen, name);
}
