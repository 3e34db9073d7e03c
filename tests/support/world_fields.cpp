#include "world_fields.h"

#include <cstring>

std::vector<uint32_t> fieldsOf(const GameWorld& world)
{
    std::vector<uint32_t> bits;
    auto put = [&](float f) {
        uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        bits.push_back(u);
    };
    auto putInt = [&](int i) { bits.push_back(uint32_t(i)); };
    put(world.launchPoint.x);
    put(world.launchPoint.y);
    put(world.size.x);
    put(world.size.y);
    put(world.gravity.x);
    put(world.gravity.y);
    putInt(world.selected);
    for (const auto& kind : world.enemyTypes)
        putInt(kind->infectedCount);
    for (const Enemy& e : world.enemies) {
        putInt(e.timer);
        for (size_t k = 0; k < world.enemyTypes.size(); ++k)
            if (e.type == world.enemyTypes[k])
                putInt(int(k));
        for (const Vector2* v : {&e.position, &e.oldPosition, &e.acceleration}) {
            put(v->x);
            put(v->y);
        }
        put(e.radius);
        putInt(e.state);
    }
    return bits;
}
