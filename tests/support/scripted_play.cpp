#include "scripted_play.h"

namespace {

Vector2 lowestFreeAlien(const GameWorld& world)
{
    Vector2 lowest;
    for (const Enemy& e : world.enemies)
        if (e.state == EnemyType::NORMAL && e.position.y > lowest.y)
            lowest = e.position;
    return lowest;
}

// The lowest free alien of the picked one's colour that has a neighbour of that colour: one
// the shot can reach, where it can set off a chain.
Vector2 bestTarget(const GameWorld& world)
{
    const Enemy* picked = nullptr;
    for (const Enemy& e : world.enemies)
        if (e.state == EnemyType::SELECTED)
            picked = &e;
    Vector2 best(320, 0);
    for (const Enemy& e : world.enemies) {
        if (!picked || e.type != picked->type || e.state != EnemyType::NORMAL
            || e.position.y <= best.y)
            continue;
        for (const Enemy& n : world.enemies)
            if (&n != &e && n.type == e.type && (n.position - e.position).LengthSqr() < 36 * 36) {
                best = e.position;
                break;
            }
    }
    return best;
}

} // namespace

ScriptedStep playScriptedStep(GameWorld& world, int s, bool allPairs)
{
    ScriptedStep step {allPairs ? world.stepAllPairs() : world.step(), false};
    if (!step.goesOn)
        return step;
    if (s % 150 == 0 && !world.selected)
        world.mouseButton(lowestFreeAlien(world));
    if (s % 150 == 60 && world.selected) {
        world.mouseButton(bestTarget(world));
        step.launched = !world.selected;
    }
    for (int extra = 0; extra < s % 4; ++extra) {
        if (allPairs)
            world.collisionConstraintAllPairs();
        else
            world.useExtraCycles();
    }
    return step;
}
