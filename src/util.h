// The game's sprites: loaded from its datafile into textures, and drawn as squares.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <iterator>

// A sprite of the game: the name of its art, and the object of the datafile that holds it.
struct Sprite {
    const char* name;
    const char* path;
};

// The game's sprites: the six aliens and the hard ball in the order of the level's kinds, then the
// infection overlay. The only list of them: the sprite painter paints each one's art, found by its
// name, at the path of its object, and lists what it painted for the build to pack into base.dat;
// the tests find the sprites through it.
inline constexpr Sprite sprites[] = {
    {"RedAlien", "base.dat#Enemy/RedAlien"},
    {"GreenAlien", "base.dat#Enemy/GreenAlien"},
    {"PurpleAlien", "base.dat#Enemy/PurpleAlien"},
    {"WhiteAlien", "base.dat#Enemy/WhiteAlien"},
    {"GrayAlien", "base.dat#Enemy/GrayAlien"},
    {"BlackAlien", "base.dat#Enemy/BlackAlien"},
    {"HardBall", "base.dat#Enemy/HardBall"},
    {"Infection", "base.dat#Effects/Infected_bmp"},
};
// Their datafile paths, in the same order.
inline constexpr std::array<const char*, std::size(sprites)> spritePaths = [] {
    std::array<const char*, std::size(sprites)> paths {};
    for (size_t k = 0; k < paths.size(); ++k)
        paths[k] = sprites[k].path;
    return paths;
}();
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
