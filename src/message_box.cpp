#include "message_box.h"

#include <algorithm>
#include <allegro.h>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifdef ALLEGRO_WITH_XWINDOWS
#include <xalleg.h>
#endif

// Allegro's own message box on X11 turns every letter outside ASCII into '^' (a folder's name in
// Cyrillic or Japanese), cuts the text at 4 KB, gives the box the game's signals and streams, and
// where no box can be shown writes the text to standard output, buffered, where an exit drops it.
// The game runs xmessage itself.

namespace {

// The effective character set of the player's locale names UTF-8.
bool localeIsUtf8()
{
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if ((name = getenv(variable)) && *name)
            break;
    std::string lower = name ? name : "";
    std::transform(lower.begin(), lower.end(), lower.begin(),
        [](unsigned char c) { return char(std::tolower(c)); });
    return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

// Where the letter (a UTF-8 sequence) that starts at byte i ends.
size_t letterEnd(const std::string& text, size_t i)
{
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xc0) == 0x80)
        ++i;
    return i;
}

size_t letters(const std::string& text)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size(); i = letterEnd(text, i))
        ++count;
    return count;
}

// The first n letters of text, as bytes.
size_t bytesOfLetters(const std::string& text, size_t n)
{
    size_t i = 0;
    for (; i < text.size() && n > 0; --n)
        i = letterEnd(text, i);
    return i;
}

// Letters across the message box's widest line: xmessage makes its box at most three quarters of
// the screen wide, and its font's letters are 7 pixels wide.
size_t screenColumns()
{
    int width = 1024;
#ifdef ALLEGRO_WITH_XWINDOWS
    if (_xwin.display)
        width = DisplayWidth(_xwin.display, DefaultScreen(_xwin.display));
#endif
    return size_t(std::max(40, (width * 3 / 4 - 60) / 7));
}

// The strings as a list of C strings, ended by a null pointer, as exec takes them.
std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

void writeWhole(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno != EINTR)
            return;
        done += wrote > 0 ? size_t(wrote) : 0;
    }
}

// In the message box's process, before it runs the box's program: every signal back to its
// default action and none held (an ignored signal would stay ignored through exec, and the tie
// to the game would do nothing), and tied to the game, so that the box goes when the game does.
[[noreturn]] void startBox(char* const argv[], char* const environment[], pid_t game)
{
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    // It fails, harmlessly, for SIGKILL, SIGSTOP and the C library's own.
    for (int signal = 1; signal < NSIG; ++signal)
        sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != game)
        endBoxProcess(BoxProcessEnding::gameGone); // the game ended before the tie was made
    execvpe(argv[0], argv, environment);
    endBoxProcess(BoxProcessEnding::programMissing);
}

// Runs the box's program (argv[0] found on PATH, with the environment given) in a process of its
// own and waits for it to end: its wait status, or -1 if it could not be started.
int runBox(BoxReport report, char* const argv[], char* const environment[])
{
    const BoxOnScreen onScreen(report);
    const pid_t game = getpid();
    const pid_t box = fork();
    if (box == 0)
        startBox(argv, environment, game);
    int status = -1;
    if (box > 0)
        while (waitpid(box, &status, 0) < 0 && errno == EINTR) {}
    return box > 0 ? status : -1;
}

} // namespace

void tellPlayer(BoxReport report, std::string text)
{
    if (text.empty() || text.back() != '\n')
        text += '\n';
    std::string shown = fitToScreen(text, screenColumns());
    std::vector<std::string> words {"xmessage", "-buttons", "OK:101", "-default", "OK", "-center",
        "-xrm", "*international: true", shown};
    // Its letters are read as UTF-8, whatever the locale the game was started in.
    std::vector<std::string> environment;
    const bool utf8 = localeIsUtf8();
    for (char** variable = environ; *variable; ++variable)
        if (utf8 || std::strncmp(*variable, "LC_ALL=", 7) != 0)
            environment.push_back(*variable);
    if (!utf8)
        environment.push_back("LC_ALL=C.UTF-8");
    const int status = runBox(report, pointersTo(words).data(), pointersTo(environment).data());
    const bool answered = status >= 0 && WIFEXITED(status)
        && (WEXITSTATUS(status) == 101 || WEXITSTATUS(status) == 0);
    if (!answered)
        writeWhole(STDERR_FILENO, text);
}

void showMessage(BoxReport report, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(size_t(std::max(length, 0)), '\0');
    vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    tellPlayer(report, text);
}

std::string fitToScreen(const std::string& text, size_t columns)
{
    std::string fitted;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (letters(line) > 3 * columns) {
            const size_t head = bytesOfLetters(line, columns);
            const std::string rest = line.substr(head);
            const size_t tail = bytesOfLetters(rest, letters(rest) - (2 * columns - 1));
            line = line.substr(0, head) + "\u2026" + rest.substr(tail);
        }
        while (letters(line) > columns) {
            size_t cut = bytesOfLetters(line, columns);
            const size_t breakAt = line.find_last_of("/ ", cut - 1);
            if (breakAt != std::string::npos && breakAt + 1 > bytesOfLetters(line, columns * 2 / 3))
                cut = breakAt + 1;
            fitted += line.substr(0, cut) + "\n";
            line = line.substr(cut);
        }
        fitted += line + "\n";
    }
    return fitted;
}
