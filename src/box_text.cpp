#include "box_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <optional>
#include <vector>

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

// The locale the box reads its text in: the player's own ("") where the C library has it (all
// of it: xmessage takes every category from the environment) and it is UTF-8; otherwise C.UTF-8,
// which every Debian system has. None when the C library has no UTF-8 locale at all.
std::optional<std::string> boxLocale()
{
    for (const char* name : {"", "C.UTF-8"}) {
        const locale_t locale = newlocale(LC_ALL_MASK, name, locale_t(0));
        if (!locale)
            continue;
        const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
        freelocale(locale);
        if (utf8)
            return name;
    }
    return std::nullopt;
}

} // namespace

// Where the letter (a UTF-8 sequence) that starts at byte i ends.
size_t letterEnd(const std::string& text, size_t i)
{
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xc0) == 0x80)
        ++i;
    return i;
}

BoxText textForTheBox(const std::string& text)
{
    BoxText box;
    // Its letters are read as UTF-8, whatever the locale the game was started in; where there is
    // no such locale, the box shows what it can.
    const std::optional<std::string> locale = boxLocale();
    box.locale = locale.value_or("C");
    box.whole = locale.has_value();
    box.shown = asUtf8(text);
    if (!locale)
        for (char& c : box.shown)
            c = c & 0x80 ? '?' : c;
    return box;
}

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

std::string asUtf8(const std::string& text)
{
    std::string letters;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8Letter(bytes + i, text.size() - i);
        letters.append(length ? text.substr(i, length) : "\uFFFD");
        i += length ? length : 1;
    }
    return letters;
}

std::string fitToScreen(
    const std::string& text, int lineWidth, const std::function<int(const std::string&)>& widthOf)
{
    // The box's fonts give every letter its own width, whatever its neighbours.
    struct Letter {
        std::string bytes;
        int width;
    };
    const auto lettersOf = [&](const std::string& line) {
        std::vector<Letter> letters;
        for (size_t i = 0; i < line.size(); i = letterEnd(line, i)) {
            const std::string bytes = line.substr(i, letterEnd(line, i) - i);
            letters.push_back({bytes, widthOf(bytes)});
        }
        return letters;
    };
    const auto widthOfAll = [](auto first, auto last) {
        int width = 0;
        for (; first != last; ++first)
            width += first->width;
        return width;
    };
    std::string fitted;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::vector<Letter> line = lettersOf(text.substr(start, end - start));
        start = end + 1;
        if (widthOfAll(line.begin(), line.end()) > 3 * lineWidth) {
            // Too long for three lines: the start on one, then an ellipsis and the end on two,
            // each row as full as it can be.
            const auto fill = [&](auto last, auto first, int width) {
                for (; last != first && width + last[-1].width <= lineWidth; --last)
                    width += last[-1].width;
                return last;
            };
            auto head = line.begin();
            for (int width = 0; head != line.end() && width + head->width <= lineWidth; ++head)
                width += head->width;
            const auto lastRow = fill(line.end(), head, 0);
            const auto middleRow = fill(lastRow, head, widthOf("\u2026"));
            for (auto row : {std::pair(line.begin(), head), std::pair(middleRow, lastRow),
                     std::pair(lastRow, line.end())}) {
                fitted += row.first == middleRow ? "\u2026" : "";
                for (; row.first != row.second; ++row.first)
                    fitted += row.first->bytes;
                fitted += "\n";
            }
            continue;
        }
        // Wrapped after a '/' or a space where there is one in the last third, and in any case
        // before the letter that would pass the edge; at least one letter a line.
        auto from = line.begin();
        while (widthOfAll(from, line.end()) > lineWidth) {
            auto cut = from + 1;
            for (int width = from->width; cut != line.end() && width + cut->width <= lineWidth;
                 ++cut)
                width += cut->width;
            for (auto at = cut; at - from > 1; --at)
                if ((at[-1].bytes == "/" || at[-1].bytes == " ")
                    && widthOfAll(from, at) > lineWidth * 2 / 3) {
                    cut = at;
                    break;
                }
            for (; from != cut; ++from)
                fitted += from->bytes;
            fitted += "\n";
        }
        for (; from != line.end(); ++from)
            fitted += from->bytes;
        fitted += "\n";
    }
    return fitted;
}
