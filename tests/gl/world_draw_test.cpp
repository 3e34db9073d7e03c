// GameWorld::draw in the game's OpenGL context: the state it leaves, which enemies get the
// infection overlay and at what size, the mask, and what covers what, which is the list's order
// although the draw goes kind by kind.
#include "gl_support.h"

#include "GameWorld.h"
#include "scripted_play.h"

#include <boost/shared_ptr.hpp>
#include <cstdlib>

namespace {

// Kinds whose sprites are one solid colour, and the overlay: mask on its left half, blue on its
// right half, so that a picture shows both the sprite under it and the overlay's own extent.
struct Sprites {
    boost::shared_ptr<EnemyType> red, green, pinkTopLeft;
    unsigned overlay;
};

const Sprites& sprites()
{
    static const Sprites loaded {
        boost::shared_ptr<EnemyType>(new EnemyType(loadTestSprite("Enemy/Red"), 16, 0)),
        boost::shared_ptr<EnemyType>(new EnemyType(loadTestSprite("Enemy/Green"), 16, 0)),
        boost::shared_ptr<EnemyType>(new EnemyType(loadTestSprite("Enemy/PinkTopLeft"), 16, 0)),
        loadTestSprite("Effects/RightHalfBlue"),
    };
    return loaded;
}

class WorldDraw : public GlTest {
protected:
    // The game's overlay sits behind (front 0).
    WorldDraw() { world.effects.push_back(EnemyEffect(sprites().overlay, 0)); }

    Enemy& add(const boost::shared_ptr<EnemyType>& kind, float x, float y, float radius, int state)
    {
        world.enemies.push_back(Enemy(Vector2(x, y), kind, radius));
        world.enemies.back().state = state;
        return world.enemies.back();
    }

    GameWorld world;
};

// What drawing leaves behind: texturing on, the alpha function kept, the alpha test off again.
static void expectStateAfterDraw()
{
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    GLint function = 0;
    GLfloat reference = 0;
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &function);
    glGetFloatv(GL_ALPHA_TEST_REF, &reference);
    EXPECT_EQ(GL_GREATER, function);
    EXPECT_EQ(0.5f, reference);
}

TEST_F(WorldDraw, EmptyWorldOnlySetsTexturingAndTheAlphaTest)
{
    GameWorld empty;
    // Everything the other way, so that each setting the draw makes shows.
    glDisable(GL_TEXTURE_2D);
    glAlphaFunc(GL_LESS, 0.25f);
    glEnable(GL_ALPHA_TEST);
    GLfloat matrixBefore[16], matrixAfter[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixBefore);

    empty.draw();

    expectStateAfterDraw();
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixAfter);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(matrixBefore[i], matrixAfter[i]) << "element " << i;
    EXPECT_EQ("", readFrame().coverageMismatch(Box {0, 0, 0, 0}, background));
}

TEST_F(WorldDraw, WorldWithEnemiesLeavesTheSameState)
{
    add(sprites().red, 100, 100, 16, EnemyType::INFECTED);
    add(sprites().green, 200, 100, 16, EnemyType::NORMAL);
    glAlphaFunc(GL_LESS, 0.25f);

    world.draw();

    expectStateAfterDraw();
}

TEST_F(WorldDraw, MaskColouredTexelsLeaveTheBackground)
{
    add(sprites().pinkTopLeft, 100, 50, 16, EnemyType::NORMAL);
    world.draw();
    const Image& frame = readFrame();
    EXPECT_EQ("", frame.regionMismatch(Box {84, 34, 100, 50}.inner(2), background));
    EXPECT_EQ("", frame.regionMismatch(Box {100, 34, 116, 50}.inner(2), green));
    EXPECT_EQ("", frame.regionMismatch(Box {84, 50, 100, 66}.inner(2), blue));
    EXPECT_EQ("", frame.regionMismatch(Box {100, 50, 116, 66}.inner(2), yellow));

    // Without the alpha test the masked corner does get painted: it is the test that drops it.
    clearFrame();
    sprites().pinkTopLeft->draw(Vector2(100, 50), 16);
    EXPECT_FALSE(near(readFrame().at(91, 41), background, 4));
}

struct StateCase {
    int state;
    const char* name;
    bool overlaid;
};
void PrintTo(const StateCase& c, std::ostream* out) { *out << c.name; }

class OverlayByState : public WorldDraw, public testing::WithParamInterface<StateCase> {};

// An enemy of radius 10 (its kind's is 16) at (200, 150): sprite and overlay both cover columns
// 190..209 and rows 140..159 and nothing more; the overlay's blue half is the right one.
TEST_P(OverlayByState, OnlyInfectedAndDissolvingEnemiesWearTheOverlayAtTheirOwnRadius)
{
    add(sprites().red, 200, 150, 10, GetParam().state);
    world.draw();
    const Image& frame = readFrame();
    EXPECT_EQ("", frame.coverageMismatch(Box {190, 140, 210, 160}, background));
    EXPECT_EQ("", frame.regionMismatch(Box {190, 140, 200, 160}.inner(2), red));
    EXPECT_EQ("",
        frame.regionMismatch(Box {200, 140, 210, 160}.inner(2), GetParam().overlaid ? blue : red));
}

INSTANTIATE_TEST_SUITE_P(States, OverlayByState,
    testing::Values(StateCase {EnemyType::NORMAL, "Normal", false},
        StateCase {EnemyType::HARD, "Hard", false},
        StateCase {EnemyType::SELECTED, "Selected", false},
        StateCase {EnemyType::READY, "Ready", false},
        StateCase {EnemyType::INFECTED, "Infected", true},
        StateCase {EnemyType::DISOLVING, "Dissolving", true}),
    [](const testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

// Two enemies of radius 16 at (100, 100) and (116, 116) share columns 100..115, rows 100..115.
const Box firstOnly {84, 84, 100, 116};    // left half of the first
const Box overlap {100, 100, 116, 116};    // both
const Box secondOnly {116, 100, 132, 132}; // right half of the second
const Box firstTopRight {100, 84, 116, 100};

TEST_F(WorldDraw, LaterEnemiesInTheListCoverEarlierOnes)
{
    add(sprites().red, 100, 100, 16, EnemyType::NORMAL);
    add(sprites().green, 116, 116, 16, EnemyType::NORMAL);
    world.draw();
    const Image& redFirst = readFrame();
    EXPECT_EQ("", redFirst.regionMismatch(firstOnly.inner(2), red));
    EXPECT_EQ("", redFirst.regionMismatch(overlap.inner(2), green));
    EXPECT_EQ("", redFirst.regionMismatch(secondOnly.inner(2), green));

    // The same two in the other order.
    world.enemies.reverse();
    clearFrame();
    world.draw();
    const Image& greenFirst = readFrame();
    EXPECT_EQ("", greenFirst.regionMismatch(firstOnly.inner(2), red));
    EXPECT_EQ("", greenFirst.regionMismatch(overlap.inner(2), red));
    EXPECT_EQ("", greenFirst.regionMismatch(secondOnly.inner(2), green));
}

TEST_F(WorldDraw, AnOverlayLiesOverItsOwnEnemyButUnderTheNext)
{
    add(sprites().red, 100, 100, 16, EnemyType::INFECTED);
    add(sprites().green, 116, 116, 16, EnemyType::NORMAL);
    world.draw();
    const Image& frame = readFrame();
    EXPECT_EQ("", frame.regionMismatch(firstOnly.inner(2), red));      // the overlay's mask half
    EXPECT_EQ("", frame.regionMismatch(firstTopRight.inner(2), blue)); // over its own sprite
    EXPECT_EQ("", frame.regionMismatch(overlap.inner(2), green));      // under the next enemy
}

// Each enemy in the list's order, its overlay right after it: the picture the draw must give.
void drawInListOrder(GameWorld& world)
{
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_ALPHA_TEST);
    for (Enemy& enemy : world.enemies) {
        enemy.type->draw(enemy.position, enemy.radius);
        if (enemy.state == EnemyType::INFECTED || enemy.state == EnemyType::DISOLVING)
            world.effects[0].draw(enemy.position, enemy.radius);
    }
    glDisable(GL_ALPHA_TEST);
}

// The level with the game's sprites, played by the tests' script: the heap, the hard balls over
// it, the shots' infected and dissolving aliens shrinking away. Every pixel as in the list's order.
TEST_F(GlTest, ALevelInPlayLooksPixelForPixelAsItsEnemiesDrawnInTheListsOrder)
{
    GameWorld world;
    srand(2024);
    world.loadLevel();
    int overlaid = 0;
    for (int s = 1; s <= 1200 && playScriptedStep(world, s).goesOn; ++s) {
        // After each shot, as its infection spreads and the infected dissolve.
        if (s % 150 < 62 || s % 20 != 2)
            continue;
        for (const Enemy& enemy : world.enemies)
            overlaid += enemy.state == EnemyType::INFECTED || enemy.state == EnemyType::DISOLVING;
        clearFrame();
        world.draw();
        const Image byKind = readBackBuffer();
        clearFrame();
        drawInListOrder(world);
        const Image inOrder = readBackBuffer();
        if (byKind.pixels != inOrder.pixels) {
            byKind.save("gl-failure-by-kind.png");
            inOrder.save("gl-failure-in-order.png");
            FAIL() << "the two differ at step " << s << ": gl-failure-by-kind.png, "
                   << "gl-failure-in-order.png";
        }
    }
    EXPECT_GT(overlaid, 10) << "the script should infect aliens";
}

} // namespace
