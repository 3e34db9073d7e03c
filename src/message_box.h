// Messages to the player, in a box on screen: xmessage with an OK button, as Allegro shows its
// own on X11, but with the text whole and readable (see box_text.h). Where no box can be shown
// the text goes to standard error instead, whole and at once.
#pragma once

#include "ending.h"

#include <string>

// Shows the text in a box and waits for its OK; a line break ends the text if it has none. What
// the box reports decides the status of a request to stop while it is up (see ending.h). The
// box's process starts with every signal at its default and dies with the game. Where no box can
// be shown (no xmessage, no process for it, or it fails or complains) the text goes to standard
// error, and the game goes on as after the box.
void tellPlayer(BoxReport report, std::string text);
// The same, with the text made as printf makes it.
__attribute__((format(printf, 2, 3))) void showMessage(BoxReport report, const char* format, ...);
