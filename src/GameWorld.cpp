#include "GameWorld.h"

#include "util.h"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace {

// The kinds of the level, in the order of GameWorld::enemyTypes and of their sprites: six aliens,
// then the hard ball.
const int alienKinds = 6;
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
// A collision pass lists its near pairs afresh after bodies moved past the margin at most twice,
// and only while the list is short (a heap has 3 to 5 partners per enemy); a pass that keeps
// pushing bodies that far (a stack of them on one centre), or a crowd, is finished over every
// pair instead.
const int relistingsPerPass = 2;
const size_t partnersForRelisting = 16; // per enemy

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

// The same order from the pair (i, j) on: (i, j) to (i, n-1), then every pair of the later ones.
template <class PairRule>
void forEachPairFrom(const std::vector<Enemy*>& enemies, size_t i, size_t j, PairRule rule)
{
    const size_t n = enemies.size();
    for (; i + 1 < n; ++i, j = i + 1)
        for (; j < n; ++j)
            rule(enemies[i], enemies[j]);
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
    if (!pulling.fit(inOrder)) {
        forEachPairFrom(inOrder, 0, 1, attract);
        return;
    }
    for (size_t i = 0; i + 1 < inOrder.size(); ++i)
        for (int k = pulling.first[i]; k < pulling.first[i + 1]; ++k)
            attract(inOrder[i], inOrder[size_t(pulling.partners[size_t(k)])]);
}

void GameWorld::attractForcesAllPairs() { forEachPair(enemies, attract); }

// Pairs that do not touch change nothing, so visiting only the listed ones in the order of all
// pairs gives the same pass, as long as every body stays within the margin of where the list
// saw it. A pair off the list is then at least |r1| + |r2| apart along x or y, and since rounding
// never reverses an order, collisionCheck's box test fails for it in single precision too. The
// two bodies a correction moves are checked at once; when one of them has strayed further, a
// pair off the list could touch later in the pass, so the pairs are listed afresh from where
// everyone stands now and the pass goes on with the listed pairs after this one. When that
// happens too often in one pass, or no grid fits the world any more, the rest of the pass visits
// every pair from the next one on.
void GameWorld::collisionConstraint()
{
    listInOrder();
    if (!touching.fit(inOrder)) {
        forEachPairFrom(inOrder, 0, 1, collide);
        return;
    }
    const size_t n = inOrder.size();
    int relistings = 0;
    size_t i = 0;
    int k = touching.first[0]; // the rows of partners follow each other: k runs through them all
    while (i + 1 < n) {
        if (k == touching.first[i + 1]) {
            ++i;
            continue;
        }
        const size_t j = size_t(touching.partners[size_t(k++)]);
        Enemy* a = inOrder[i];
        Enemy* b = inOrder[j];
        if (!collide(a, b) || (touching.stillNear(i, *a) && touching.stillNear(j, *b)))
            continue;
        ++touching.overruns;
        if (relistings++ == relistingsPerPass || touching.partners.size() > partnersForRelisting * n
            || !touching.listAfresh(inOrder)) {
            ++touching.fallbacks;
            touching.forget();
            forEachPairFrom(inOrder, i, j + 1, collide);
            return;
        }
        const auto row = touching.partners.begin();
        k = int(
            std::upper_bound(row + touching.first[i], row + touching.first[i + 1], int(j)) - row);
    }
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

void GameWorld::draw()
{
    glEnable(GL_TEXTURE_2D);
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_ALPHA_TEST);
    for (Enemy& enemy : enemies) {
        enemy.type->draw(enemy.position, enemy.radius);
        if (enemy.state == EnemyType::INFECTED || enemy.state == EnemyType::DISOLVING)
            effects[0].draw(enemy.position, enemy.radius);
    }
    glDisable(GL_ALPHA_TEST);
}

// ---------------------------------------------------------------- near pairs

// Why a uniform grid: the enemies are circles of nearly one size (16, only dissolving ones are
// smaller) packed into a box, so a square cell a little wider than the farthest reach of a pair
// holds a handful of enemies, every pair that can act lies in two cells side by side, and the
// cells are found with one division per coordinate and counted into place in two linear sweeps.
// A tree or a sort along one axis would adapt to sizes and crowding that the game never has.
//
// Why the list may be kept from pass to pass: a collision pass moves the bodies by fractions of a
// pixel, a frame runs some thirty of them, and a settled heap hardly moves between steps. Listing
// with a margin of a quarter of the largest radius lets one list serve until somebody has moved
// that far from where it stood; whoever checks an enemy against its place sees at once when that
// is so.
//
// Rounding. What the list promises is stated in exact arithmetic: no pair outside it is closer
// than reachPerRadius (r1 + r2) + 2 margin along x or along y, measured between the centres where
// they stood when listed. The tests that decide it are made in double precision on single
// precision numbers, with a relative slack of 2^-20 and an absolute one of 2^-40 added to every
// distance that admits a pair and taken off the margin that keeps a list; double rounding is
// 2^-53, so no rounding can drop a pair; the absolute slack also gives a cell some width when
// every radius is 0. Coordinates and radii beyond 10^12 are refused, so that no single precision
// square of a distance or product of radii in the passes overflows.
namespace {

const double slack = 1.0 / (1 << 20);
const double tiny = slack * slack;
const double farthest = 1e12;

// Sorts one enemy's partners: a handful by insertion, a crowd by std::sort.
void inListOrder(std::vector<int>::iterator first, std::vector<int>::iterator last)
{
    if (last - first > 16) {
        std::sort(first, last);
        return;
    }
    for (auto p = first; p != last; ++p)
        for (auto q = p; q != first && q[-1] > q[0]; --q)
            std::iter_swap(q - 1, q);
}

} // namespace

NearPairs::NearPairs(double reachPerRadius, double marginPerRadius)
    : reachPerRadius(reachPerRadius), marginPerRadius(marginPerRadius)
{
}

bool NearPairs::fit(const std::vector<Enemy*>& enemies)
{
    return (listed && holds(enemies)) || listAfresh(enemies);
}

bool NearPairs::listAfresh(const std::vector<Enemy*>& enemies)
{
    listed = list(enemies);
    if (!listed)
        ++unfit;
    return listed;
}

bool NearPairs::holds(const std::vector<Enemy*>& enemies) const
{
    if (enemies.size() != places.size())
        return false;
    for (size_t k = 0; k < enemies.size(); ++k) {
        const Enemy& e = *enemies[k];
        if (!(std::fabs(e.radius) <= places[k].radius && stillNear(k, e)))
            return false;
    }
    return true;
}

bool NearPairs::list(const std::vector<Enemy*>& enemies)
{
    const size_t n = enemies.size();
    places.resize(n);
    spots.resize(n);
    double largest = 0;
    double left = 0, right = 0, top = 0, bottom = 0;
    for (size_t k = 0; k < n; ++k) {
        const Enemy& e = *enemies[k];
        const Place p = {e.position.x, e.position.y, std::fabs(e.radius)};
        // Written so that NaN fails too.
        if (!(std::fabs(p.x) <= farthest && std::fabs(p.y) <= farthest && p.radius <= farthest))
            return false;
        places[k] = p;
        largest = std::max(largest, double(p.radius));
        left = k == 0 ? p.x : std::min(left, double(p.x));
        right = k == 0 ? p.x : std::max(right, double(p.x));
        top = k == 0 ? p.y : std::min(top, double(p.y));
        bottom = k == 0 ? p.y : std::max(bottom, double(p.y));
    }
    const double margin = marginPerRadius * largest;
    nearLimit = margin * (1 - slack);
    // Half the distance that admits a pair, slack included: a pair is listed while it is closer
    // than the sum of its two halves along x and along y.
    for (size_t k = 0; k < n; ++k) {
        const Place& p = places[k];
        spots[k] = {p.x, p.y, (reachPerRadius * p.radius + margin) * (1 + slack) + tiny};
    }

    // A cell is wider than the reach of the largest pair, margins and slack included, so that a
    // pair that may act stands in two cells that touch, corners included. A world spread far and
    // thin gets fewer, larger cells: never more than four per enemy.
    double cell = 2 * ((reachPerRadius * largest + margin) * (1 + slack) + tiny) * (1 + slack);
    const double most = 4.0 * double(n) + 64;
    double across = (right - left) / cell, down = (bottom - top) / cell;
    while ((std::floor(across) + 1) * (std::floor(down) + 1) > most) {
        cell *= 2;
        across = (right - left) / cell;
        down = (bottom - top) / cell;
    }
    const int columns = int(across) + 1;
    const int rows = int(down) + 1;

    // Enemies into cells, each cell in list order. An enemy's column is no larger than the
    // rightmost enemy's, computed the same way, so it stays inside the grid.
    cellOf.resize(n);
    cellStart.assign(size_t(columns) * size_t(rows) + 1, 0);
    size_t pairsInCells = 0;
    for (size_t k = 0; k < n; ++k) {
        const int column = int((spots[k].x - left) / cell);
        const int row = int((spots[k].y - top) / cell);
        cellOf[k] = row * columns + column;
        pairsInCells += size_t(cellStart[size_t(cellOf[k]) + 1]++);
    }
    // A crowd, where the pairs that share a cell are more than a sixteenth of all pairs (the
    // level's heap has a sixtieth at most), is cheaper to pass over every pair than to list: the
    // nine cells around the enemies hold most pairs.
    if (pairsInCells > n * (n - 1) / 32 + 64)
        return false;
    for (size_t c = 1; c < cellStart.size(); ++c)
        cellStart[c] += cellStart[c - 1];
    cellItems.resize(n);
    cursor.assign(cellStart.begin(), cellStart.end() - 1);
    for (size_t k = 0; k < n; ++k)
        cellItems[size_t(cursor[size_t(cellOf[k])]++)] = int(k);

    // Each enemy's later partners, from the nine cells around it, in list order. A cell's cursor
    // moves past its enemies that come no later than the one at hand, so each is passed once.
    cursor.assign(cellStart.begin(), cellStart.end() - 1);
    first.resize(n + 1);
    partners.clear();
    for (size_t i = 0; i < n; ++i) {
        const size_t row = partners.size();
        first[i] = int(row);
        const Spot a = spots[i];
        const int column = cellOf[i] % columns, line = cellOf[i] / columns;
        for (int r = std::max(line - 1, 0); r <= std::min(line + 1, rows - 1); ++r) {
            for (int c = std::max(column - 1, 0); c <= std::min(column + 1, columns - 1); ++c) {
                const size_t cellIndex = size_t(r) * size_t(columns) + size_t(c);
                const int end = cellStart[cellIndex + 1];
                int s = cursor[cellIndex];
                while (s < end && cellItems[size_t(s)] <= int(i))
                    ++s;
                cursor[cellIndex] = s;
                for (; s < end; ++s) {
                    const int j = cellItems[size_t(s)];
                    const Spot& b = spots[size_t(j)];
                    const double reach = a.reach + b.reach;
                    if (std::fabs(a.x - b.x) < reach && std::fabs(a.y - b.y) < reach)
                        partners.push_back(j);
                }
            }
        }
        inListOrder(partners.begin() + long(row), partners.end());
    }
    first[n] = int(partners.size());
    ++listings;
    return true;
}
