#include "message_box.h"

#include "box_text.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The game runs xmessage itself: Allegro's own box on X11 turns every letter outside ASCII into
// '^', cuts the text at 4 KB, gives the box the game's signals, and where no box can be shown
// writes the text to standard output, buffered, where an exit drops it.

namespace {

// The strings as a list of C strings, ended by a null pointer, as exec takes them.
std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Whether the player's locale is one that the C library has (all of it: xmessage takes every
// category from the environment) and that is UTF-8; asked without switching the game's locale.
bool ownLocaleIsUtf8()
{
    const locale_t locale = newlocale(LC_ALL_MASK, "", locale_t(0));
    const bool utf8 = locale && std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
    if (locale)
        freelocale(locale);
    return utf8;
}

// How wide the screen the box goes to is, in pixels; 0 where there is no display to ask.
int screenWidth()
{
    Display* const display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    const int width = DisplayWidth(display, DefaultScreen(display));
    XCloseDisplay(display);
    return width;
}

// In the box's process, forked from the game: only calls that are safe after a fork of a process
// whose threads run (locks that another thread held as it forked, the allocator's and Xlib's, stay
// held in it for ever), then xmessage in its place. Every signal back to its default action and
// none held: an ignored signal would stay ignored through exec, and the tie to the game would do
// nothing (it fails, harmlessly, for SIGKILL, SIGSTOP and the C library's own).
[[noreturn]] void startBox(
    char* const programs[], char* const argv[], char* const environment[], pid_t game)
{
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGKILL); // a signal it cannot trap; it holds through exec
    if (getppid() != game)
        endBoxProcess(BoxProcessEnding::gameGone); // the game ended before the tie was made
    for (char* const* program = programs; *program; ++program)
        execve(*program, argv, environment);
    endBoxProcess(BoxProcessEnding::programMissing);
}

// Runs xmessage, found on PATH, with these words and environment in a process of its own and waits
// for it to end.
void runBox(BoxReport report, std::vector<std::string> words, std::vector<std::string> environment)
{
    const BoxOnScreen onScreen(report);
    // Everything the box's process uses is made before the fork: it may not allocate.
    std::vector<std::string> programs;
    const char* const path = getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t at = 0, end; at <= folders.size(); at = end + 1) {
        end = std::min(folders.find(':', at), folders.size());
        const std::string folder = folders.substr(at, end - at);
        programs.push_back((folder.empty() ? "." : folder) + "/" + words[0]);
    }
    const std::vector<char*> programList = pointersTo(programs), argv = pointersTo(words),
                             envp = pointersTo(environment);
    const pid_t game = getpid();
    const pid_t box = fork();
    if (box == 0)
        startBox(programList.data(), argv.data(), envp.data(), game);
    while (box > 0 && waitpid(box, nullptr, 0) < 0 && errno == EINTR) {}
}

} // namespace

void tellPlayer(BoxReport report, std::string text)
{
    // From here on, a request to stop keeps the failure's status, however long the box takes.
    if (report == BoxReport::failure)
        failureMet();
    if (text.empty() || text.back() != '\n')
        text += '\n';
    const std::string escaped = escapedForTerminal(text);
    fwrite(escaped.data(), 1, escaped.size(), stderr); // unbuffered: at once
    // The box reads its text in the player's locale where that is UTF-8, in C.UTF-8 otherwise,
    // which every Debian system has.
    const bool ownLocale = ownLocaleIsUtf8();
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable)
        if (ownLocale || std::strncmp(*variable, "LC_ALL=", 7) != 0)
            environment.push_back(*variable);
    if (!ownLocale)
        environment.push_back("LC_ALL=C.UTF-8");
    runBox(report,
        {"xmessage", "-buttons", "OK:101", "-default", "OK", "-center", "-xrm",
            "*international: true", "-xrm", std::string("*fontSet: ") + boxFontSet,
            fitToBox(text, boxColumns(screenWidth()))},
        environment);
}

void showMessage(BoxReport report, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    char* text = nullptr;
    const int length = vasprintf(&text, format, arguments);
    va_end(arguments);
    tellPlayer(report, length >= 0 ? text : format);
    free(text);
}
