#include "start_up.h"

#include "ending.h"
#include "event_thread.h"
#include "message_box.h"
#include "player_input.h"
#include "process_guard.h"
#include "scene_in_window.h"
#include "system_limits.h"

#include <X11/Xlib.h>
#include <alleggl.h>
#include <allegro.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#ifdef ALLEGRO_WITH_XWINDOWS
#include "hidden_window.h"

#include <xalleg.h>
// Allegro's X11 port gives the window this XPM image as its icon; the build paints ours. The
// window's class names it to the desktop, which finds the game's launcher and icon by it.
extern "C" char** allegro_icon;
extern "C" void xwin_set_window_name(const char* name, const char* group);
extern const char* outbreakIcon[];
#endif

namespace {

// Start-up failures other than the mouse end the game: a message, then exit status 1.
void failStartUp(const char* what)
{
    showMessage(BoxReport::failure, "%s failed.\n%s\n", what, allegro_error);
    endNow(Ending::failedStartUp);
}

} // namespace

void startAllegroAndOpenGL(void (*tick)())
{
    const std::string lacking = whatTheSystemLacks();
    if (!lacking.empty()) {
        tellPlayer(BoxReport::failure, lacking);
        endNow(Ending::failedStartUp);
    }
    useEventThread();
    if (startWithSignalsHeld([] { return allegro_init(); }) != 0) {
        // Nothing more of Allegro may be called now, its message box included.
        Display* const display = XOpenDisplay(nullptr);
        if (!display) {
            fprintf(stderr, "Unable to start Allegro: is there an X display for the window?\n%s\n",
                allegro_error);
            endNow(Ending::noDisplay);
        }
        XCloseDisplay(display);
        showMessage(BoxReport::failure,
            "Unable to start Allegro, though the X display answers: the system may have refused it "
            "a thread or memory (see ulimit -a).\n%s\n",
            allegro_error);
        endNow(Ending::failedStartUp);
    }
#ifdef ALLEGRO_WITH_XWINDOWS
    watchDisplay(ConnectionNumber(_xwin.display), DisplayString(_xwin.display));
#endif
    // The window's close button ends the game as Escape does, and as a request to stop does; it
    // is heard from the moment the window is made.
    set_close_button_callback(requestStop);
    if (install_allegro_gl() != 0)
        failStartUp("Installing AllegroGL");
    if (install_keyboard() != 0)
        failStartUp("Installing the keyboard");
    if (install_mouse() < 0)
        showMessage(BoxReport::notice, "Unable to install mouse.\n%s\n", allegro_error);
    notePresses();

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
    WindowWatch watch(_xwin.display);
#endif
    if (set_gfx_mode(GFX_OPENGL, 640, 480, 0, 0) != 0) {
        showMessage(BoxReport::failure,
            "Error setting OpenGL graphics mode:\n%s\nAllegro GL error : %s\n", allegro_error,
            allegro_gl_error);
        endNow(Ending::failedStartUp);
    }
#ifdef ALLEGRO_WITH_XWINDOWS
    watch.waitUntilShown();
#endif

    if (install_timer() != 0)
        failStartUp("Installing the timer");
    if (install_int_ex(tick, BPS_TO_TIMER(60)) != 0)
        failStartUp("Installing the 60 Hz timer");

    srand(time(NULL));
    allegro_gl_use_mipmapping(TRUE);
    setDrawingState();
    allegro_gl_set_projection();
    fitSceneToWindow();
    // The pointer is Allegro's arrow, which AllegroGL draws into each frame (drawPointer); shown
    // as the system's pointer, it takes no timer of its own to follow the mouse. Allegro puts the
    // player's pointer where its own is as it shows it: its own goes where the player's is first,
    // so that neither jumps to the window's centre.
    followThePlayersPointer();
    show_os_cursor(MOUSE_CURSOR_ALLEGRO);
}

void setDrawingState()
{
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT, GL_FILL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
}
