// spritepaint: paints Outbreak's sprite art -- the six aliens, the hard ball
// and the infection overlay -- with Allegro's bitmap routines and saves each
// one as a 64x64 BMP, ready for the `dat` tool to pack into base.dat.
// The art is procedural and deterministic (fixed-seed noise only), so every
// build of the datafile carries exactly the same pixels.
//
//   spritepaint OUTDIR            each sprite of the game's list (src/util.h) at the path of its
//                                 object: OUTDIR/Enemy/RedAlien, ..., OUTDIR/Effects/Infected_bmp;
//                                 the list of those objects, OUTDIR/objects; a preview
//                                 OUTDIR/sheet.bmp
//   spritepaint --sheet FILE.bmp  only the preview: every sprite at its on-screen
//                                 size (32x32) on black, and each alien infected
//   spritepaint --icon N FILE.png the game's icon, N pixels square, see-through round it
//   spritepaint --xpm N FILE.cpp  the same as an XPM image in C++ source: the window's icon
//
// Pixels of colour (255,0,255) are transparent in game; everything outside the
// round body is that colour, and the body's soft edge fades to black, never pink.

#include "icons.h"
#include "output.h"
#include "sheet.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    std::string outDir, sheetFile, iconFile, mode;
    int iconSize = 0;
    if (argc == 2 && argv[1][0] != '-') {
        outDir = argv[1];
    } else if (argc == 3 && std::string(argv[1]) == "--sheet") {
        sheetFile = argv[2];
    } else if (argc == 4 && (std::string(argv[1]) == "--icon" || std::string(argv[1]) == "--xpm")
        && std::atoi(argv[2]) >= 8 && std::atoi(argv[2]) <= 1024) {
        mode = argv[1];
        iconSize = std::atoi(argv[2]);
        iconFile = argv[3];
    } else {
        std::fprintf(stderr,
            "usage: %s OUTDIR             paint the sprites into OUTDIR (their list in\n"
            "                               OUTDIR/objects, the preview in OUTDIR/sheet.bmp)\n"
            "       %s --sheet FILE.bmp   only write the 32x32 preview sheet\n"
            "       %s --icon N FILE.png  the game's icon, N by N pixels (8 to 1024)\n"
            "       %s --xpm N FILE.cpp   the window's icon, as XPM in C++ source\n",
            argv[0], argv[0], argv[0], argv[0]);
        return EXIT_FAILURE;
    }

    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        die("cannot initialise Allegro");
    set_color_depth(32);

    if (mode == "--icon") {
        saveIcon(iconFile, iconSize);
        return EXIT_SUCCESS;
    }
    if (mode == "--xpm") {
        saveWindowIcon(iconFile, iconSize);
        return EXIT_SUCCESS;
    }

    std::vector<Painted> painted = paintEveryArt();
    if (!outDir.empty()) {
        makeDir(outDir);
        saveSprites(outDir, painted);
        sheetFile = (std::filesystem::path(outDir) / "sheet.bmp").string();
    }
    saveSheet(sheetFile, painted);
    forget(painted);
    return EXIT_SUCCESS;
}
