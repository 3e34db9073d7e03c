// Messages to the player, in a box on screen: xmessage with an OK button, as Allegro shows its
// own on X11, but with the text whole and readable (see box_text.h), and on standard error too.
// From the main thread only: the box's process is tied to the thread that starts it.
#pragma once

#include "ending.h"

#include <string>

// Writes the text whole to standard error, control characters escaped, so that letters the box's
// font lacks can be read there; then shows it in a box and waits for its OK. A line break ends
// the text if it has none. What the box reports decides the status of a request to stop while it
// is up, and a failure's from the moment it is told (see ending.h). The text is fitted to the
// box's width here, in the box's fixed font, and read by the box in UTF-8 (the player's locale
// where the C library has it and it is UTF-8, C.UTF-8 otherwise), without the game's locale ever
// being switched. The box's process runs xmessage, found on PATH, and nothing else: it starts
// with every signal at its default and none held, and dies with the game. Where no box can be
// shown (no xmessage, no process for it, or it fails), the game goes on as after the box.
void tellPlayer(BoxReport report, std::string text);
// The same, with the text made as printf makes it.
__attribute__((format(printf, 2, 3))) void showMessage(BoxReport report, const char* format, ...);
