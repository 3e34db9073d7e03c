// The 640x480 scene in a window of another size. A kiosk's compositor or a tiling window manager
// may give the window a size other than the one it asks for, and change it at any time. The scene
// is then drawn centred, the rest of the window black (each frame's clear covers it all), and the
// pointer is mapped to the scene: Allegro's mouse position, and so every press noted and every
// aim, is in the scene's pixels, beyond its edges where the pointer is in the black around it;
// the arrow is drawn where the player's pointer is, over the black too.
// All of it on the main thread, where the OpenGL context is current; the window's exposures, which
// follow every change of its size, are noted on whichever thread runs Allegro's X handler.
#pragma once

// Once the window shows, after the projection is set (it is made for a viewport at the origin):
// fits the scene to the window's size now, and notes the window's exposures from now on.
void fitSceneToWindow();

// From the frame loop as each frame starts: fits the scene again if the window was exposed since
// the last fit. Nothing else, and no question to the X server, otherwise.
void refitSceneIfExposed();

// In place of AllegroGL's algl_draw_mouse: its arrow where the player's pointer is.
void drawPointer();
