// The text of a message box: bytes that are not UTF-8 made readable, and lines fitted to the box.
#include "box_text.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace {

// Letters one unit wide, and two for the wide ones the box's fonts draw: the kana, the ellipsis.
int units(const std::string& text)
{
    int width = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const size_t length = b < 0x80 ? 1 : b < 0xe0 ? 2 : b < 0xf0 ? 3 : 4;
        width += length == 3 ? 2 : 1;
        i += length;
    }
    return width;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(BoxText, BytesThatAreNotUtf8BecomeReplacementCharactersAndTheRestStays)
{
    const std::string replaced = "\uFFFD";
    const struct {
        const char* what;
        std::string bytes, shown;
    } rows[] = {
        {"Latin-1", "Fotos-\xe9t\xe9", "Fotos-" + replaced + "t" + replaced},
        {"UTF-8", "Игры/ゲーム/\U0001F47E", "Игры/ゲーム/\U0001F47E"},
        {"overlong slash", "a\xc0\xaf", "a" + replaced + replaced},
        {"surrogate", "\xed\xa0\x80", replaced + replaced + replaced},
        {"past U+10FFFF", "\xf4\x90\x80\x80", replaced + replaced + replaced + replaced},
        {"cut short", "ab\xe3\x82", "ab" + replaced + replaced},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.shown, asUtf8(row.bytes)) << row.what;
}

TEST(BoxText, EveryLineFitsTheBoxWideLettersCountedAtTheirWidth)
{
    // 40 units a line: "ゲーム" takes 6. Nothing is lost or added but the line breaks, and a line
    // is broken after a '/' where there is one in its last third.
    const std::string text = "Couldn't open base.dat#Enemy/RedAlien\n/home/Игры/ゲームゲームゲーム/"
                             "ゲームゲームゲームゲーム/base.dat cannot be read: No such file\n";
    const std::string fitted = fitToScreen(text, 40, units);
    std::string joined;
    for (const std::string& line : linesOf(fitted)) {
        EXPECT_LE(units(line), 40) << line;
        joined += line;
    }
    std::string unbroken = text;
    unbroken.erase(std::remove(unbroken.begin(), unbroken.end(), '\n'), unbroken.end());
    EXPECT_EQ(unbroken, joined);
    EXPECT_EQ("/home/Игры/ゲームゲームゲーム/", linesOf(fitted)[1]);
}

TEST(BoxText, ALineTooLongForThreeIsShortenedInItsMiddleKeepingItsEnd)
{
    std::string path = "/start";
    for (int i = 0; i < 40; ++i)
        path += "/ゲーム-" + std::to_string(i);
    const std::string line = path + "/base.dat cannot be read: No such file or directory";
    const std::vector<std::string> lines = linesOf(fitToScreen(line + "\nnext\n", 40, units));

    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ("next", lines.back());
    std::string shortened;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_LE(units(lines[i]), 40) << lines[i];
        shortened += lines[i];
    }
    // The start, as much as a line holds; an ellipsis and the end, reason and all, as much as two
    // lines hold; wrapped after its slashes into no more than four.
    EXPECT_LE(lines.size() - 1, 4u);
    const size_t ellipsis = shortened.find("\u2026");
    ASSERT_NE(std::string::npos, ellipsis);
    EXPECT_EQ(line.substr(0, ellipsis), shortened.substr(0, ellipsis));
    EXPECT_GT(units(shortened.substr(0, ellipsis)), 40 - 2);
    EXPECT_LE(units(shortened.substr(0, ellipsis)), 40);
    const std::string end = shortened.substr(ellipsis + std::string("\u2026").size());
    EXPECT_EQ(line.substr(line.size() - end.size()), end);
    EXPECT_GT(units("\u2026" + end), 2 * 40 - 2);
    EXPECT_LE(units("\u2026" + end), 2 * 40);
}
