// The world's step, its pair passes and the player's clicks, on small hand-made worlds.
#include "GameWorld.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

const float dt = 1.0f / 60;

// A world with the level's box and launch point, no gravity unless a test adds it, and two
// alien kinds and a hard-ball kind with no sprites.
struct World : ::testing::Test {
    GameWorld world;
    boost::shared_ptr<EnemyType> red, green, hard;

    World()
    {
        world.size = Vector2(640, 480);
        world.launchPoint = Vector2(320, 455);
        red = addKind(EnemyType::NORMAL);
        green = addKind(EnemyType::NORMAL);
        hard = addKind(EnemyType::HARD);
    }
    boost::shared_ptr<EnemyType> addKind(int state)
    {
        world.enemyTypes.push_back(boost::make_shared<EnemyType>(0u, 16.0f, state));
        return world.enemyTypes.back();
    }
    Enemy& add(boost::shared_ptr<EnemyType> kind, Vector2 at, int state = -1)
    {
        world.enemies.push_back(Enemy(at, kind, 0));
        if (state >= 0)
            world.enemies.back().state = state;
        return world.enemies.back();
    }
    Enemy& nth(int n)
    {
        auto it = world.enemies.begin();
        std::advance(it, n);
        return *it;
    }
};

} // namespace

TEST(GameWorldStart, IsEmptyAndStill)
{
    GameWorld world;
    EXPECT_TRUE(world.launchPoint.IsZero());
    EXPECT_TRUE(world.size.IsZero());
    EXPECT_TRUE(world.gravity.IsZero());
    EXPECT_FALSE(world.selected);
    EXPECT_TRUE(world.enemyTypes.empty());
    EXPECT_TRUE(world.enemies.empty());
    EXPECT_TRUE(world.effects.empty());
    EXPECT_TRUE(world.step());
    world.mouseButton(Vector2(10, 10));
    EXPECT_FALSE(world.selected);
}

TEST_F(World, EmptyStepClearsEveryInfectionCount)
{
    red->infectedCount = 7;
    hard->infectedCount = 1;
    EXPECT_TRUE(world.step());
    EXPECT_EQ(red->infectedCount, 0);
    EXPECT_EQ(hard->infectedCount, 0);
}

TEST_F(World, KindDissolvesWithThreeInfectedNotTwoAndOnlyItsOwnObject)
{
    boost::shared_ptr<EnemyType> twin = addKind(EnemyType::NORMAL); // same fields as red
    Enemy& far = add(red, Vector2(50, 50), EnemyType::INFECTED);
    Enemy& near = add(red, Vector2(500, 300), EnemyType::INFECTED);
    Enemy& healthy = add(red, Vector2(200, 100));
    Enemy& twinInfected = add(twin, Vector2(400, 100), EnemyType::INFECTED);
    for (Enemy* e : {&far, &near, &twinInfected})
        e->timer = 50;

    red->infectedCount = 2;
    twin->infectedCount = 2;
    world.step();
    EXPECT_EQ(far.state, int(EnemyType::INFECTED));
    EXPECT_EQ(red->infectedCount, 2) << "counted again by this step's enemy pass";

    red->infectedCount = 3;
    world.step();
    EXPECT_EQ(far.state, int(EnemyType::DISOLVING));
    EXPECT_EQ(near.state, int(EnemyType::DISOLVING));
    EXPECT_EQ(healthy.state, int(EnemyType::NORMAL));
    EXPECT_EQ(twinInfected.state, int(EnemyType::INFECTED));
    EXPECT_EQ(red->infectedCount, 0);
    EXPECT_EQ(twin->infectedCount, 1);
}

TEST_F(World, InfectionRunningOutInItsOwnStepIsNotCounted)
{
    Enemy& e = add(red, Vector2(100, 100), EnemyType::INFECTED);
    e.timer = 0;
    world.step();
    EXPECT_EQ(e.state, int(EnemyType::NORMAL));
    EXPECT_EQ(red->infectedCount, 0);
    Enemy& f = add(green, Vector2(300, 100), EnemyType::INFECTED);
    f.timer = 1;
    world.step();
    EXPECT_EQ(green->infectedCount, 1);
}

TEST_F(World, PickedAlienIsPulledFromExactly5AndHeldStillWithinIt)
{
    // Squared distance exactly 25: pulled (10000 towards the launch point) and still moving.
    Enemy& pulled = add(red, Vector2(320, 450), EnemyType::SELECTED);
    pulled.oldPosition = Vector2(320, 449);
    world.step();
    EXPECT_EQ(pulled.position.y, (450.0f + 1.0f) + (10000 * dt) * dt);

    // Squared distance 24.9: velocity cancelled; only gravity acts.
    GameWorld& w = world;
    w.enemies.clear();
    w.gravity = Vector2(0, 40);
    const float y = 455 - std::sqrt(24.9f);
    Enemy& held = add(red, Vector2(320, y), EnemyType::SELECTED);
    ASSERT_LT((held.position - w.launchPoint).LengthSqr(), 25.0f);
    held.oldPosition = Vector2(318, y - 3);
    w.step();
    EXPECT_EQ(held.position, Vector2(320, y + (40 * dt) * dt));
}

TEST_F(World, CentreExactlyOnTheFloorLimitPlaysOnJustBelowEndsTheGame)
{
    Enemy& sinking = add(red, Vector2(100, 463), EnemyType::NORMAL);
    sinking.oldPosition = Vector2(100, 462); // 1 pixel per step down
    Enemy& after = add(green, Vector2(300, 100));
    after.oldPosition = Vector2(300, 99);
    EXPECT_TRUE(world.step());
    EXPECT_EQ(sinking.position.y, 464.0f);
    EXPECT_EQ(after.timer, 29);

    EXPECT_FALSE(world.step());
    EXPECT_EQ(sinking.position.y, 465.0f);
    EXPECT_EQ(after.timer, 29) << "the enemies after the one that ended the game are not updated";
    EXPECT_EQ(after.position, Vector2(300, 101));
}

TEST_F(World, HardBallReachingTheFloorEndsTheGame)
{
    // Its track runs 0.03 below it: on the limit after the first step, past it after the second.
    Enemy& ball = add(hard, Vector2(100, 464));
    EXPECT_TRUE(world.step());
    EXPECT_FALSE(world.step());
    EXPECT_EQ(ball.position.y, float(464.0f + 0.03));
}

TEST_F(World, BodiesBelowRadius1AreRemovedInTheirStepWhereverTheyStand)
{
    boost::shared_ptr<EnemyType> tiny = boost::make_shared<EnemyType>(0u, 1.0f, 0);
    add(tiny, Vector2(50, 100)); // radius exactly 1: stays
    Enemy& middle = add(red, Vector2(150, 100), EnemyType::DISOLVING);
    middle.radius = 1.05f; // 0.9975 after its step
    Enemy& follower = add(green, Vector2(250, 100));
    Enemy& last = add(red, Vector2(350, 100), EnemyType::DISOLVING);
    last.radius = 1.05f;
    EXPECT_TRUE(world.step());
    ASSERT_EQ(world.enemies.size(), 2u);
    EXPECT_EQ(nth(0).radius, 1.0f);
    EXPECT_EQ(&nth(1), &follower);
    EXPECT_EQ(follower.timer, 29) << "the enemy after a removed one is still updated";
    EXPECT_EQ(tiny.use_count(), 2);
}

TEST_F(World, CollisionPassSeparatesAPairHalfEach)
{
    Enemy& a = add(red, Vector2(130, 100));
    Enemy& b = add(green, Vector2(100, 100));
    world.collisionConstraint();
    EXPECT_EQ(a.position, Vector2(131, 100));
    EXPECT_EQ(b.position, Vector2(99, 100));
    EXPECT_EQ(a.state, int(EnemyType::NORMAL));
    EXPECT_EQ(a.timer, 30) << "different kinds only push";
    world.collisionConstraint();
    EXPECT_EQ(a.position, Vector2(131, 100)) << "touching exactly is no overlap";
}

TEST_F(World, ExtraCyclesAreExactlyOneCollisionPass)
{
    add(red, Vector2(130, 100));
    add(red, Vector2(100, 105));
    add(green, Vector2(115, 125));
    std::list<Enemy> before = world.enemies;
    world.collisionConstraint();
    std::list<Enemy> once = world.enemies;
    world.enemies = before;
    world.useExtraCycles();
    auto i = once.begin();
    for (const Enemy& e : world.enemies) {
        EXPECT_EQ(e.position, i->position);
        ++i;
    }
}

TEST_F(World, FiredAlienInfectsItsKindAndBothTimersDropTo5OnFirstTouch)
{
    Enemy& fired = add(red, Vector2(130, 100), EnemyType::INFECTED);
    fired.timer = 120;
    Enemy& hit = add(red, Vector2(100, 100));
    Enemy& other = add(green, Vector2(160, 100));
    world.collisionConstraint();
    EXPECT_EQ(hit.state, int(EnemyType::INFECTED));
    EXPECT_EQ(hit.timer, 5);
    EXPECT_EQ(fired.timer, 5);
    EXPECT_EQ(other.state, int(EnemyType::NORMAL)) << "not its kind";
    EXPECT_EQ(other.timer, 30);
}

TEST_F(World, LaterInfectedInfectsAnEarlierOneAndSpentInfectionOnlyCapsTimers)
{
    Enemy& early = add(red, Vector2(130, 100));
    Enemy& late = add(red, Vector2(100, 100), EnemyType::INFECTED);
    late.timer = 3;
    world.collisionConstraint();
    EXPECT_EQ(early.state, int(EnemyType::INFECTED));
    EXPECT_EQ(early.timer, 5);

    world.enemies.clear();
    Enemy& spent = add(red, Vector2(130, 100), EnemyType::INFECTED);
    spent.timer = 1;
    Enemy& healthy = add(red, Vector2(100, 100));
    world.collisionConstraint();
    EXPECT_EQ(healthy.state, int(EnemyType::NORMAL));
    EXPECT_EQ(healthy.timer, 5);

    world.enemies.clear();
    Enemy& x = add(red, Vector2(130, 100), EnemyType::INFECTED);
    Enemy& y = add(red, Vector2(100, 100), EnemyType::INFECTED);
    x.timer = 9;
    y.timer = 90;
    world.collisionConstraint();
    EXPECT_EQ(x.timer, 5);
    EXPECT_EQ(y.timer, 5);
}

TEST_F(World, AttractionAtContactIs2500AndNoneFromTheRangeOn)
{
    Enemy& a = add(red, Vector2(132, 100));
    Enemy& b = add(green, Vector2(100, 100));
    world.attractForces();
    EXPECT_EQ(a.acceleration, Vector2(-2500, 0));
    EXPECT_EQ(b.acceleration, Vector2(2500, 0));

    // Squared distance exactly 8 * 16 * 16 = 2048: out of range; a little closer: in.
    world.enemies.clear();
    Enemy& c = add(red, Vector2(0, 0));
    Enemy& d = add(red, Vector2(32, 32)); // 32^2 + 32^2 = 2048
    world.attractForces();
    EXPECT_TRUE(c.acceleration.IsZero());
    d.position = Vector2(32, 31.99f);
    world.attractForces();
    EXPECT_FALSE(c.acceleration.IsZero());
    EXPECT_EQ(c.acceleration, -d.acceleration);
}

TEST_F(World, CoincidentCentresStayFinite)
{
    Enemy& a = add(red, Vector2(200, 200));
    Enemy& b = add(green, Vector2(200, 200));
    world.attractForces();
    EXPECT_TRUE(a.acceleration.IsZero());
    EXPECT_TRUE(b.acceleration.IsZero());
    world.collisionConstraint();
    EXPECT_EQ(a.position, Vector2(216, 200));
    EXPECT_EQ(b.position, Vector2(184, 200));
}

TEST_F(World, PickedAlienNeitherPullsNorIsPulledButIsPushedAndCanCatchTheInfection)
{
    Enemy& picked = add(red, Vector2(130, 100), EnemyType::SELECTED);
    Enemy& infected = add(red, Vector2(100, 100), EnemyType::INFECTED);
    infected.timer = 4;
    world.attractForces();
    EXPECT_TRUE(picked.acceleration.IsZero());
    EXPECT_TRUE(infected.acceleration.IsZero());
    world.collisionConstraint();
    EXPECT_EQ(picked.position, Vector2(131, 100));
    EXPECT_EQ(picked.state, int(EnemyType::INFECTED));
}

TEST_F(World, ClickOnEmptySpaceOrOnTheRimPicksNothing)
{
    add(red, Vector2(100, 100));
    world.mouseButton(Vector2(300, 300));
    world.mouseButton(Vector2(116, 100));
    EXPECT_FALSE(world.selected);
    EXPECT_EQ(nth(0).state, int(EnemyType::NORMAL));
    world.mouseButton(Vector2(115, 100));
    EXPECT_TRUE(world.selected);
    EXPECT_EQ(nth(0).state, int(EnemyType::SELECTED));
}

TEST_F(World, ClickPassesOverInfectedAndHardOnesToTheFirstFreeAlien)
{
    add(hard, Vector2(100, 100));
    add(red, Vector2(102, 100), EnemyType::INFECTED);
    add(green, Vector2(104, 100));
    add(red, Vector2(106, 100));
    world.mouseButton(Vector2(103, 100));
    EXPECT_EQ(nth(2).state, int(EnemyType::SELECTED));
    EXPECT_EQ(nth(3).state, int(EnemyType::NORMAL));

    // While one is picked, a click fires it and never picks another.
    world.mouseButton(Vector2(106, 100));
    EXPECT_EQ(nth(3).state, int(EnemyType::NORMAL));
    EXPECT_EQ(nth(2).state, int(EnemyType::INFECTED));
}

TEST_F(World, LaunchAddsTenTowardsThePointerFromTheLaunchPointWhateverTheDistance)
{
    Enemy& near = add(red, Vector2(320, 455), EnemyType::SELECTED);
    world.selected = true;
    world.mouseButton(Vector2(323, 451)); // 5 away
    EXPECT_EQ(near.position, Vector2(320, 455) + Vector2(3, -4).Normalize() * 10);
    EXPECT_EQ(near.oldPosition, Vector2(320, 455));
    EXPECT_EQ(near.state, int(EnemyType::INFECTED));
    EXPECT_EQ(near.timer, 120);
    EXPECT_FALSE(world.selected);

    Enemy& far = add(green, Vector2(100, 100), EnemyType::SELECTED);
    world.selected = true;
    world.mouseButton(Vector2(620, 55)); // 500 away, same direction
    EXPECT_EQ(far.position - Vector2(100, 100), near.position - Vector2(320, 455));
}

TEST_F(World, LaunchAtTheLaunchPointGivesNoImpulseButStillFires)
{
    Enemy& e = add(red, Vector2(300, 400), EnemyType::SELECTED);
    world.selected = true;
    world.mouseButton(world.launchPoint);
    EXPECT_EQ(e.position, Vector2(300, 400));
    EXPECT_EQ(e.state, int(EnemyType::INFECTED));
    EXPECT_EQ(e.timer, 120);
    EXPECT_FALSE(world.selected);
}

TEST_F(World, ReadyAlienIsFiredLikeAPickedOne)
{
    add(red, Vector2(100, 100));
    Enemy& ready = add(green, Vector2(320, 455), EnemyType::READY);
    world.selected = true;
    world.mouseButton(Vector2(320, 0));
    EXPECT_EQ(ready.position, Vector2(320, 445));
    EXPECT_EQ(ready.state, int(EnemyType::INFECTED));
    EXPECT_FALSE(world.selected);
}

TEST_F(World, LaunchStraightDownFromRestEndsTheGameInTheNextStep)
{
    world.gravity = Vector2(0, 40);
    Enemy& e = add(red, world.launchPoint, EnemyType::SELECTED);
    world.selected = true;
    world.mouseButton(Vector2(320, 479));
    EXPECT_FALSE(world.step());
    EXPECT_GT(e.position.y, 480 - e.radius);
}

TEST_F(World, LaunchClickWithNothingSelectedFreesTheSelection)
{
    // The picked alien caught an infection on its way to the launch point.
    Enemy& picked = add(red, Vector2(200, 300));
    world.mouseButton(Vector2(200, 300));
    ASSERT_TRUE(world.selected);
    picked.state = EnemyType::INFECTED;
    picked.timer = 5;
    const Vector2 before = picked.position;

    world.mouseButton(Vector2(10, 10));
    EXPECT_FALSE(world.selected);
    EXPECT_EQ(picked.position, before);
    EXPECT_EQ(picked.timer, 5);

    // The next click picks again.
    picked.state = EnemyType::NORMAL;
    world.mouseButton(Vector2(200, 300));
    EXPECT_TRUE(world.selected);
    EXPECT_EQ(picked.state, int(EnemyType::SELECTED));
}
