// Checks of the game's datafile and of the BMP images in it, made on their bytes before Allegro
// sees any of them. Allegro trusts the sizes in a datafile and the runs of a compressed BMP, so a
// damaged or crafted file could crash it; these checks trust nothing and read nothing outside the
// bytes they are given. Plain C++ with no Allegro, so that they can be tested and fuzzed alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Empty when file holds a well-formed, unpacked Allegro datafile: every property, object and
// nested datafile lies within what holds it, every list holds exactly the objects it counts, no
// object is compressed and nesting stops within 16 levels. Otherwise what is wrong, worded to
// follow the file's name: "is not an Allegro datafile", "is damaged: ...".
std::string datafileFault(std::string_view file);

// The contents of the object at path in a datafile ("Enemy/RedAlien": the object RedAlien in the
// nested datafile Enemy), as Allegro finds it: the first object of that name, ASCII letters in
// either case. Empty when there is none, or when the way to it is damaged.
std::optional<std::string_view> datafileObject(std::string_view file, std::string_view path);

// Empty when Allegro's BMP reader decodes image safely from these bytes alone: a Windows BMP with
// the 40-byte header, 1 to 4096 pixels each way, 1, 4, 8, 16, 24 or 32 bits a pixel, uncompressed
// or (16 and 32 bits) with bit fields, at most 256 palette colours, its pixels starting where the
// reader starts them and ending within the bytes. Otherwise what is wrong, as a sentence for the
// player; "The image is cut short" when the pixels run past the end. Run-length compressed images
// are refused: Allegro's reader trusts their runs.
std::string bmpFault(std::string_view image);
