#include "gallery/background_tile.h"

#include <algorithm>
#include <vector>

#include <QLabel>
#include <gtest/gtest.h>

#include "assets/tile_pattern.h"
#include "gallery/controls.h"
#include "platform/codecs.h"
#include "platform/controls.h"
#include "platform/controls_qt.h"
#include "platform/image.h"
#include "tests/support/temp_folder.h"

namespace gallery {
namespace {

bool IsMark(int x, int y) {
  const auto in_square = [](int v) { return (v >= 2 && v <= 9) || (v >= 22 && v <= 29); };
  return in_square(x) && in_square(y);
}

class BackgroundTileTest : public testing::Test {
 protected:
  void SetUp() override { CreateBackgroundTile(); }
  void TearDown() override {
    platform::DestroyWindowAndControls();
    platform::ReleaseAllImages();
    platform::SetChooseColourFn(nullptr);
  }
  static const platform::Image& Tile() { return *platform::FindImage(platform::kTileImage); }
};

TEST_F(BackgroundTileTest, StartsWhiteAndShown) {
  ASSERT_EQ(Tile().width, 32);
  ASSERT_EQ(Tile().height, 32);
  ASSERT_EQ(Tile().channels, 3);
  EXPECT_TRUE(std::all_of(Tile().pixels.begin(), Tile().pixels.end(),
                          [](std::uint8_t v) { return v == 255; }));
  auto* preview = qobject_cast<QLabel*>(platform::FindControlWidget(kTilePreview));
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->geometry(), QRect(590, 394, 32, 32));
  EXPECT_EQ(preview->pixmap().toImage().pixel(5, 5), qRgb(255, 255, 255));
}

TEST(TilePattern, MarksFourEightByEightSquares) {
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      EXPECT_EQ(assets::kTilePattern[static_cast<std::size_t>(y * 32 + x)], IsMark(x, y) ? 2 : 1)
          << x << "," << y;
    }
  }
}

TEST_F(BackgroundTileTest, ChannelsStayWithinTheirRanges) {
  struct Case {
    int colour;
    int ground_lo[3], ground_hi[3], mark_lo[3], mark_hi[3];  // red, green, blue
  };
  const Case cases[] = {
      {-1, {225, 225, 225}, {255, 255, 255}, {215, 215, 215}, {245, 245, 245}},
      {0x000000, {0, 0, 0}, {30, 30, 30}, {10, 10, 10}, {40, 40, 40}},
      {200 | 100 << 8 | 50 << 16, {170, 100, 50}, {200, 130, 80}, {210, 110, 60}, {240, 140, 90}},
      // 128 climbs, 129 falls; a mark over 215 is held at 255, over 236 it falls.
      {128 | 129 << 8 | 215 << 16,
       {128, 99, 185},
       {158, 129, 215},
       {138, 139, 225},
       {168, 169, 255}},
      {236 | 216 << 8, {206, 186, 0}, {236, 216, 30}, {196, 226, 10}, {226, 255, 40}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "colour " << c.colour);
    platform::SetChooseColourFn([&c] { return c.colour; });
    RecolourBackgroundTile();
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const std::uint8_t* pixel = Tile().row(y) + x * 3;
        for (int channel = 0; channel < 3; ++channel) {
          const int value = pixel[2 - channel];  // stored blue, green, red
          const bool mark = IsMark(x, y);
          EXPECT_GE(value, mark ? c.mark_lo[channel] : c.ground_lo[channel]);
          EXPECT_LE(value, mark ? c.mark_hi[channel] : c.ground_hi[channel]);
        }
      }
    }
  }
}

TEST_F(BackgroundTileTest, DrawsRedGreenBluePixelByPixel) {
  // Counting draws shows the order: pixel (x, y) takes draws 3(32y + x) .. + 2.
  int next = 0;
  PaintTile(0, [&next] { return next++ % 31; });
  EXPECT_EQ(next, 3072);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const int first = 3 * (32 * y + x);
      const int extra = IsMark(x, y) ? 10 : 0;
      const std::uint8_t* pixel = Tile().row(y) + x * 3;
      ASSERT_EQ(pixel[2], first % 31 + extra);
      ASSERT_EQ(pixel[1], (first + 1) % 31 + extra);
      ASSERT_EQ(pixel[0], (first + 2) % 31 + extra);
    }
  }
}

TEST_F(BackgroundTileTest, EveryRegenerationIsNewAndShown) {
  platform::SetChooseColourFn([] { return 0x336699; });
  RecolourBackgroundTile();
  const std::vector<std::uint8_t> first = Tile().pixels;
  QWidget* preview = platform::FindControlWidget(kTilePreview);
  RecolourBackgroundTile();
  EXPECT_NE(Tile().pixels, first);
  EXPECT_NE(platform::FindControlWidget(kTilePreview), preview) << "a new preview";
  const QImage shown =
      qobject_cast<QLabel*>(platform::FindControlWidget(kTilePreview))->pixmap().toImage();
  const std::uint8_t* pixel = Tile().row(3);
  EXPECT_EQ(shown.pixel(0, 3), qRgb(pixel[2], pixel[1], pixel[0]));
}

TEST(TileDraw, CoversZeroToThirtyEvenly) {
  std::vector<int> counts(31);
  for (int i = 0; i < 31000; ++i) {
    const int r = TileDraw();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 30);
    ++counts[static_cast<std::size_t>(r)];
  }
  for (int count : counts) {
    EXPECT_GT(count, 800);
    EXPECT_LT(count, 1200);
  }
}

TEST_F(BackgroundTileTest, SavesAsA32By32Jpeg) {
  testsupport::TempFolder folder;
  SaveBackgroundTile(folder.folder());
  const auto bytes = platform::ReadWholeFile(folder.path() / "fond.jpg");
  ASSERT_TRUE(bytes.has_value());
  const auto decoded = platform::DecodeImage(*bytes);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->width, 32);
  EXPECT_EQ(decoded->height, 32);
  EXPECT_GE(*std::min_element(decoded->pixels.begin(), decoded->pixels.end()), 250);

  platform::ReleaseImage(platform::kTileImage);
  std::filesystem::remove(folder.path() / "fond.jpg");
  SaveBackgroundTile(folder.folder());
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "fond.jpg")) << "no tile, no file";
}

}  // namespace
}  // namespace gallery
