#include "GameWorld.h"

#include "util.h"

#include <GL/gl.h>
#include <cmath>
#include <cstdlib>

namespace {

// The kinds of the level in the order of GameWorld::enemyTypes: six aliens, then the hard ball.
struct KindOfLevel {
    const char* sprite;
    int initialState;
};

const KindOfLevel kindsOfLevel[] = {
    {"base.dat#Enemy/RedAlien", EnemyType::NORMAL},
    {"base.dat#Enemy/GreenAlien", EnemyType::NORMAL},
    {"base.dat#Enemy/PurpleAlien", EnemyType::NORMAL},
    {"base.dat#Enemy/WhiteAlien", EnemyType::NORMAL},
    {"base.dat#Enemy/GrayAlien", EnemyType::NORMAL},
    {"base.dat#Enemy/BlackAlien", EnemyType::NORMAL},
    {"base.dat#Enemy/HardBall", EnemyType::HARD},
};

const int alienKinds = 6;
const int hardBallKind = 6;
const int alienRows = 7;
const int gridPitch = 34;
const float kindRadius = 16;

} // namespace

GameWorld::GameWorld() : launchPoint(0, 0), size(0, 0), gravity(0, 0), selected(false) {}

void GameWorld::loadLevel()
{
    size = Vector2(640, 480);
    launchPoint = Vector2(size.x * 0.5f, size.y - 25);
    gravity = Vector2(0, 40);

    // Each sprite is loaded just before its kind is made.
    for (const KindOfLevel& kind : kindsOfLevel) {
        const unsigned texture = loadBMP(kind.sprite);
        enemyTypes.push_back(
            boost::shared_ptr<EnemyType>(new EnemyType(texture, kindRadius, kind.initialState)));
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

    effects.push_back(EnemyEffect(loadBMP("base.dat#Effects/Infected_bmp"), 0));
}

bool GameWorld::step() { return true; }

void GameWorld::attractForces() {}

void GameWorld::collisionConstraint() {}

void GameWorld::mouseButton(Vector2) {}

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
