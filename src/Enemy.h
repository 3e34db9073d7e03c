// One round enemy in the play box: a Verlet body with a kind, a state and a countdown.
#pragma once

#include "EnemyType.h"
#include "Vector2.h"

#include <boost/shared_ptr.hpp>

class Enemy {
public:
    // Starts at rest at position. A radius of 0 takes the kind's radius.
    Enemy(Vector2 position, boost::shared_ptr<EnemyType> type, float radius);

    // Moves the body over dt seconds, grows or shrinks it and counts its timer down.
    void step(float dt);
    // Pushes the centre back inside the box from (0, 0) to size; no bounce.
    void applyBoxContraint(Vector2 size);
    // Shortens a displacement per step longer than limit to limit.
    void enforceSpeedLimit(float limit);
    // True when point lies strictly inside the body's circle.
    bool selectCheck(Vector2 point);

    int timer;
    boost::shared_ptr<EnemyType> type;
    Vector2 position;
    Vector2 oldPosition;  // centre one step earlier; position - oldPosition is the velocity
    Vector2 acceleration; // pixels per second squared, cleared by step
    float radius;
    int state; // an EnemyType::State
};

// The correction that separates a from b: from b's centre towards a's, as long as the overlap;
// exactly (0, 0) when they do not overlap.
Vector2 collisionCheck(Enemy* a, Enemy* b);

// a's centre minus b's centre.
Vector2 distance(Enemy* a, Enemy* b);

// An infected enemy passes the infection to other when both are of one kind.
void infect(Enemy* infected, Enemy* other);
