#include "util.h"

#include <alleggl.h>
#include <allegro.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// Start-up failures other than the mouse end the game: a message, then exit status 1.
void failStartUp(const char* what)
{
    allegro_message("%s failed.\n%s\n", what, allegro_error);
    exit(1);
}

} // namespace

void startAllegroAndOpenGL(void (*tick)())
{
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
    if (set_gfx_mode(GFX_OPENGL, 640, 480, 0, 0) != 0) {
        allegro_message("Error setting OpenGL graphics mode:\n%s\nAllegro GL error : %s\n",
            allegro_error, allegro_gl_error);
        exit(1);
    }

    if (install_timer() != 0)
        failStartUp("Installing the timer");
    if (install_int_ex(tick, BPS_TO_TIMER(60)) != 0)
        failStartUp("Installing the 60 Hz timer");

    srand(time(NULL));
    allegro_gl_use_mipmapping(TRUE);

    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT, GL_FILL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);

    show_mouse(screen);
    allegro_gl_set_projection();
}

unsigned loadBMP(const char* path)
{
    PACKFILE* file = pack_fopen(path, "r");
    if (!file) {
        // Without its sprites the game cannot be played, and the file must never be read.
        allegro_message("Couldn't open %s\n%s", path, allegro_error);
        exit(1);
    }

    BITMAP* bitmap = load_bmp_pf(file, NULL);
    pack_fclose(file);
    if (!bitmap) {
        allegro_message("Error reading %s\n%s", path, allegro_error);
        return 0;
    }

    GLuint texture = allegro_gl_make_masked_texture(bitmap);
    destroy_bitmap(bitmap);
    return texture;
}

unsigned makeQuad(unsigned texture)
{
    unsigned list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, texture);
    // Counter-clockwise on screen (y grows downwards), so back-face culling keeps it; t = 1 is
    // the image's top row and lies at y = -1, the top edge.
    glBegin(GL_QUADS);
    glTexCoord2f(1, 0);
    glVertex2f(1, 1);
    glTexCoord2f(1, 1);
    glVertex2f(1, -1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, -1);
    glTexCoord2f(0, 0);
    glVertex2f(-1, 1);
    glEnd();
    glEndList();
    return list;
}
