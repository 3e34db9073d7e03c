// An overlay drawn over an enemy to show its condition: the game's one is the infection.
#pragma once

#include "Vector2.h"

class EnemyEffect {
public:
    EnemyEffect(unsigned texture, int front);

    // Draws the overlay centred at position, scaled to the given radius, at depth +1 when
    // front is 1 and -1 otherwise.
    void draw(Vector2 position, float radius);

    int front;
    unsigned texture;
    unsigned displayList;
};
