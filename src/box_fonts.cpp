#include "box_fonts.h"

#include <X11/Xlib.h>
#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <iconv.h>
#include <locale.h>
#include <string>
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

void fitInTheBoxFonts(BoxText& box)
{
    const BoxFonts fonts(box.locale.c_str());
    box.whole = box.whole && fonts.drawsAll(box.shown);
    box.shown = fitToScreen(
        box.shown, fonts.lineWidth(), [&](const std::string& line) { return fonts.widthOf(line); });
}
