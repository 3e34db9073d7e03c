// A message's text as a message box shows it: in UTF-8, read in a locale that the C library
// really has, its lines fitted to the width the box has on screen in the fonts it draws with.
#pragma once

#include <functional>
#include <string>

// The text for the box, and the locale the box must read it in.
struct BoxText {
    std::string shown;  // the text, in UTF-8 (and fitted, once fitInTheBoxFonts has run: box_fonts.h)
    std::string locale; // LC_ALL for the box; empty: the player's own locale
    bool whole = true;  // false where no UTF-8 locale, or none of the box's fonts, shows a letter
};
// The text as the box reads it, and the locale it reads it in; not yet fitted to the box's width.
// It leaves the process's locale alone, and may run beside other threads.
BoxText textForTheBox(const std::string& text);

// Where the letter (a UTF-8 sequence) that starts at byte i of the text ends.
size_t letterEnd(const std::string& text, size_t i);

// The text as standard error shows it: control characters (but line breaks and tabs) escaped as
// \xHH, or \uHHHH for those of Unicode, so that no name reaches a terminal as a command.
std::string escapedForTerminal(const std::string& text);

// Bytes that are not UTF-8 (a folder named in Latin-1, say) as U+FFFD, the replacement character;
// the rest as it is.
std::string asUtf8(const std::string& text);

// A text in UTF-8 as the box shows it, its lines at most lineWidth wide as widthOf measures them:
// longer lines are wrapped, after a '/' or a space where there is one near the end, and a line so
// long that it would take more than three (a deep folder) is shortened in its middle, so that the
// reason at its end stays in sight.
std::string fitToScreen(
    const std::string& text, int lineWidth, const std::function<int(const std::string&)>& widthOf);
