// One body: construction, the Verlet step, growth and dissolving, the timer, the clamps and the
// hit test.
#include "Enemy.h"

#include <boost/make_shared.hpp>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const float dt = 1.0f / 60;

boost::shared_ptr<EnemyType> kind(int initialState = EnemyType::NORMAL, float radius = 16)
{
    return boost::make_shared<EnemyType>(0u, radius, initialState);
}

} // namespace

TEST(EnemyBody, StartsAtRestWithItsKindsRadiusStateAndTimer30)
{
    boost::shared_ptr<EnemyType> hard = kind(EnemyType::HARD, 16);
    Enemy e(Vector2(10, 20), hard, 0);
    EXPECT_EQ(e.position, Vector2(10, 20));
    EXPECT_EQ(e.oldPosition, Vector2(10, 20));
    EXPECT_TRUE(e.acceleration.IsZero());
    EXPECT_EQ(e.radius, 16.0f);
    EXPECT_EQ(e.state, int(EnemyType::HARD));
    EXPECT_EQ(e.timer, 30);
    EXPECT_EQ(e.type, hard);
    EXPECT_EQ(hard.use_count(), 2);

    EXPECT_EQ(Enemy(Vector2(), hard, -0.0f).radius, 16.0f);
    EXPECT_EQ(Enemy(Vector2(), hard, 8).radius, 8.0f);
    EXPECT_EQ(Enemy(Vector2(), hard, -3).radius, -3.0f);
}

TEST(EnemyBody, VerletStepAddsVelocityAndAccelerationTimesDtSquared)
{
    Enemy e(Vector2(100, 100), kind(), 0);
    e.oldPosition = Vector2(99, 98);
    e.acceleration = Vector2(0, 3600);
    e.step(dt);
    const float s = (3600 * dt) * dt;
    EXPECT_EQ(e.position, Vector2(101, (100.0f + (100.0f - 98.0f)) + s));
    EXPECT_EQ(e.oldPosition, Vector2(100, 100));
    EXPECT_TRUE(e.acceleration.IsZero());
}

TEST(EnemyBody, HardBallRunsOnItsTrackAndKeepsItsAcceleration)
{
    Enemy e(Vector2(15, 17), kind(EnemyType::HARD), 0);
    e.position = Vector2(40, 60); // pushed away since the last step
    e.acceleration = Vector2(5, 7);
    e.step(dt);
    EXPECT_EQ(e.position, Vector2(15, 17));
    EXPECT_EQ(e.oldPosition.x, 15.0f);
    EXPECT_EQ(e.oldPosition.y, float(17.0f + 0.03)); // the constant is a double
    EXPECT_EQ(e.acceleration, Vector2(5, 7));
    e.step(dt);
    EXPECT_EQ(e.position.y, float(17.0f + 0.03));
}

TEST(EnemyBody, SmallBodyGrowsTowardsItsKindAndStopsWithinOnePixel)
{
    Enemy e(Vector2(100, 100), kind(), 8);
    e.step(dt);
    EXPECT_EQ(e.radius, 8 + ((16 - 8.0f) * 0.5f) * dt);
    EXPECT_NEAR(e.radius, 8.0667f, 1e-4);
    int steps = 1;
    while (e.radius <= 15 && steps < 1000) {
        e.step(dt);
        ++steps;
    }
    EXPECT_NEAR(steps, 250, 5);
    EXPECT_NEAR(e.radius, 15.004f, 1e-3);
    const float stopped = e.radius;
    e.step(dt);
    EXPECT_EQ(e.radius, stopped);

    // Exactly one short still grows (the test is not strict); larger than its kind never shrinks.
    Enemy edge(Vector2(), kind(), 15);
    edge.step(dt);
    EXPECT_GT(edge.radius, 15.0f);
    Enemy big(Vector2(), kind(), 20);
    big.step(dt);
    EXPECT_EQ(big.radius, 20.0f);
}

TEST(EnemyBody, DissolvingShrinksBy095AndFallsBelow1InThe55thStep)
{
    Enemy e(Vector2(100, 100), kind(), 0);
    e.state = EnemyType::DISOLVING;
    e.step(dt);
    EXPECT_EQ(e.radius, float(16.0f * 0.95));
    int steps = 1;
    while (e.radius >= 1) {
        e.step(dt);
        ++steps;
    }
    EXPECT_EQ(steps, 55);
    EXPECT_EQ(e.state, int(EnemyType::DISOLVING));
    EXPECT_EQ(e.timer, 30 - 55);
}

TEST(EnemyBody, InfectionWearsOffOnlyWhenTheTimerFallsBelowZero)
{
    Enemy e(Vector2(), kind(), 0);
    e.state = EnemyType::INFECTED;
    e.timer = 1;
    e.step(dt);
    EXPECT_EQ(e.timer, 0);
    EXPECT_EQ(e.state, int(EnemyType::INFECTED));
    e.step(dt);
    EXPECT_EQ(e.timer, -1);
    EXPECT_EQ(e.state, int(EnemyType::NORMAL));

    for (int state : {EnemyType::NORMAL, EnemyType::DISOLVING, EnemyType::SELECTED}) {
        Enemy other(Vector2(), kind(), 0);
        other.state = state;
        other.timer = -7;
        other.step(dt);
        EXPECT_EQ(other.state, state);
        EXPECT_EQ(other.timer, -8);
    }
}

TEST(EnemyBody, BoxClampsEachSideInTurnWithoutBounce)
{
    Enemy e(Vector2(5, 470), kind(), 0);
    e.oldPosition = Vector2(3, 480);
    e.applyBoxContraint(Vector2(640, 480));
    EXPECT_EQ(e.position, Vector2(16, 464));
    EXPECT_EQ(e.oldPosition, Vector2(3, 480));

    // Touching a wall exactly is inside.
    Enemy touching(Vector2(16, 464), kind(), 0);
    touching.applyBoxContraint(Vector2(640, 480));
    EXPECT_EQ(touching.position, Vector2(16, 464));

    // A box narrower than the body: the far walls are clamped last and win.
    Enemy wide(Vector2(5, 5), kind(), 0);
    wide.applyBoxContraint(Vector2(20, 24));
    EXPECT_EQ(wide.position, Vector2(4, 8));
}

TEST(EnemyBody, SpeedLimitShortensOnlyLongerDisplacementsThroughOldPosition)
{
    Enemy exact(Vector2(3, 4), kind(), 0);
    exact.oldPosition = Vector2(0, 0);
    exact.enforceSpeedLimit(5);
    EXPECT_EQ(exact.oldPosition, Vector2(0, 0));

    Enemy fast(Vector2(106, 208), kind(), 0);
    fast.oldPosition = Vector2(100, 200); // 10 per step
    fast.enforceSpeedLimit(5);
    EXPECT_EQ(fast.position, Vector2(106, 208));
    const Vector2 v = fast.position - fast.oldPosition;
    EXPECT_NEAR(v.Length(), 5.0f, 1e-5);
    EXPECT_NEAR(v.x / v.Length(), 0.6f, 1e-6);
    EXPECT_NEAR(v.y / v.Length(), 0.8f, 1e-6);
}

TEST(EnemyBody, HitTestIsStrictlyInsideTheCircle)
{
    Enemy e(Vector2(100, 50), kind(), 0);
    EXPECT_TRUE(e.selectCheck(Vector2(100, 50)));
    EXPECT_TRUE(e.selectCheck(Vector2(115.9f, 50)));
    EXPECT_FALSE(e.selectCheck(Vector2(116, 50))); // on the rim
    // On the rim off the axes, where the box lets the click through and only the distance can
    // refuse it: a 3-4-5 offset, and a whole-pixel click from play that lies exactly 16 from
    // the centre in float arithmetic.
    EXPECT_FALSE(Enemy(Vector2(100, 50), kind(), 20).selectCheck(Vector2(112, 66)));
    EXPECT_FALSE(
        Enemy(Vector2(531.809937f, 250.458847f), kind(), 0).selectCheck(Vector2(516, 248)));
    EXPECT_FALSE(e.selectCheck(Vector2(100, 34)));
    EXPECT_FALSE(e.selectCheck(Vector2(112, 62))); // inside the box, outside the circle
    EXPECT_TRUE(e.selectCheck(Vector2(111, 61)));
    Enemy point(Vector2(100, 50), kind(), 0);
    point.radius = -0.0f;
    EXPECT_FALSE(point.selectCheck(Vector2(100, 50)));
    EXPECT_FALSE(Enemy(Vector2(), kind(), 0).selectCheck(Vector2(NAN, 0)));
}
