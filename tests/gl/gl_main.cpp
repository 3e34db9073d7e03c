// Entry point of the OpenGL tests. Run plainly, it opens the game's OpenGL window once and runs
// every test in it. Run as "gl_tests --load-sprites PATH...", it is the child that the sprite
// failure tests start: it opens the same window and loads each sprite as level set-up does.
#include "gl_support.h"

#include <cstring>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], loadSpritesFlag) == 0)
        return runLoaderChild(argc - 2, argv + 2);

    testing::InitGoogleTest(&argc, argv);
    openGameContext();
    return RUN_ALL_TESTS();
}
