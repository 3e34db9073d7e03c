// What the painter writes: each sprite of the game's list as a 64x64 BMP file at the path of its
// object in the datafile, and the list of those objects, from which the build packs base.dat.
#pragma once

#include "art.h"

#include <allegro.h>

#include <filesystem>
#include <string>
#include <vector>

[[noreturn]] void die(const std::string& what);
void makeDir(const std::filesystem::path& dir);
void saveBmp(const std::filesystem::path& file, BITMAP* bmp);

int maskColour();

// A sprite's art painted at its size: solid pixels fade to black at the very edge (the game's
// background), everything else is the mask colour.
struct Painted {
    const Art* art;
    BITMAP* bmp;
};
// Every art in the order of everyArt(); destroy with forget().
std::vector<Painted> paintEveryArt();
void forget(std::vector<Painted>& painted);

// Writes each sprite of the game's list, found by its name among the painted ones, into
// root/<its object> ("Enemy/RedAlien"), and their objects, one a line in the list's order, into
// root/objects. Stops with a message when a sprite has no art or an art is no sprite of the game.
void saveSprites(const std::filesystem::path& root, const std::vector<Painted>& painted);
