// The game's icon: the red alien painted at the icon's own size, see-through round its body.
#pragma once

#include <filesystem>

// As a PNG file of size by size pixels with an alpha channel, for the launcher.
void saveIcon(const std::filesystem::path& file, int size);
// As an XPM image in C++ source defining `const char* outbreakIcon[]`, the window's icon.
void saveWindowIcon(const std::filesystem::path& file, int size);
