// The game's window, its frame loop and its ways out, on the real program.
#include "running_game.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace {

GameOptions inBuildDir()
{
    GameOptions options;
    options.workDir = buildDir();
    return options;
}

} // namespace

TEST(GameWindow, OpensAt640x480AndShowsTheClearedFrameWithThePointer)
{
    RunningGame game(inBuildDir());
    ASSERT_TRUE(game.waitForWindow(5)) << game.output() << game.messages();
    EXPECT_EQ(game.windowWidth(), 640);
    EXPECT_EQ(game.windowHeight(), 480);

    // Below the level nothing is drawn but the pointer.
    game.movePointer(300, 400);
    sleepMs(500);
    const Image shot = game.screenshot();
    shot.savePng(buildDir() + "/shot-pointer.png");
    int nearPointer = 0, elsewhere = 0;
    for (int y = 300; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            if (shot.at(x, y).isBlack())
                continue;
            const bool near = x >= 300 && x < 300 + 24 && y >= 400 && y < 400 + 24;
            ++(near ? nearPointer : elsewhere);
        }
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
    EXPECT_EQ(game.waitForExit(1.0), 0) << game.output();
}

TEST(GameWindow, TheCloseButtonEndsTheGameWithStatus0)
{
    RunningGame game(inBuildDir());
    ASSERT_TRUE(game.waitForWindow(5)) << game.output();
    sleepMs(300);
    game.requestClose();
    EXPECT_EQ(game.waitForExit(2.0), 0) << game.output();
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
    options.extraEnv.push_back(std::string("LD_PRELOAD=") + NO_MOUSE_LIBRARY);
    // The sanitizers' runtime wants to come first; the stand-in mouse driver must come first.
    options.extraEnv.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
    RunningGame game(options);
    ASSERT_TRUE(game.waitForWindow(5)) << game.output() << game.messages();
    EXPECT_NE(game.messages().find("Unable to install mouse.\n"), std::string::npos)
        << game.messages();
    sleepMs(300);
    EXPECT_TRUE(game.running());
    game.holdKey(XK_Escape, 100);
    EXPECT_EQ(game.waitForExit(1.0), 0) << game.output();
}
