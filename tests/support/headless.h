// Allegro without a window, for tests and benchmarks of the simulation: the level loads its
// sprites from the real base.dat, and with no OpenGL context every texture and display list
// comes back as 0, so nothing is drawn and nothing needs a display.
#pragma once

#include <string>

// Starts Allegro (no display) and AllegroGL once per process and makes the folder that holds
// base.dat the working directory.
void startHeadlessAllegro(const std::string& dataDir);
