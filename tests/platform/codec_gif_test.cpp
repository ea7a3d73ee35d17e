#include <chrono>

#include <gtest/gtest.h>

#include "platform/codecs.h"
#include "tests/support/fixtures.h"

namespace platform {
namespace {

using support::BgraPixels;
using support::Bytes;
using support::GifFrame;
using support::GifSpec;

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kOdd = 0xFF102030;
constexpr std::uint32_t kClear = 0x00000000;
const std::vector<std::uint32_t> kPalette = {0xFF0000, 0x00FF00, 0x0000FF, 0x102030};

GifFrame Frame(int left, int top, int width, int height, std::vector<std::uint8_t> indices,
               int transparent = -1) {
  GifFrame frame;
  frame.left = left;
  frame.top = top;
  frame.width = width;
  frame.height = height;
  frame.indices = std::move(indices);
  frame.transparent_index = transparent;
  return frame;
}

GifSpec Spec(int width, int height, std::vector<GifFrame> frames) {
  GifSpec spec;
  spec.screen_width = width;
  spec.screen_height = height;
  spec.global_palette = kPalette;
  spec.frames = std::move(frames);
  return spec;
}

GifFrame Interlaced(GifFrame frame) {
  frame.interlaced = true;
  return frame;
}

GifFrame WithLocalPalette(GifFrame frame, std::vector<std::uint32_t> palette) {
  frame.local_palette = std::move(palette);
  return frame;
}

GifSpec KeepingColours(GifSpec spec, int keep) {
  spec.global_palette_keep = keep;
  return spec;
}

TEST(DecodeGif, DrawsTheFirstFrameOnTheLogicalScreen) {
  struct Case {
    const char* name;
    GifSpec spec;
    int width, height;
    Bytes want;
  };
  const Case cases[] = {
      {"whole-screen frame", Spec(2, 2, {Frame(0, 0, 2, 2, {0, 1, 2, 3})}), 2, 2,
       BgraPixels({kRed, kGreen, kBlue, kOdd})},
      {"transparent index", Spec(2, 1, {Frame(0, 0, 2, 1, {0, 1}, 1)}), 2, 1,
       BgraPixels({kRed, kClear})},
      {"offset frame on a bigger screen", Spec(4, 3, {Frame(1, 1, 2, 1, {2, 3})}), 4, 3,
       BgraPixels({kClear, kClear, kClear, kClear,  //
                   kClear, kBlue, kOdd, kClear,     //
                   kClear, kClear, kClear, kClear})},
      {"frame running off the screen is clipped", Spec(3, 2, {Frame(2, 1, 2, 2, {0, 1, 2, 3})}), 3,
       2, BgraPixels({kClear, kClear, kClear, kClear, kClear, kRed})},
      {"local colour map",
       Spec(2, 1, {WithLocalPalette(Frame(0, 0, 2, 1, {0, 1}), {0x123456, 0xFEDCBA})}), 2, 1,
       BgraPixels({0xFF123456, 0xFFFEDCBA})},
      {"interlaced rows",
       Spec(1, 10, {Interlaced(Frame(0, 0, 1, 10, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1}))}), 1, 10,
       BgraPixels({kRed, kGreen, kBlue, kOdd, kRed, kGreen, kBlue, kOdd, kRed, kGreen})},
      {"index past the colour map is transparent",
       KeepingColours(Spec(2, 1, {Frame(0, 0, 2, 1, {1, 3})}), 2), 2, 1,
       BgraPixels({kGreen, kClear})},
      {"animation: only the first frame",
       Spec(2, 1,
            {Frame(0, 0, 2, 1, {0, 0}), Frame(0, 0, 2, 1, {1, 1}, 0), Frame(0, 0, 1, 1, {2})}),
       2, 1, BgraPixels({kRed, kRed})},
      {"screen 0 x 0 takes the frame's size", Spec(0, 0, {Frame(3, 4, 2, 1, {3, 2})}), 2, 1,
       BgraPixels({kOdd, kBlue})},
      {"screen smaller than the frame takes the frame's size",
       Spec(1, 1, {Frame(5, 5, 1, 2, {1, 0})}), 1, 2, BgraPixels({kGreen, kRed})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes gif = support::MakeGif(c.spec);
    ASSERT_FALSE(gif.empty());
    const std::optional<Image> got = DecodeGif(gif);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->width, c.width);
    EXPECT_EQ(got->height, c.height);
    EXPECT_EQ(got->channels, 4);
    EXPECT_EQ(got->pixels, c.want);
  }
}

TEST(DecodeGif, StopsAfterTheFirstOfThousandsOfFrames) {
  std::vector<GifFrame> frames;
  frames.push_back(Frame(0, 0, 64, 64, std::vector<std::uint8_t>(64 * 64, 2)));
  for (int i = 0; i < 3000; ++i) {
    frames.push_back(Frame(0, 0, 64, 64, std::vector<std::uint8_t>(64 * 64, i % 2), 3));
  }
  const Bytes gif = support::MakeGif(Spec(64, 64, std::move(frames)));
  const auto start = std::chrono::steady_clock::now();
  const std::optional<Image> got = DecodeGif(gif);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(support::PixelAt(*got, 63, 63), BgraPixels({kBlue}));
}

TEST(DecodeGif, RefusesWhatItCannotRead) {
  const Bytes valid = support::MakeGif(Spec(2, 2, {Frame(0, 0, 2, 2, {0, 1, 2, 3})}));
  Bytes huge_screen = support::MakeGif(Spec(65535, 65535, {Frame(0, 0, 2, 2, {0, 1, 2, 3})}));
  struct Case {
    const char* name;
    Bytes data;
  };
  const Case cases[] = {
      {"nothing", {}},
      {"signature only", {'G', 'I', 'F', '8', '9', 'a'}},
      {"not a GIF", {'G', 'I', 'F', '8', '8', 'a', 2, 0, 2, 0, 0, 0, 0, ';'}},
      {"no frame before the trailer", support::MakeGif(Spec(2, 2, {}))},
      {"65535 x 65535 screen", huge_screen},
      {"cut in the header", Bytes(valid.begin(), valid.begin() + 10)},
      {"cut in the colour map", Bytes(valid.begin(), valid.begin() + 20)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DecodeGif(c.data).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
}

TEST(DecodeGif, RefusesPicturesOverTheBudget) {
  // The budget counts the logical screen, not the frame.
  const Bytes gif = support::MakeGif(Spec(4, 4, {Frame(0, 0, 1, 1, {0})}));
  EXPECT_TRUE(DecodeGif(gif, 64).has_value());
  EXPECT_FALSE(DecodeGif(gif, 63).has_value());
}

TEST(DecodeGif, KeepsTheRowsOfAFrameCutShort) {
  // Noise does not compress, so the frame spans many data sub-blocks and a cut near the end
  // leaves the first rows whole.
  std::vector<std::uint8_t> indices(64 * 64);
  std::uint32_t seed = 1;
  for (std::uint8_t& index : indices) {
    seed = seed * 1103515245 + 12345;
    index = static_cast<std::uint8_t>(seed >> 16) % 4;
  }
  const Bytes gif = support::MakeGif(Spec(64, 64, {Frame(0, 0, 64, 64, indices)}));
  const std::optional<Image> whole = DecodeGif(gif);
  ASSERT_TRUE(whole.has_value());
  const std::optional<Image> cut = DecodeGif(std::span(gif.data(), gif.size() - 300));
  ASSERT_TRUE(cut.has_value());
  auto first_row = [](const Image& image) {
    return Bytes(image.row(0), image.row(0) + image.stride());
  };
  EXPECT_EQ(first_row(*cut), first_row(*whole));
  EXPECT_EQ(support::PixelAt(*cut, 63, 63), BgraPixels({kClear}));
}

TEST(DecodeGif, SurvivesEveryTruncationAndByteFlip) {
  const GifSpec specs[] = {
      Spec(4, 3, {Frame(1, 1, 2, 2, {0, 1, 2, 3}, 2), Frame(0, 0, 1, 1, {1})}),
      KeepingColours(Spec(3, 9, {Interlaced(Frame(0, 0, 3, 9, std::vector<std::uint8_t>(27, 3)))}),
                     2),
  };
  for (const GifSpec& spec : specs) {
    const Bytes gif = support::MakeGif(spec);
    support::ForEachPrefix(gif, [](auto data) { static_cast<void>(DecodeGif(data)); });
    support::ForEachOverwrite(gif, [](auto data) { static_cast<void>(DecodeGif(data, 1 << 20)); });
  }
}

}  // namespace
}  // namespace platform
