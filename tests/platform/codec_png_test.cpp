#include <chrono>
#include <zlib.h>

#include <gtest/gtest.h>

#include "platform/codecs.h"
#include "tests/support/fixtures.h"

namespace platform {
namespace {

using support::BgraPixels;
using support::BgrPixels;
using support::Bytes;
using support::PngColour;
using support::PngSpec;

PngSpec Spec(int width, int height, PngColour colour, int depth,
             std::vector<std::uint16_t> samples) {
  PngSpec spec;
  spec.width = width;
  spec.height = height;
  spec.colour = colour;
  spec.bit_depth = depth;
  spec.samples = std::move(samples);
  return spec;
}

PngSpec WithPalette(PngSpec spec, std::vector<std::uint32_t> palette,
                    std::vector<std::uint8_t> alpha = {}) {
  spec.palette = std::move(palette);
  spec.palette_alpha = std::move(alpha);
  return spec;
}

PngSpec WithKey(PngSpec spec, std::array<std::uint16_t, 3> key) {
  spec.transparent_colour = key;
  return spec;
}

TEST(DecodePng, ExpandsToEightBitBlueGreenRed) {
  struct Case {
    const char* name;
    PngSpec spec;
    int channels;
    Bytes want;
  };
  const Case cases[] = {
      {"palette 8-bit",
       WithPalette(Spec(2, 1, PngColour::kPalette, 8, {1, 0}), {0xFF0000, 0x102030}), 3,
       BgrPixels({0x102030, 0xFF0000})},
      {"palette 1-bit",
       WithPalette(Spec(3, 1, PngColour::kPalette, 1, {1, 0, 1}), {0x0000FF, 0xFFFF00}), 3,
       BgrPixels({0xFFFF00, 0x0000FF, 0xFFFF00})},
      {"palette 4-bit",
       WithPalette(Spec(1, 2, PngColour::kPalette, 4, {9, 2}),
                   {0, 0, 0x00FF00, 0, 0, 0, 0, 0, 0, 0xABCDEF}),
       3, BgrPixels({0xABCDEF, 0x00FF00})},
      {"palette 2-bit with tRNS, entries past tRNS opaque",
       WithPalette(Spec(3, 1, PngColour::kPalette, 2, {0, 1, 2}), {0xFF0000, 0x00FF00, 0x0000FF},
                   {0, 128}),
       4, BgraPixels({0x00FF0000, 0x8000FF00, 0xFF0000FF})},
      {"RGB 8-bit", Spec(2, 1, PngColour::kRgb, 8, {0x10, 0x20, 0x30, 0xFF, 0, 0}), 3,
       BgrPixels({0x102030, 0xFF0000})},
      {"RGB with tRNS key",
       WithKey(Spec(2, 1, PngColour::kRgb, 8, {10, 20, 30, 40, 50, 60}), {10, 20, 30}), 4,
       BgraPixels({0x000A141E, 0xFF28323C})},
      {"RGB 16-bit reduced",
       Spec(2, 1, PngColour::kRgb, 16, {0xFFFF, 0, 0x8080, 0, 0xFFFF, 0x0101}), 3,
       BgrPixels({0xFF0080, 0x00FF01})},
      {"RGBA 16-bit", Spec(1, 1, PngColour::kRgba, 16, {0xFFFF, 0x0000, 0x0000, 0x8080}), 4,
       BgraPixels({0x80FF0000})},
      {"RGBA 8-bit", Spec(1, 1, PngColour::kRgba, 8, {1, 2, 3, 4}), 4, BgraPixels({0x04010203})},
      {"grey 1-bit", Spec(2, 1, PngColour::kGrey, 1, {0, 1}), 3, BgrPixels({0x000000, 0xFFFFFF})},
      {"grey 2-bit", Spec(4, 1, PngColour::kGrey, 2, {0, 1, 2, 3}), 3,
       BgrPixels({0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF})},
      {"grey 4-bit", Spec(3, 1, PngColour::kGrey, 4, {0, 5, 15}), 3,
       BgrPixels({0x000000, 0x555555, 0xFFFFFF})},
      {"grey 8-bit", Spec(1, 2, PngColour::kGrey, 8, {0x42, 0x99}), 3,
       BgrPixels({0x424242, 0x999999})},
      {"grey 16-bit", Spec(2, 1, PngColour::kGrey, 16, {0xFFFF, 0x0000}), 3,
       BgrPixels({0xFFFFFF, 0x000000})},
      {"grey with tRNS key", WithKey(Spec(2, 1, PngColour::kGrey, 8, {7, 200}), {7, 0, 0}), 4,
       BgraPixels({0x00070707, 0xFFC8C8C8})},
      {"grey 2-bit with tRNS key", WithKey(Spec(2, 1, PngColour::kGrey, 2, {1, 3}), {1, 0, 0}), 4,
       BgraPixels({0x00555555, 0xFFFFFFFF})},
      {"grey and alpha", Spec(1, 1, PngColour::kGreyAlpha, 8, {100, 50}), 4,
       BgraPixels({0x32646464})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes png = support::MakePng(c.spec);
    ASSERT_FALSE(png.empty());
    const std::optional<Image> got = DecodePng(png);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->width, c.spec.width);
    EXPECT_EQ(got->height, c.spec.height);
    EXPECT_EQ(got->channels, c.channels);
    EXPECT_EQ(got->pixels, c.want);
  }
}

TEST(DecodePng, ReadsInterlacedPictures) {
  for (const int channels : {3, 4}) {
    SCOPED_TRACE(channels);
    const Image image = support::PatternImage(11, 9, channels);
    PngSpec spec;
    spec.width = image.width;
    spec.height = image.height;
    spec.colour = channels == 4 ? PngColour::kRgba : PngColour::kRgb;
    spec.interlaced = true;
    for (std::size_t i = 0; i < image.pixels.size(); i += static_cast<std::size_t>(channels)) {
      const std::uint8_t* p = &image.pixels[i];
      spec.samples.insert(spec.samples.end(), {p[2], p[1], p[0]});
      if (channels == 4) {
        spec.samples.push_back(p[3]);
      }
    }
    const std::optional<Image> got = DecodePng(support::MakePng(spec));
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->pixels, image.pixels);
  }
}

// A 1 x 1 PNG whose header then claims another size, with its checksum made right again so that
// only the size can make the decoder refuse.
Bytes WithClaimedSize(std::uint32_t width, std::uint32_t height) {
  Bytes png = support::MakePng(Spec(1, 1, PngColour::kRgb, 8, {1, 2, 3}));
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    png[at] = static_cast<std::uint8_t>(v >> 24);
    png[at + 1] = static_cast<std::uint8_t>(v >> 16);
    png[at + 2] = static_cast<std::uint8_t>(v >> 8);
    png[at + 3] = static_cast<std::uint8_t>(v);
  };
  put32(16, width);  // IHDR data starts at 16, after signature, length and type
  put32(20, height);
  put32(29, static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17)));
  return png;
}

TEST(DecodePng, RefusesHugeHeadersQuickly) {
  struct Case {
    std::uint32_t width, height;
  };
  const Case cases[] = {{100000, 100000}, {2000000, 1}, {1, 2000000}, {20000, 20000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DecodePng(WithClaimedSize(c.width, c.height)).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
  // The claimed size passes, then the pixels are missing.
  EXPECT_FALSE(DecodePng(WithClaimedSize(100, 100)).has_value());
  EXPECT_TRUE(DecodePng(WithClaimedSize(1, 1)).has_value());
}

TEST(DecodePng, RefusesPicturesOverTheBudget) {
  const Bytes rgb = support::EncodePng(support::PatternImage(4, 4, 3));
  EXPECT_TRUE(DecodePng(rgb, 48).has_value());
  EXPECT_FALSE(DecodePng(rgb, 47).has_value());
  const Bytes rgba = support::EncodePng(support::PatternImage(4, 4, 4));
  EXPECT_TRUE(DecodePng(rgba, 64).has_value());
  EXPECT_FALSE(DecodePng(rgba, 63).has_value());
}

TEST(DecodePng, SurvivesEveryTruncationAndByteFlip) {
  PngSpec interlaced =
      WithPalette(Spec(9, 9, PngColour::kPalette, 4, std::vector<std::uint16_t>(81, 1)),
                  {0xFF0000, 0x00FF00}, {0, 255});
  interlaced.interlaced = true;
  const Bytes pngs[] = {
      support::MakePng(interlaced),
      support::EncodePng(support::PatternImage(5, 3, 4)),
  };
  for (const Bytes& png : pngs) {
    const std::optional<Image> whole = DecodePng(png);
    ASSERT_TRUE(whole.has_value());
    // A cut file gives nothing, unless only the checksum and trailer after the pixels are gone.
    for (std::size_t n = 0; n < png.size(); ++n) {
      const std::optional<Image> got = DecodePng(std::span(png.data(), n));
      if (got) {
        EXPECT_EQ(got->pixels, whole->pixels) << n;
        EXPECT_GT(n, png.size() - 20) << n;
      }
    }
    support::ForEachOverwrite(png, [](auto data) { static_cast<void>(DecodePng(data, 1 << 20)); });
  }
}

}  // namespace
}  // namespace platform
