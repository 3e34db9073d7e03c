#include "art.h"

#include "output.h"

std::vector<const Art*> everyArt()
{
    std::vector<const Art*> all;
    for (const Art& alien : alienArt)
        all.push_back(&alien);
    all.push_back(&hardBallArt);
    all.push_back(&infectionArt);
    return all;
}

const Art& artNamed(const std::string& name)
{
    for (const Art* art : everyArt())
        if (name == art->name)
            return *art;
    die("no art is named " + name);
}
