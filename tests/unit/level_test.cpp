// The level as it starts: box, launch point, gravity, the kinds, the grid of aliens under the
// row of hard balls, and the overlay. Sprites load from the real base.dat, without a window.
#include "GameWorld.h"
#include "headless.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Level : ::testing::Test {
    GameWorld world;
    void load(unsigned seed)
    {
        startHeadlessAllegro(OUTBREAK_DATA_DIR);
        srand(seed);
        world.loadLevel();
    }
    Enemy& nth(int n)
    {
        auto it = world.enemies.begin();
        std::advance(it, n - 1);
        return *it;
    }
    // The index in enemyTypes of every enemy's kind, in list order.
    static std::vector<int> colours(const GameWorld& w)
    {
        std::vector<int> k;
        for (const Enemy& e : w.enemies)
            for (int i = 0; i < 7; ++i)
                if (e.type == w.enemyTypes[i])
                    k.push_back(i);
        return k;
    }
};

} // namespace

TEST_F(Level, SetsTheBoxLaunchPointGravityKindsAndOverlay)
{
    load(1);
    EXPECT_EQ(world.size, Vector2(640, 480));
    EXPECT_EQ(world.launchPoint, Vector2(320, 455));
    EXPECT_EQ(world.gravity, Vector2(0, 40));
    EXPECT_FALSE(world.selected);
    ASSERT_EQ(world.enemyTypes.size(), 7u);
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(world.enemyTypes[k]->radius, 16.0f);
        EXPECT_EQ(world.enemyTypes[k]->initialState,
            k < 6 ? int(EnemyType::NORMAL) : int(EnemyType::HARD));
        EXPECT_EQ(world.enemyTypes[k]->infectedCount, 0);
    }
    EXPECT_EQ(world.enemies.size(), 144u);
    ASSERT_EQ(world.effects.size(), 1u);
    EXPECT_EQ(world.effects[0].front, 0);
}

TEST_F(Level, LaysOutAliensColumnByColumnThenTheHardBalls)
{
    load(2);
    EXPECT_EQ(nth(1).position, Vector2(28, 38));
    EXPECT_EQ(nth(7).position, Vector2(28, 242));
    EXPECT_EQ(nth(8).position, Vector2(62, 38));
    EXPECT_EQ(nth(126).position, Vector2(606, 242));
    EXPECT_EQ(nth(127).position, Vector2(15, 17));
    EXPECT_EQ(nth(144).position, Vector2(593, 17));

    int n = 0;
    for (const Enemy& e : world.enemies) {
        ++n;
        EXPECT_EQ(e.radius, 16.0f);
        EXPECT_EQ(e.timer, 30);
        EXPECT_EQ(e.oldPosition, e.position);
        if (n <= 126) {
            EXPECT_EQ(e.state, int(EnemyType::NORMAL)) << n;
            EXPECT_NE(e.type, world.enemyTypes[6]) << n;
        } else {
            EXPECT_EQ(e.state, int(EnemyType::HARD)) << n;
            EXPECT_EQ(e.type, world.enemyTypes[6]) << n;
        }
    }
    // The hard-ball kind is held by its slot and by each of the 18 balls.
    EXPECT_EQ(world.enemyTypes[6].use_count(), 19);
}

TEST_F(Level, EachAlienTakesOneRandomColourInListOrder)
{
    load(1234);
    srand(1234);
    int n = 0;
    for (const Enemy& e : world.enemies) {
        if (++n > 126)
            break;
        EXPECT_EQ(e.type, world.enemyTypes[rand() % 6]) << "alien " << n;
    }
}

TEST_F(Level, SameSeedSameColoursOtherSeedOtherColours)
{
    load(77);
    GameWorld again, other;
    srand(77);
    again.loadLevel();
    srand(78);
    other.loadLevel();
    EXPECT_EQ(colours(world), colours(again));
    EXPECT_NE(colours(world), colours(other));
}

TEST_F(Level, StartsWithTheBallsOverlappingTheTopAliensAndTheGridApart)
{
    load(5);
    std::vector<Enemy*> all;
    for (Enemy& e : world.enemies)
        all.push_back(&e);
    auto alien = [&](int c, int r) { return all[7 * c + r]; };
    auto ball = [&](int c) { return all[126 + c]; };

    for (int c = 0; c < 18; ++c) {
        // The ball overlaps the top alien of its own column and of the column to its left.
        EXPECT_FALSE(collisionCheck(ball(c), alien(c, 0)).IsZero()) << c;
        EXPECT_FLOAT_EQ(distance(ball(c), alien(c, 0)).Length(), std::sqrt(610.0f));
        if (c > 0) {
            EXPECT_FALSE(collisionCheck(ball(c), alien(c - 1, 0)).IsZero()) << c;
            EXPECT_FLOAT_EQ(distance(ball(c), alien(c - 1, 0)).Length(), std::sqrt(882.0f));
        }
        // Neighbouring aliens leave a gap of 2.
        for (int r = 0; r < 7; ++r) {
            if (r < 6) {
                EXPECT_TRUE(collisionCheck(alien(c, r), alien(c, r + 1)).IsZero());
            }
            if (c < 17) {
                EXPECT_TRUE(collisionCheck(alien(c, r), alien(c + 1, r)).IsZero());
            }
        }
    }
    // The first ball reaches one unit past the left wall; the grid leaves 12 and 18 to the walls.
    EXPECT_EQ(ball(0)->position.x - ball(0)->radius, -1.0f);
    EXPECT_EQ(alien(0, 0)->position.x - 16, 12.0f);
    EXPECT_EQ(640 - (alien(17, 0)->position.x + 16), 18.0f);
}
