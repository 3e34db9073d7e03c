// Outbreak: start-up, the 60 Hz frame loop, and the way out.
#include "main.h"

#include "GameWorld.h"
#include "util.h"

#include <alleggl.h>
#include <allegro.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>

#ifdef ALLEGRO_WITH_XWINDOWS
// Allegro's X11 port gives the window this XPM image as its icon; the build paints ours. The
// window's class names it to the desktop, which finds the game's launcher and icon by it.
extern "C" char** allegro_icon;
extern "C" void xwin_set_window_name(const char* name, const char* group);
extern const char* outbreakIcon[];
#endif

// Ticks of the 60 Hz timer not yet matched by a frame; the timer thread raises it, the frame
// loop lowers it.
std::atomic<int> speed_counter(0);

void increment_speed_counter() { ++speed_counter; }
END_OF_FUNCTION(increment_speed_counter)

namespace {

std::atomic<bool> closeRequested(false);

void requestClose() { closeRequested = true; }
END_OF_FUNCTION(requestClose)

// Start-up failures other than the mouse end the game: a message, then exit status 1.
void failStartUp(const char* what)
{
    allegro_message("%s failed.\n%s\n", what, allegro_error);
    exit(1);
}

// The frame loop's view of Allegro, AllegroGL and the timer.
struct AllegroShell {
    bool quitRequested() { return key[KEY_ESC] || closeRequested; }
    bool leftButtonDown() { return (mouse_b & 1) != 0; }
    int mouseX() { return mouse_x; }
    int mouseY() { return mouse_y; }
    void showFrame()
    {
        algl_draw_mouse();
        glFlush();
        allegro_gl_flip();
        // Clear the next back buffer now, after the flip.
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    int pendingTicks() { return speed_counter; }
    void nap() { rest(1); }
    void tickDone() { --speed_counter; }
};

} // namespace

void initSystem()
{
    // Where there is no graphics card, OpenGL draws in software (Mesa's llvmpipe), which takes
    // and frees some megabytes in 64 KB blocks in every frame. By default the C library hands the
    // freed top of the heap back to the system each time, and faulting it in again in the next
    // frame cost the idle game more than half a core. Up to 64 MB of it are kept instead.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);

    // The sprites are read from base.dat: work in the folder that holds it.
    enterDataFolder();

    if (allegro_init() != 0) {
        // Nothing more of Allegro may be called now, its message box included.
        fprintf(stderr, "Unable to start Allegro: is there an X display for the window?\n%s\n",
            allegro_error);
        exit(1);
    }
    if (install_allegro_gl() != 0)
        failStartUp("Installing AllegroGL");
    if (install_keyboard() != 0)
        failStartUp("Installing the keyboard");
    if (install_mouse() < 0)
        allegro_message("Unable to install mouse.\n%s\n", allegro_error);

    allegro_gl_clear_settings();
    allegro_gl_set(AGL_COLOR_DEPTH, 32);
    allegro_gl_set(AGL_DOUBLEBUFFER, 1);
    allegro_gl_set(AGL_Z_DEPTH, 8);
    allegro_gl_set(AGL_WINDOWED, TRUE);
    allegro_gl_set(AGL_RENDERMETHOD, 1);
    allegro_gl_set(AGL_SUGGEST,
        AGL_COLOR_DEPTH | AGL_DOUBLEBUFFER | AGL_Z_DEPTH | AGL_WINDOWED | AGL_RENDERMETHOD);

    set_color_depth(32);
    set_window_title("Outbreak");
#ifdef ALLEGRO_WITH_XWINDOWS
    allegro_icon = const_cast<char**>(outbreakIcon);
    xwin_set_window_name("outbreak", "Outbreak");
#endif
    if (set_gfx_mode(GFX_OPENGL, 640, 480, 0, 0) != 0) {
        allegro_message("Error setting OpenGL graphics mode:\n%s\nAllegro GL error : %s\n",
            allegro_error, allegro_gl_error);
        exit(1);
    }

    if (install_timer() != 0)
        failStartUp("Installing the timer");
    LOCK_VARIABLE(speed_counter);
    LOCK_FUNCTION(increment_speed_counter);
    if (install_int_ex(increment_speed_counter, BPS_TO_TIMER(60)) != 0)
        failStartUp("Installing the 60 Hz timer");

    srand(time(NULL));
    allegro_gl_use_mipmapping(TRUE);

    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT, GL_FILL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);

    show_mouse(screen);
    // The window's close button ends the game as Escape does.
    LOCK_FUNCTION(requestClose);
    set_close_button_callback(requestClose);

    allegro_gl_set_projection();
}

int main()
{
    // Initialization
    initSystem();
    GameWorld world;
    world.loadLevel();

    // Main game loop: until a ball sinks past the floor, Escape or the close button.
    AllegroShell shell;
    runFrames(world, shell);

    // De-Initialization: the world goes with main's locals.
    return 0;
}
END_OF_MAIN()
