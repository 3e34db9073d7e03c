// The art of the game's sprites, each found by the name that the game's sprite list gives it
// (src/util.h), so that the list's order decides nothing about how a sprite looks.
#pragma once

#include "shading.h"

#include <string>
#include <vector>

struct Art {
    const char* name;
    enum Role { Alien, HardBall, Overlay } role;
    void (*paint)(Canvas&); // on a canvas of any size
};

// The six aliens (aliens.cpp), the hard ball and the infection overlay (hard_ball.cpp).
extern const Art alienArt[6];
extern const Art hardBallArt;
extern const Art infectionArt;

// Every sprite's art, in the order of the preview sheet: the aliens, the ball, the overlay.
std::vector<const Art*> everyArt();
// The art of this name; the painter stops with a message when there is none.
const Art& artNamed(const std::string& name);
