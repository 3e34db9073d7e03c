#include "Enemy.h"

#include <cassert>
#include <cmath>

Enemy::Enemy(Vector2 position, boost::shared_ptr<EnemyType> type, float radius)
    : position(position), oldPosition(position), acceleration(0, 0)
{
    this->type = type;
    state = this->type->initialState;
    this->radius = radius != 0 ? radius : this->type->radius;
    timer = 30;
}

void Enemy::step(float dt)
{
    // Motion.
    if (state == EnemyType::HARD) {
        // Hard balls run down their own track, held in oldPosition, whatever pushed them.
        position = oldPosition;
        oldPosition.y = oldPosition.y + 0.03;
    } else {
        Vector2 s = (acceleration * dt) * dt;
        Vector2 p = (position + (position - oldPosition)) + s;
        oldPosition = position;
        position = p;
        acceleration = Vector2(0, 0);
    }

    // Size: dissolving bodies shrink, the others grow towards their kind's radius.
    if (state == EnemyType::DISOLVING) {
        radius = radius * 0.95;
    } else {
        const float full = type->radius;
        if (radius <= full - 1)
            radius = radius + ((full - radius) * 0.5f) * dt;
    }

    // Countdown: an infection wears off once the timer falls below zero.
    timer = timer - 1;
    if (state == EnemyType::INFECTED && timer < 0)
        state = EnemyType::NORMAL;
}

void Enemy::applyBoxContraint(Vector2 size)
{
    if (position.x < radius)
        position.x = radius;
    if (position.y < radius)
        position.y = radius;
    if (position.x > size.x - radius)
        position.x = size.x - radius;
    if (position.y > size.y - radius)
        position.y = size.y - radius;
}

void Enemy::enforceSpeedLimit(float limit)
{
    Vector2 d = position - oldPosition;
    if (d.LengthSqr() > limit * limit) {
        Vector2 back = oldPosition - position;
        back.Normalize();
        oldPosition = position + back * limit;
    }
}

bool Enemy::selectCheck(Vector2 point)
{
    // Cheap box rejection before the squared distance.
    if (!(position.x - radius < point.x))
        return false;
    if (!(point.x < position.x + radius))
        return false;
    if (!(position.y - radius < point.y))
        return false;
    if (!(point.y < position.y + radius))
        return false;
    return (point - position).LengthSqr() < radius * radius;
}

Vector2 collisionCheck(Enemy* a, Enemy* b)
{
    const float ra = a->radius;
    const float rb = b->radius;
    // Distant pairs are rejected by their boxes before any multiplication.
    if (!(a->position.x + ra > b->position.x - rb))
        return Vector2(0, 0);
    if (!(b->position.x + rb > a->position.x - ra))
        return Vector2(0, 0);
    if (!(a->position.y + ra > b->position.y - rb))
        return Vector2(0, 0);
    if (!(b->position.y + rb > a->position.y - ra))
        return Vector2(0, 0);

    Vector2 d = a->position - b->position;
    const float q = d.LengthSqr();
    const float reach = (ra + rb) * (ra + rb);
    if (!(reach > q))
        return Vector2(0, 0);

    const float depth = std::sqrt(double(reach)) - std::sqrt(double(q));
    if (q == 0) {
        // Coincident centres have no direction between them: push a along +x.
        return Vector2(depth, 0);
    }
    Vector2 n = d / d.Length();
    return n * depth;
}

Vector2 distance(Enemy* a, Enemy* b) { return a->position - b->position; }

void infect(Enemy* infected, Enemy* other)
{
    assert(infected->state == EnemyType::INFECTED || infected->state == EnemyType::DISOLVING);
    if (infected->type == other->type && infected->timer > 1) {
        other->state = EnemyType::INFECTED;
        other->timer = 5;
    }
}
