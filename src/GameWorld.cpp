#include "GameWorld.h"

#include "util.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace {

// The hard ball's kind follows the aliens', in the order of GameWorld::enemyTypes and of their
// sprites.
const int hardBallKind = hardBallSprite;
const int alienRows = 7;
const int gridPitch = 34;
const float kindRadius = 16;

// The rules of a step.
const int dissolveAbove = 2;          // a kind dissolves with three or more infected
const float launchStopRadiusSqr = 25; // the picked alien rests within 5 of the launch point
const float launchPull = 10000;       // pull on the picked alien towards the launch point
const float speedLimit = 5;           // pixels per step
const float timeStep = 1.0f / 60;     // seconds per step
const float removalRadius = 1;        // dissolved bodies smaller than this are gone

// The pair passes.
const float attractionRange = 8; // attract while r1 * r2 * 8 > squared distance
const float attractionStrength = 10000;
const int touchTimerCap = 5;

// The launch.
const float launchImpulse = 10;
const int launchedTimer = 120;

// Visits every unordered pair of enemies once, the one earlier in the list first; each pair
// sees what the pairs before it changed.
template <class PairRule> void forEachPair(std::list<Enemy>& enemies, PairRule rule)
{
    if (enemies.size() < 2)
        return;
    const std::list<Enemy>::iterator last = std::prev(enemies.end());
    for (std::list<Enemy>::iterator i = enemies.begin(); i != last; ++i)
        for (std::list<Enemy>::iterator j = std::next(i); j != enemies.end(); ++j)
            rule(&*i, &*j);
}

// The pull between a and b: adds it to both accelerations when they are near enough.
void attract(Enemy* a, Enemy* b)
{
    Vector2 d = distance(a, b);
    const float q = d.LengthSqr();
    // The picked alien neither pulls nor is pulled; coincident centres have no direction.
    if (a->state == EnemyType::SELECTED || b->state == EnemyType::SELECTED || q == 0)
        return;
    if (b->radius * a->radius * attractionRange > q) {
        d.Normalize();
        d *= b->radius * a->radius * attractionStrength / q;
        a->acceleration += -d;
        b->acceleration += d;
    }
}

// Pushes an overlapping pair apart and lets the infection pass between them; true when they
// overlapped and were moved.
bool collide(Enemy* a, Enemy* b)
{
    Vector2 c = collisionCheck(a, b);
    if (c.IsZero())
        return false;
    a->position += c / 2;
    b->position += -c / 2;

    if (a->state == EnemyType::INFECTED && b->state != EnemyType::INFECTED)
        infect(a, b);
    if (b->state == EnemyType::INFECTED && a->state != EnemyType::INFECTED)
        infect(b, a);

    // Touching aliens of one kind shorten each other's infection, a fired one included.
    if (a->type == b->type) {
        if (a->timer > touchTimerCap)
            a->timer = touchTimerCap;
        if (b->timer > touchTimerCap)
            b->timer = touchTimerCap;
    }
    return true;
}

} // namespace

GameWorld::GameWorld() : launchPoint(0, 0), size(0, 0), gravity(0, 0), selected(false) {}

void GameWorld::loadLevel()
{
    size = Vector2(640, 480);
    launchPoint = Vector2(size.x * 0.5f, size.y - 25);
    gravity = Vector2(0, 40);

    // Each sprite is loaded just before its kind is made.
    for (int kind = 0; kind <= hardBallKind; ++kind) {
        const unsigned texture = loadBMP(spritePaths[kind]);
        const int initialState = kind == hardBallKind ? EnemyType::HARD : EnemyType::NORMAL;
        enemyTypes.push_back(
            boost::shared_ptr<EnemyType>(new EnemyType(texture, kindRadius, initialState)));
    }

    // The aliens, column by column, top to bottom; one rand() per alien decides its colour.
    for (int c = 0; std::floor(size.x / gridPitch) > c; ++c) {
        for (int r = 0; r < alienRows; ++r) {
            boost::shared_ptr<EnemyType> kind = enemyTypes[rand() % alienKinds];
            Vector2 at(float(gridPitch * c + 28), float(gridPitch * r + 38));
            enemies.push_back(Enemy(at, kind, 0));
        }
    }

    // The hard balls along the top, left to right.
    for (int c = 0; std::floor(size.x / gridPitch) > c; ++c) {
        Vector2 at(float(gridPitch * c + 15), 17.0f);
        enemies.push_back(Enemy(at, enemyTypes[hardBallKind], 0));
    }

    effects.push_back(EnemyEffect(loadBMP(spritePaths[infectionSprite]), 0));
}

bool GameWorld::step()
{
    // Push the overlaps apart before anything moves, twice, then let near neighbours attract.
    collisionConstraint();
    collisionConstraint();
    attractForces();
    return finishStep();
}

bool GameWorld::stepAllPairs()
{
    collisionConstraintAllPairs();
    collisionConstraintAllPairs();
    attractForcesAllPairs();
    return finishStep();
}

bool GameWorld::finishStep()
{
    // Kinds that had three or more infected in the last step dissolve all their infected.
    for (size_t k = 0; k < enemyTypes.size(); ++k) {
        EnemyType* kind = enemyTypes[k].get();
        if (kind->infectedCount > dissolveAbove) {
            for (Enemy& e : enemies)
                if (e.type.get() == kind && e.state == EnemyType::INFECTED)
                    e.state = EnemyType::DISOLVING;
        }
        kind->infectedCount = 0;
    }

    std::list<Enemy>::iterator it = enemies.begin();
    while (it != enemies.end()) {
        Enemy& e = *it;
        if (e.state == EnemyType::SELECTED) {
            // The picked alien is pulled to the launch point and held still once there.
            Vector2 toLaunch = e.position - launchPoint;
            if (toLaunch.LengthSqr() < launchStopRadiusSqr) {
                e.oldPosition = e.position;
            } else {
                Vector2 pull = launchPoint - e.position;
                e.acceleration += pull.Normalize() * launchPull;
            }
        }
        e.acceleration += gravity;
        e.applyBoxContraint(size);
        e.enforceSpeedLimit(speedLimit);
        e.step(timeStep);

        if (e.state == EnemyType::INFECTED)
            ++e.type->infectedCount;

        // A body whose centre sinks past the floor ends the game.
        if (e.position.y > size.y - e.radius)
            return false;

        if (e.radius < removalRadius)
            it = enemies.erase(it);
        else
            ++it;
    }
    return true;
}

void GameWorld::listInOrder()
{
    inOrder.clear();
    for (Enemy& e : enemies)
        inOrder.push_back(&e);
}

// Pairs that are not near enough to pull add nothing, so visiting only the listed ones, in the
// order of all pairs, adds the same numbers in the same order to every acceleration. A pair off
// the list stands at least sqrt(2) (|r1| + |r2|) (1 + 2^-21) + 2^-41 apart along x or y; its
// single precision q loses less than 2^-22 of the square of that, so q stays at or above
// r1 * r2 * 8 however that product rounds, and the pair would get nothing from the test anyway.
void GameWorld::attractForces()
{
    listInOrder();
    pulling.forEachNearPair(inOrder, attract);
}

void GameWorld::attractForcesAllPairs() { forEachPair(enemies, attract); }

// Pairs that do not touch change nothing, so visiting only the listed ones in the order of all
// pairs gives the same pass, as long as every body stays within the margin of where the list saw
// it, which the list sees to (near_pairs.h). A pair off the list is then at least |r1| + |r2|
// apart along x or y, and since rounding never reverses an order, collisionCheck's box test fails
// for it in single precision too.
void GameWorld::collisionConstraint()
{
    listInOrder();
    touching.forEachNearPairMoving(inOrder, collide);
}

void GameWorld::collisionConstraintAllPairs() { forEachPair(enemies, collide); }

void GameWorld::mouseButton(Vector2 point)
{
    if (!selected) {
        // Pick the first free alien under the pointer.
        for (Enemy& e : enemies) {
            if (e.selectCheck(point) && e.state == EnemyType::NORMAL) {
                e.state = EnemyType::SELECTED;
                selected = true;
                return;
            }
        }
        return;
    }

    // Fire the picked alien from the launch point towards the pointer.
    for (Enemy& e : enemies) {
        if (e.state == EnemyType::SELECTED || e.state == EnemyType::READY) {
            e.position += (point - launchPoint).Normalize() * launchImpulse;
            selected = false;
            e.state = EnemyType::INFECTED;
            e.timer = launchedTimer;
            return;
        }
    }
    // The picked alien caught an infection on its way and is no longer ours to fire: let the
    // player pick again rather than leave every later click without effect.
    selected = false;
}

void GameWorld::useExtraCycles() { collisionConstraint(); }

void GameWorld::causeDestruction(std::list<Enemy>::iterator, std::list<Enemy>::iterator) {}

// Each sprite bound for drawing costs the software driver a copy of its drawing state, so the
// enemies are drawn kind by kind, the overlays last, rather than in the list's order, which
// changes kind at nearly every enemy. What covers what stays the list's: each enemy is drawn at a
// depth of its own, nearer the later it comes in the list, and its overlay at the same depth, and
// the depth test, on a depth buffer cleared as the draw starts, keeps the nearest. The alpha test
// drops a masked texel before it reaches the depth buffer, so a masked texel hides nothing, as
// before. Nothing but the depth differs from drawing in order: the same sprites, squares and
// texture coordinates, so the same pixels.
void GameWorld::draw()
{
    glEnable(GL_TEXTURE_2D);
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_ALPHA_TEST);
    auto wearsOverlay = [](const Enemy& enemy) {
        return enemy.state == EnemyType::INFECTED || enemy.state == EnemyType::DISOLVING;
    };

    // The depths step from the back to the front of the projection's depth range (-1 to 1, the
    // nearer the greater), one step an enemy, each step at least two of the depth buffer's units.
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    const double depthUnits = std::ldexp(1.0, std::min(int(depthBits), 24));
    const float depthStep = 2.0f / float(enemies.size() + 2);
    if (depthBits <= 0 || depthStep < 4 / depthUnits) {
        // Too few depths for the enemies: in the list's order.
        for (Enemy& enemy : enemies) {
            enemy.type->draw(enemy.position, enemy.radius);
            if (wearsOverlay(enemy))
                effects[0].draw(enemy.position, enemy.radius);
        }
        glDisable(GL_ALPHA_TEST);
        return;
    }

    // Draws each enemy that chosen picks at its depth: a translation along z ahead of the
    // enemy's own transform, and then a scale along z, 0 to flatten an overlay's own depth onto
    // its enemy's.
    auto drawAtDepths = [&](auto chosen, float zScale, auto draw) {
        float depth = -1;
        for (Enemy& enemy : enemies) {
            depth += depthStep;
            if (!chosen(enemy))
                continue;
            glPushMatrix();
            glTranslatef(0, 0, depth);
            glScalef(1, 1, zScale);
            draw(enemy);
            glPopMatrix();
        }
    };
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    std::vector<const EnemyType*> drawnKinds;
    for (const Enemy& first : enemies) {
        const EnemyType* kind = first.type.get();
        if (std::find(drawnKinds.begin(), drawnKinds.end(), kind) != drawnKinds.end())
            continue;
        drawnKinds.push_back(kind);
        drawAtDepths([&](const Enemy& enemy) { return enemy.type.get() == kind; }, 1,
            [](Enemy& enemy) { enemy.type->draw(enemy.position, enemy.radius); });
    }
    drawAtDepths(
        wearsOverlay, 0, [&](Enemy& enemy) { effects[0].draw(enemy.position, enemy.radius); });
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
}
