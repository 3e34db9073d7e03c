// Sprites: loading them from the datafile into textures, and the square that draws one.
#pragma once

// Loads the BMP image stored at a datafile object path ("base.dat#Enemy/RedAlien") into a masked,
// mipmapped OpenGL texture and returns its name. A sprite that cannot be opened ends the game
// with exit status 1 after a message; one that is not a BMP image gives a message and 0.
unsigned loadBMP(const char* path);

// A display list that binds the texture and draws it on the square from (-1, -1) to (1, 1),
// upright in the window's y-down pixel projection and facing the viewer.
unsigned makeQuad(unsigned texture);
