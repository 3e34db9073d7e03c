// Sprites on screen: loadBMP's textures and makeQuad's lists as EnemyType and EnemyEffect draw
// them in the game's OpenGL context, read back pixel by pixel.
#include "gl_support.h"

#include "EnemyEffect.h"
#include "EnemyType.h"
#include "util.h"

#include <cstring>
#include <new>

namespace {

// Quadrants: red top left, green top right, blue bottom left, yellow bottom right; no mask pixel.
class SpriteSquare : public GlTest {
protected:
    SpriteSquare() : kind(loadTestSprite("Enemy/Quadrants"), 16, EnemyType::NORMAL) {}
    EnemyType kind;
};

TEST_F(SpriteSquare, CoversExactlyTheSquareFromCentreLessRadiusToCentrePlusRadius)
{
    struct Placement {
        float x, y, radius;
        Box covered;
    };
    // x and y differ, so that swapped axes show; the second radius shows the scale.
    const Placement placements[] = {
        {100, 50, 16, {84, 34, 116, 66}},
        {320, 240, 8, {312, 232, 328, 248}},
    };
    for (const Placement& p : placements) {
        SCOPED_TRACE(testing::Message() << "at (" << p.x << ", " << p.y << ") radius " << p.radius);
        clearFrame();
        kind.draw(Vector2(p.x, p.y), p.radius);
        EXPECT_EQ("", readFrame().coverageMismatch(p.covered, background));
    }
}

TEST_F(SpriteSquare, ShowsTheImagesTopRowOnTopAndItsLeftColumnOnTheLeft)
{
    kind.draw(Vector2(100, 50), 16);
    const Image& frame = readFrame();
    // Away from the quadrant borders, where filtering blends neighbouring texels.
    EXPECT_EQ("", frame.regionMismatch(Box {84, 34, 100, 50}.inner(2), red));
    EXPECT_EQ("", frame.regionMismatch(Box {100, 34, 116, 50}.inner(2), green));
    EXPECT_EQ("", frame.regionMismatch(Box {84, 50, 100, 66}.inner(2), blue));
    EXPECT_EQ("", frame.regionMismatch(Box {100, 50, 116, 66}.inner(2), yellow));
}

TEST_F(SpriteSquare, RadiusZeroDrawsNothing)
{
    kind.draw(Vector2(100, 50), 0);
    EXPECT_EQ("", readFrame().coverageMismatch(Box {0, 0, 0, 0}, background));
}

TEST_F(SpriteSquare, FacesTheViewerSoBackFaceCullingKeepsIt)
{
    ASSERT_TRUE(glIsEnabled(GL_CULL_FACE));
    GLint culled = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &culled);
    ASSERT_EQ(GL_BACK, culled);

    kind.draw(Vector2(100, 50), 16);
    EXPECT_EQ("", readFrame().coverageMismatch(Box {84, 34, 116, 66}, background));

    // The other way round the same quad is a back face and vanishes: culling is really at work,
    // and it is the quad's winding that keeps the sprite in the game.
    clearFrame();
    glFrontFace(GL_CW);
    kind.draw(Vector2(100, 50), 16);
    EXPECT_EQ("", readFrame().coverageMismatch(Box {0, 0, 0, 0}, background));
}

// The world draws every enemy from the matrix it was handed: a sprite or overlay that leaves its
// translation or scale behind moves everything drawn after it.
TEST_F(GlTest, DrawingASpriteOrOverlayLeavesTheModelviewMatrixAndStackAsTheyWere)
{
    const unsigned texture = loadTestSprite("Enemy/Quadrants");
    EnemyType kind(texture, 16, EnemyType::NORMAL);
    EnemyEffect overlay(texture, 0);
    EnemyEffect frontOverlay(texture, 1);

    // Not the identity, and one level deep, so that a reset or a stray push or pop shows.
    glPushMatrix();
    glTranslatef(7, 11, 0);
    glRotatef(30, 0, 0, 1);
    glScalef(2, 3, 1);
    GLfloat before[16], after[16];
    GLint depthBefore = 0, depthAfter = 0;
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);

    kind.draw(Vector2(100, 50), 16);
    overlay.draw(Vector2(100, 50), 16);
    frontOverlay.draw(Vector2(100, 50), 16);

    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    glPopMatrix();
    EXPECT_EQ(depthBefore, depthAfter);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(before[i], after[i]) << "element " << i;
}

// ---------------------------------------------------------------- textures and lists

TEST_F(GlTest, EveryLoadOfASpriteMakesANewTexture)
{
    const unsigned first = loadTestSprite("Enemy/Red");
    const unsigned second = loadTestSprite("Enemy/Red");
    EXPECT_NE(0u, first);
    EXPECT_NE(0u, second);
    EXPECT_NE(first, second);
    EXPECT_TRUE(glIsTexture(first));
    EXPECT_TRUE(glIsTexture(second));
}

TEST_F(GlTest, EveryQuadOfATextureIsANewList)
{
    const unsigned texture = loadTestSprite("Enemy/Red");
    const unsigned first = makeQuad(texture);
    const unsigned second = makeQuad(texture);
    EXPECT_NE(0u, first);
    EXPECT_NE(0u, second);
    EXPECT_NE(first, second);
    EXPECT_TRUE(glIsList(first));
    EXPECT_TRUE(glIsList(second));
}

GLint boundAfterCalling(unsigned list, unsigned boundBefore)
{
    glBindTexture(GL_TEXTURE_2D, boundBefore);
    glCallList(list);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    return bound;
}

TEST_F(GlTest, ANewKindHasNoInfectedAndAListThatBindsItsOwnTexture)
{
    const unsigned red = loadTestSprite("Enemy/Red");
    const unsigned green = loadTestSprite("Enemy/Green");

    // Built over junk, so that a count the constructor forgot cannot pass as 0 by luck.
    alignas(EnemyType) unsigned char storage[sizeof(EnemyType)];
    std::memset(storage, 0x5a, sizeof storage);
    EnemyType* kind = new (storage) EnemyType(red, 12, EnemyType::HARD);
    EXPECT_EQ(0, kind->infectedCount);
    EXPECT_EQ(red, kind->texture);
    EXPECT_EQ(12.0f, kind->radius);
    EXPECT_EQ(EnemyType::HARD, kind->initialState);
    EXPECT_TRUE(glIsList(kind->displayList));

    EnemyType other(green, 16, EnemyType::NORMAL);
    EnemyEffect overlay(green, 0);
    EXPECT_EQ(GLint(red), boundAfterCalling(kind->displayList, green));
    EXPECT_EQ(GLint(green), boundAfterCalling(other.displayList, red));
    EXPECT_EQ(GLint(green), boundAfterCalling(overlay.displayList, red));
    kind->~EnemyType();
}

} // namespace
