#include "gallery/thumbnail_maker.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/codecs.h"
#include "platform/image.h"
#include "tests/support/fixtures.h"
#include "tests/support/temp_folder.h"

namespace gallery {
namespace {

namespace fs = std::filesystem;

struct Bgr {
  std::uint8_t b, g, r;
};

platform::Image FlatImage(int width, int height, Bgr colour) {
  platform::Image image = platform::MakeImage(width, height, 3);
  for (std::size_t k = 0; k < image.pixels.size(); k += 3) {
    image.pixels[k] = colour.b;
    image.pixels[k + 1] = colour.g;
    image.pixels[k + 2] = colour.r;
  }
  return image;
}

std::optional<platform::Image> DecodeFile(const fs::path& path) {
  const std::optional<std::vector<std::uint8_t>> data = platform::ReadWholeFile(path);
  if (!data) {
    return std::nullopt;
  }
  return platform::DecodeImage(*data);
}

void ExpectNear(const std::uint8_t* pixel, Bgr want, int tolerance) {
  EXPECT_NEAR(pixel[0], want.b, tolerance);
  EXPECT_NEAR(pixel[1], want.g, tolerance);
  EXPECT_NEAR(pixel[2], want.r, tolerance);
}

TEST(ThumbnailSize, LongerSideBecomesTheWidth) {
  struct Case {
    int w, h, width, want_w, want_h;
  };
  const Case cases[] = {
      {800, 600, 120, 120, 90},  {600, 800, 120, 90, 120},
      {640, 480, 195, 195, 146},  // 146.25 truncates
      {500, 500, 270, 270, 270},  // a square counts as portrait
      {50, 40, 120, 120, 96},     // small pictures are enlarged
      {420, 100, 420, 420, 100},  // already the right size
      {2000, 10, 120, 120, 1},    // 0.6 would make an image without rows
      {10, 2000, 120, 1, 120},   {46341, 46341, 420, 420, 420},  // the product overflows 32 bits
      {0, 0, 120, 0, 0},  // nothing decoded, nothing to divide by
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " to " << c.width);
    const Size got = ThumbnailSize(c.w, c.h, c.width);
    EXPECT_EQ(std::make_pair(got.width, got.height), std::make_pair(c.want_w, c.want_h));
  }
}

TEST(FlattenOnWhite, BlendsColourOverWhiteByAlpha) {
  struct Case {
    std::uint8_t value, alpha, want;
  };
  const Case cases[] = {
      {0, 0, 255},     {100, 0, 255},   {0, 255, 0},
      {100, 255, 100}, {255, 128, 255}, {0, 128, 127},  // 32385 / 255 = 127 exactly
      {100, 128, 177},                                  // 45185 / 255 = 177.2, floored
      {254, 1, 254},                                    // 65024 / 255 = 254.99, floored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.value} << " at alpha " << int{c.alpha});
    platform::Image image = platform::MakeImage(1, 1, 4, c.value);
    image.pixels[3] = c.alpha;
    const platform::Image flat = FlattenOnWhite(image);
    ASSERT_EQ(flat.channels, 3);
    EXPECT_EQ(flat.pixels, (std::vector<std::uint8_t>{c.want, c.want, c.want}));
  }
}

TEST(FlattenOnWhite, KeepsChannelsApartAndLeavesColourImagesAlone) {
  platform::Image image = platform::MakeImage(2, 1, 4);
  image.pixels = {10, 20, 30, 255, 10, 20, 30, 0};
  EXPECT_EQ(FlattenOnWhite(image).pixels, (std::vector<std::uint8_t>{10, 20, 30, 255, 255, 255}));
  const platform::Image colour = FlatImage(3, 2, {1, 2, 3});
  EXPECT_EQ(FlattenOnWhite(colour).pixels, colour.pixels);
}

std::string_view AsText(const support::Bytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

class ThumbnailFolder : public testing::Test {
 protected:
  void TearDown() override { platform::ReleaseAllImages(); }

  void WritePicture(const std::string& name, int width, int height, Bgr colour = {40, 90, 200}) {
    ASSERT_TRUE(platform::WriteJpegFile(FlatImage(width, height, colour), temp_.path() / name, 95));
  }
  fs::path ThumbPath(const std::string& name) const {
    return temp_.path() / "mini" / (name + ".jpg");
  }

  testsupport::TempFolder temp_;
  const std::string run_folder_ = temp_.folder();
};

TEST_F(ThumbnailFolder, WritesTheScaledPictureUnderMini) {
  struct Case {
    std::string name;
    int w, h, width, want_w, want_h;
  };
  const Case cases[] = {
      {"photo.JPG", 800, 600, 120, 120, 90},    {"tall.jpeg", 600, 800, 150, 112, 150},
      {"small.jpg", 50, 40, 120, 120, 96},      {"exact.jpg", 420, 100, 420, 420, 100},
      {"Plage.png", 64, 48, 120, 120, 90},       // JPEG data under a PNG name
      {"\xe9t\xe9.jpg", 30, 30, 120, 120, 120},  // a Latin-1 name is kept as bytes
  };
  const Bgr colour{40, 90, 200};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WritePicture(c.name, c.w, c.h, colour);
    MakeThumbnail(run_folder_, c.name, c.width);

    const std::optional<platform::Image> thumb = DecodeFile(ThumbPath(c.name));
    ASSERT_TRUE(thumb.has_value());
    EXPECT_EQ(thumb->width, c.want_w);
    EXPECT_EQ(thumb->height, c.want_h);
    ExpectNear(thumb->row(thumb->height / 2) + thumb->width / 2 * 3, colour, 6);

    const platform::Image* picture = platform::FindImage(platform::kPictureImage);
    ASSERT_NE(picture, nullptr) << "the decoded picture stays held";
    EXPECT_EQ(picture->width, c.w);
    EXPECT_EQ(picture->height, c.h);
    EXPECT_EQ(platform::FindImage(platform::kThumbnailImage), nullptr);
  }
}

TEST_F(ThumbnailFolder, ReplacesAnExistingThumbnail) {
  WritePicture("a.jpg", 300, 200);
  temp_.Write("mini/a.jpg.jpg", std::string(5000, 'x'));
  MakeThumbnail(run_folder_, "a.jpg", 150);
  const std::optional<platform::Image> thumb = DecodeFile(ThumbPath("a.jpg"));
  ASSERT_TRUE(thumb.has_value());
  EXPECT_EQ(thumb->width, 150);
  EXPECT_EQ(thumb->height, 100);
}

TEST_F(ThumbnailFolder, PictureThatDoesNotDecodeGetsNoThumbnail) {
  struct Case {
    std::string name;
    std::string bytes;
  };
  const Case cases[] = {
      {"text.jpg", "not a picture at all"},
      {"cut.jpg", std::string("\xff\xd8\xff\xe0\x00\x10JFIF", 10)},  // a JPEG that stops short
      {"empty.png", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WritePicture("good.jpg", 80, 60);
    MakeThumbnail(run_folder_, "good.jpg", 120);
    ASSERT_NE(platform::FindImage(platform::kPictureImage), nullptr);

    temp_.Write(c.name, c.bytes);
    MakeThumbnail(run_folder_, c.name, 120);
    EXPECT_FALSE(fs::exists(ThumbPath(c.name))) << "never the previous picture's thumbnail";
    EXPECT_EQ(platform::FindImage(platform::kPictureImage), nullptr);
    EXPECT_EQ(platform::FindImage(platform::kThumbnailImage), nullptr);
  }
}

TEST_F(ThumbnailFolder, UnreadableFileGetsNoThumbnailAndKeepsThePreviousPicture) {
  WritePicture("good.jpg", 80, 60);
  MakeThumbnail(run_folder_, "good.jpg", 120);
  MakeThumbnail(run_folder_, "gone.jpg", 120);
  EXPECT_FALSE(fs::exists(ThumbPath("gone.jpg")));
  const platform::Image* picture = platform::FindImage(platform::kPictureImage);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->width, 80);
}

TEST_F(ThumbnailFolder, FileNamedMiniInTheWay) {
  WritePicture("a.jpg", 60, 40);
  temp_.Write("mini", "in the way");
  ThumbnailMaker(run_folder_, "a.jpg", 120);
  EXPECT_TRUE(fs::is_regular_file(temp_.path() / "mini"));
  EXPECT_EQ(fs::file_size(temp_.path() / "mini"), 10u);
  EXPECT_EQ(platform::FindImage(platform::kThumbnailImage), nullptr);
}

TEST_F(ThumbnailFolder, TransparencyIsBlendedOverWhite) {
  // Opaque red on the left, see-through on the right, half-transparent black in the middle
  // rows; 64 pixels wide so a 120-wide thumbnail is an enlargement by the cubic.
  platform::Image image = support::SolidImage(64, 48, 4, 0, 0, 255, 255);
  for (int y = 0; y < 48; ++y) {
    for (int x = 32; x < 64; ++x) {
      std::uint8_t* p = image.row(y) + x * 4;
      const bool middle = y >= 16 && y < 32;
      p[0] = p[1] = p[2] = 0;
      p[3] = middle ? 128 : 0;
    }
  }
  temp_.Write("clear.png", AsText(support::EncodePng(image)));
  MakeThumbnail(run_folder_, "clear.png", 120);
  const std::optional<platform::Image> thumb = DecodeFile(ThumbPath("clear.png"));
  ASSERT_TRUE(thumb.has_value());
  ASSERT_EQ(thumb->width, 120);
  ASSERT_EQ(thumb->height, 90);
  ExpectNear(thumb->row(10) + 20 * 3, {0, 0, 255}, 12);
  ExpectNear(thumb->row(10) + 100 * 3, {255, 255, 255}, 6);
  ExpectNear(thumb->row(45) + 100 * 3, {127, 127, 127}, 6);
}

TEST_F(ThumbnailFolder, AnimatedGifGivesItsFirstFrame) {
  support::GifSpec gif;
  gif.screen_width = 40;
  gif.screen_height = 20;
  gif.global_palette = {0xff0000, 0x0000ff};
  for (const std::uint8_t index : {0, 1}) {
    support::GifFrame frame;
    frame.width = 40;
    frame.height = 20;
    frame.indices.assign(800, index);
    gif.frames.push_back(frame);
  }
  temp_.Write("anim.gif", AsText(support::MakeGif(gif)));
  MakeThumbnail(run_folder_, "anim.gif", 120);
  const std::optional<platform::Image> thumb = DecodeFile(ThumbPath("anim.gif"));
  ASSERT_TRUE(thumb.has_value());
  EXPECT_EQ(thumb->width, 120);
  EXPECT_EQ(thumb->height, 60);
  ExpectNear(thumb->row(30) + 60 * 3, {0, 0, 255}, 12);
}

TEST(JpegWriter, TransparentPixelsComeOutWhite) {
  // Left half transparent red, right half opaque blue; centres are far from the 4:2:0 seam.
  platform::Image image = platform::MakeImage(32, 16, 4);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) {
      std::uint8_t* p = image.row(y) + x * 4;
      const bool left = x < 16;
      p[0] = left ? 0 : 200;
      p[1] = 0;
      p[2] = left ? 255 : 0;
      p[3] = left ? 0 : 255;
    }
  }
  const testsupport::TempFolder temp;
  const fs::path path = temp.path() / "alpha.jpg";
  ASSERT_TRUE(JpegWriter(image, path));
  const std::optional<platform::Image> back = DecodeFile(path);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->channels, 3);
  ExpectNear(back->row(8) + 4 * 3, {255, 255, 255}, 6);
  ExpectNear(back->row(8) + 27 * 3, {200, 0, 0}, 12);
}

}  // namespace
}  // namespace gallery
