#include "gallery/thumbnail_maker.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
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
    ASSERT_NE(picture, nullptr) << "the picture's measure stays held";
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

// ---- Decoding straight to the thumbnail ---------------------------------------------------

// A picture with smooth shading, fine texture and hard edges, as photographs have; as in them,
// colour varies slowly and the detail is in the brightness.
support::Bytes PhotoJpeg(int width, int height, int quality = 90) {
  support::JpegSpec spec;
  spec.width = width;
  spec.height = height;
  spec.quality = quality;
  spec.samples.resize(static_cast<std::size_t>(width) * height * 3);
  std::size_t k = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double texture = 25 * std::sin((x + 2 * y) / 5.0) + ((x * 7 + y * 13) % 11 - 5);
      const double edge = (x / 97 + y / 61) % 2 == 0 ? 20 : -20;
      for (int c = 0; c < 3; ++c) {
        const double shade = 60 * std::sin(x / (137.0 + 29 * c)) * std::cos(y / (93.0 + 15 * c));
        spec.samples[k++] = static_cast<std::uint8_t>(std::lround(128 + shade + texture + edge));
      }
    }
  }
  return support::MakeJpeg(spec);
}

double Psnr(const platform::Image& a, const platform::Image& b) {
  EXPECT_EQ(a.pixels.size(), b.pixels.size());
  double squares = 0;
  for (std::size_t k = 0; k < a.pixels.size() && k < b.pixels.size(); ++k) {
    const double d = static_cast<double>(a.pixels[k]) - static_cast<double>(b.pixels[k]);
    squares += d * d;
  }
  return squares == 0 ? 99 : 10 * std::log10(255.0 * 255 * a.pixels.size() / squares);
}

// What the whole-picture path makes of the same bytes: decode in full, then resize.
platform::Image WholePictureThumbnail(const support::Bytes& data, int width) {
  const std::optional<platform::Image> picture = platform::DecodeImage(data);
  return picture ? ThumbnailImage(*picture, width) : platform::Image{};
}

platform::Image Thumbnail(const support::Bytes& data, int width,
                          std::uint64_t budget = platform::kDecodeBudgetBytes) {
  Size full{0, 0};
  return DecodeThumbnail(data, width, full, budget);
}

TEST(DecodeThumbnail, ShrinkOnLoadStaysCloseToAFullDecode) {
  struct Case {
    int w, h, width;
    double min_db;
  };
  const Case cases[] = {
      {1200, 800, 75, 50},  // a 16-pixel box: decoded at 1/8, then halved
      {600, 400, 75, 50},   // an 8-pixel box: decoded at 1/8 and kept
      {400, 600, 75, 50},   // the same, portrait
      {1000, 750, 75, 40},  // a box of 13.3 pixels: decoded at 1/4
      {500, 333, 65, 40},   // a box of 7.7 pixels: decoded at 1/2
      {501, 333, 65, 40},   // odd sides: libjpeg rounds the scaled size up
      {1500, 500, 75, 40},  // a box of 20 pixels: 1/4, as 1/8 would leave under 3 times
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " to " << c.width);
    const support::Bytes jpeg = PhotoJpeg(c.w, c.h);
    Size full{0, 0};
    const platform::Image fast = DecodeThumbnail(jpeg, c.width, full, platform::kDecodeBudgetBytes);
    const platform::Image exact = WholePictureThumbnail(jpeg, c.width);
    ASSERT_FALSE(fast.empty());
    EXPECT_EQ(std::make_pair(full.width, full.height), std::make_pair(c.w, c.h));
    EXPECT_EQ(std::make_pair(fast.width, fast.height), std::make_pair(exact.width, exact.height));
    EXPECT_GE(Psnr(fast, exact), c.min_db);
    EXPECT_NE(fast.pixels, exact.pixels) << "the picture should have been shrunk while decoding";
  }
}

TEST(DecodeThumbnail, StreamedRowsMatchTheWholePicturePath) {
  const platform::Image rgb = support::PatternImage(37, 23, 3);
  const platform::Image rgba = support::PatternImage(37, 23, 4);
  support::PngSpec interlaced;
  interlaced.width = 37;
  interlaced.height = 23;
  interlaced.colour = support::PngColour::kRgba;
  interlaced.interlaced = true;
  interlaced.samples.assign(rgba.pixels.begin(), rgba.pixels.end());
  support::GifSpec gif;
  gif.screen_width = 37;
  gif.screen_height = 23;
  gif.global_palette = {0xff0000, 0x00ff00, 0x0000ff, 0x808080};
  gif.frames.push_back({0, 0, 37, 23, true, {}, {}, 3});
  for (int k = 0; k < 37 * 23; ++k) {
    gif.frames[0].indices.push_back(static_cast<std::uint8_t>(k * 7 % 5 % 4));
  }
  struct Case {
    const char* name;
    support::Bytes data;
  };
  const Case cases[] = {
      {"JPEG, too small to shrink", PhotoJpeg(37, 23)},
      {"PNG", support::EncodePng(rgb)},
      {"PNG with alpha", support::EncodePng(rgba)},
      {"interlaced PNG", support::MakePng(interlaced)},
      {"BMP", support::EncodeBmp24(rgb)},
      {"interlaced GIF", support::MakeGif(gif)},
  };
  for (const Case& c : cases) {
    for (const int width : {16, 37, 50}) {
      SCOPED_TRACE(testing::Message() << c.name << " to " << width);
      const platform::Image want = WholePictureThumbnail(c.data, width);
      const platform::Image got = Thumbnail(c.data, width);
      ASSERT_FALSE(want.empty());
      ASSERT_EQ(got.channels, want.channels);
      if (want.channels == 3) {
        EXPECT_EQ(got.pixels, want.pixels);
        continue;
      }
      // The streamed cubic sums in fixed point: a byte may move by one per pass.
      ASSERT_EQ(got.pixels.size(), want.pixels.size());
      for (std::size_t k = 0; k < got.pixels.size(); ++k) {
        ASSERT_NEAR(got.pixels[k], want.pixels[k], 2) << "byte " << k;
      }
    }
  }
}

TEST(DecodeThumbnail, PicturesTooBigToHoldWholeStillGetThumbnails) {
  // The budget is far below the 3 MB these pictures take decoded; only the rows the decoder and
  // the filter need are held, except where the format needs every row at once.
  constexpr std::uint64_t kBudget = 512 << 10;
  const platform::Image big = support::PatternImage(1024, 1024, 3);
  support::PngSpec interlaced;
  interlaced.width = 1024;
  interlaced.height = 1024;
  interlaced.interlaced = true;
  interlaced.samples.assign(big.pixels.begin(), big.pixels.end());
  struct Case {
    const char* name;
    support::Bytes data;
    bool thumbnailed;
  };
  const Case cases[] = {
      {"JPEG", PhotoJpeg(1024, 1024, 75), true},
      {"PNG", support::EncodePng(big), true},
      {"BMP", support::EncodeBmp24(big), true},
      {"interlaced PNG", support::MakePng(interlaced), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(platform::DecodeImage(c.data, kBudget).has_value());
    const platform::Image thumb = Thumbnail(c.data, 150, kBudget);
    EXPECT_EQ(thumb.empty(), !c.thumbnailed);
    if (c.thumbnailed) {
      EXPECT_EQ(std::make_pair(thumb.width, thumb.height), std::make_pair(150, 150));
    }
  }
}

TEST(DecodeThumbnail, DamagedFilesGiveNothingOrARightSizedThumbnail) {
  // Shrinking and streaming paths: a JPEG decoded at 1/4 and a PNG read row by row.
  const support::Bytes files[] = {PhotoJpeg(128, 96, 80),
                                  support::EncodePng(support::PatternImage(64, 48, 4))};
  std::mt19937 random(3);
  for (const support::Bytes& file : files) {
    for (std::size_t cut = 0; cut < file.size(); cut += 5) {
      const support::Bytes head(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
      const platform::Image thumb = Thumbnail(head, 16);
      EXPECT_TRUE(thumb.empty() || (thumb.width == 16 && thumb.height == 12)) << "cut " << cut;
    }
    for (int i = 0; i < 300; ++i) {
      support::Bytes flipped = file;
      flipped[random() % flipped.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
      const platform::Image thumb = Thumbnail(flipped, 16);
      EXPECT_TRUE(thumb.empty() || thumb.width <= 16) << "flip " << i;
    }
  }
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
