#include "EnemyEffect.h"

#include "util.h"

#include <GL/gl.h>

EnemyEffect::EnemyEffect(unsigned texture, int front)
    : front(front), texture(texture), displayList(makeQuad(texture))
{
}

void EnemyEffect::draw(Vector2 position, float radius)
{
    glPushMatrix();
    glTranslatef(position.x, position.y, front == 1 ? 1.0f : -1.0f);
    glScalef(radius, radius, 1);
    glCallList(displayList);
    glPopMatrix();
}
