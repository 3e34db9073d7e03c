// The text of a message box, fitted to the box's width: wrapped, and shortened in its middle.
#include "box_fonts.h"
#include "box_text.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace {

// Letters one unit wide, and two for the kana and the ellipsis, as the box's fonts draw them.
int units(const std::string& text)
{
    int width = 0;
    for (const unsigned char c : text)
        width += (c & 0xc0) == 0x80 ? 0 : (c & 0xf0) == 0xe0 ? 2 : 1;
    return width;
}

} // namespace

TEST(BoxText, ALineTooLongForThreeIsShortenedInItsMiddleKeepingItsEndAndNoLineIsWider)
{
    std::string path = "/start";
    for (int i = 0; i < 40; ++i)
        path += "/ゲーム-" + std::to_string(i);
    const std::string line = path + "/base.dat cannot be read: No such file or directory";
    std::istringstream fitted(
        fitToScreen(line + "\n/home/Игры/ゲームゲームゲーム/ゲームゲームゲーム\n", 40, units));

    // The start, as much as one line holds, then an ellipsis and the end, reason and all, as much
    // as two lines hold; every line within 40 units, broken after a '/' in its last third.
    std::string shortened, row;
    int rows = 0;
    for (; std::getline(fitted, row) && row.rfind("/home", 0) != 0; ++rows) {
        EXPECT_LE(units(row), 40) << row;
        shortened += row;
    }
    EXPECT_LE(rows, 3);
    const size_t ellipsis = shortened.find("\u2026");
    ASSERT_NE(std::string::npos, ellipsis);
    EXPECT_EQ(line.substr(0, ellipsis), shortened.substr(0, ellipsis));
    EXPECT_GT(units(shortened.substr(0, ellipsis)), 40 - 2);
    const std::string end = shortened.substr(ellipsis + std::string("\u2026").size());
    EXPECT_EQ(line.substr(line.size() - end.size()), end);
    EXPECT_GE(units("\u2026" + end), 2 * 40 - 2);
    EXPECT_LE(units("\u2026" + end), 2 * 40);
    // A shorter line is only wrapped.
    EXPECT_EQ("/home/Игры/ゲームゲームゲーム/", row);
    ASSERT_TRUE(std::getline(fitted, row));
    EXPECT_EQ("ゲームゲームゲーム", row);
}

// Without the box's fonts (no display), letters that take two columns are counted as wide ones.
TEST(BoxText, WithoutTheBoxsFontsWideLettersAreCountedWide)
{
    const char* display = getenv("DISPLAY");
    const bool hadDisplay = display;
    const std::string kept = hadDisplay ? display : "";
    unsetenv("DISPLAY");
    std::string kana;
    for (int i = 0; i < 60; ++i)
        kana += "\u30b2";
    BoxText box = textForTheBox(kana);
    fitInTheBoxFonts(box);
    if (hadDisplay)
        setenv("DISPLAY", kept.c_str(), 1);
    // 60 wide letters are wider than a line of a box on a 1024-pixel screen; 60 narrow ones are
    // not.
    EXPECT_EQ(2, std::count(box.shown.begin(), box.shown.end(), '\n')) << box.shown;
}

// On standard error, control characters show escaped, and every letter as it is.
TEST(BoxText, ControlCharactersAreEscapedForATerminal)
{
    EXPECT_EQ("a\\x1b[2J\\x1b]0;T\\x07 \\u009b\\x9b\xe9 \u00e9\t\u30b2\\x7f\n",
        escapedForTerminal("a\x1b[2J\x1b]0;T\x07 \u009b\x9b\xe9 \u00e9\t\u30b2\x7f\n"));
}
