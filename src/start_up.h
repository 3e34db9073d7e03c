// The start-up of Allegro, AllegroGL and OpenGL, as the game needs them: the window, its input,
// the timer and the state the game draws in.
#pragma once

// Starts Allegro, AllegroGL, the keyboard and the mouse; opens the 640x480 OpenGL window, named
// and with the game's icon, and waits until the player can see it; calls tick 60 times a second
// from the timer's thread; seeds the colours of the level with the time; and sets up OpenGL as
// the game draws: mipmapped textures, the drawing state below, Allegro's mouse pointer shown, and
// a pixel projection with y downwards. Without a mouse it says so and goes on; without an X
// display, or when any other step fails, the game ends with exit status 1 (see ending.h).
void startAllegroAndOpenGL(void (*tick)());

// The OpenGL state the game draws in: textures on flat, filled polygons, those that run
// counter-clockwise on screen facing the player, back faces culled.
void setDrawingState();
