// The game's window, its frame loop and its ways out, on the real program.
#include "running_game.h"

#include <X11/keysym.h>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>

TEST(GameWindow, OpensAt640x480AndShowsTheClearedFrameWithThePointer)
{
    RunningGame game(inBuildDir());
    ASSERT_TRUE(game.waitForWindow(5)) << game.output() << game.messages();
    EXPECT_EQ(game.windowWidth(), 640);
    EXPECT_EQ(game.windowHeight(), 480);

    // Below the level nothing is drawn but the pointer. The game may still be starting up, so
    // the pointer is moved again until a frame shows it there.
    Image shot;
    int nearPointer = 0, elsewhere = 0;
    for (int look = 0; look < 40 && nearPointer <= 20; ++look) {
        game.movePointer(300 + look % 2, 400);
        sleepMs(100);
        shot = game.screenshot();
        nearPointer = elsewhere = 0;
        for (int y = 300; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                if (shot.at(x, y).isBlack())
                    continue;
                const bool near = x >= 300 && x < 300 + 24 && y >= 400 && y < 400 + 24;
                ++(near ? nearPointer : elsewhere);
            }
    }
    shot.savePng(buildDir() + "/shot-pointer.png");
    EXPECT_GT(nearPointer, 20) << "no pointer drawn at (300, 400)";
    EXPECT_EQ(elsewhere, 0) << "the frame is not cleared below the level";
    EXPECT_TRUE(game.running());
    EXPECT_EQ(game.messages(), "");
}

TEST(GameWindow, EscapeEndsTheGameWithStatus0WithinASecond)
{
    RunningGame game(inBuildDir());
    ASSERT_TRUE(game.waitForWindow(5)) << game.output();
    sleepMs(300);
    game.holdKey(XK_Escape, 100);
    EXPECT_EQ(game.waitForExit(slowness), 0) << game.output();
}

TEST(GameWindow, TheCloseButtonEndsTheGameWithStatus0)
{
    RunningGame game(inBuildDir());
    ASSERT_TRUE(game.waitForWindow(5)) << game.output();
    sleepMs(300);
    game.requestClose();
    EXPECT_EQ(game.waitForExit(2.0), 0) << game.output();
}

namespace {

// An X server of the test's own, which it can take away under a running game.
class PrivateDisplay {
public:
    PrivateDisplay()
        : dir_(makeScratchDir()),
          server_({"/bin/sh", "-c",
                      "exec Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset "
                      "3>display"},
              dir_)
    {
    }
    // ":N", once the server is ready.
    std::string name()
    {
        std::string number;
        waitUntil(5 * slowness, [&] {
            number = readFile(dir_ + "/display");
            return !number.empty() && number.back() == '\n';
        });
        return ":" + number.substr(0, number.find('\n'));
    }
    void end(int signal)
    {
        server_.signal(signal);
        server_.waitForExit(5);
    }

private:
    std::string dir_;
    ChildProcess server_;
};

// Moments in a game's life at which something happens to it.
enum Moment {
    StartingUp,      // as soon as it has handlers of its own, as Allegro starts
    SettingUpOpenGL, // stopped as the OpenGL driver starts to set up the window
    WindowOpening,   // its window has just been mapped
    MessageBoxUp,    // "Unable to install mouse." is on screen, unanswered
    InPlay,          // a second into the game
};

const char* momentName(Moment moment)
{
    static const char* const names[]
        = {"starting up", "setting up OpenGL", "window opening", "message box up", "in play"};
    return names[moment];
}

// Waits for the moment in the game's life; false if it never comes.
bool reach(RunningGame& game, Moment moment)
{
    switch (moment) {
    case StartingUp:
        return waitUntil(
            5 * slowness, [&] { return game.catches(SIGTERM); }, 1);
    case SettingUpOpenGL:
        return game.waitForPause(5 * slowness);
    case WindowOpening:
        return game.waitForWindow(5 * slowness);
    case MessageBoxUp:
        return waitUntil(5 * slowness, [&] { return game.messageBoxesUp() > 0; });
    case InPlay:
        if (!game.waitForWindow(5 * slowness))
            return false;
        sleepMs(700);
        return game.running();
    }
    return false;
}

GameOptions atMoment(Moment moment)
{
    GameOptions options = inBuildDir();
    if (moment == SettingUpOpenGL)
        options.preloads.push_back(OPENGL_SETUP_PAUSE_LIBRARY);
    if (moment == MessageBoxUp) {
        options.preloads.push_back(NO_MOUSE_LIBRARY);
        options.messageBoxesStayUp = true;
    }
    return options;
}

// Lets a game stopped at the moment go on.
void goOn(RunningGame& game, Moment moment)
{
    if (moment == SettingUpOpenGL)
        game.resume();
}

} // namespace

// Xlib's own handler of a lost display exits through the shutdown of Allegro, which waited for ever
// on a lock of Allegro's input thread, or crashed. The OpenGL driver crashed too, as it set up the
// window, on the replies that never came: as the driver does it only now and then, the test
// crashes the game itself at that moment.
TEST(GameWindow, WhenItsDisplayGoesAwayTheGameSaysSoAndExitsWith1)
{
    for (Moment moment : {StartingUp, SettingUpOpenGL, WindowOpening, InPlay})
        for (int serverSignal : {SIGKILL, SIGTERM}) {
            PrivateDisplay display;
            GameOptions options = atMoment(moment);
            options.display = display.name();
            RunningGame game(options);
            ASSERT_TRUE(reach(game, moment)) << momentName(moment) << game.output();
            game.letGoOfDisplay();
            display.end(serverSignal);
            if (moment == SettingUpOpenGL)
                game.signal(SIGSEGV);
            goOn(game, moment);
            EXPECT_EQ(game.waitForExit(3 * slowness), 1)
                << momentName(moment) << ", X server ended by " << strsignal(serverSignal) << ": "
                << game.output();
            EXPECT_NE(game.output().find("X display"), std::string::npos) << game.output();
        }
}

// Allegro's own handlers shut it down inside the signal and could hang there for ever, with OpenGL
// in the middle of a frame; until start-up was done they were in charge of the requests to stop as
// well, and a signal that the game's starter ignored was caught all the same.
TEST(GameWindow, EachSignalHasItsOutcomeAtEveryMoment)
{
    // A crash's core dump is not wanted from these.
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    const int keepsRunning = -1000;
    struct Case {
        int signal;
        Moment moment;
        bool underNohup;
        int outcome; // exit status, -signal for a death by it, or keepsRunning
    };
    const Case cases[] = {
        // A request to stop ends the game cleanly at any moment, and a box on screen goes with it.
        {SIGTERM, StartingUp, false, 0},
        {SIGINT, StartingUp, false, 0},
        {SIGTERM, SettingUpOpenGL, false, 0},
        {SIGHUP, MessageBoxUp, false, 0},
        {SIGTERM, InPlay, false, 0},
        {SIGINT, InPlay, false, 0},
        {SIGHUP, InPlay, false, 0},
        // Ctrl+\, a failed assertion, a crash: the process ends at once with the signal.
        {SIGABRT, StartingUp, false, -SIGABRT},
        {SIGQUIT, InPlay, false, -SIGQUIT},
        {SIGABRT, InPlay, false, -SIGABRT},
        {SIGSEGV, InPlay, false, -SIGSEGV},
        // Started through nohup, the game does not hear the end of the session.
        {SIGHUP, InPlay, true, keepsRunning},
    };
    for (const Case& c : cases) {
        GameOptions options = atMoment(c.moment);
        if (c.underNohup)
            options.launcher = {"/usr/bin/nohup"};
        RunningGame game(options);
        const std::string what = std::string(strsignal(c.signal)) + ", " + momentName(c.moment)
            + (c.underNohup ? ", under nohup" : "");
        ASSERT_TRUE(reach(game, c.moment)) << what << game.output();
        game.signal(c.signal);
        goOn(game, c.moment);
        if (c.outcome == keepsRunning) {
            sleepMs(1000);
            EXPECT_TRUE(game.running()) << what << ": " << game.output();
            game.signal(SIGTERM);
            EXPECT_EQ(game.waitForExit(3 * slowness), 0) << what << ": " << game.output();
            continue;
        }
        EXPECT_EQ(game.waitForExit(3 * slowness), c.outcome) << what << ": " << game.output();
        EXPECT_TRUE(waitUntil(1, [&] { return game.messageBoxesUp() == 0; }))
            << what << ": the message box stays on screen";
    }
}

TEST(GameWindow, WithoutADisplayItSaysSoAndExitsWith1)
{
    GameOptions options = inBuildDir();
    options.withDisplay = false;
    RunningGame game(options);
    EXPECT_EQ(game.waitForExit(5), 1);
    EXPECT_NE(game.output().find("Unable to start Allegro"), std::string::npos) << game.output();
    EXPECT_NE(game.output().find("X display"), std::string::npos) << game.output();
}

TEST(GameWindow, WithoutAMouseItSaysSoAndPlaysOn)
{
    GameOptions options = inBuildDir();
    options.preloads.push_back(NO_MOUSE_LIBRARY);
    RunningGame game(options);
    ASSERT_TRUE(game.waitForWindow(5)) << game.output() << game.messages();
    EXPECT_NE(game.messages().find("Unable to install mouse.\n"), std::string::npos)
        << game.messages();
    sleepMs(300);
    EXPECT_TRUE(game.running());
    game.holdKey(XK_Escape, 100);
    EXPECT_EQ(game.waitForExit(slowness), 0) << game.output();
}
