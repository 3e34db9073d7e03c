#include "box_text.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

const char* const boxFontSet
    = "-misc-fixed-medium-r-normal--13-*-*-*-c-*-*-*,-*-*-medium-r-normal--13-*-*-*-c-*-*-*";

namespace {

// The number of bytes of the well-formed UTF-8 letter at the start of bytes, or 0 when it is not
// one (a stray byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
size_t utf8Letter(const unsigned char* bytes, size_t left)
{
    const unsigned char b = bytes[0];
    if (b < 0x80)
        return 1;
    const size_t length = b >= 0xc2 && b <= 0xdf ? 2
        : b >= 0xe0 && b <= 0xef                 ? 3
        : b >= 0xf0 && b <= 0xf4                 ? 4
                                                 : 0;
    if (length == 0 || length > left)
        return 0;
    // The second byte's range excludes overlong forms, surrogates and what lies past U+10FFFF.
    const unsigned char low = b == 0xe0 ? 0xa0 : b == 0xf0 ? 0x90 : 0x80;
    const unsigned char high = b == 0xed ? 0x9f : b == 0xf4 ? 0x8f : 0xbf;
    if (bytes[1] < low || bytes[1] > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if ((bytes[i] & 0xc0) != 0x80)
            return 0;
    return length;
}

struct Letter {
    std::string bytes;
    int cells;
};

// The letters of a line, each with the cells it takes (see fitToBox); a byte that is not UTF-8 as
// U+FFFD.
std::vector<Letter> lettersOf(const std::string& line)
{
    std::vector<Letter> letters;
    const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
    for (size_t i = 0, length; i < line.size(); i += std::max<size_t>(length, 1)) {
        length = utf8Letter(bytes + i, line.size() - i);
        char32_t code = length ? bytes[i] & (length == 1 ? 0x7f : 0x3f >> (length - 1)) : 0xfffd;
        for (size_t k = 1; k < length; ++k)
            code = code << 6 | (bytes[i + k] & 0x3f);
        const int cells = code == '\t' ? 8 : code < 0x1100 ? 1 : 2;
        letters.push_back({length ? line.substr(i, length) : "\uFFFD", cells});
    }
    return letters;
}

int cellsOf(std::vector<Letter>::const_iterator first, std::vector<Letter>::const_iterator last)
{
    return std::accumulate(
        first, last, 0, [](int cells, const Letter& l) { return cells + l.cells; });
}

} // namespace

std::string escapedForTerminal(const std::string& text)
{
    std::string shown;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    char escape[8];
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = bytes[i];
        const size_t length = utf8Letter(bytes + i, text.size() - i);
        const bool stray = length == 0 && b >= 0x80 && b < 0xa0;
        if ((b < 0x20 && b != '\n' && b != '\t') || b == 0x7f || stray) {
            snprintf(escape, sizeof escape, "\\x%02x", b); // C0 and DEL; C1 as a stray byte
            shown += escape;
            ++i;
        } else if (length == 2 && b == 0xc2 && bytes[i + 1] < 0xa0) {
            snprintf(escape, sizeof escape, "\\u%04x", bytes[i + 1]); // C1 in UTF-8
            shown += escape;
            i += 2;
        } else {
            const size_t whole = length ? length : 1;
            shown.append(text, i, whole);
            i += whole;
        }
    }
    return shown;
}

int boxColumns(int screenWidth)
{
    // xmessage makes its text at most seven tenths of the screen wide, of which 21 pixels go to
    // its scroll bar, borders and margins (measured on screens 320 to 1920 pixels wide). Even on
    // the smallest screen a line holds ten letters.
    return std::max(10, ((screenWidth > 0 ? screenWidth : 640) * 7 / 10 - 21) / 8);
}

std::string fitToBox(const std::string& text, int columns)
{
    std::string fitted;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::vector<Letter> line = lettersOf(text.substr(start, end - start));
        start = end + 1;
        auto from = line.begin();
        const auto row = [&](auto last, const char* before = "") {
            fitted += before;
            for (; from != last; ++from)
                fitted += from->bytes;
            fitted += "\n";
        };
        if (cellsOf(line.begin(), line.end()) > 3 * columns) {
            // The start on one row, as full as it can be, then an ellipsis and the end on two.
            auto head = line.begin();
            for (int cells = 0; head != line.end() && (cells += head->cells) <= columns;)
                ++head;
            const auto fill = [&](auto last, int cells) {
                while (last != head && (cells += last[-1].cells) <= columns)
                    --last;
                return last;
            };
            const auto lastRow = fill(line.end(), 0);
            const auto middleRow = fill(lastRow, 2); // the ellipsis takes two
            row(head);
            from = middleRow;
            row(lastRow, "\u2026");
            row(line.end());
            continue;
        }
        // Wrapped before the letter that would pass the edge, or after the last '/' or space
        // in the last third before it; at least one letter a row.
        while (cellsOf(from, line.end()) > columns) {
            auto cut = from + 1;
            for (int cells = from->cells; cut != line.end() && (cells += cut->cells) <= columns;)
                ++cut;
            for (auto at = cut; at - from > 1; --at)
                if ((at[-1].bytes == "/" || at[-1].bytes == " ")
                    && cellsOf(from, at) > columns * 2 / 3) {
                    cut = at;
                    break;
                }
            row(cut);
        }
        row(line.end());
    }
    return fitted;
}
