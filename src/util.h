// Sprites: loading them from the datafile into textures, and the square that draws one.
#pragma once

// Makes the folder that holds base.dat the working directory, so that the sprites' paths
// ("base.dat#Enemy/RedAlien") reach it wherever the game was started from. It looks in the
// working directory, then beside the game's executable, then in the data folder installed with
// it, found from the executable's own place. A base.dat in the working directory is used even
// when it is damaged. When no folder holds one, the working directory stays and loadBMP's
// "Couldn't open" message names the folders looked in.
void enterDataFolder();

// Loads the BMP image stored at a datafile object path ("base.dat#Enemy/RedAlien") into a masked,
// mipmapped OpenGL texture and returns its name. A sprite that cannot be opened ends the game
// with exit status 1 after a message; one that is not a BMP image, or is cut short, gives a
// message and 0.
unsigned loadBMP(const char* path);

// A display list that binds the texture and draws it on the square from (-1, -1) to (1, 1),
// upright in the window's y-down pixel projection and facing the viewer.
unsigned makeQuad(unsigned texture);
