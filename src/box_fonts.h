// The box's fonts: the X server's fonts that xmessage draws a message with, as the box's locale
// chooses them, measured on a connection of the box's own to the display the box goes to.
#pragma once

#include "box_text.h"

// Fits the box's text to the width the box has on screen, measured in the fonts it draws with on
// the display it goes to, and notes whether those fonts have every letter of it (right-to-left
// letters count as drawn, though the box lays them out left to right). Xlib takes the fonts'
// locale from the process's, which this switches to the box's and back: only in a process of one
// thread, such as the box's own before it runs its program.
void fitInTheBoxFonts(BoxText& box);
