// The vector under every position, velocity and force.
#include "Vector2.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

TEST(Vector2, StartsAtZeroAndIndexesXThenY)
{
    Vector2 v;
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_EQ(v.y, 0.0f);
    v[0] = 3;
    v[1] = 7;
    EXPECT_EQ(v.x, 3.0f);
    EXPECT_EQ(v.y, 7.0f);
    const Vector2 c(1, 2);
    EXPECT_EQ(c[1], 2.0f);
    v.Set(-1, 9);
    EXPECT_EQ(v, Vector2(-1, 9));
}

TEST(Vector2DeathTest, IndexPastYStopsTheGame)
{
    Vector2 v(1, 2);
    const Vector2 c(1, 2);
    EXPECT_DEATH(v[2] = 0, "Position<2");
    EXPECT_DEATH((void)c[2], "Position<2");
}

TEST(Vector2, ComparesExactlyWithoutTolerance)
{
    Vector2 a(1, 2);
    EXPECT_TRUE(a == Vector2(1, 2));
    EXPECT_FALSE(a == Vector2(1, 2.000001f));
    EXPECT_TRUE(a != Vector2(1, 2.000001f));
    const Vector2 ca(1, 2), cb(1, 2.000001f);
    EXPECT_FALSE(ca == cb);
    EXPECT_TRUE(ca != cb);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Vector2 n(nan, 0);
    EXPECT_FALSE(n == n);
    EXPECT_TRUE(n != n);
    EXPECT_FALSE(n.IsZero());
}

TEST(Vector2, IsZeroOnlyForExactZerosNegativeZeroIncluded)
{
    EXPECT_TRUE(Vector2(-0.0f, 0).IsZero());
    EXPECT_FALSE(Vector2(1e-30f, 0).IsZero());
    Vector2 z(0, 0);
    Vector2 negated = -z;
    EXPECT_TRUE(std::signbit(negated.x));
    EXPECT_TRUE(negated == z);
}

TEST(Vector2, MemberAndFreeOperatorsAgree)
{
    Vector2 a(1.5f, -2), b(0.25f, 4);
    const Vector2 ca = a, cb = b;
    EXPECT_EQ(a + b, Vector2(1.75f, 2));
    EXPECT_EQ(ca + cb, Vector2(1.75f, 2));
    EXPECT_EQ(a - b, Vector2(1.25f, -6));
    EXPECT_EQ(ca - cb, Vector2(1.25f, -6));
    EXPECT_EQ(a * 2, Vector2(3, -4));
    EXPECT_EQ(ca * 2, Vector2(3, -4));
    EXPECT_EQ(2 * ca, Vector2(3, -4));
    EXPECT_EQ(-a, Vector2(-1.5f, 2));
    EXPECT_EQ(-ca, Vector2(-1.5f, 2));
    Vector2 c = a;
    (c += b) -= Vector2(1, 1);
    EXPECT_EQ(c, Vector2(0.75f, 1));
    (c *= 4) /= 2;
    EXPECT_EQ(c, Vector2(1.5f, 2));
}

TEST(Vector2, DivisionDividesAndAllowsZero)
{
    // A true division: 1/3 * 10 differs from 10/3 in the last bit.
    Vector2 a(10, 10);
    EXPECT_EQ((a / 3.0f).x, 10.0f / 3.0f);
    const Vector2 ca(10, 10);
    EXPECT_EQ((ca / 3.0f).y, 10.0f / 3.0f);
    a /= 3.0f;
    EXPECT_EQ(a.x, 10.0f / 3.0f);
    Vector2 inf = Vector2(1, 2) / 0.0f;
    EXPECT_TRUE(std::isinf(inf.x) && inf.x > 0);
    EXPECT_TRUE(std::isinf(inf.y) && inf.y > 0);
}

TEST(Vector2, LengthAndNormalize)
{
    Vector2 v(3, 4);
    EXPECT_EQ(v.Length(), 5.0f);
    EXPECT_EQ(v.LengthSqr(), 25.0f);
    Vector2& same = v.Normalize();
    EXPECT_EQ(&same, &v);
    // By the reciprocal of the length, as the simulation expects bit for bit.
    EXPECT_EQ(v, Vector2(3 * (1 / 5.0f), 4 * (1 / 5.0f)));
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    // (3, 14) is a vector where the reciprocal and the true division differ in the last bit.
    Vector2 w(3, 14);
    const float length = std::sqrt(3.0f * 3.0f + 14.0f * 14.0f);
    w.Normalize();
    EXPECT_EQ(w.x, 3 * (1 / length));
    EXPECT_NE(w.x, 3 / length);

    Vector2 zero;
    zero.Normalize();
    EXPECT_TRUE(zero.IsZero());
    // A NaN length scales by 0, which leaves the NaN as it is.
    Vector2 nan(std::numeric_limits<float>::quiet_NaN(), 1);
    nan.Normalize();
    EXPECT_TRUE(std::isnan(nan.x));
    EXPECT_EQ(nan.y, 0.0f);

    // Chained on a temporary, as a launch does.
    EXPECT_EQ((Vector2(0, -7) - Vector2(0, 0)).Normalize() * 10, Vector2(0, -10));
}
