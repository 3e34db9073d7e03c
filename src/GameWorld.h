// The whole simulation: the play box, the launch point, gravity, the kinds of enemy, every
// enemy body and the infection overlay.
#pragma once

#include "Enemy.h"
#include "EnemyEffect.h"
#include "EnemyType.h"
#include "Vector2.h"
#include "near_pairs.h"

#include <boost/shared_ptr.hpp>
#include <list>
#include <vector>

class GameWorld {
public:
    GameWorld();
    GameWorld(const GameWorld&) = delete;
    GameWorld& operator=(const GameWorld&) = delete;

    // Fills a fresh world with the level: seven kinds, 126 aliens under 18 hard balls, the overlay.
    void loadLevel();
    // Advances the game by one 1/60 s step; false once a body has sunk past the floor.
    bool step();
    // The same step with the pair passes over all pairs: what step() gives, bit for bit.
    bool stepAllPairs();
    // One pass of mutual attraction over the pairs near enough to pull.
    void attractForces();
    // The same pass visiting all pairs: what attractForces() gives, bit for bit.
    void attractForcesAllPairs();
    // One pass over the pairs near enough to touch that pushes overlaps apart and spreads the
    // infection.
    void collisionConstraint();
    // The same pass visiting all pairs: what collisionConstraint() gives, bit for bit.
    void collisionConstraintAllPairs();
    // A click at point: picks an alien, or fires the picked one towards point.
    void mouseButton(Vector2 point);
    // One more collision pass; the frame loop runs a fixed number of them after every frame.
    void useExtraCycles();
    // Does nothing; kept for a destruction effect that the game never got.
    void causeDestruction(std::list<Enemy>::iterator first, std::list<Enemy>::iterator last);
    // Draws every enemy, and the overlay on infected and dissolving ones, into the frame, later
    // enemies in the list over earlier ones. It clears the depth buffer and uses it to keep that
    // order while it draws the enemies kind by kind.
    void draw();

    // The level's aliens come in six colours, the first kinds of enemyTypes; the hard ball is next.
    static constexpr int alienKinds = 6;

    Vector2 launchPoint;
    Vector2 size;
    Vector2 gravity;
    bool selected;
    std::vector<boost::shared_ptr<EnemyType>> enemyTypes;
    std::list<Enemy> enemies; // the order decides every tie in every pass
    std::vector<EnemyEffect> effects;

    // The pairs that can touch (the sum of the radii) and that can pull (the square root of 8
    // times the product of the radii, at most the square root of 2 times their sum).
    NearPairs touching {1, 0.25};
    NearPairs pulling {1.4142135623730951, 0.25};

private:
    // The rest of a step once the pair passes are done: dissolving kinds and every enemy's move.
    bool finishStep();
    // Fills inOrder with the enemies in list order.
    void listInOrder();

    std::vector<Enemy*> inOrder;
};
