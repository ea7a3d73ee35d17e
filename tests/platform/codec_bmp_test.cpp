#include <chrono>

#include <gtest/gtest.h>

#include "platform/codecs.h"
#include "tests/support/fixtures.h"

namespace platform {
namespace {

using support::BgrPixels;
using support::BmpSpec;
using support::Bytes;

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kOdd = 0x102030;

BmpSpec Spec(int header_size, int width, int height, int bpp, std::uint32_t compression,
             Bytes pixels) {
  BmpSpec spec;
  spec.header_size = header_size;
  spec.width = width;
  spec.height = height;
  spec.bpp = bpp;
  spec.compression = compression;
  spec.pixels = std::move(pixels);
  return spec;
}

BmpSpec WithPalette(BmpSpec spec, std::vector<std::uint32_t> palette, std::uint32_t used = 0) {
  spec.palette = std::move(palette);
  spec.colours_used = used;
  return spec;
}

BmpSpec WithMasks(BmpSpec spec, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  spec.masks = {red, green, blue};
  return spec;
}

TEST(DecodeBmp, GivesStoredPixelsTopToBottom) {
  struct Case {
    const char* name;
    BmpSpec spec;
    int width, height;
    Bytes want;  // rows top to bottom
  };
  const Case cases[] = {
      {"1 bpp bottom-up",
       WithPalette(Spec(40, 3, 2, 1, 0, {0xA0, 0, 0, 0, 0x60, 0, 0, 0}), {kBlack, kWhite}), 3, 2,
       BgrPixels({kBlack, kWhite, kWhite, kWhite, kBlack, kWhite})},
      {"4 bpp top-down, index past the palette is black",
       WithPalette(Spec(40, 3, -2, 4, 0, {0x01, 0x20, 0, 0, 0x25, 0x10, 0, 0}),
                   {kRed, kGreen, kBlue}, 3),
       3, 2, BgrPixels({kRed, kGreen, kBlue, kBlue, kBlack, kGreen})},
      {"8 bpp bottom-up, palette shorter than 256",
       WithPalette(Spec(40, 2, 2, 8, 0, {3, 0, 0, 0, 1, 2, 0, 0}), {kRed, kGreen, kBlue, kOdd}), 2,
       2, BgrPixels({kGreen, kBlue, kOdd, kRed})},
      {"16 bpp 555 by default", Spec(40, 3, 1, 16, 0, {0x00, 0x7C, 0xE0, 0x03, 0x10, 0x00, 0, 0}),
       3, 1, BgrPixels({kRed, kGreen, 0x000084})},  // 16 of 31 scales to 132
      {"16 bpp 565 masks after an info header",
       WithMasks(Spec(40, 3, 1, 16, 3, {0x00, 0xF8, 0xE0, 0x07, 0x20, 0x00, 0, 0}), 0xF800, 0x07E0,
                 0x001F),
       3, 1, BgrPixels({kRed, kGreen, 0x000400})},  // 1 of 63 scales to 4
      {"16 bpp 444 masks inside a v4 header",
       WithMasks(Spec(108, 2, -1, 16, 3, {0x00, 0x0F, 0x80, 0x00}), 0x0F00, 0x00F0, 0x000F), 2, 1,
       BgrPixels({kRed, 0x008800})},
      {"16 bpp masks inside a v2 header",
       WithMasks(Spec(52, 1, 1, 16, 3, {0x1F, 0x00, 0, 0}), 0x7C00, 0x03E0, 0x001F), 1, 1,
       BgrPixels({kBlue})},
      {"24 bpp bottom-up with row padding",
       Spec(40, 2, 2, 24, 0,
            {0xFF, 0, 0, 0, 0xFF, 0, 0, 0,  // bottom: blue, green
             0, 0, 0xFF, 0x30, 0x20, 0x10, 0, 0}),
       2, 2, BgrPixels({kRed, kOdd, kBlue, kGreen})},
      {"24 bpp top-down",
       Spec(40, 2, -2, 24, 0, {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0xFF, 0x30, 0x20, 0x10, 0, 0}),
       2, 2, BgrPixels({kBlue, kGreen, kRed, kOdd})},
      {"32 bpp, stored alpha ignored",
       Spec(40, 2, 1, 32, 0, {0x30, 0x20, 0x10, 0x00, 0xFF, 0, 0, 0x80}), 2, 1,
       BgrPixels({kOdd, kBlue})},
      {"32 bpp masks in red-green-blue byte order, v5 header",
       WithMasks(Spec(124, 2, 1, 32, 3, {0x10, 0x20, 0x30, 0x00, 0xFF, 0, 0, 0xFF}), 0x000000FF,
                 0x0000FF00, 0x00FF0000),
       2, 1, BgrPixels({kOdd, kRed})},
      {"32 bpp masks, v3 header",
       WithMasks(Spec(56, 1, -1, 32, 3, {0, 0, 0, 0xFF}), 0xFF000000, 0x00FF0000, 0x0000FF00), 1, 1,
       BgrPixels({kRed})},
      {"core header, 8 bpp with 3-byte palette entries",
       WithPalette(Spec(12, 2, 1, 8, 0, {1, 0, 0, 0}), {kOdd, kGreen}), 2, 1,
       BgrPixels({kGreen, kOdd})},
      {"core header, 24 bpp", Spec(12, 1, 2, 24, 0, {0, 0, 0xFF, 0, 0xFF, 0, 0, 0}), 1, 2,
       BgrPixels({kBlue, kRed})},
      {"OS/2 2.x 64-byte header, 4 bpp",
       WithPalette(Spec(64, 2, 1, 4, 0, {0x10, 0, 0, 0}), {kRed, kGreen}), 2, 1,
       BgrPixels({kGreen, kRed})},
      {"OS/2 2.x 16-byte header, 24 bpp", Spec(16, 1, 1, 24, 0, {0x30, 0x20, 0x10, 0}), 1, 1,
       BgrPixels({kOdd})},
      {"RLE8: runs, odd absolute run, end of line, delta, end of bitmap",
       WithPalette(Spec(40, 5, 3, 8, 1,
                        {0x02, 0x01,                          // 2 x index 1
                         0x00, 0x03, 0x02, 0x03, 0x00, 0x00,  // absolute 2, 3, 0 + pad
                         0x00, 0x00,                          // end of line
                         0x00, 0x02, 0x01, 0x01,              // delta right 1, up 1
                         0x01, 0x02,                          // 1 x index 2
                         0x00, 0x01}),                        // end of bitmap
                   {kRed, kGreen, kBlue, kOdd}),
       5, 3,
       BgrPixels({kBlack, kBlue, kBlack, kBlack, kBlack,   // file row 2
                  kBlack, kBlack, kBlack, kBlack, kBlack,  // file row 1, never written
                  kGreen, kGreen, kBlue, kOdd, kRed})},
      {"RLE4: run of alternating nibbles, absolute run",
       WithPalette(Spec(40, 5, 2, 4, 2,
                        {0x05, 0x12,              // 1 2 1 2 1
                         0x00, 0x00,              // end of line
                         0x00, 0x03, 0x31, 0x20,  // absolute 3, 1, 2
                         0x00, 0x01}),
                   {kRed, kGreen, kBlue, kOdd}),
       5, 2,
       BgrPixels({kOdd, kGreen, kBlue, kBlack, kBlack,  // file row 1
                  kGreen, kBlue, kGreen, kBlue, kGreen})},
      {"RLE8 runs past the row's end are clipped",
       WithPalette(Spec(40, 2, 1, 8, 1, {0x05, 0x01, 0x00, 0x01}), {kRed, kGreen}), 2, 1,
       BgrPixels({kGreen, kGreen})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Image> got = DecodeBmp(support::MakeBmp(c.spec));
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->width, c.width);
    EXPECT_EQ(got->height, c.height);
    EXPECT_EQ(got->channels, 3);
    EXPECT_EQ(got->pixels, c.want);
  }
}

TEST(DecodeBmp, AcceptsLastRowWithoutPadding) {
  Bytes bmp = support::MakeBmp(Spec(40, 1, 2, 24, 0, {0, 0, 0xFF, 0, 0xFF, 0, 0, 0}));
  bmp.pop_back();  // the top row's padding byte
  const std::optional<Image> got = DecodeBmp(bmp);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->pixels, BgrPixels({kBlue, kRed}));
}

TEST(DecodeBmp, RoundTripsAnEncodedImage) {
  const Image image = support::PatternImage(7, 5, 3);
  const std::optional<Image> got = DecodeBmp(support::EncodeBmp24(image));
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->pixels, image.pixels);
}

TEST(DecodeBmp, RefusesWhatItCannotRead) {
  const Bytes valid = support::MakeBmp(Spec(40, 2, 2, 24, 0, Bytes(16, 0x7F)));
  auto patched = [&](std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    Bytes b = valid;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
  };
  struct Case {
    const char* name;
    Bytes data;
  };
  const Case cases[] = {
      {"nothing", {}},
      {"only the signature", {'B', 'M'}},
      {"file header only", Bytes(valid.begin(), valid.begin() + 14)},
      {"reserved word not zero", patched(6, {1})},
      {"header size 0", patched(14, {0, 0, 0, 0})},
      {"header size past the data", patched(14, {0xFF, 0xFF, 0, 0})},
      {"width 0", patched(18, {0, 0, 0, 0})},
      {"negative width", patched(18, {0xFE, 0xFF, 0xFF, 0xFF})},
      {"height 0", patched(22, {0, 0, 0, 0})},
      {"height INT32_MIN", patched(22, {0, 0, 0, 0x80})},
      {"7 bits per pixel", patched(28, {7, 0})},
      {"64 bits per pixel", patched(28, {64, 0})},
      {"embedded JPEG", patched(30, {4, 0, 0, 0})},
      {"RLE8 at 24 bpp", patched(30, {1, 0, 0, 0})},
      {"bitfields at 24 bpp", patched(30, {3, 0, 0, 0})},
      {"pixel offset past the data", patched(10, {0xFF, 0xFF, 0, 0})},
      {"pixels cut short", Bytes(valid.begin(), valid.end() - 6)},
      {"50000 x 50000 over 16 bytes", patched(18, {0x50, 0xC3, 0, 0, 0x50, 0xC3, 0, 0})},
      {"10000 x 10000 over 16 bytes", patched(18, {0x10, 0x27, 0, 0, 0x10, 0x27, 0, 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(DecodeBmp(c.data).has_value());
  }
}

TEST(DecodeBmp, RefusesPicturesOverTheBudget) {
  const Bytes bmp = support::MakeBmp(Spec(40, 4, 4, 24, 0, Bytes(48, 0)));
  EXPECT_TRUE(DecodeBmp(bmp, 48).has_value());
  EXPECT_FALSE(DecodeBmp(bmp, 47).has_value());
  // RLE may describe a huge picture in a few bytes; the default budget still stops it at once.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(DecodeBmp(support::MakeBmp(Spec(40, 50000, 50000, 8, 1, {0, 1}))).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(DecodeBmp, SurvivesEveryTruncationAndByteFlip) {
  const BmpSpec specs[] = {
      WithPalette(Spec(40, 5, 3, 8, 1,
                       {0x02, 0x01, 0x00, 0x03, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02,
                        0x01, 0x01, 0x01, 0x02, 0x00, 0x01}),
                  {kRed, kGreen, kBlue, kOdd}),
      WithMasks(Spec(40, 3, 1, 16, 3, {0x00, 0xF8, 0xE0, 0x07, 0x20, 0x00, 0, 0}), 0xF800, 0x07E0,
                0x001F),
      WithPalette(Spec(12, 2, 1, 8, 0, {1, 0, 0, 0}), {kOdd, kGreen}),
  };
  for (const BmpSpec& spec : specs) {
    const Bytes bmp = support::MakeBmp(spec);
    support::ForEachPrefix(bmp, [](auto data) { static_cast<void>(DecodeBmp(data)); });
    support::ForEachOverwrite(bmp, [](auto data) { static_cast<void>(DecodeBmp(data, 1 << 20)); });
  }
}

}  // namespace
}  // namespace platform
