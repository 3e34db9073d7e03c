// The game on Allegro and OpenGL: its start-up, and its sprites, loaded from the datafile into
// textures and drawn as squares.
#pragma once

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

// Starts Allegro, AllegroGL, the keyboard and the mouse; opens the 640x480 OpenGL window; calls
// tick 60 times a second from the timer's thread; seeds the colours of the level with the time;
// and sets up OpenGL as the game draws: mipmapped textures on flat, front-facing quads in a pixel
// projection with y downwards, Allegro's mouse pointer shown. Without a mouse it says so and goes
// on; any other failure ends the program with exit status 1 after a message.
void startAllegroAndOpenGL(void (*tick)());

// Makes the folder that holds base.dat the working directory, so that the sprites' paths
// ("base.dat#Enemy/RedAlien") reach it wherever the game was started from, and keeps the bytes of
// that base.dat as it read them: the sprites come from those bytes, even when the file is
// replaced or rebuilt while the game starts. It looks in the working directory, then beside the
// game's executable, then in the data folder installed with it, found from the executable's own
// place (../share/outbreak from bin/, or Debian's ../share/games/outbreak from games/). A base.dat
// in the working directory that is damaged or lacks a sprite of the game is passed over; in the
// game's own folders it is the game's own, and loadBMP reports its damage. When no folder holds a
// usable one, the working directory stays and loadBMP's "Couldn't open" message names every
// folder looked in and why it was passed over.
void enterDataFolder();

// Loads the BMP image stored at a datafile object path ("base.dat#Enemy/RedAlien") into a masked,
// mipmapped OpenGL texture and returns its name. After enterDataFolder, base.dat is the bytes it
// kept; another datafile is read anew. The datafile and the image are checked before Allegro
// reads them. A sprite that cannot be opened (no datafile, a damaged one, no such object)
// ends the game with exit status 1 after a message that says why; one that is not a BMP image
// the game reads safely, or is cut short, gives a message and 0.
unsigned loadBMP(const char* path);

// A display list that binds the texture and draws it on the square from (-1, -1) to (1, 1),
// upright in the window's y-down pixel projection and facing the viewer.
unsigned makeQuad(unsigned texture);
