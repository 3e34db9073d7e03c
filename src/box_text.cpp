#include "box_text.h"

#include <X11/Xlib.h>
#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <optional>
#include <strings.h>
#include <vector>

namespace {

// xmessage draws its text in the X server's fonts, chosen for its locale by this pattern, and
// makes its text at most seven tenths of the screen wide, of which 21 pixels go to its scroll
// bar, borders and margins (measured on screens 320 to 1920 pixels wide).
const char* const boxFonts = "-*-*-*-R-*-*-*-120-*-*-*-*";
const double boxShareOfScreen = 0.7;
const int boxFrame = 21;
// Without the fonts at hand, a letter is taken to be 7 pixels wide, and 17 where the C library
// says that it takes two columns.
const int narrowLetter = 7;
const int wideLetter = 17;
// Even on the smallest screen a line holds ten letters.
const int narrowestLine = 10 * narrowLetter;

// Where the letter (a UTF-8 sequence) that starts at byte i ends.
size_t letterEnd(const std::string& text, size_t i)
{
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xc0) == 0x80)
        ++i;
    return i;
}

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

// Which letters a font set draws. Xlib draws a letter in the first font of the set whose charset
// encodes it, in the order of the locale's fonts (ISO 8859, KOI8-R, the Japanese, Korean and
// Chinese ones, ISO 10646 last), whether that font has a glyph for it or not: a core font draws a
// letter it lacks as its default letter, an empty box, and none has a letter beyond U+FFFF.
class FontSetLetters {
public:
    FontSetLetters(Display* display, XFontSet fonts) : display_(display)
    {
        XFontStruct** structs = nullptr;
        char** names = nullptr;
        const int count = XFontsOfFontSet(fonts, &structs, &names);
        for (int i = 0; i < count; ++i) {
            Font font {names[i], "", nullptr};
            const std::string name = lowered(names[i]);
            const auto registry = [&](const char* end) {
                return name.size() >= strlen(end)
                    && name.compare(name.size() - strlen(end), strlen(end), end) == 0;
            };
            const size_t iso8859 = name.rfind("-iso8859-");
            font.encoding = registry("-iso10646-1") ? ""
                : registry("-koi8-r")               ? "KOI8-R"
                : registry("-jisx0208.1983-0")      ? "EUC-JP"
                : registry("-ksc5601.1987-0")       ? "EUC-KR"
                : registry("-gb2312.1980-0")        ? "EUC-CN"
                : iso8859 != std::string::npos      ? "ISO-8859-" + name.substr(iso8859 + 9)
                                                    : "?";
            if (font.encoding != "?")
                fonts_.push_back(font);
        }
    }
    ~FontSetLetters()
    {
        for (Font& font : fonts_)
            if (font.loaded)
                XFreeFont(display_, font.loaded);
    }
    FontSetLetters(const FontSetLetters&) = delete;
    FontSetLetters& operator=(const FontSetLetters&) = delete;

    bool drawAll(const std::string& text)
    {
        for (size_t i = 0; i < text.size(); i = letterEnd(text, i)) {
            const std::string letter = text.substr(i, letterEnd(text, i) - i);
            if (static_cast<unsigned char>(letter[0]) >= 0x80 && !draws(letter))
                return false;
        }
        return true;
    }

private:
    struct Font {
        std::string name;
        std::string encoding; // for iconv; empty: ISO 10646, the letter's own number
        XFontStruct* loaded = nullptr;
    };

    static std::string lowered(std::string text)
    {
        for (char& c : text)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    // The glyph's place in the font (row and column), or -1 where its charset has no such letter.
    static long placeOf(const std::string& letter, const std::string& encoding)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(letter.data());
        if (encoding.empty()) {
            unsigned long number = letter.size() == 2 ? bytes[0] & 0x1f
                : letter.size() == 3                  ? bytes[0] & 0x0f
                                                      : bytes[0] & 0x07;
            for (size_t i = 1; i < letter.size(); ++i)
                number = number << 6 | (bytes[i] & 0x3f);
            return number > 0xffff ? -1 : long(number);
        }
        const iconv_t convert = iconv_open(encoding.c_str(), "UTF-8");
        if (convert == iconv_t(-1))
            return -1;
        std::string in = letter;
        char out[8];
        char* from = in.data();
        char* to = out;
        size_t inLeft = in.size(), outLeft = sizeof out;
        const bool converted = iconv(convert, &from, &inLeft, &to, &outLeft) != size_t(-1);
        iconv_close(convert);
        const size_t length = sizeof out - outLeft;
        const auto* code = reinterpret_cast<const unsigned char*>(out);
        if (!converted || inLeft != 0)
            return -1;
        if (encoding.rfind("EUC-", 0) == 0) // two bytes of the charset's right half
            return length == 2 && code[0] >= 0xa1 && code[1] >= 0xa1
                ? long((code[0] & 0x7f) << 8 | (code[1] & 0x7f))
                : -1;
        return length == 1 ? long(code[0]) : -1;
    }

    // A core font's glyph exists where its metrics are not all zero.
    static bool has(const XFontStruct& font, unsigned long place)
    {
        const unsigned row = place >> 8, column = place & 0xff;
        if (row < font.min_byte1 || row > font.max_byte1 || column < font.min_char_or_byte2
            || column > font.max_char_or_byte2)
            return false;
        if (!font.per_char)
            return true;
        const unsigned columns = font.max_char_or_byte2 - font.min_char_or_byte2 + 1;
        const XCharStruct& metrics
            = font.per_char[(row - font.min_byte1) * columns + column - font.min_char_or_byte2];
        return metrics.width || metrics.lbearing || metrics.rbearing || metrics.ascent
            || metrics.descent;
    }

    bool draws(const std::string& letter)
    {
        for (Font& font : fonts_) {
            const long place = placeOf(letter, font.encoding);
            if (place < 0)
                continue;
            // The font set holds its fonts' sizes alone: the glyphs' come with the font itself.
            if (!font.loaded)
                font.loaded = XLoadQueryFont(display_, font.name.c_str());
            return font.loaded && has(*font.loaded, unsigned(place));
        }
        return false;
    }

    Display* display_;
    std::vector<Font> fonts_;
};

// How wide a text is in the box, in pixels, and how wide the box's lines may be: measured with
// the fonts xmessage takes, on a connection of its own to the display the box goes to.
class BoxFonts {
public:
    explicit BoxFonts(const char* locale)
    {
        display_ = XOpenDisplay(nullptr);
        if (!display_)
            return;
        const int screenWidth = DisplayWidth(display_, DefaultScreen(display_));
        lineWidth_ = std::max(narrowestLine, int(screenWidth * boxShareOfScreen) - boxFrame);
        // Xlib picks the fonts for the process's locale; the game otherwise keeps the C locale.
        const std::string before = setlocale(LC_CTYPE, nullptr);
        if (setlocale(LC_CTYPE, locale) && XSupportsLocale()) {
            char** missing = nullptr;
            int missingCount = 0;
            char* fallback = nullptr;
            fonts_ = XCreateFontSet(display_, boxFonts, &missing, &missingCount, &fallback);
            if (missing)
                XFreeStringList(missing);
        }
        setlocale(LC_CTYPE, before.c_str());
    }
    ~BoxFonts()
    {
        if (fonts_)
            XFreeFontSet(display_, fonts_);
        if (display_)
            XCloseDisplay(display_);
    }
    BoxFonts(const BoxFonts&) = delete;
    BoxFonts& operator=(const BoxFonts&) = delete;

    int lineWidth() const { return lineWidth_; }
    // Whether the fonts draw every letter of the text (see FontSetLetters).
    bool drawsAll(const std::string& text) const
    {
        return !fonts_ || FontSetLetters(display_, fonts_).drawAll(text);
    }
    int widthOf(const std::string& text) const
    {
        if (fonts_)
            return Xutf8TextEscapement(fonts_, text.data(), int(text.size()));
        // The C library's idea of the letters' widths, in UTF-8 whatever the game's locale.
        const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
        const locale_t before = utf8 ? uselocale(utf8) : locale_t(0);
        int width = 0;
        std::mbstate_t state {};
        for (size_t i = 0; i < text.size(); i = letterEnd(text, i)) {
            wchar_t letter = 0;
            const size_t length = letterEnd(text, i) - i;
            const bool decoded = std::mbrtowc(&letter, text.data() + i, length, &state) == length;
            width += decoded && wcwidth(letter) == 2 ? wideLetter : narrowLetter;
        }
        if (utf8) {
            uselocale(before);
            freelocale(utf8);
        }
        return width;
    }

private:
    Display* display_ = nullptr;
    XFontSet fonts_ = nullptr;
    int lineWidth_ = 1024 * boxShareOfScreen - boxFrame;
};

} // namespace

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

void fitInTheBoxFonts(BoxText& box)
{
    const BoxFonts fonts(box.locale.c_str());
    box.whole = box.whole && fonts.drawsAll(box.shown);
    box.shown = fitToScreen(
        box.shown, fonts.lineWidth(), [&](const std::string& line) { return fonts.widthOf(line); });
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
