// The tests' way of finding the game's window, for the scripts (the install check, the cross
// check): prints the window's id once the game's window shows on the X display (DISPLAY), or with
// --drawn once the game has drawn a frame in it.
//   game-window [--drawn] SECONDS [PID]   waits at most SECONDS, and no longer than process PID
//                                         lives; exits 1 if the window never shows
#include "running_game.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    const bool drawn = argc > 1 && std::strcmp(argv[1], "--drawn") == 0;
    argv += drawn;
    argc -= drawn;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: game-window [--drawn] SECONDS [PID]\n");
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
    bool seen = false;
    waitUntil(
        std::atof(argv[1]),
        [&] {
            window = findGameWindow(display);
            const Image picture = window && drawn ? windowPicture(display, window) : Image();
            seen = window
                && (!drawn
                    || std::any_of(picture.pixels.begin(), picture.pixels.end(),
                        [](const Rgb& c) { return !c.isBlack(); }));
            return seen || (game > 0 && !processAlive(game));
        },
        50);
    XCloseDisplay(display);
    if (!seen)
        return 1;
    std::printf("0x%lx\n", window);
    return 0;
}
