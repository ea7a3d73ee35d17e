#include <gtest/gtest.h>

#include "platform/codecs.h"
#include "tests/support/fixtures.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using support::Bytes;

TEST(FormatPredicates, LookAtTheFirstBytesOnly) {
  struct Case {
    const char* name;
    Bytes data;
    bool bmp, jpeg, gif, png;
  };
  const Case cases[] = {
      {"BMP header", {'B', 'M', 9, 9, 9, 9, 0, 0, 0, 0}, true, false, false, false},
      {"BM with a reserved word set",
       {'B', 'M', 9, 9, 9, 9, 0, 1, 0, 0},
       false,
       false,
       false,
       false},
      {"BM with the second reserved word set",
       {'B', 'M', 0, 0, 0, 0, 0, 0, 2, 0},
       false,
       false,
       false,
       false},
      {"BM cut before the reserved words",
       {'B', 'M', 0, 0, 0, 0, 0, 0, 0},
       false,
       false,
       false,
       false},
      {"JPEG SOI", {0xFF, 0xD8}, false, true, false, false},
      {"JPEG SOI and more", {0xFF, 0xD8, 0xFF, 0xE0}, false, true, false, false},
      {"EOI is not a start", {0xFF, 0xD9}, false, false, false, false},
      {"lone FF", {0xFF}, false, false, false, false},
      {"GIF87a", {'G', 'I', 'F', '8', '7', 'a'}, false, false, true, false},
      {"GIF89a", {'G', 'I', 'F', '8', '9', 'a', 0}, false, false, true, false},
      {"GIF88a", {'G', 'I', 'F', '8', '8', 'a'}, false, false, false, false},
      {"gif89a in lower case", {'g', 'i', 'f', '8', '9', 'a'}, false, false, false, false},
      {"GIF8", {'G', 'I', 'F', '8'}, false, false, false, false},
      {"PNG signature", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, false, false, false, true},
      {"PNG signature with LF for CR",
       {0x89, 'P', 'N', 'G', '\n', '\n', 0x1A, '\n'},
       false,
       false,
       false,
       false},
      {"PNG signature cut", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}, false, false, false, false},
      {"nothing", {}, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LooksLikeBmp(c.data), c.bmp);
    EXPECT_EQ(LooksLikeJpeg(c.data), c.jpeg);
    EXPECT_EQ(LooksLikeGif(c.data), c.gif);
    EXPECT_EQ(LooksLikePng(c.data), c.png);
  }
}

TEST(DecodeImage, RecognisesTheFormatByContent) {
  const Image colour = support::SolidImage(16, 16, 3, 200, 100, 50);
  support::JpegSpec jpeg;
  jpeg.width = 16;
  jpeg.height = 16;
  jpeg.samples.assign(16 * 16 * 3, 0);
  support::GifSpec gif;
  gif.screen_width = 3;
  gif.screen_height = 2;
  gif.global_palette = {0x123456, 0x654321};
  gif.frames.push_back({0, 0, 1, 1, false, {1}, {}, -1});
  struct Case {
    const char* name;
    Bytes data;
    int width, height, channels;
  };
  const Case cases[] = {
      {"BMP", support::EncodeBmp24(colour), 16, 16, 3},
      {"JPEG", support::MakeJpeg(jpeg), 16, 16, 3},
      {"GIF", support::MakeGif(gif), 3, 2, 4},
      {"PNG without alpha", support::EncodePng(colour), 16, 16, 3},
      {"PNG with alpha", support::EncodePng(support::SolidImage(5, 7, 4, 1, 2, 3, 4)), 5, 7, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Image> got = DecodeImage(c.data);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->width, c.width);
    EXPECT_EQ(got->height, c.height);
    EXPECT_EQ(got->channels, c.channels);
    EXPECT_EQ(got->pixels.size(), got->stride() * static_cast<std::size_t>(got->height));
  }
}

TEST(DecodeImage, RefusesDataNoReaderAccepts) {
  Bytes bmp_with_reserved = support::EncodeBmp24(support::SolidImage(2, 2, 3, 1, 2, 3));
  bmp_with_reserved[6] = 1;  // otherwise a valid BMP
  Bytes png_behind_junk = support::EncodePng(support::SolidImage(2, 2, 3, 1, 2, 3));
  png_behind_junk.insert(png_behind_junk.begin(), 0);
  const Bytes cases[] = {
      {}, bmp_with_reserved, png_behind_junk, {'h', 'e', 'l', 'l', 'o'}, Bytes(1000, 0),
  };
  for (const Bytes& data : cases) {
    EXPECT_FALSE(DecodeImage(data).has_value());
  }
}

TEST(DecodeImage, PassesTheBudgetOn) {
  const Bytes png = support::EncodePng(support::SolidImage(10, 10, 3, 1, 2, 3));
  EXPECT_TRUE(DecodeImage(png, 300).has_value());
  EXPECT_FALSE(DecodeImage(png, 299).has_value());
}

TEST(ReadWholeFile, ReadsFilesAndNothingElse) {
  const testsupport::TempFolder temp;
  std::string content(100000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) {
    content[i] = static_cast<char>(i * 31);
  }
  const auto file = temp.Write("picture.bin", content);
  const std::optional<std::vector<std::uint8_t>> got = ReadWholeFile(file);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(std::string(got->begin(), got->end()), content);

  const std::optional<std::vector<std::uint8_t>> empty = ReadWholeFile(temp.Write("empty.bin"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());

  EXPECT_FALSE(ReadWholeFile(temp.path() / "missing.bin").has_value());
  EXPECT_FALSE(ReadWholeFile(temp.MakeFolder("folder.png")).has_value());
}

}  // namespace
}  // namespace platform
