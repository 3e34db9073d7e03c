#include "message_box.h"

#include "box_fonts.h"
#include "box_text.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Allegro's own message box on X11 turns every letter outside ASCII into '^' (a folder's name in
// Cyrillic or Japanese), cuts the text at 4 KB, gives the box the game's signals and streams, and
// where no box can be shown writes the text to standard output, buffered, where an exit drops it.
// The game runs xmessage itself.

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

void writeWhole(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno != EINTR)
            return;
        done += wrote > 0 ? size_t(wrote) : 0;
    }
}

// The word that makes the game's program a message box's own process (see message_box.h).
const char* const boxWord = "--message-box";

// Every signal back to its default action and none held: an ignored signal would stay ignored
// through exec, and the tie to the game would do nothing. It fails, harmlessly, for SIGKILL,
// SIGSTOP and the C library's own.
void allSignalsByDefault()
{
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// In the message box's process, forked from the game: tied to the game, so that the box goes when
// the game does, with its complaints sent to the game. A fork of a game whose threads run may
// only start a program: locks that another thread held as it forked (the allocator's, Xlib's)
// stay held in it for ever. So it starts the game's own program afresh, with the box's words
// after boxWord, to fit the text in a process of one thread (runBoxIfAsked); where that program
// cannot be started again (replaced while the game runs), the box's program shows the text as it
// is.
[[noreturn]] void startBox(char* const again[], char* const argv[], char* const environment[],
    pid_t game, int complaints)
{
    allSignalsByDefault();
    prctl(PR_SET_PDEATHSIG, SIGKILL); // a signal it cannot trap; it holds through exec
    if (getppid() != game)
        endBoxProcess(BoxProcessEnding::gameGone); // the game ended before the tie was made
    if (complaints >= 0)
        dup2(complaints, STDERR_FILENO);
    execve("/proc/self/exe", again, environment);
    execvpe(argv[0], argv, environment);
    endBoxProcess(BoxProcessEnding::programMissing);
}

// Runs the box's program (argv[0] found on PATH, with the environment given, and the box's text
// last, fitted there) in a process of its own and waits for it to end; hands what its program
// writes on standard error to complain as it comes. Its wait status, or -1 if it could not be
// started.
int runBox(BoxReport report, std::vector<std::string> words, char* const environment[],
    const std::function<void(const std::string&)>& complain)
{
    const BoxOnScreen onScreen(report);
    int complaints[2] = {-1, -1};
    if (pipe2(complaints, O_CLOEXEC) != 0)
        complaints[0] = complaints[1] = -1;
    // Made before the fork: the forked process may not allocate.
    std::vector<std::string> again {"outbreak", boxWord};
    again.insert(again.end(), words.begin(), words.end());
    const std::vector<char*> againArgv = pointersTo(again);
    const std::vector<char*> boxArgv = pointersTo(words);
    const pid_t game = getpid();
    const pid_t box = fork();
    if (box == 0)
        startBox(againArgv.data(), boxArgv.data(), environment, game, complaints[1]);
    if (complaints[1] >= 0)
        close(complaints[1]);
    // The pipe ends when the box's program does.
    char buffer[4096];
    for (ssize_t got; box > 0 && complaints[0] >= 0
         && ((got = read(complaints[0], buffer, sizeof buffer)) > 0
             || (got < 0 && errno == EINTR));)
        if (got > 0)
            complain(std::string(buffer, size_t(got)));
    if (complaints[0] >= 0)
        close(complaints[0]);
    int status = -1;
    if (box > 0)
        while (waitpid(box, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

} // namespace

void tellPlayer(BoxReport report, std::string text)
{
    // From here on, a request to stop keeps the failure's status, however long the box takes.
    if (report == BoxReport::failure)
        failureMet();
    if (text.empty() || text.back() != '\n')
        text += '\n';
    const BoxText box = textForTheBox(text);
    std::vector<std::string> words {"xmessage", "-buttons", "OK:101", "-default", "OK", "-center",
        "-xrm", "*international: true", box.shown};
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable)
        if (box.locale.empty() || std::strncmp(*variable, "LC_ALL=", 7) != 0)
            environment.push_back(*variable);
    if (!box.locale.empty())
        environment.push_back("LC_ALL=" + box.locale);
    // A box that may not show every letter (no UTF-8 locale, fonts that lack some, a program that
    // complains of fonts or locale) has the text said whole on standard error too, once and at
    // once, where a terminal shows control characters escaped; and so has a box that cannot be
    // shown.
    bool told = false;
    const auto tellOnStandardError = [&] {
        if (!told)
            writeWhole(STDERR_FILENO, escapedForTerminal(text));
        told = true;
    };
    if (!box.whole)
        tellOnStandardError();
    const int status = runBox(report, words, pointersTo(environment).data(),
        [&](const std::string& complaint) {
            writeWhole(STDERR_FILENO, escapedForTerminal(complaint));
            tellOnStandardError();
        });
    const bool answered = status >= 0 && WIFEXITED(status)
        && (WEXITSTATUS(status) == 101 || WEXITSTATUS(status) == 0);
    if (!answered)
        tellOnStandardError();
}

namespace {

// The program started again as a message box's own process, with the box's words after boxWord:
// fits the text, the last word, then runs the box's program in its place, never returning.
// Otherwise returns at once.
void runBoxIfAsked(int argc, char** argv, char**)
{
    if (argc < 4 || std::strcmp(argv[1], boxWord) != 0)
        return;
    // The text is fitted here, in a process of one thread, where switching the locale for the
    // box's fonts is safe; the environment gives the box's locale. Letters the fonts lack show as
    // empty boxes, of which the box's program says nothing: the game is told, and writes the text
    // where the player can read it all.
    XSetIOErrorHandler([](Display*) -> int { endBoxProcess(BoxProcessEnding::displayGone); });
    BoxText box;
    box.shown = argv[argc - 1];
    fitInTheBoxFonts(box);
    if (!box.whole)
        writeWhole(
            STDERR_FILENO, "Outbreak: the message box cannot show every letter of this message:\n");
    argv[argc - 1] = box.shown.data();
    allSignalsByDefault(); // the game's start took them over again
    execvp(argv[2], argv + 2);
    endBoxProcess(BoxProcessEnding::programMissing);
}

// Run before main, once the program's libraries are set up.
[[gnu::used, gnu::section(".init_array")]] void (*const boxBeforeMain)(int, char**, char**)
    = runBoxIfAsked;

} // namespace

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
