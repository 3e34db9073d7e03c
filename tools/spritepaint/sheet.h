// The preview sheet: every sprite at its on-screen size (32x32) on black, as the game shows it,
// and below each alien the same alien infected. The README's picture of the sprites is this sheet
// at three times its size.
#pragma once

#include "output.h"

// Saves the sheet of these sprites, in their order, as a BMP file.
void saveSheet(const std::filesystem::path& file, const std::vector<Painted>& painted);
