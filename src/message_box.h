// Messages to the player, in a box on screen: xmessage with an OK button, as Allegro shows its
// own on X11, but with the text whole and in UTF-8, fitted to the screen. Where no box can be
// shown the text goes to standard error instead, whole and at once.
#pragma once

#include "ending.h"

#include <functional>
#include <string>

// Shows the text in a box and waits for its OK; a line break ends the text if it has none. What
// the box reports decides the status of a request to stop while it is up (see ending.h). Where no
// box can be shown (no xmessage, or it fails) the text goes to standard error, and the game goes
// on as after the box.
void tellPlayer(BoxReport report, std::string text);
// The same, with the text made as printf makes it.
__attribute__((format(printf, 2, 3))) void showMessage(BoxReport report, const char* format, ...);

// Bytes that are not UTF-8 (a folder named in Latin-1, say) as U+FFFD, the replacement character;
// the rest as it is.
std::string asUtf8(const std::string& text);

// A text in UTF-8 as the box shows it, its lines at most lineWidth wide as widthOf measures them:
// longer lines are wrapped, after a '/' or a space where there is one near the end, and a line so
// long that it would take more than three (a deep folder) is shortened in its middle, so that the
// reason at its end stays in sight.
std::string fitToScreen(
    const std::string& text, int lineWidth, const std::function<int(const std::string&)>& widthOf);
