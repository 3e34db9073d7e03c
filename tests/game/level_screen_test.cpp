// The level as the player sees it: the grid of aliens under the row of hard balls in the first
// frame, and the heap it has become a few seconds later.
#include "running_game.h"
#include "sprite_eye.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

const int columns = 18;
const int rows = 7;
int alienX(int column) { return 34 * column + 28; }
int alienY(int row) { return 34 * row + 38; }
int ballX(int column) { return 34 * column + 15; }
const int ballY = 17;

// Lit pixels farther than a sprite's radius, and a pixel, from every sprite centre.
int litOutside(const Image& shot, const std::vector<SeenSprite>& sprites)
{
    std::vector<bool> covered(shot.pixels.size(), false);
    for (const SeenSprite& s : sprites)
        for (int y = s.y - 18; y <= s.y + 18; ++y)
            for (int x = s.x - 18; x <= s.x + 18; ++x) {
                // The sprite's exact centre lies half a pixel above and left of (s.x, s.y).
                const double dx = x + 0.5 - s.x, dy = y + 0.5 - s.y;
                if (x >= 0 && y >= 0 && x < shot.width && y < shot.height
                    && dx * dx + dy * dy <= 17 * 17)
                    covered[size_t(y) * shot.width + x] = true;
            }
    int lit = 0;
    for (size_t i = 0; i < shot.pixels.size(); ++i)
        if (!covered[i] && !shot.pixels[i].isBlack())
            ++lit;
    return lit;
}

// The 18 hard balls at their places in the row, ball y given.
std::vector<SeenSprite> lookAtBalls(const SpriteEye& eye, const Image& shot, int y, int slack)
{
    std::vector<SeenSprite> balls;
    for (int c = 0; c < columns; ++c)
        balls.push_back(eye.look(shot, ballX(c), y, slack));
    return balls;
}

// Which sprites hang from the balls, through sprites touching one another.
std::vector<bool> hangingFromTheBalls(const std::vector<SeenSprite>& sprites)
{
    std::vector<bool> held(sprites.size(), false);
    std::vector<size_t> todo;
    for (size_t i = 0; i < sprites.size(); ++i)
        if (sprites[i].kind == HardBall) {
            held[i] = true;
            todo.push_back(i);
        }
    while (!todo.empty()) {
        const size_t i = todo.back();
        todo.pop_back();
        for (size_t j = 0; j < sprites.size(); ++j)
            if (!held[j] && touching(sprites[i], sprites[j])) {
                held[j] = true;
                todo.push_back(j);
            }
    }
    return held;
}

// Aliens touching a ball.
int touchingTheBalls(const std::vector<SeenSprite>& sprites)
{
    int count = 0;
    for (const SeenSprite& a : sprites)
        count += a.kind != HardBall
            && std::any_of(sprites.begin(), sprites.end(),
                [&](const SeenSprite& b) { return b.kind == HardBall && touching(a, b); });
    return count;
}

} // namespace

TEST(LevelScreen, FirstFrameShows126AliensOfSixColoursInTheGridUnder18HardBalls)
{
    GameOptions options = inBuildDir();
    options.stop = GameOptions::Stop::atFirstFrame;
    RunningGame game(options);
    const Image shot = game.firstFrame(5 * slowness);
    ASSERT_EQ(shot.width, 640) << game.describe();
    shot.save(buildDir() + "/shot-level.png");
    const SpriteEye eye(buildDir() + "/sprites");

    // The heap moves from the first step on: the balls push the top row down and the aliens
    // pull together, so each alien is looked for a little around its place in the grid. The
    // pointer starts in the middle of the window, over the bottom row, and may hide a part of
    // one alien.
    std::vector<SeenSprite> sprites;
    int perColour[GameWorld::alienKinds] = {};
    int unclear = 0;
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r) {
            const int x = alienX(c), y = alienY(r);
            int lit = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    lit += !shot.at(x + dx, y + dy).isBlack();
            EXPECT_EQ(lit, 9) << "black at the alien of column " << c << ", row " << r;

            const SeenSprite seen = eye.look(shot, x, y, 12);
            sprites.push_back(seen);
            EXPECT_LT(seen.kind, GameWorld::alienKinds)
                << "a " << kindName(seen.kind) << " at column " << c << ", row " << r;
            if (seen.mismatch >= SpriteEye::recognised) {
                ++unclear;
                continue;
            }
            if (seen.kind >= 0 && seen.kind < GameWorld::alienKinds)
                ++perColour[seen.kind];
        }
    EXPECT_LE(unclear, 1) << "aliens that look like none of the sprites";

    // One colour in six for each alien: 21 of each on average, and all six are there.
    for (int k = 0; k < GameWorld::alienKinds; ++k) {
        EXPECT_GE(perColour[k], 3) << kindName(k) << " aliens";
        EXPECT_LE(perColour[k], 45) << kindName(k) << " aliens";
    }

    // The balls have barely started to creep down; they stand in one straight row.
    const std::vector<SeenSprite> balls = lookAtBalls(eye, shot, ballY, 4);
    for (int c = 0; c < columns; ++c) {
        EXPECT_EQ(balls[c].kind, HardBall) << "column " << c << ": " << kindName(balls[c].kind);
        EXPECT_LT(balls[c].mismatch, SpriteEye::recognised) << "ball in column " << c;
        EXPECT_NEAR(balls[c].x, ballX(c), 1) << "ball in column " << c;
        EXPECT_NEAR(balls[c].y, balls[0].y, 1) << "ball in column " << c;
    }
    sprites.insert(sprites.end(), balls.begin(), balls.end());

    // Nothing else is drawn: off the 144 sprites only the pointer (8 by 14 pixels) is lit.
    EXPECT_LE(litOutside(shot, sprites), 8 * 14);
}

TEST(LevelScreen, AfterFourSecondsTheHeapHangsFromTheBallsWithItsOverlapsResolved)
{
    const SpriteEye eye(buildDir() + "/sprites");
    GameOptions options = inBuildDir();
    options.levelSeed = 1;
    options.stop = GameOptions::Stop::atFirstFrame;
    RunningGame game(options);
    const Image first = game.firstFrame(5 * slowness);
    ASSERT_EQ(first.width, 640) << game.describe();
    const auto start = std::chrono::steady_clock::now();
    const int firstBallY = lookAtBalls(eye, first, ballY, 4)[0].y;
    sleepMs(300);
    ASSERT_TRUE(game.movePointerAndSee(638, 478, 3 * slowness)) << "the game ended by itself";
    while (game.running()
        && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(4500))
        sleepMs(20);
    const Image shot = game.screenshot();
    shot.save(buildDir() + "/shot-heap.png");
    ASSERT_TRUE(game.running()) << "the game ended by itself" << game.describe();
    const std::vector<SeenSprite> sprites = eye.findAll(shot);

    // Every sprite is whole: none hides a part of another.
    std::vector<SeenSprite> aliens, balls;
    int perColour[GameWorld::alienKinds] = {};
    for (const SeenSprite& s : sprites) {
        EXPECT_LT(s.mismatch, 10) << kindName(s.kind) << " at (" << s.x << ", " << s.y << ")";
        if (s.kind == HardBall) {
            balls.push_back(s);
        } else {
            aliens.push_back(s);
            ++perColour[s.kind];
        }
    }
    EXPECT_EQ(aliens.size(), 126u);
    for (int k = 0; k < GameWorld::alienKinds; ++k)
        EXPECT_GT(perColour[k], 0) << kindName(k) << " aliens";

    // The balls keep their columns and their row, lower than at the start.
    ASSERT_EQ(balls.size(), 18u);
    std::sort(balls.begin(), balls.end(),
        [](const SeenSprite& a, const SeenSprite& b) { return a.x < b.x; });
    for (int c = 0; c < columns; ++c) {
        EXPECT_NEAR(balls[c].x, ballX(c), 1) << "ball in column " << c;
        EXPECT_NEAR(balls[c].y, balls[0].y, 1) << "ball in column " << c;
    }
    EXPECT_GT(balls[0].y, firstBallY) << "the balls have not crept down";

    // No two bodies overlap by more than a few pixels.
    for (size_t i = 0; i < sprites.size(); ++i)
        for (size_t j = i + 1; j < sprites.size(); ++j)
            EXPECT_GE(distance(sprites[i], sprites[j]), 28)
                << kindName(sprites[i].kind) << " at (" << sprites[i].x << ", " << sprites[i].y
                << ") and " << kindName(sprites[j].kind) << " at (" << sprites[j].x << ", "
                << sprites[j].y << ")";

    // The heap hangs: every alien is held by a ball through aliens touching one another, and a
    // good part of the top row touches the balls.
    const std::vector<bool> held = hangingFromTheBalls(sprites);
    for (size_t i = 0; i < sprites.size(); ++i)
        EXPECT_TRUE(held[i]) << kindName(sprites[i].kind) << " at (" << sprites[i].x << ", "
                             << sprites[i].y << ") hangs from nothing";
    EXPECT_GE(touchingTheBalls(sprites), 9) << "aliens touching the balls";
    EXPECT_TRUE(game.running());
}
