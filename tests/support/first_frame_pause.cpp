// Stops the game as soon as its first frame is on the screen, so that a test looks at exactly
// that frame however busy the machine is; the test lets it go on with SIGCONT. Preloaded into
// the game: the first buffer flip goes through here.
#include <GL/glx.h>
#include <dlfcn.h>
#include <signal.h>

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    using Swap = void (*)(Display*, GLXDrawable);
    static const Swap realSwap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    static bool first = true;
    realSwap(display, drawable);
    if (first) {
        first = false;
        XSync(display, False); // the frame has reached the X server
        raise(SIGSTOP);
    }
}
