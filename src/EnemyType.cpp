#include "EnemyType.h"

#include "util.h"

#include <GL/gl.h>

EnemyType::EnemyType(unsigned texture, float radius, int initialState)
    : infectedCount(0), texture(texture), displayList(makeQuad(texture)), radius(radius),
      initialState(initialState)
{
}

void EnemyType::draw(Vector2 position, float radius)
{
    glPushMatrix();
    glTranslatef(position.x, position.y, 0);
    glScalef(radius, radius, 1);
    glCallList(displayList);
    glPopMatrix();
}
