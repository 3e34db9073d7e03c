#include "sheet.h"

namespace {

// Shrinks a 64x64 sprite to its on-screen 32x32 by averaging 2x2 blocks, the way
// linear filtering shows it, with the mask colour counting as black. If `over`
// is given, its solid pixels are laid on top first.
void shrinkInto(BITMAP* sheet, BITMAP* src, BITMAP* over, int left, int top)
{
    const int mask = maskColour();
    for (int y = 0; y < kSize / 2; ++y)
        for (int x = 0; x < kSize / 2; ++x) {
            int r = 0, g = 0, b = 0;
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i) {
                    int p = getpixel(src, 2 * x + i, 2 * y + j);
                    if (over && getpixel(over, 2 * x + i, 2 * y + j) != mask)
                        p = getpixel(over, 2 * x + i, 2 * y + j);
                    if (p == mask)
                        continue;
                    r += getr(p), g += getg(p), b += getb(p);
                }
            putpixel(sheet, left + x, top + y, makecol(r / 4, g / 4, b / 4));
        }
}

} // namespace

void saveSheet(const std::filesystem::path& file, const std::vector<Painted>& painted)
{
    const int cell = 40, margin = 8;
    BITMAP* sheet = create_bitmap(margin + int(painted.size()) * cell, margin + 2 * cell);
    if (!sheet)
        die("out of memory creating the sheet");
    clear_to_color(sheet, makecol(0, 0, 0));
    BITMAP* overlay = nullptr;
    for (const Painted& p : painted)
        if (p.art->role == Art::Overlay)
            overlay = p.bmp;
    for (size_t i = 0; i < painted.size(); ++i) {
        const int left = margin + int(i) * cell;
        shrinkInto(sheet, painted[i].bmp, nullptr, left, margin);
        if (painted[i].art->role == Art::Alien && overlay)
            shrinkInto(sheet, painted[i].bmp, overlay, left, margin + cell);
    }
    saveBmp(file, sheet);
    destroy_bitmap(sheet);
}
