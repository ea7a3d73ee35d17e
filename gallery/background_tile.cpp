#include "gallery/background_tile.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "assets/tile_pattern.h"
#include "gallery/controls.h"
#include "gallery/thumbnail_maker.h"
#include "platform/controls.h"
#include "platform/image.h"

namespace gallery {
namespace {

// Ground moves away from the nearer end of the range; marks stand 10 further out. A mark over a
// base from 216 to 235 can pass 255 and is held there.
int Channel(int base, bool mark, int r) {
  int value = 0;
  if (mark) {
    value = base <= 235 ? base + r + 10 : base - r - 10;
  } else {
    value = base <= 128 ? base + r : base - r;
  }
  return std::clamp(value, 0, 255);
}

void ShowTile() {
  platform::CreateImageControl(kTilePreview, kTilePreviewRect, platform::kTileImage);
}

}  // namespace

int TileDraw() {
  static std::mt19937 generator = [] {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    const auto wall = std::chrono::system_clock::now().time_since_epoch().count();
    std::seed_seq seed{static_cast<std::uint64_t>(tick), static_cast<std::uint64_t>(thread),
                       static_cast<std::uint64_t>(wall), std::uint64_t{std::random_device{}()}};
    return std::mt19937(seed);
  }();
  return std::uniform_int_distribution<int>(0, 30)(generator);
}

void PaintTile(std::int32_t base, const std::function<int()>& draw) {
  platform::Image* tile = platform::FindImage(platform::kTileImage);
  if (tile == nullptr || tile->empty() || tile->channels != 3) {
    return;
  }
  const int red = base & 0xFF, green = (base >> 8) & 0xFF, blue = (base >> 16) & 0xFF;
  const std::uint8_t* cell = assets::kTilePattern.data();
  for (int y = 0; y < assets::kTileSize; ++y) {
    std::uint8_t* pixel = tile->row(y);
    for (int x = 0; x < assets::kTileSize; ++x, ++cell, pixel += 3) {
      const bool mark = *cell != 1;
      const int r = Channel(red, mark, draw());
      const int g = Channel(green, mark, draw());
      const int b = Channel(blue, mark, draw());
      pixel[0] = static_cast<std::uint8_t>(b);
      pixel[1] = static_cast<std::uint8_t>(g);
      pixel[2] = static_cast<std::uint8_t>(r);
    }
  }
}

void CreateBackgroundTile() {
  platform::Image tile = platform::MakeImage(assets::kTileSize, assets::kTileSize, 3, 0);
  if (tile.empty()) {
    return;
  }
  std::fill(tile.pixels.begin(), tile.pixels.end(), std::uint8_t{255});
  platform::SetImage(platform::kTileImage, std::move(tile));
  ShowTile();
}

void RecolourBackgroundTile() {
  const int colour = platform::ChooseColour();
  const platform::Image* tile = platform::FindImage(platform::kTileImage);
  if (tile == nullptr || tile->empty()) {
    return;
  }
  PaintTile(colour, TileDraw);
  ShowTile();
}

void SaveBackgroundTile(std::string_view run_folder) {
  const platform::Image* tile = platform::FindImage(platform::kTileImage);
  if (tile == nullptr || tile->empty()) {
    return;
  }
  // A tile that cannot be written leaves the page without its background; nobody is told.
  static_cast<void>(JpegWriter(*tile, std::string(run_folder) + "fond.jpg"));
}

}  // namespace gallery
