// The text of a message box, fitted to the box's width: wrapped, and shortened in its middle.
#include "box_text.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

// Cells as the box counts them: one for these Cyrillic and ASCII letters, two for the kana and the
// ellipsis.
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
        fitToBox(line + "\n/home/Игры/ゲームゲームゲーム/ゲームゲームゲーム\n", 40));

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

// No letter is counted narrower than the box's fonts may draw it: those the Japanese font draws
// in two cells though the C library counts one (the ellipsis, arrows), letters beyond U+FFFF,
// which the box draws as two, and a tab, which reaches the next multiple of eight. Bytes that are
// not UTF-8 show as U+FFFD.
TEST(BoxText, EveryLetterTakesAtLeastTheCellsTheBoxDrawsItIn)
{
    const struct {
        std::string text;
        int columns;
        std::string fitted;
    } rows[] = {
        {"\u2026\u2026\u2026\u2026\u2026", 9, "\u2026\u2026\u2026\u2026\n\u2026\n"},
        {"\u2190\u2190\u2190", 5, "\u2190\u2190\n\u2190\n"},
        {"\U0001F3AE\U0001F3AE\U0001F3AE", 5, "\U0001F3AE\U0001F3AE\n\U0001F3AE\n"},
        {"ab\tcd", 10, "ab\t\ncd\n"},
        {"Игры-Игры", 9, "Игры-Игры\n"},
        {"Fotos-\xe9t\xe9", 20, "Fotos-\uFFFDt\uFFFD\n"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.fitted, fitToBox(row.text, row.columns)) << row.text;
}

// On standard error, control characters show escaped, and every letter as it is.
TEST(BoxText, ControlCharactersAreEscapedForATerminal)
{
    EXPECT_EQ("a\\x1b[2J\\x1b]0;T\\x07 \\u009b\\x9b\xe9 \u00e9\t\u30b2\\x7f\n",
        escapedForTerminal("a\x1b[2J\x1b]0;T\x07 \u009b\x9b\xe9 \u00e9\t\u30b2\x7f\n"));
}
