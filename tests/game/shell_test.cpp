// The game's window, its frame loop and its ways out, on the real program.
#include "running_game.h"
#include "sprite_eye.h"

#include "datafile_check.h"

#include <X11/keysym.h>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>

TEST(GameWindow, OpensAt640x480AndShowsTheClearedFrameWithThePointer)
{
    RunningGame game(inBuildDir());
    ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.describe();
    ASSERT_EQ(game.screenshot().width, 640);
    ASSERT_EQ(game.screenshot().height, 480);

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
    shot.save(buildDir() + "/shot-pointer.png");
    EXPECT_GT(nearPointer, 20) << "no pointer drawn at (300, 400)";
    EXPECT_EQ(elsewhere, 0) << "the frame is not cleared below the level";
    EXPECT_TRUE(game.running());
    EXPECT_TRUE(game.messages().empty()) << game.describe();
}

// The software OpenGL driver draws with one thread of its own unless the player asks for another
// number: each more would wake the idle game hundreds of times a second more.
TEST(GameWindow, TheSoftwareDriverDrawsWithOneThreadOfItsOwnUnlessThePlayerAsksForMore)
{
    for (const char* asked : {static_cast<const char*>(nullptr), "3"}) {
        GameOptions options = inBuildDir();
        options.environment = {{"LP_NUM_THREADS", asked}};
        RunningGame game(options);
        SCOPED_TRACE(asked ? asked : "not asked");
        ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.describe();
        const std::vector<std::string> names = game.threadNames();
        const long drawing = std::count_if(names.begin(), names.end(),
            [](const std::string& name) { return name.rfind("llvmpipe", 0) == 0; });
        EXPECT_EQ(asked ? 3 : 1, drawing) << game.describe();
    }
}

// A window that opened under a pointer that never moved drew its arrow at its centre, and so did
// one that the player's pointer moved over just as it showed: a click then landed where the arrow
// was not. The test's screen has no window manager: the window opens at its top left corner.
TEST(GameWindow, ItsPointerIsDrawnWhereThePlayersIsFromTheFirstFrame)
{
    for (const bool movedAsItShows : {false, true}) {
        SCOPED_TRACE(movedAsItShows ? "moved as the window shows" : "still as the window opens");
        const int x = movedAsItShows ? 500 : 150, y = movedAsItShows ? 420 : 380;
        putPointerOnScreen(movedAsItShows ? 40 : x, movedAsItShows ? 460 : y);
        RunningGame game(inBuildDir());
        ASSERT_TRUE(game.waitForWindow(5 * slowness, RunningGame::Mapped::justNow))
            << game.describe();
        if (movedAsItShows)
            putPointerOnScreen(x, y);
        // The arrow, some 10 by 16 pixels, below and right of the pointer's tip.
        int near = 0;
        EXPECT_TRUE(waitUntil(5 * slowness, [&] {
            near = litPixels(game.screenshot(), x, y, x + 12, y + 20);
            return near > 20;
        })) << "no pointer drawn at (" << x << ", " << y << "): " << near << " pixels lit";
    }
}

// The level is on screen: the row of hard balls lights the top of the window. The game reads
// Escape as it plays, once a frame; a key held and let go before its first frame is not seen.
bool levelOnScreen(RunningGame& game)
{
    return waitUntil(5 * slowness,
        [&] { return litPixels(game.screenshot(), 0, 0, 640, 60) > 640 * 10; });
}

TEST(GameWindow, EscapeEndsTheGameWithStatus0WithinASecond)
{
    RunningGame game(inBuildDir());
    ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.output();
    ASSERT_TRUE(levelOnScreen(game)) << "no level on screen: " << game.describe();
    game.holdKey(XK_Escape, 100);
    EXPECT_EQ(game.waitForExit(slowness), 0) << game.output();
}

TEST(GameWindow, TheCloseButtonEndsTheGameWithStatus0)
{
    RunningGame game(inBuildDir());
    ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.output();
    sleepMs(300);
    game.requestClose();
    EXPECT_EQ(game.waitForExit(3 * slowness), 0) << game.output();
}

namespace {

// The build's datafile, its red alien no BMP image: the game says "Error reading" and plays on.
GameOptions withUnreadableSprite()
{
    std::string bytes = readFile(buildDir() + "/base.dat");
    const auto image = datafileObject(bytes, "Enemy/RedAlien");
    if (!image)
        throw std::runtime_error("the build's base.dat has no red alien");
    bytes.replace(size_t(image->data() - bytes.data()), 2, "XX");
    GameOptions options;
    options.workDir = makeScratchDir();
    writeFile(options.workDir + "/base.dat", bytes);
    return options;
}

// Moments in a game's life at which something happens to it.
enum Moment {
    StartingUp,        // as soon as it has handlers of its own, before its window exists
    InsideAllegroInit, // stopped inside Allegro's start-up, once Allegro has its own handlers
    SettingUpOpenGL,   // stopped as the OpenGL driver starts to set up the window
    WindowMapped,      // the moment its window is viewable
    WindowOpening,     // its window has just been mapped
    MessageBoxUp,      // "Unable to install mouse." is on screen, unanswered
    SpriteBoxUp,       // "Error reading" a sprite is on screen, over the window, unanswered
    FailureBoxUp,      // "Couldn't open" (no datafile anywhere) is on screen, unanswered
    Minimised,         // the window manager keeps its window minimised
    OnAnotherDesktop,  // the window manager put its window on another desktop
    InPlay,            // a second into the game
};

const char* momentName(Moment moment)
{
    static const char* const names[] = {"starting up", "inside Allegro's start-up",
        "setting up OpenGL", "window mapped", "window opening", "message box up", "sprite's box up",
        "failure's box up", "minimised", "on another desktop", "in play"};
    return names[moment];
}

// The window manager's rule that keeps the game's window from view at the moment, if any.
std::string hidingRule(Moment moment)
{
    return moment == Minimised       ? "<iconic>yes</iconic>"
        : moment == OnAnotherDesktop ? "<desktop>2</desktop>"
                                     : "";
}

// Waits for the moment in the game's life; false if it never comes.
bool reach(RunningGame& game, Moment moment)
{
    switch (moment) {
    case StartingUp:
        return waitUntil(
            5 * slowness, [&] { return game.catches(SIGTERM); }, 1);
    case InsideAllegroInit:
    case SettingUpOpenGL:
        return game.waitForStop(5 * slowness);
    case WindowMapped:
        return game.waitForWindow(5 * slowness, RunningGame::Mapped::justNow);
    case WindowOpening:
        return game.waitForWindow(5 * slowness);
    case MessageBoxUp:
    case FailureBoxUp:
        return waitUntil(5 * slowness, [&] { return game.messageBoxesUp() > 0; });
    case SpriteBoxUp:
        return waitUntil(5 * slowness, [&] { return game.messageBoxesUp() > 0; })
            && game.waitForWindow(5 * slowness);
    case Minimised:
    case OnAnotherDesktop:
        return game.waitForWindow(5 * slowness, RunningGame::Mapped::hidden);
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
    GameOptions options = moment == SpriteBoxUp ? withUnreadableSprite() : inBuildDir();
    if (moment == InsideAllegroInit)
        options.stop = GameOptions::Stop::insideAllegroInit;
    if (moment == SettingUpOpenGL)
        options.stop = GameOptions::Stop::settingUpOpenGL;
    if (moment == MessageBoxUp)
        options.withMouse = false;
    if (moment == FailureBoxUp)
        options = copyOfTheGame(makeScratchDir());
    options.messageBoxesStayUp
        = moment == MessageBoxUp || moment == SpriteBoxUp || moment == FailureBoxUp;
    return options;
}

// Lets a game stopped at the moment go on.
void goOn(RunningGame& game, Moment moment)
{
    if (moment == InsideAllegroInit || moment == SettingUpOpenGL)
        game.resume();
}

// In the tables of signals: the window's close button, as the window manager sends it, and the
// window destroyed by another program.
const int closeButton = 0;
const int destroyedWindow = -1;

} // namespace

// Xlib's own handler of a lost display exits through the shutdown of Allegro, which waited for ever
// on a lock of Allegro's input thread, or crashed. The OpenGL driver crashed too, as it set up the
// window, on the replies that never came: as the driver does it only now and then, the test
// crashes the game itself at that moment.
TEST(GameWindow, WhenItsDisplayGoesAwayTheGameSaysSoAndExitsWith1)
{
    for (Moment moment : {StartingUp, SettingUpOpenGL, WindowOpening, InPlay})
        for (int serverSignal : {SIGKILL, SIGTERM}) {
            SCOPED_TRACE(
                std::string(momentName(moment)) + ", X server ended by " + strsignal(serverSignal));
            PrivateDisplay display;
            GameOptions options = atMoment(moment);
            options.display = display.name();
            RunningGame game(options);
            const bool reached = reach(game, moment);
            game.letGoOfDisplay();
            if (!reached || !display.end(serverSignal)) {
                ADD_FAILURE() << (reached ? "the X server does not end: "
                                          : "the moment never comes: ")
                              << game.describe();
                continue;
            }
            if (moment == SettingUpOpenGL)
                game.signal(SIGSEGV);
            goOn(game, moment);
            EXPECT_EQ(game.waitForExit(3 * slowness), 1) << game.output();
            // Gone before the game connects, the display is one it never had.
            const char* says = moment == StartingUp
                ? "Unable to start Allegro: is there an X display"
                : " went away; the game ends.\n";
            EXPECT_NE(game.output().find(says), std::string::npos) << game.output();
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
        int outcome;               // exit status, -signal for a death by it, or keepsRunning
        bool heldByParent = false; // started with the requests to stop held back
    };
    const Case cases[] = {
        // A request to stop ends the game cleanly at any moment, and a box on screen goes with it.
        {SIGTERM, StartingUp, false, 0},
        {SIGINT, StartingUp, false, 0},
        {SIGTERM, InsideAllegroInit, false, 0},
        {SIGTERM, SettingUpOpenGL, false, 0},
        {SIGHUP, MessageBoxUp, false, 0},
        {closeButton, SpriteBoxUp, false, 0},
        {closeButton, WindowMapped, false, 0},
        // A window kept from view does not keep the game from hearing a stop or its close button.
        {SIGTERM, Minimised, false, 0},
        {closeButton, Minimised, false, 0},
        {SIGTERM, OnAnotherDesktop, false, 0},
        {closeButton, OnAnotherDesktop, false, 0},
        {destroyedWindow, Minimised, false, 0},
        // A stop during a box of a failure does not turn the failure into a success.
        {SIGTERM, FailureBoxUp, false, 1},
        {SIGTERM, InPlay, false, 0},
        {SIGINT, InPlay, false, 0},
        {SIGHUP, InPlay, false, 0},
        // Ctrl+\, a failed assertion, a crash: the process ends at once with the signal.
        {SIGABRT, StartingUp, false, -SIGABRT},
        {SIGQUIT, InPlay, false, -SIGQUIT},
        {SIGABRT, InPlay, false, -SIGABRT},
        {SIGSEGV, InPlay, false, -SIGSEGV},
        // Started through nohup, the game does not hear the end of the session, nor does its box.
        {SIGHUP, InPlay, true, keepsRunning},
        {SIGHUP, MessageBoxUp, true, keepsRunning},
        // A parent that held the requests to stop back does not leave the game deaf to them.
        {SIGTERM, InPlay, false, 0, true},
        {SIGINT, FailureBoxUp, false, 1, true},
    };
    for (const Case& c : cases) {
        GameOptions options = atMoment(c.moment);
        if (c.underNohup)
            options.launcher = {"/usr/bin/nohup"};
        if (c.heldByParent)
            options.launcher = {"/usr/bin/perl", "-e",
                "use POSIX; sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM, SIGINT, SIGHUP));"
                "exec { $ARGV[0] } @ARGV or die"};
        std::unique_ptr<PrivateDisplay> display;
        if (!hidingRule(c.moment).empty()) {
            display = std::make_unique<PrivateDisplay>(hidingRule(c.moment));
            options.display = display->name();
        }
        RunningGame game(options);
        const std::string what
            = (c.signal == closeButton              ? "the close button"
                      : c.signal == destroyedWindow ? "the window destroyed"
                                                    : std::string(strsignal(c.signal)))
            + ", " + momentName(c.moment) + (c.underNohup ? ", under nohup" : "")
            + (c.heldByParent ? ", held by the parent" : "");
        SCOPED_TRACE(what);
        if (!reach(game, c.moment)) {
            ADD_FAILURE() << "the moment never comes: " << game.describe();
            continue;
        }
        // A box's process starts with every signal at its default and none held, whatever the
        // game ignores (SIGHUP under nohup) or holds; the box itself traps SIGTERM. The C library
        // keeps signals 32 and 33 for itself, out of any program's reach.
        const unsigned long long ownSignals = 1ull << (SIGTERM - 1) | 3ull << 31;
        for (pid_t box : game.messageBoxesOnScreen()) {
            EXPECT_EQ(0u, signalMask(box, "SigIgn:") & ~ownSignals);
            EXPECT_EQ(0u, signalMask(box, "SigBlk:"));
        }
        if (c.signal == closeButton)
            game.requestClose();
        else if (c.signal == destroyedWindow)
            game.destroyWindow();
        else
            game.signal(c.signal);
        goOn(game, c.moment);
        if (c.outcome == keepsRunning) {
            sleepMs(1000);
            EXPECT_TRUE(game.running()) << game.output();
            game.signal(SIGTERM);
        }
        EXPECT_EQ(game.waitForExit(3 * slowness), c.outcome == keepsRunning ? 0 : c.outcome)
            << game.output();
        EXPECT_TRUE(waitUntil(1, [&] { return game.messageBoxesUp() == 0; }))
            << "the message box stays on screen";
    }
}

// Minimised as it is mapped, the window gets no exposure until it is shown: the game waits for
// that, and the level starts once the player can see it, with its first frame.
TEST(GameWindow, AWindowMappedMinimisedPlaysOnceShown)
{
    PrivateDisplay display(hidingRule(Minimised));
    GameOptions options = inBuildDir();
    options.display = display.name();
    options.stop = GameOptions::Stop::atFirstFrame;
    RunningGame game(options);
    ASSERT_TRUE(game.waitForWindow(5 * slowness, RunningGame::Mapped::hidden)) << game.output();
    EXPECT_FALSE(game.waitForStop(1)) << "the level starts while its window is hidden";
    ASSERT_TRUE(game.running()) << game.output();
    EXPECT_EQ(display.run({"wmctrl", "-i", "-a", std::to_string(game.window())}), 0);
    // Shown, it draws its first frame (which the window manager may clear as it shows the window)
    // and plays.
    ASSERT_TRUE(game.waitForStop(5 * slowness)) << "no first frame once shown";
    game.resume();
    ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.output();
    EXPECT_TRUE(levelOnScreen(game)) << "no hard balls on screen";
    game.holdKey(XK_Escape, 100);
    EXPECT_EQ(game.waitForExit(3 * slowness), 0) << game.output();
}

// Where no box can be shown (no xmessage), a message goes to standard error, whole, and the game
// plays on as after the box. Started with standard error closed, the game's standard error is
// /dev/null: were it the game's X connection, the text would break it. No code of the game keeps
// a large buffer on its stack, the threads' included, which get a stack as large as the limit. A
// limit of memory that the game's check lets pass plays: at 544 MB or 672 MB, the OpenGL driver
// crashed as it compiled its first shader.
TEST(GameWindow, WithoutAMessageBoxTheMessageGoesToStandardErrorEvenWhenThatIsClosed)
{
    std::vector<std::string> starts {"PATH=/nonexistent exec \"$0\"",
        "PATH=/nonexistent exec \"$0\" 2>&-", "ulimit -s 72; PATH=/nonexistent exec \"$0\""};
#ifndef OUTBREAK_SANITIZE // whose shadow memory takes terabytes of address space
    for (const char* limit : {"ulimit -v 557056; ", "ulimit -d 688128; "})
        starts.push_back(limit + starts[0]);
#endif
    // Over the window, the pointer is drawn as well, which has the driver compile more.
    putPointerOnScreen(320, 400);
    for (const std::string& start : starts) {
        SCOPED_TRACE(start);
        const bool closed = start.find("2>&-") != std::string::npos;
        GameOptions options = withUnreadableSprite();
        options.launcher = {"/bin/sh", "-c", start};
        RunningGame game(options);
        if (!game.waitForWindow(5 * slowness)) {
            ADD_FAILURE() << "no window: " << game.describe();
            continue;
        }
        EXPECT_TRUE(levelOnScreen(game)) << "no level on screen: " << game.describe();
        EXPECT_TRUE(game.running()) << game.output();
        EXPECT_TRUE(game.messages().empty()) << game.describe();
        if (!closed) {
            EXPECT_NE(game.output().find(
                          "Error reading base.dat#Enemy/RedAlien\nThe object is not a BMP image\n"),
                std::string::npos)
                << game.output();
        }
        game.holdKey(XK_Escape, 100);
        EXPECT_EQ(game.waitForExit(3 * slowness), 0) << game.output();
    }
}

TEST(GameWindow, WithoutADisplayItSaysSoAndExitsWith1)
{
    GameOptions options = inBuildDir();
    options.withDisplay = false;
    RunningGame game(options);
    EXPECT_EQ(game.waitForExit(5 * slowness), 1) << game.describe();
    EXPECT_NE(game.output().find("Unable to start Allegro"), std::string::npos) << game.output();
    EXPECT_NE(game.output().find("X display"), std::string::npos) << game.output();
}

TEST(GameWindow, WithoutAMouseItSaysSoAndPlaysOn)
{
    GameOptions options = inBuildDir();
    options.withMouse = false;
    RunningGame game(options);
    ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.describe();
    ASSERT_EQ(game.messages().size(), 1u) << game.describe();
    EXPECT_EQ(game.messages()[0].rfind("Unable to install mouse.\n", 0), 0u) << game.describe();
    EXPECT_TRUE(levelOnScreen(game)) << "no level on screen: " << game.describe();
    EXPECT_TRUE(game.running());
    game.holdKey(XK_Escape, 100);
    EXPECT_EQ(game.waitForExit(slowness), 0) << game.output();
}
