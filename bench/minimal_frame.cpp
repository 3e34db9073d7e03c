// The least a program can do to show the game's idle frame in the plainest way: a GLX window of
// the game's size and format, and each frame the OpenGL calls of the game's level drawn in the
// order of its list (144 sprites, each a push, translate, scale and a display list that binds one
// of 7 mipmapped masked textures and draws the unit quad; swap; clear), paced at 60 frames a second
// by clock_nanosleep on absolute times, with the OpenGL driver's own choice of drawing threads.
// The display lists are the game's own (makeQuad); nothing else of the game runs: no Allegro, no
// input handling, no simulation. What the game costs beyond this program is the game's own; the
// game draws the same picture with fewer changes of texture, and with one drawing thread.
// idle_cost runs it beside the game.
//
// Run: minimal_frame [SECONDS]   (DISPLAY must name an X server; without SECONDS it runs until
//                                 killed)

#include "monotonic_clock.h"
#include "util.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <vector>

namespace {

const int width = 640, height = 480;
const int kinds = 7; // six aliens and the hard ball
const int spriteSize = 64;   // texels a side, drawn at 32 pixels
const int columns = 18;      // the level: 7 rows of aliens and a row of hard balls, 34 apart
const int rows = 8;
const float pitch = 34, radius = 16;
const long framePeriod = 1'000'000'000L / 60;

// A disc of the sprite's colour on the mask colour, which the masked texture makes transparent,
// as the game's sprites are.
GLuint makeSprite(int kind)
{
    std::vector<unsigned char> texels(spriteSize * spriteSize * 4);
    for (int y = 0; y < spriteSize; ++y)
        for (int x = 0; x < spriteSize; ++x) {
            const float dx = x - spriteSize / 2 + 0.5f, dy = y - spriteSize / 2 + 0.5f;
            const bool inside = dx * dx + dy * dy < spriteSize * spriteSize / 4;
            unsigned char* t = &texels[(y * spriteSize + x) * 4];
            t[0] = (unsigned char)(40 * kind + x);
            t[1] = (unsigned char)(255 - 30 * kind);
            t[2] = (unsigned char)(y * 3);
            t[3] = inside ? 255 : 0;
        }
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glHint(GL_GENERATE_MIPMAP_HINT, GL_NICEST);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, spriteSize, spriteSize, 0, GL_RGBA, GL_UNSIGNED_BYTE,
        texels.data());
    return texture;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? atof(argv[1]) : 0;
    // As the game does: software OpenGL takes and frees megabytes in every frame, and handing the
    // freed top of the heap back to the system each time costs more than drawing.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "minimal_frame: no X display\n");
        return 1;
    }
    // The game's format: 32-bit colour, double-buffered, a depth buffer of at least 8 bits.
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8,
        GLX_BLUE_SIZE, 8, GLX_DEPTH_SIZE, 8, None};
    XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
    if (!visual) {
        fprintf(stderr, "minimal_frame: no double-buffered RGB visual\n");
        return 1;
    }
    const Window root = RootWindow(display, visual->screen);
    XSetWindowAttributes windowAttributes {};
    windowAttributes.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    const Window window = XCreateWindow(display, root, 0, 0, width, height, 0, visual->depth,
        InputOutput, visual->visual, CWColormap, &windowAttributes);
    XStoreName(display, window, "minimal_frame");
    XMapWindow(display, window);
    const GLXContext context = glXCreateContext(display, visual, nullptr, True);
    if (!context || !glXMakeCurrent(display, window, context)) {
        fprintf(stderr, "minimal_frame: no OpenGL context\n");
        return 1;
    }

    // The game's drawing state and pixel projection, y downwards.
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT, GL_FILL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);

    std::vector<GLuint> quads;
    for (int kind = 0; kind < kinds; ++kind)
        quads.push_back(makeQuad(makeSprite(kind)));

    timespec next = monotonicNow();
    const long frames = seconds > 0 ? long(seconds * 60) : -1;
    for (long frame = 0; frame != frames; ++frame) {
        glEnable(GL_TEXTURE_2D);
        glAlphaFunc(GL_GREATER, 0.5f);
        glEnable(GL_ALPHA_TEST);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                glPushMatrix();
                glTranslatef(pitch * c + 28, pitch * r + 17, 0);
                glScalef(radius, radius, 1);
                glCallList(quads[r == 0 ? kinds - 1 : (r * columns + c) % (kinds - 1)]);
                glPopMatrix();
            }
        glDisable(GL_ALPHA_TEST);

        glXSwapBuffers(display, window);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

        next = laterBy(next, framePeriod);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0) {
        }
    }
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XCloseDisplay(display);
    return 0;
}
