#include "util.h"

#include <alleggl.h>
#include <allegro.h>
#include <cstdlib>

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
