// Pairs of bodies: the overlap correction, the difference of centres and the infection.
#include "Enemy.h"

#include <boost/make_shared.hpp>
#include <cmath>
#include <gtest/gtest.h>

namespace {

boost::shared_ptr<EnemyType> kind() { return boost::make_shared<EnemyType>(0u, 16.0f, 0); }

struct Pair : ::testing::Test {
    boost::shared_ptr<EnemyType> red = kind();
    Enemy a {Vector2(130, 100), red, 0};
    Enemy b {Vector2(100, 100), red, 0};
};

} // namespace

TEST_F(Pair, OverlapOf2AlongXGivesTheCorrection2And0AndSwappingNegatesIt)
{
    EXPECT_EQ(collisionCheck(&a, &b), Vector2(2, 0));
    EXPECT_EQ(collisionCheck(&b, &a), Vector2(-2, 0));

    // An oblique pair: swapping negates exactly, bit for bit.
    a.position = Vector2(117.3f, 121.9f);
    const Vector2 ab = collisionCheck(&a, &b), ba = collisionCheck(&b, &a);
    EXPECT_FALSE(ab.IsZero());
    EXPECT_EQ(ab, -ba);
    // Depth from the two squares in double precision, direction by d / |d|.
    const Vector2 d = a.position - b.position;
    const float q = d.LengthSqr();
    const float depth = std::sqrt(double(32.0f * 32.0f)) - std::sqrt(double(q));
    EXPECT_EQ(ab, (d / d.Length()) * depth);
}

TEST_F(Pair, TouchingOrApartOrOnlyBoxesOverlappingGivesExactlyZero)
{
    a.position = Vector2(140, 100);
    EXPECT_TRUE(collisionCheck(&a, &b).IsZero());
    a.position = Vector2(132, 100);
    EXPECT_TRUE(collisionCheck(&a, &b).IsZero());
    a.position = Vector2(130, 130);
    EXPECT_TRUE(collisionCheck(&a, &b).IsZero());
}

TEST_F(Pair, CoincidentCentresArePushedApartAlongXByTheFullOverlap)
{
    a.position = b.position;
    const Vector2 c = collisionCheck(&a, &b);
    EXPECT_EQ(c, Vector2(32, 0));
    EXPECT_TRUE(std::isfinite(collisionCheck(&b, &a).x));
}

TEST_F(Pair, DistanceIsTheVectorFromSecondToFirst)
{
    EXPECT_EQ(distance(&a, &b), Vector2(30, 0));
    EXPECT_EQ(distance(&b, &a), -distance(&a, &b));
    EXPECT_TRUE(distance(&a, &a).IsZero());
}

TEST_F(Pair, InfectedPassesItOnWhileItsTimerIsAbove1)
{
    a.state = EnemyType::INFECTED;
    a.timer = 2;
    infect(&a, &b);
    EXPECT_EQ(b.state, int(EnemyType::INFECTED));
    EXPECT_EQ(b.timer, 5);

    Enemy c(Vector2(), red, 0);
    a.timer = 1;
    infect(&a, &c);
    EXPECT_EQ(c.state, int(EnemyType::NORMAL));
    EXPECT_EQ(c.timer, 30);

    // A dissolving one infects too, and any state of the same kind is overwritten.
    a.state = EnemyType::DISOLVING;
    a.timer = 3;
    c.state = EnemyType::HARD;
    infect(&a, &c);
    EXPECT_EQ(c.state, int(EnemyType::INFECTED));
    EXPECT_EQ(a.state, int(EnemyType::DISOLVING));
    EXPECT_EQ(a.timer, 3);
}

TEST_F(Pair, InfectionNeedsTheVeryObjectOfTheKindNotEqualContents)
{
    Enemy twin(Vector2(), kind(), 0); // a kind with the same fields, another object
    a.state = EnemyType::INFECTED;
    a.timer = 100;
    infect(&a, &twin);
    EXPECT_EQ(twin.state, int(EnemyType::NORMAL));
}

TEST_F(Pair, InfectingFromAHealthyStateStopsTheGame)
{
    for (int state : {EnemyType::NORMAL, EnemyType::HARD, EnemyType::SELECTED, EnemyType::READY}) {
        a.state = state;
        EXPECT_DEATH(infect(&a, &b),
            "infected->state == EnemyType::INFECTED \\|\\| "
            "infected->state == EnemyType::DISOLVING");
    }
}
