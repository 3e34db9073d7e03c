// The game's sprites: loaded from its datafile into textures, and drawn as squares.
#pragma once

#include <cstring>

// The game's sprites, as objects of its datafile: the six aliens and the hard ball in the order of
// the level's kinds, then the infection overlay. The only list of them: the build reads it to
// paint and pack base.dat, and the tests to find the sprites.
inline constexpr const char* spritePaths[] = {
    "base.dat#Enemy/RedAlien",
    "base.dat#Enemy/GreenAlien",
    "base.dat#Enemy/PurpleAlien",
    "base.dat#Enemy/WhiteAlien",
    "base.dat#Enemy/GrayAlien",
    "base.dat#Enemy/BlackAlien",
    "base.dat#Enemy/HardBall",
    "base.dat#Effects/Infected_bmp",
};
inline constexpr int hardBallSprite = 6;
inline constexpr int infectionSprite = 7;

// The object's path inside its datafile: "Enemy/RedAlien" of "base.dat#Enemy/RedAlien".
inline const char* spriteObject(const char* path)
{
    const char* hash = std::strchr(path, '#');
    return hash ? hash + 1 : path;
}

// Loads the BMP image stored at a datafile object path ("base.dat#Enemy/RedAlien") into a masked,
// mipmapped OpenGL texture and returns its name. The datafile's bytes are the data folder's (see
// data_folder.h), and they and the image are checked before Allegro reads them. A sprite that
// cannot be opened (no datafile, a damaged one, no such object) ends the game with exit status 1
// after a message that says why; one that is not a BMP image the game reads safely, or is cut
// short, gives a message and 0.
unsigned loadBMP(const char* path);

// A display list that binds the texture and draws it on the square from (-1, -1) to (1, 1),
// upright in the window's y-down pixel projection and facing the viewer.
unsigned makeQuad(unsigned texture);
