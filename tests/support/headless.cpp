#include "headless.h"

#include <alleggl.h>
#include <allegro.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

void startHeadlessAllegro(const std::string& dataDir)
{
    static bool started = false;
    if (started)
        return;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0 || install_allegro_gl() != 0) {
        std::fprintf(stderr, "cannot start Allegro without a display: %s\n", allegro_error);
        std::exit(2);
    }
    set_color_depth(32);
    if (chdir(dataDir.c_str()) != 0) {
        std::perror(dataDir.c_str());
        std::exit(2);
    }
    started = true;
}
