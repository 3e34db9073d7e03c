// The folder that holds the game's datafile, base.dat, and the one reading of it that every sprite
// comes from.
#pragma once

#include <string>

// A datafile as it was read: its bytes, or why they cannot be read.
struct DatafileBytes {
    std::string bytes;
    std::string unread; // empty when read and well-formed; otherwise why not, after the file's name
};

// Makes the folder that holds base.dat the working directory, so that the sprites' paths
// ("base.dat#Enemy/RedAlien") reach it wherever the game was started from, and keeps the bytes of
// that base.dat as it read them: the sprites come from those bytes, even when the file is
// replaced or rebuilt while the game starts. It looks in the working directory, then beside the
// game's executable, then in the data folder installed with it, found from the executable's own
// place (../share/outbreak from bin/, or Debian's ../share/games/outbreak from games/). A base.dat
// in the working directory that is damaged or lacks a sprite of the game is passed over; in the
// game's own folders it is the game's own, and the sprites report its damage. When no folder
// holds a usable one, the working directory stays, and dataSearchNote() names every folder looked
// in and why it was passed over.
void enterDataFolder();

// The bytes of a datafile as the sprites read them: after enterDataFolder, "base.dat" is the one
// read at the choice of the folder; any other datafile is read now.
DatafileBytes datafileBytes(const std::string& file);

// Lines that name the folders looked in for base.dat and why each was passed over; empty when the
// working directory's was taken.
const std::string& dataSearchNote();
