// The tests' way of finding the game's window, for the scripts (the install check, the cross
// check): prints the id of the game's window on the X display (DISPLAY) once the game has drawn a
// frame in it, that is once it has set up its level.
//   game-window SECONDS [PID]   waits at most SECONDS, and no longer than process PID lives;
//                               exits 1 if no frame shows
//   game-window --close ...     then presses its close button, as a window manager does
#include "running_game.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const bool close = argc > 1 && std::string(argv[1]) == "--close";
    argc -= close;
    argv += close;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: game-window [--close] SECONDS [PID]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "game-window: no X display\n");
        return 1;
    }
    // The window may go while it is looked at.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const pid_t game = argc == 3 ? pid_t(std::atol(argv[2])) : 0;
    unsigned long window = 0;
    bool drawn = false;
    waitUntil(
        std::atof(argv[1]),
        [&] {
            window = findGameWindow(display);
            const Image picture = windowPicture(display, window);
            drawn = std::any_of(picture.pixels.begin(), picture.pixels.end(),
                [](const Rgb& c) { return !c.isBlack(); });
            return drawn || (game > 0 && !processAlive(game));
        },
        50);
    if (drawn && close)
        closeWindow(display, window);
    XCloseDisplay(display);
    if (!drawn)
        return 1;
    std::printf("0x%lx\n", window);
    return 0;
}
