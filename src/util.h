// The game on Allegro and OpenGL: its start-up, and its sprites, loaded from the datafile into
// textures and drawn as squares.
#pragma once

// Starts Allegro, AllegroGL, the keyboard and the mouse; opens the 640x480 OpenGL window; calls
// tick 60 times a second from the timer's thread; seeds the colours of the level with the time;
// and sets up OpenGL as the game draws: mipmapped textures on flat, front-facing quads in a pixel
// projection with y downwards, Allegro's mouse pointer shown. Without a mouse it says so and goes
// on; any other failure ends the program with exit status 1 after a message.
void startAllegroAndOpenGL(void (*tick)());

// Loads the BMP image stored at a datafile object path ("base.dat#Enemy/RedAlien") into a masked,
// mipmapped OpenGL texture and returns its name. A sprite that cannot be opened ends the game
// with exit status 1 after a message; one that is not a BMP image gives a message and 0.
unsigned loadBMP(const char* path);

// A display list that binds the texture and draws it on the square from (-1, -1) to (1, 1),
// upright in the window's y-down pixel projection and facing the viewer.
unsigned makeQuad(unsigned texture);
