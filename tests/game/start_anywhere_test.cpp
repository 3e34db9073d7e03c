// The game starts from any folder: it finds base.dat beside its executable, or, installed, in the
// data folder installed with it.
#include "running_game.h"

#include <X11/keysym.h>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Starts the game from an empty folder: the level must show, textured from the datafile, with no
// message box, and Escape must end the game with status 0.
void expectTheLevelFromAnEmptyFolder(const std::string& binary)
{
    GameOptions options;
    options.binary = binary;
    options.pauseAtFirstFrame = true;
    RunningGame game(options);
    const Image shot = game.firstFrame(5 * slowness);
    ASSERT_EQ(shot.width, 640) << game.output() << game.messages();

    // In the first frame the top row of aliens still overlaps the balls, and the pointer hides a
    // part of one alien, so not all of the 144 sprites show whole.
    const std::vector<SeenSprite> sprites = SpriteEye(buildDir() + "/sprites").findAll(shot);
    const auto balls = std::count_if(
        sprites.begin(), sprites.end(), [](const SeenSprite& s) { return s.kind == HardBall; });
    EXPECT_GE(sprites.size() - balls, 100u) << "aliens on screen";
    EXPECT_GE(balls, 15) << "hard balls on screen";
    EXPECT_EQ(game.messages(), "");

    sleepMs(300);
    game.holdKey(XK_Escape, 120);
    EXPECT_EQ(game.waitForExit(3 * slowness), 0) << game.output();
}

} // namespace

TEST(StartAnywhere, TheBuiltGameFindsTheDatafileBesideItself)
{
    expectTheLevelFromAnEmptyFolder(OUTBREAK_BINARY);
}
