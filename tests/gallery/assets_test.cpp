#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include <gtest/gtest.h>

#include "assets/embedded.h"
#include "platform/codecs.h"
#include "platform/image.h"

namespace assets {
namespace {

int BigEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return bytes[at] << 8 | bytes[at + 1];
}

// The payload of the first marker segment of type `marker` before the scan, or nothing.
std::optional<std::span<const std::uint8_t>> FindSegment(std::span<const std::uint8_t> jpeg,
                                                         std::uint8_t marker) {
  std::size_t at = 2;  // past SOI
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
    const std::size_t length = static_cast<std::size_t>(BigEndian16(jpeg, at + 2));
    if (length < 2 || at + 2 + length > jpeg.size()) {
      return std::nullopt;
    }
    if (jpeg[at + 1] == marker) {
      return jpeg.subspan(at + 4, length - 2);
    }
    at += 2 + length;
  }
  return std::nullopt;
}

TEST(EmbeddedBanner, IsABaselineJfifAt72DpiWith420Sampling) {
  const std::span<const std::uint8_t> jpeg = BannerJpeg();
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  // A truncated embedding would lose the end-of-image marker first.
  EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
  EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);

  const auto app0 = FindSegment(jpeg, 0xE0);
  ASSERT_TRUE(app0);
  ASSERT_GE(app0->size(), 12u);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(app0->data()), 5),
            std::string_view("JFIF\0", 5));
  EXPECT_EQ((*app0)[5], 1);  // version 1.01
  EXPECT_EQ((*app0)[6], 1);
  EXPECT_EQ((*app0)[7], 1);  // dots per inch
  EXPECT_EQ(BigEndian16(*app0, 8), 72);
  EXPECT_EQ(BigEndian16(*app0, 10), 72);

  const auto sof0 = FindSegment(jpeg, 0xC0);
  ASSERT_TRUE(sof0);
  ASSERT_EQ(sof0->size(), 6u + 3 * 3);
  EXPECT_EQ((*sof0)[0], 8);
  EXPECT_EQ(BigEndian16(*sof0, 1), 53);
  EXPECT_EQ(BigEndian16(*sof0, 3), 728);
  EXPECT_EQ((*sof0)[5], 3);
  EXPECT_EQ((*sof0)[7], 0x22);  // luma 2 x 2, both chroma planes 1 x 1
  EXPECT_EQ((*sof0)[10], 0x11);
  EXPECT_EQ((*sof0)[13], 0x11);

  const std::optional<platform::Image> image = platform::DecodeJpeg(jpeg);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 728);
  EXPECT_EQ(image->height, 53);
}

TEST(EmbeddedIcon, Is128SquareWithTransparentCornersAndAnOpaqueMiddle) {
  const std::optional<platform::Image> icon = platform::DecodePng(IconPng());
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->width, 128);
  EXPECT_EQ(icon->height, 128);
  ASSERT_EQ(icon->channels, 4);
  const auto alpha = [&](int x, int y) { return icon->row(y)[x * 4 + 3]; };
  EXPECT_EQ(alpha(0, 0), 0);
  EXPECT_EQ(alpha(127, 0), 0);
  EXPECT_EQ(alpha(0, 127), 0);
  EXPECT_EQ(alpha(127, 127), 0);
  EXPECT_EQ(alpha(64, 64), 255);
}

}  // namespace
}  // namespace assets
