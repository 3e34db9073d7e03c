// The pair passes that visit only the pairs near enough to act, against the passes over all
// pairs: every field of every enemy, and every kind's infected count, must come out the same bit
// for bit, whatever the world holds and however it changes between passes.
#include "GameWorld.h"
#include "world_fields.h"

#include <algorithm>
#include <boost/make_shared.hpp>
#include <cmath>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <random>
#include <string>

namespace {

const float inf = std::numeric_limits<float>::infinity();
const float notANumber = std::numeric_limits<float>::quiet_NaN();
const int colours = 4; // of the aliens in these worlds; the hard kind comes next
const int hardKind = colours;

// One enemy, as both worlds get it.
struct Body {
    Vector2 at;
    float radius = 16;
    int state = EnemyType::NORMAL;
    int kind = 0;
    int timer = 30;
};

// Two worlds with equal kinds and equal enemies: near runs the game's passes, all the passes
// over all pairs.
struct Twins {
    GameWorld near, all;
    long passes = 0;

    explicit Twins(float box)
    {
        for (GameWorld* w : {&near, &all}) {
            w->size = Vector2(box, box);
            w->launchPoint = Vector2(box / 2, box - 25);
            w->gravity = Vector2(0, 40);
            for (int k = 0; k <= hardKind; ++k)
                w->enemyTypes.push_back(boost::make_shared<EnemyType>(
                    0u, 16.0f, k == hardKind ? EnemyType::HARD : EnemyType::NORMAL));
        }
    }

    static Enemy& nth(GameWorld& w, size_t k) { return *std::next(w.enemies.begin(), long(k)); }

    // Puts the body before the enemy number `before` (at the end when there is none).
    void add(const Body& b, size_t before = std::numeric_limits<size_t>::max())
    {
        for (GameWorld* w : {&near, &all}) {
            Enemy e(b.at, w->enemyTypes[size_t(b.kind)], 0);
            e.radius = b.radius;
            e.state = b.state;
            e.timer = b.timer;
            const size_t at = std::min(before, w->enemies.size());
            w->enemies.insert(std::next(w->enemies.begin(), long(at)), e);
        }
    }

    void collide()
    {
        countStraysMeetingStrangers();
        near.collisionConstraint();
        all.collisionConstraintAllPairs();
        ++passes;
    }
    void attract()
    {
        near.attractForces();
        all.attractForcesAllPairs();
        ++passes;
    }
    void step()
    {
        const bool going = near.step();
        EXPECT_EQ(going, all.stepAllPairs());
        passes += 3;
    }

    // Collision passes in which a body that a pair pushed past its margin while the other stayed
    // within its own (earlier pairs having pushed it most of the way) then touches a body that
    // the list does not hold as its partner, before any pair moves both its bodies that far:
    // only a list made afresh at the first of those pairs holds the last. Found by walking the
    // pass over all pairs ahead of it, on copies of the bodies and of the list.
    long straysMeetingStrangers = 0;

    void countStraysMeetingStrangers()
    {
        std::vector<Enemy> moved(near.enemies.begin(), near.enemies.end());
        std::vector<Enemy*> order;
        for (Enemy& e : moved)
            order.push_back(&e);
        NearPairs list = near.touching;
        if (!list.fit(order)) // the list that the pass starts with
            return;
        std::vector<bool> strayed(moved.size(), false);
        for (size_t i = 0; i < moved.size(); ++i) {
            for (size_t j = i + 1; j < moved.size(); ++j) {
                const Vector2 c = collisionCheck(order[i], order[j]);
                if (c.IsZero())
                    continue;
                const auto row = list.partners.begin();
                if ((strayed[i] || strayed[j])
                    && !std::binary_search(row + list.first[i], row + list.first[i + 1], int(j))) {
                    ++straysMeetingStrangers;
                    return;
                }
                moved[i].position += c / 2;
                moved[j].position += -c / 2;
                const bool nearI = list.stillNear(i, moved[i]), nearJ = list.stillNear(j, moved[j]);
                if (!nearI && !nearJ) // both strayed: a check of either one lists afresh too
                    return;
                if (nearI != nearJ)
                    strayed[nearI ? j : i] = true;
            }
        }
    }

    ::testing::AssertionResult same()
    {
        const std::vector<uint32_t> a = fieldsOf(near), b = fieldsOf(all);
        if (a == b)
            return ::testing::AssertionSuccess();
        size_t k = 0;
        while (k < a.size() && k < b.size() && a[k] == b[k])
            ++k;
        return ::testing::AssertionFailure()
            << "the worlds differ from field " << k << " of " << a.size() << " on";
    }
};

// A state for a random enemy: mostly free aliens, and every state the passes treat apart.
void randomState(Body& b, std::mt19937& random)
{
    const int roll = int(random() % 100);
    b.kind = int(random() % colours);
    b.timer = int(random() % 40);
    if (roll < 8) {
        b.state = EnemyType::HARD;
        b.kind = hardKind;
    } else if (roll < 14) {
        b.state = EnemyType::SELECTED;
    } else if (roll < 17) {
        b.state = EnemyType::READY;
    } else if (roll < 32) {
        b.state = EnemyType::INFECTED;
        b.timer = int(random() % 121);
    } else if (roll < 40) {
        b.state = EnemyType::DISOLVING;
    }
}

float uniform(std::mt19937& random, float low, float high)
{
    return std::uniform_real_distribution<float>(low, high)(random);
}

enum Shape { Scattered, Lattice, Clusters, MixedSizes, Strays };
const char* const shapeNames[] = {"scattered", "lattice", "clusters", "mixed sizes", "strays"};

// A box about as crowded as the level for n enemies of radius 16.
float boxFor(size_t n) { return 34 * std::sqrt(float(n)) + 100; }

// n random enemies of one shape, in the box for n:
// - scattered: radius 16;
// - lattice: a square grid of pitch 32, so that neighbours touch exactly (no overlap) and
//   diagonal neighbours stand exactly at the end of the pull's reach, 2048 = 8 * 16 * 16; a
//   quarter of them a hair off that, one float step either way;
// - clusters: bunches of twenty within 8 of a centre, a quarter of them on the centre itself;
// - mixed sizes: crowded, with radii from 24 down to 0 and below;
// - strays: fives along a line in any of the four directions, in list order d, a, b1, b2, c:
//   d pushes c towards a, b1 and then b2 (on one centre) push a past its margin towards c while
//   b2 stays within its own, and a meets c, which stood too far from it to be listed (as in
//   BodyPushedPastTheMarginWhileItsPartnerStaysWithinGetsThePairsListedAfresh).
void randomWorld(Twins& twins, Shape shape, size_t n, std::mt19937& random)
{
    const float box = boxFor(n);
    const int columns = int(std::ceil(std::sqrt(double(n)))) + 1;
    const float radii[] = {16, 16, 24, 11.5f, 6, 2.25f, 0.5f, 0, -4};
    std::vector<Vector2> centres;
    for (size_t c = 0; c <= n / 20; ++c)
        centres.push_back(Vector2(uniform(random, 0, box), uniform(random, 0, box)));
    Vector2 five[5];
    for (size_t k = 0; k < n; ++k) {
        Body b;
        randomState(b, random);
        if (shape == Strays && k % 5 == 0) {
            // a pushed 3.5 to 3.9 by b1, then half that by b2; c pushed 3.5 to 3.9 by d.
            const float pushA = uniform(random, 3.5f, 3.9f), pushC = uniform(random, 3.5f, 3.9f);
            const float apart = uniform(random, 40.01f, 31.99f + 1.5f * pushA + pushC);
            const int direction = int(random() % 4);
            const Vector2 u = Vector2(float(direction % 2), float(1 - direction % 2))
                * (direction < 2 ? 1.0f : -1.0f);
            const Vector2 a(uniform(random, 0, box), uniform(random, 0, box));
            five[1] = a;
            five[4] = a + u * apart;
            five[0] = five[4] + u * (32 - 2 * pushC);
            five[2] = five[3] = a - u * (32 - 2 * pushA);
        }
        if (shape == Strays) {
            b.at = five[k % 5];
        } else if (shape == Lattice) {
            b.at
                = Vector2(float(32 * (int(k) % columns) + 20), float(32 * (int(k) / columns) + 20));
            if (random() % 4 == 0)
                b.at.x = std::nextafter(b.at.x, random() % 2 ? inf : -inf);
        } else if (shape == Clusters) {
            b.at = centres[random() % centres.size()];
            if (random() % 4 != 0)
                b.at += Vector2(uniform(random, -8, 8), uniform(random, -8, 8));
        } else {
            b.at = Vector2(uniform(random, 0, box), uniform(random, 0, box));
        }
        if (shape == MixedSizes) {
            b.at = b.at * 0.7f;
            b.radius = radii[random() % (sizeof radii / sizeof radii[0])];
        }
        twins.add(b);
    }
}

// The same change to both worlds: a body moved a little or far, grown, shrunk, taken away or put
// in anywhere in the list, or given another state.
void change(Twins& twins, std::mt19937& random, float box)
{
    const size_t n = twins.near.enemies.size();
    const int what = int(random() % 6);
    if (n == 0 || what == 0) {
        Body b;
        randomState(b, random);
        b.at = Vector2(uniform(random, 0, box), uniform(random, 0, box));
        twins.add(b, n == 0 ? 0 : random() % (n + 1));
        return;
    }
    const size_t k = random() % n;
    const Vector2 small(uniform(random, -3, 3), uniform(random, -3, 3));
    const Vector2 far(uniform(random, -200, 200), uniform(random, -200, 200));
    const float growth = random() % 2 ? 0.5f : 2.5f;
    const int state = int(random() % 6);
    for (GameWorld* w : {&twins.near, &twins.all}) {
        Enemy& e = Twins::nth(*w, k);
        if (what == 1)
            e.position += small;
        else if (what == 2)
            e.position += far;
        else if (what == 3)
            e.radius = e.radius * growth;
        else if (what == 4)
            w->enemies.erase(std::next(w->enemies.begin(), long(k)));
        else
            e.state = state == EnemyType::HARD ? int(EnemyType::NORMAL) : state;
    }
}

// Passes, steps and changes in random order, the worlds compared after each.
void playBoth(Twins& twins, std::mt19937& random, float box, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        const int what = int(random() % 10);
        if (what < 4) {
            twins.collide();
        } else if (what < 6) {
            twins.attract();
        } else if (what < 8) {
            twins.step();
        } else {
            change(twins, random, box);
            twins.collide();
        }
        ASSERT_TRUE(twins.same()) << "after round " << round << " (" << what << ")";
    }
}

} // namespace

TEST(NearPairPasses, MatchAllPairsOnRandomWorldsOfEveryShapeAndSize)
{
    long passes = 0, listings = 0, overruns = 0, fallbacks = 0, straysMeetingStrangers = 0;
    for (int shape = Scattered; shape <= Strays; ++shape) {
        for (size_t n : {0, 1, 2, 3, 5, 17, 60, 144, 300, 2500}) {
            for (unsigned seed = 1; seed <= (n > 300 ? 1u : 3u); ++seed) {
                SCOPED_TRACE(std::string(shapeNames[shape]) + ", " + std::to_string(n)
                    + " enemies, seed " + std::to_string(seed));
                std::mt19937 random(seed * 7919 + unsigned(n));
                Twins twins(boxFor(n));
                randomWorld(twins, Shape(shape), n, random);
                playBoth(twins, random, boxFor(n), n > 300 ? 8 : 40);
                passes += twins.passes;
                listings += twins.near.touching.listings + twins.near.pulling.listings;
                overruns += twins.near.touching.overruns;
                fallbacks += twins.near.touching.fallbacks;
                straysMeetingStrangers += twins.straysMeetingStrangers;
            }
        }
    }
    EXPECT_LT(listings, passes) << "lists should be kept from pass to pass";
    EXPECT_GT(overruns, 0) << "some bodies should have moved past the margin in a pass";
    EXPECT_GT(fallbacks, 0) << "some pass should have finished over every pair";
    EXPECT_GT(straysMeetingStrangers, 0)
        << "some body pushed past its margin alone should have met one that its list lacked";
}

TEST(NearPairPasses, BodyPushedPastTheMarginGetsThePairsListedAfreshMidPass)
{
    // a and b share a centre: their pair pushes a 16 to the right, onto c, which stood 41 from
    // a, beyond 32 + 2 * 4 (the reach and the margins at both ends), so that the list lacks
    // (a, c). That pair comes next in the pass, and only a list made afresh holds it.
    Twins twins(640);
    twins.add({Vector2(100, 100)});
    twins.add({Vector2(100, 100)});
    twins.add({Vector2(141, 100)});
    twins.collide();
    EXPECT_TRUE(twins.same());
    EXPECT_EQ(twins.near.touching.overruns, 1);
    EXPECT_EQ(twins.near.touching.listings, 2);
    EXPECT_EQ(twins.near.touching.fallbacks, 0);
    EXPECT_EQ(Twins::nth(twins.near, 2).position, Vector2(144.5f, 100)) << "a pushed c away";
}

TEST(NearPairPasses, BodyPushedPastTheMarginWhileItsPartnerStaysWithinGetsThePairsListedAfresh)
{
    // Along one line: d pushes c 3.5 to the left; b1 pushes a 3.5 to the right, and b2, which
    // shares b1's centre, then pushes it 1.75 further: 5.25 in all, past the margin of 4, while
    // b2 moved 1.75 and stays within its own. a and c stood 40.5 apart, beyond 32 + 2 * 4, so
    // the list lacks (a, c); now they overlap by 0.25, and that pair comes next.
    Twins twins(640);
    for (float x : {165.5f, 100.0f, 75.0f, 75.0f, 140.5f}) // d, a, b1, b2, c
        twins.add({Vector2(x, 100)});
    twins.collide();
    EXPECT_TRUE(twins.same());
    EXPECT_EQ(twins.straysMeetingStrangers, 1);
    EXPECT_EQ(Twins::nth(twins.near, 4).position, Vector2(137.125f, 100)) << "a pushed c away";
}

TEST(NearPairPasses, LaterBodyPushedPastTheMarginByTwoEarlierOnesGetsThePairsListedAfresh)
{
    // d pushes c 3.5 to the left, to 137. b1 above and b2 below, 32 apart so that they do not
    // touch, each push a, the later body of their pairs, some 2.85 to the right, while each of
    // them moves less than the margin of 4: a strays as the second body of (b2, a). a and c stood
    // 40.5 apart, beyond 32 + 2 * 4, so the list lacks (a, c); now they overlap, and that pair
    // comes next.
    Twins twins(640);
    for (Vector2 at : {Vector2(165.5f, 100), Vector2(81.5f, 84), Vector2(81.5f, 116),
             Vector2(100, 100), Vector2(140.5f, 100)}) // d, b1, b2, a, c
        twins.add({at});
    twins.collide();
    EXPECT_TRUE(twins.same());
    EXPECT_EQ(twins.straysMeetingStrangers, 1);
    EXPECT_EQ(twins.near.touching.overruns, 1);
    EXPECT_GT(Twins::nth(twins.near, 4).position.x, 137) << "a pushed c back to the right";
}

TEST(NearPairPasses, BodyPushedPastTheMarginAgainAndAgainFinishesThePassOverEveryPair)
{
    // a shares its centre with b1, then, 16 further on, with b2, then with b3: each pair pushes
    // it 16 on, and the third time the pass gives up listing and visits every pair that is left.
    // c stands 41 from where a is listed for the last time, so only that reaches (a, c).
    Twins twins(640);
    for (float x : {100, 100, 116, 132, 173})
        twins.add({Vector2(x, 100)});
    twins.collide();
    EXPECT_TRUE(twins.same());
    EXPECT_EQ(twins.near.touching.overruns, 3);
    EXPECT_EQ(twins.near.touching.fallbacks, 1);
    EXPECT_EQ(Twins::nth(twins.near, 4).position, Vector2(176.5f, 100)) << "a pushed c away";
}

TEST(NearPairPasses, WorldsOffTheGridMatchToo)
{
    struct Odd {
        const char* what;
        Vector2 at;
        float radius;
        bool unfit; // whether no grid takes this world
    };
    const Odd odd[] = {
        {"a centre that is not a number", Vector2(notANumber, 100), 16, true},
        {"an infinite centre", Vector2(100, inf), 16, true},
        {"a centre at minus infinity", Vector2(-inf, 100), 16, true},
        {"a radius that is not a number", Vector2(100, 100), notANumber, true},
        {"an infinite radius", Vector2(100, 100), inf, true},
        {"a centre at 10^30", Vector2(1e30f, 100), 16, true},
        {"a centre at 5 * 10^11, which puts all the others in one cell: a crowd",
            Vector2(5e11f, -5e11f), 16, true},
        {"a radius of 10^6, which brings every pair near: a crowd", Vector2(300, 300), 1e6f, true},
        {"a radius of 0", Vector2(100, 100), 0, false},
        {"a negative radius", Vector2(100, 100), -20, false},
    };
    for (const Odd& o : odd) {
        SCOPED_TRACE(o.what);
        std::mt19937 random(5);
        Twins twins(400);
        randomWorld(twins, Lattice, 80, random);
        Body b;
        b.at = o.at;
        b.radius = o.radius;
        twins.add(b, 40);
        playBoth(twins, random, 400, 30);
        if (HasFatalFailure())
            return;
        EXPECT_EQ(twins.near.touching.unfit > 0, o.unfit);
    }
}
