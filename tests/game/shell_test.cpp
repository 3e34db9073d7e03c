// The game's window, its frame loop and its ways out, on the real program.
#include "running_game.h"

#include <X11/keysym.h>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>

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

// Allegro's own handlers of these signals shut it down inside the signal and could hang there for
// ever, with OpenGL in the middle of a frame.
TEST(GameWindow, SignalsToStopEndTheGameWithStatus0)
{
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        RunningGame game(inBuildDir());
        ASSERT_TRUE(game.waitForWindow(5 * slowness)) << game.output();
        game.signal(number);
        EXPECT_EQ(game.waitForExit(2 * slowness), 0) << strsignal(number) << game.output();
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
