// A message's text as its box and standard error show it: in UTF-8, its lines fitted to the box's
// width in the box's fixed font, and escaped for a terminal. Functions of their arguments alone:
// any thread may call them.
#pragma once

#include <string>

// The fonts the box draws with (xmessage's font set): the X server's fixed fonts 13 pixels high,
// cells 7 or 8 pixels wide; the Japanese, Korean and Chinese fonts, scaled to that height, draw a
// letter at most 16 pixels wide, as do the others for a letter they lack.
extern const char* const boxFontSet;

// How many cells of 8 pixels a line of the box holds on a screen that many pixels wide (0: not
// known, taken as a screen 640 pixels wide).
int boxColumns(int screenWidth);

// The text in UTF-8 (bytes that are not, a folder named in Latin-1, as U+FFFD), its lines at most
// columns cells wide. A letter takes a cell below U+1100, a tab eight, any other letter two, never
// less than the box draws it in. Longer lines are wrapped, after a '/' or a space in the last
// third where there is one; a line so long that it would take more than three (a deep folder) is
// shortened in its middle to three rows, with an ellipsis, keeping the reason at its end in sight.
std::string fitToBox(const std::string& text, int columns);

// The text as standard error shows it: control characters (but line breaks and tabs) escaped as
// \xHH, or \uHHHH for those of Unicode, so that no name reaches a terminal as a command.
std::string escapedForTerminal(const std::string& text);
