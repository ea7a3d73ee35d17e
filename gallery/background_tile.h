// The 32 x 32 tile that the page repeats as its background, kept as image 14 and shown in the
// tile preview.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace gallery {

// Makes the tile all white and shows it in the tile preview. When the tile cannot be made, no
// preview is created.
void CreateBackgroundTile();
// Asks for a colour and regenerates the textured tile from it (from white when the chooser is
// cancelled), then shows the new tile in a new preview. Does nothing when there is no tile.
void RecolourBackgroundTile();
// Writes the tile as `run_folder` + "fond.jpg"; the outcome is not reported.
void SaveBackgroundTile(std::string_view run_folder);

// Draws the texture over `base` (red | green << 8 | blue << 16, or -1 for white) into image 14,
// taking one draw from `draw` (0 to 30) per channel, pixel by pixel, red then green then blue.
void PaintTile(std::int32_t base, const std::function<int()>& draw);
// A draw from 0 to 30, each value equally likely, from a generator seeded once per process from
// values that change from run to run.
int TileDraw();

}  // namespace gallery
