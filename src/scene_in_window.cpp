#include "scene_in_window.h"

#include <alleggl.h>
#include <allegro.h>
#include <xalleg.h>

#include <X11/Xlib.h>
#include <algorithm>
#include <atomic>

namespace {

// The window's size, and where the scene's top left corner is in it (negative in a window
// smaller than the scene, which shows the scene's middle).
int windowWidth = 640, windowHeight = 480, left = 0, top = 0;

std::atomic<bool> exposed(false);
void (*redrawer)(int, int, int, int) = nullptr;

// Allegro's X handler calls this for each exposure, within its X lock.
void noteExposure(int x, int y, int w, int h)
{
    exposed = true;
    if (redrawer)
        redrawer(x, y, w, h);
}

bool sceneSized() { return windowWidth == SCREEN_W && windowHeight == SCREEN_H; }

// The viewport on the scene's place in the window; OpenGL counts rows from the bottom.
void viewTheScene() { glViewport(left, windowHeight - top - SCREEN_H, SCREEN_W, SCREEN_H); }

} // namespace

void fitSceneToWindow()
{
    Window root;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    XLOCK();
    if (_xwin_window_redrawer != noteExposure) {
        redrawer = _xwin_window_redrawer;
        _xwin_window_redrawer = noteExposure;
    }
    exposed = false;
    const bool known = _xwin.display && _xwin.window
        && XGetGeometry(
            _xwin.display, _xwin.window, &root, &x, &y, &width, &height, &border, &depth);
    XUNLOCK();
    if (!known || (int(width) == windowWidth && int(height) == windowHeight))
        return;
    windowWidth = int(width);
    windowHeight = int(height);
    left = (windowWidth - SCREEN_W) / 2;
    top = (windowHeight - SCREEN_H) / 2;
    viewTheScene();

    // Allegro's X handler puts its pointer at the window's pixel plus the scroll where the mouse's
    // range reaches past the screen's right or bottom edge, and at the window's pixel otherwise:
    // the range reaches past it, if only by a pixel, in a window of any size but the scene's.
    XLOCK();
    _xwin.window_width = windowWidth;
    _xwin.window_height = windowHeight;
    _xwin.scroll_x = -left;
    _xwin.scroll_y = -top;
    XUNLOCK();
    if (!mouse_driver || !mouse_driver->set_range)
        return;
    if (sceneSized())
        mouse_driver->set_range(0, 0, SCREEN_W - 1, SCREEN_H - 1);
    else
        mouse_driver->set_range(
            -left, -top, std::max(windowWidth - 1 - left, SCREEN_W), windowHeight - 1 - top);
}

void refitSceneIfExposed()
{
    if (exposed)
        fitSceneToWindow();
}

void drawPointer()
{
    if (sceneSized()) {
        algl_draw_mouse();
        return;
    }
    // Over the whole window, in the scene's pixels: the projection that AllegroGL made for the
    // scene's viewport, widened to the window. The game draws with the projection matrix current.
    glViewport(0, 0, windowWidth, windowHeight);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(
        -left - 0.325, windowWidth - left - 0.325, windowHeight - top - 0.325, -top - 0.325, -1, 1);
    algl_draw_mouse();
    glPopMatrix();
    viewTheScene();
}
