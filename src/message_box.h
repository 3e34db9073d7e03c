// Messages to the player, in a box on screen: xmessage with an OK button, as Allegro shows its
// own on X11, but with the text whole and readable (see box_text.h). Where no box can be shown
// the text goes to standard error instead, whole and at once.
#pragma once

#include "ending.h"

#include <string>

// Shows the text in a box and waits for its OK; a line break ends the text if it has none. What
// the box reports decides the status of a request to stop while it is up, and a failure's from
// the moment it is told (see ending.h). The box's process starts with every signal at its default,
// fits the text to the box's fonts, and dies with the game. To fit it in a process of one thread,
// that process starts the program it was forked from afresh, which becomes the box before its
// main runs: any program that shows the game's messages does so. Where no box can be shown (no
// xmessage, no process for it, or it fails) the text goes to standard error, and the game goes on
// as after the box; where the box may not show every letter (its fonts lack some, or its program
// complains) the text goes there too, once, as the box comes up. On standard error, control
// characters are escaped.
void tellPlayer(BoxReport report, std::string text);
// The same, with the text made as printf makes it.
__attribute__((format(printf, 2, 3))) void showMessage(BoxReport report, const char* format, ...);
