// The depth at which an overlay is drawn. The game draws without a depth test, so the depth never
// shows in a picture; these tests watch it in OpenGL's feedback mode instead. There the commands
// run as in drawing, but rather than pixels OpenGL hands back every polygon it would rasterise,
// as the window coordinates of its vertices, depth included. The overlay's vertices are compared
// with those of a plain square that the test itself draws at a known depth.
#include "gl_support.h"

#include "EnemyEffect.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

struct WindowVertex {
    float x, y, z;
};

// The vertices of every polygon that draw would put on screen.
std::vector<WindowVertex> fedBack(const std::function<void()>& draw)
{
    std::vector<GLfloat> buffer(1024);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflow";

    std::vector<WindowVertex> vertices;
    for (GLint i = 0; i < used;) {
        const GLint token = GLint(buffer[size_t(i++)]);
        if (token != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "feedback token " << token << " where only polygons were expected";
            break;
        }
        const GLint count = GLint(buffer[size_t(i++)]);
        for (GLint v = 0; v < count; ++v, i += 3)
            vertices.push_back({buffer[size_t(i)], buffer[size_t(i + 1)], buffer[size_t(i + 2)]});
    }
    return vertices;
}

// A square from (x - r, y - r) to (x + r, y + r) at eye depth z, facing the viewer.
void drawSquareAt(float x, float y, float r, float z)
{
    glBegin(GL_QUADS);
    glVertex3f(x + r, y + r, z);
    glVertex3f(x + r, y - r, z);
    glVertex3f(x - r, y - r, z);
    glVertex3f(x - r, y + r, z);
    glEnd();
}

struct Extent {
    float minX, maxX, minY, maxY, minZ, maxZ;
};

Extent extentOf(const std::vector<WindowVertex>& vertices)
{
    Extent e {1e9f, -1e9f, 1e9f, -1e9f, 1e9f, -1e9f};
    for (const WindowVertex& v : vertices) {
        e.minX = std::min(e.minX, v.x), e.maxX = std::max(e.maxX, v.x);
        e.minY = std::min(e.minY, v.y), e.maxY = std::max(e.maxY, v.y);
        e.minZ = std::min(e.minZ, v.z), e.maxZ = std::max(e.maxZ, v.z);
    }
    return e;
}

struct DepthCase {
    int front;
    float eyeDepth;
};
void PrintTo(const DepthCase& c, std::ostream* out)
{
    *out << "front " << c.front << ", depth " << c.eyeDepth;
}

class OverlayDepth : public GlTest, public testing::WithParamInterface<DepthCase> {};

// Only front == 1 brings the overlay forward to depth +1; every other value sends it back to -1.
TEST_P(OverlayDepth, FollowsFront)
{
    const DepthCase c = GetParam();
    EnemyEffect overlay(loadTestSprite("Effects/RightHalfBlue"), c.front);

    const std::vector<WindowVertex> overlayVertices
        = fedBack([&] { overlay.draw(Vector2(200, 100), 8); });
    const std::vector<WindowVertex> squareVertices
        = fedBack([&] { drawSquareAt(200, 100, 8, c.eyeDepth); });
    const std::vector<WindowVertex> otherVertices
        = fedBack([&] { drawSquareAt(200, 100, 8, -c.eyeDepth); });
    ASSERT_FALSE(overlayVertices.empty()) << "the overlay was clipped or culled away";
    ASSERT_FALSE(squareVertices.empty());
    ASSERT_FALSE(otherVertices.empty());
    const Extent drawn = extentOf(overlayVertices);
    const Extent expected = extentOf(squareVertices);
    const Extent other = extentOf(otherVertices);

    // The two depths come out a whole unit apart in the window; the overlay must sit on the one
    // its front asks for. (Translation and scale round a little differently from the plain
    // square's vertices, hence the small tolerances.)
    ASSERT_GT(std::abs(expected.minZ - other.minZ), 0.5f);
    EXPECT_NEAR(expected.minZ, drawn.minZ, 1e-4f);
    EXPECT_NEAR(expected.maxZ, drawn.maxZ, 1e-4f);
    // And the overlay lies on its enemy's square.
    EXPECT_NEAR(expected.minX, drawn.minX, 1e-3f);
    EXPECT_NEAR(expected.maxX, drawn.maxX, 1e-3f);
    EXPECT_NEAR(expected.minY, drawn.minY, 1e-3f);
    EXPECT_NEAR(expected.maxY, drawn.maxY, 1e-3f);
}

INSTANTIATE_TEST_SUITE_P(Front, OverlayDepth,
    testing::Values(
        DepthCase {1, 1.0f}, DepthCase {0, -1.0f}, DepthCase {2, -1.0f}, DepthCase {-1, -1.0f}),
    [](const testing::TestParamInfo<DepthCase>& info) {
        return info.param.front < 0 ? std::string("Minus1")
                                    : "Is" + std::to_string(info.param.front);
    });

} // namespace
