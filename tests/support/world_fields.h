// Every number of a world as raw bits, to tell whether two worlds are the same bit for bit.
#pragma once

#include "GameWorld.h"

#include <cstdint>
#include <vector>

// The world's own numbers, then every kind's infected count and every enemy's fields, in list
// order; an enemy's kind is given by its place in enemyTypes.
std::vector<uint32_t> fieldsOf(const GameWorld& world);
