#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/codecs.h"
#include "tests/support/fixtures.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using support::Bytes;
using support::JpegColour;
using support::JpegSpec;

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kGrey = 0x808080;

// The four quadrants' colours of every colour fixture, as 0xRRGGBB.
constexpr std::uint32_t kQuadrants[4] = {kRed, kGreen, kBlue, kGrey};

// A 16 x 16 picture in four flat 8 x 8 quadrants, samples given per quadrant.
std::vector<std::uint8_t> Quadrants(const std::vector<std::vector<std::uint8_t>>& colours) {
  std::vector<std::uint8_t> samples;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const auto& c = colours[static_cast<std::size_t>((y / 8) * 2 + x / 8)];
      samples.insert(samples.end(), c.begin(), c.end());
    }
  }
  return samples;
}

JpegSpec Spec(JpegColour colour, std::vector<std::uint8_t> samples) {
  JpegSpec spec;
  spec.width = 16;
  spec.height = 16;
  spec.colour = colour;
  spec.samples = std::move(samples);
  spec.quality = 100;
  spec.full_chroma = true;  // each flat quadrant keeps its own colour
  return spec;
}

JpegSpec Progressive(JpegSpec spec) {
  spec.progressive = true;
  return spec;
}

JpegSpec WithRestarts(JpegSpec spec) {
  spec.restart_interval = 1;
  return spec;
}

JpegSpec WithoutAdobeMarker(JpegSpec spec) {
  spec.adobe_marker = false;
  return spec;
}

// Red, green, blue, grey as RGB samples, as Adobe's inverted CMYK (255 = no ink), and as
// plain CMYK ink amounts.
const std::vector<std::vector<std::uint8_t>> kRgbQuadrants = {
    {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 128, 128}};
const std::vector<std::vector<std::uint8_t>> kAdobeCmykQuadrants = {
    {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 128}};
const std::vector<std::vector<std::uint8_t>> kPlainCmykQuadrants = {
    {0, 255, 255, 0}, {255, 0, 255, 0}, {255, 255, 0, 0}, {0, 0, 0, 127}};

void ExpectNear(const Image& image, int x, int y, std::uint32_t rgb, int tolerance) {
  const std::vector<std::uint8_t> got = support::PixelAt(image, x, y);
  ASSERT_EQ(got.size(), 3u);
  const int want[3] = {static_cast<int>(rgb & 0xFF), static_cast<int>(rgb >> 8 & 0xFF),
                       static_cast<int>(rgb >> 16 & 0xFF)};
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(got[static_cast<std::size_t>(c)], want[c], tolerance)
        << "pixel " << x << "," << y << " channel " << c;
  }
}

void ExpectQuadrants(const Image& image, int tolerance) {
  for (int q = 0; q < 4; ++q) {
    const int x0 = (q % 2) * 8;
    const int y0 = (q / 2) * 8;
    for (const auto& [dx, dy] : {std::pair{0, 0}, {3, 4}, {7, 7}}) {
      ExpectNear(image, x0 + dx, y0 + dy, kQuadrants[q], tolerance);
    }
  }
}

TEST(DecodeJpeg, ConvertsEveryColourSpaceToBlueGreenRed) {
  struct Case {
    const char* name;
    JpegSpec spec;
  };
  const Case cases[] = {
      {"YCbCr baseline", Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants))},
      {"YCbCr progressive", Progressive(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants)))},
      {"YCbCr with restart markers",
       WithRestarts(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants)))},
      {"progressive with restart markers",
       WithRestarts(Progressive(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants))))},
      {"Adobe CMYK (inverted)", Spec(JpegColour::kCmyk, Quadrants(kAdobeCmykQuadrants))},
      {"Adobe CMYK progressive",
       Progressive(Spec(JpegColour::kCmyk, Quadrants(kAdobeCmykQuadrants)))},
      {"plain CMYK without Adobe marker",
       WithoutAdobeMarker(Spec(JpegColour::kCmyk, Quadrants(kPlainCmykQuadrants)))},
      {"Adobe YCCK", Spec(JpegColour::kYcck, Quadrants(kAdobeCmykQuadrants))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes jpeg = support::MakeJpeg(c.spec);
    ASSERT_FALSE(jpeg.empty());
    const std::optional<Image> got = DecodeJpeg(jpeg);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->width, 16);
    EXPECT_EQ(got->height, 16);
    EXPECT_EQ(got->channels, 3);
    ExpectQuadrants(*got, 6);
  }
}

TEST(DecodeJpeg, ExpandsGreyToThreeEqualChannels) {
  JpegSpec spec = Spec(JpegColour::kGrey, Quadrants({{0x20}, {0xC0}, {0xFF}, {0x00}}));
  const std::optional<Image> got = DecodeJpeg(support::MakeJpeg(spec));
  ASSERT_TRUE(got.has_value());
  ASSERT_EQ(got->channels, 3);
  const int want[4] = {0x20, 0xC0, 0xFF, 0x00};
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::vector<std::uint8_t> p = support::PixelAt(*got, x, y);
      EXPECT_EQ(p[0], p[1]);
      EXPECT_EQ(p[1], p[2]);
      EXPECT_NEAR(p[0], want[(y / 8) * 2 + x / 8], 2);
    }
  }
}

// The segments of a JPEG file up to EOI: each marker's second byte and its payload (without the
// length). Entropy-coded data and restart markers inside it are skipped but counted.
struct Segment {
  std::uint8_t marker;
  Bytes payload;
};
struct Parsed {
  std::vector<Segment> segments;
  int restart_markers = 0;
  bool complete = false;
};

Parsed ParseJpeg(const Bytes& data) {
  Parsed parsed;
  if (data.size() < 2 || data[0] != 0xFF || data[1] != 0xD8) {
    return parsed;
  }
  parsed.segments.push_back({0xD8, {}});
  std::size_t pos = 2;
  while (pos + 4 <= data.size() && data[pos] == 0xFF) {
    const std::uint8_t marker = data[pos + 1];
    const std::size_t length = static_cast<std::size_t>(data[pos + 2] << 8 | data[pos + 3]);
    if (length < 2 || pos + 2 + length > data.size()) {
      return parsed;
    }
    parsed.segments.push_back(
        {marker, Bytes(data.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                       data.begin() + static_cast<std::ptrdiff_t>(pos + 2 + length))});
    pos += 2 + length;
    if (marker == 0xDA) {  // SOS: skip the scan to the next real marker
      while (pos + 1 < data.size() &&
             !(data[pos] == 0xFF && data[pos + 1] != 0 && (data[pos + 1] & 0xF8) != 0xD0)) {
        if (data[pos] == 0xFF && (data[pos + 1] & 0xF8) == 0xD0) {
          ++parsed.restart_markers;
        }
        ++pos;
      }
      if (pos + 1 < data.size() && data[pos + 1] == 0xD9) {
        parsed.segments.push_back({0xD9, {}});
        parsed.complete = pos + 2 == data.size();
        return parsed;
      }
    }
  }
  return parsed;
}

std::vector<std::uint8_t> Markers(const Parsed& parsed) {
  std::vector<std::uint8_t> markers;
  for (const Segment& s : parsed.segments) {
    markers.push_back(s.marker);
  }
  return markers;
}

TEST(JpegFixtures, RestartAndProgressiveOptionsReachTheFile) {
  const Parsed restarts = ParseJpeg(
      support::MakeJpeg(WithRestarts(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants)))));
  const std::vector<std::uint8_t> markers = Markers(restarts);
  EXPECT_NE(std::find(markers.begin(), markers.end(), 0xDD), markers.end());  // DRI
  EXPECT_EQ(restarts.restart_markers, 3);  // four MCUs, a restart between each
  const Parsed progressive =
      ParseJpeg(support::MakeJpeg(Progressive(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants)))));
  const std::vector<std::uint8_t> p = Markers(progressive);
  EXPECT_NE(std::find(p.begin(), p.end(), 0xC2), p.end());  // SOF2
  EXPECT_GT(std::count(p.begin(), p.end(), 0xDA), 1);
}

// Replaces the size in the frame header.
Bytes WithClaimedSize(Bytes jpeg, int width, int height) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<std::uint8_t>(height);
      jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<std::uint8_t>(width);
      break;
    }
  }
  return jpeg;
}

TEST(DecodeJpeg, RefusesWhatItCannotRead) {
  const Bytes valid = support::MakeJpeg(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants)));
  const Bytes progressive =
      support::MakeJpeg(Progressive(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants))));
  struct Case {
    const char* name;
    Bytes data;
  };
  const Case cases[] = {
      {"nothing", {}},
      {"SOI only", {0xFF, 0xD8}},
      {"SOI then EOI", {0xFF, 0xD8, 0xFF, 0xD9}},
      {"SOI then garbage", {0xFF, 0xD8, 1, 2, 3, 4, 5, 6, 7, 8}},
      {"cut before the frame header", Bytes(valid.begin(), valid.begin() + 100)},
      {"65000 x 65000", WithClaimedSize(valid, 65000, 65000)},
      {"65000 x 65000 progressive", WithClaimedSize(progressive, 65000, 65000)},
      {"20000 x 20000, just over the budget", WithClaimedSize(valid, 20000, 20000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DecodeJpeg(c.data).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
}

TEST(DecodeJpeg, RefusesPicturesOverTheBudget) {
  const Bytes jpeg = support::MakeJpeg(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants)));
  EXPECT_TRUE(DecodeJpeg(jpeg, 16 * 16 * 3).has_value());
  EXPECT_FALSE(DecodeJpeg(jpeg, 16 * 16 * 3 - 1).has_value());
}

TEST(DecodeJpeg, RefusesEndlessScans) {
  const Bytes progressive =
      support::MakeJpeg(Progressive(Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants))));
  // Repeat the last scan (from its SOS to just before EOI) until the file has 200 scans.
  std::size_t last_sos = 0;
  for (std::size_t i = 2; i + 1 < progressive.size(); ++i) {
    if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA) {
      last_sos = i;
    }
  }
  ASSERT_GT(last_sos, 0u);
  const Bytes scan(progressive.begin() + static_cast<std::ptrdiff_t>(last_sos),
                   progressive.end() - 2);
  Bytes bomb(progressive.begin(), progressive.end() - 2);
  for (int i = 0; i < 200; ++i) {
    bomb.insert(bomb.end(), scan.begin(), scan.end());
  }
  bomb.insert(bomb.end(), {0xFF, 0xD9});
  EXPECT_TRUE(DecodeJpeg(progressive).has_value());
  EXPECT_FALSE(DecodeJpeg(bomb).has_value());
}

TEST(DecodeJpeg, GivesWhateverLibjpegRecoversFromACutFile) {
  JpegSpec spec;
  spec.width = 64;
  spec.height = 64;
  spec.quality = 90;
  for (int i = 0; i < 64 * 64 * 3; ++i) {
    spec.samples.push_back(static_cast<std::uint8_t>(i * 7));
  }
  const Bytes whole = support::MakeJpeg(spec);
  // Cutting the scan leaves a picture of the full size, the missing part filled by libjpeg.
  const std::optional<Image> got = DecodeJpeg(std::span(whole.data(), whole.size() * 2 / 3));
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->width, 64);
  EXPECT_EQ(got->height, 64);
}

TEST(DecodeJpeg, SurvivesEveryTruncationAndByteFlip) {
  JpegSpec small = Spec(JpegColour::kYCbCr, Quadrants(kRgbQuadrants));
  small.quality = 50;
  const Bytes jpegs[] = {
      support::MakeJpeg(WithRestarts(Progressive(small))),
      support::MakeJpeg(Spec(JpegColour::kCmyk, Quadrants(kAdobeCmykQuadrants))),
  };
  for (const Bytes& jpeg : jpegs) {
    support::ForEachPrefix(jpeg, [](auto data) { static_cast<void>(DecodeJpeg(data)); });
    support::ForEachOverwrite(jpeg,
                              [](auto data) { static_cast<void>(DecodeJpeg(data, 1 << 20)); });
  }
}

// ---- WriteJpegFile ----

// Annex K of the JPEG standard, natural order.
constexpr int kStdLuminanceQuant[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr int kStdChrominanceQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
// The natural index of each coefficient in the zigzag order the file stores.
constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A DQT payload for one table: id, then the 64 values of the standard table scaled for the IJG
// quality (below 50: 5000 / q percent, else 200 - 2q percent), rounded, at least 1.
Bytes ScaledQuantTable(int id, const int (&table)[64], int quality) {
  const int percent = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  Bytes payload = {static_cast<std::uint8_t>(id)};
  for (const int natural : kZigzag) {
    payload.push_back(
        static_cast<std::uint8_t>(std::max(1, (table[natural] * percent + 50) / 100)));
  }
  return payload;
}

Bytes HuffmanTable(int table_class_and_id, std::initializer_list<std::uint8_t> bits,
                   std::initializer_list<std::uint8_t> values) {
  Bytes payload = {static_cast<std::uint8_t>(table_class_and_id)};
  payload.insert(payload.end(), bits);
  payload.insert(payload.end(), values);
  return payload;
}

Bytes Sequence(int n) {
  Bytes values;
  for (int i = 0; i < n; ++i) {
    values.push_back(static_cast<std::uint8_t>(i));
  }
  return values;
}

// Annex K.3: the standard Huffman tables.
std::vector<Bytes> StandardHuffmanTables() {
  const Bytes dc_values = Sequence(12);
  Bytes dc_luminance = HuffmanTable(0x00, {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, {});
  dc_luminance.insert(dc_luminance.end(), dc_values.begin(), dc_values.end());
  Bytes dc_chrominance = HuffmanTable(0x01, {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, {});
  dc_chrominance.insert(dc_chrominance.end(), dc_values.begin(), dc_values.end());
  const Bytes ac_luminance = HuffmanTable(
      0x10, {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D},
      {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
       0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52,
       0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25,
       0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45,
       0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64,
       0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83,
       0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
       0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6,
       0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3,
       0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8,
       0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA});
  const Bytes ac_chrominance = HuffmanTable(
      0x11, {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
      {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
       0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33,
       0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18,
       0x19, 0x1A, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44,
       0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63,
       0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A,
       0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
       0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4,
       0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA,
       0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7,
       0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA});
  return {dc_luminance, ac_luminance, dc_chrominance, ac_chrominance};
}

Bytes ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Four flat 16 x 16 quadrants, aligned on the 4:2:0 MCUs so each keeps its colour.
Image QuadrantImage(int width, int height) {
  Image image = MakeImage(width, height, 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t rgb = kQuadrants[(y / 16 % 2) * 2 + x / 16 % 2];
      std::uint8_t* p = image.row(y) + x * 3;
      p[0] = static_cast<std::uint8_t>(rgb);
      p[1] = static_cast<std::uint8_t>(rgb >> 8);
      p[2] = static_cast<std::uint8_t>(rgb >> 16);
    }
  }
  return image;
}

TEST(WriteJpegFile, WritesBaselineJfifAtTheGivenQuality) {
  const testsupport::TempFolder temp;
  const std::filesystem::path path = temp.path() / "out.jpg";
  ASSERT_TRUE(WriteJpegFile(QuadrantImage(40, 24), path, 70));
  const Parsed parsed = ParseJpeg(ReadBytes(path));
  ASSERT_TRUE(parsed.complete);
  // SOI, APP0, two DQT, SOF0, four DHT, SOS, EOI: no DRI, COM, other APPn or second frame.
  EXPECT_EQ(Markers(parsed), (std::vector<std::uint8_t>{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4,
                                                        0xC4, 0xC4, 0xDA, 0xD9}));
  EXPECT_EQ(parsed.restart_markers, 0);
  const std::vector<Segment>& s = parsed.segments;
  // JFIF 1.01, density unit 0, density 1:1, no thumbnail.
  EXPECT_EQ(s[1].payload, (Bytes{'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
  EXPECT_EQ(s[2].payload, ScaledQuantTable(0, kStdLuminanceQuant, 70));
  EXPECT_EQ(s[3].payload, ScaledQuantTable(1, kStdChrominanceQuant, 70));
  // 8 bits, 24 rows, 40 columns; Y 2x2 with table 0, Cb and Cr 1x1 with table 1.
  EXPECT_EQ(s[4].payload, (Bytes{8, 0, 24, 0, 40, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}));
  const std::vector<Bytes> huffman = StandardHuffmanTables();
  for (std::size_t i = 0; i < huffman.size(); ++i) {
    EXPECT_EQ(s[5 + i].payload, huffman[i]) << "DHT " << i;
  }
  // One interleaved scan of all coefficients: Y with tables 0/0, Cb and Cr with 1/1.
  EXPECT_EQ(s[9].payload, (Bytes{3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}));
}

TEST(WriteJpegFile, QualityIsNotForcedToBaselineLimits) {
  const testsupport::TempFolder temp;
  const std::filesystem::path path = temp.path() / "low.jpg";
  ASSERT_TRUE(WriteJpegFile(QuadrantImage(16, 16), path, 10));
  const Parsed parsed = ParseJpeg(ReadBytes(path));
  ASSERT_GE(parsed.segments.size(), 4u);
  // At quality 10 the chrominance tables would exceed 255: a 16-bit table (precision 1) results
  // instead of values clamped to 255.
  EXPECT_EQ(parsed.segments[3].payload[0] >> 4, 1);
}

TEST(WriteJpegFile, DecodesBackToTheSameColours) {
  const testsupport::TempFolder temp;
  const std::filesystem::path path = temp.path() / "round.jpg";
  const Image image = QuadrantImage(32, 32);
  ASSERT_TRUE(WriteJpegFile(image, path, 70));
  const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path);
  ASSERT_TRUE(bytes.has_value());
  const std::optional<Image> got = DecodeJpeg(*bytes);
  ASSERT_TRUE(got.has_value());
  ASSERT_EQ(got->width, 32);
  ASSERT_EQ(got->height, 32);
  for (int q = 0; q < 4; ++q) {
    ExpectNear(*got, (q % 2) * 16 + 8, (q / 2) * 16 + 8, kQuadrants[q], 12);
  }
}

TEST(WriteJpegFile, ReplacesAnExistingFile) {
  const testsupport::TempFolder temp;
  const std::filesystem::path path = temp.Write("old.jpg", std::string(100000, 'x'));
  ASSERT_TRUE(WriteJpegFile(QuadrantImage(16, 16), path, 70));
  const Bytes bytes = ReadBytes(path);
  EXPECT_LT(bytes.size(), 10000u);
  EXPECT_TRUE(ParseJpeg(bytes).complete);
}

TEST(WriteJpegFile, FailsWithoutLeavingAFile) {
  const testsupport::TempFolder temp;
  struct Case {
    const char* name;
    Image image;
    std::filesystem::path path;
  };
  const Case cases[] = {
      {"empty image", Image{}, temp.path() / "empty.jpg"},
      {"4 channels", support::SolidImage(4, 4, 4, 1, 2, 3), temp.path() / "four.jpg"},
      {"folder missing", QuadrantImage(16, 16), temp.path() / "missing" / "out.jpg"},
      {"path is a folder", QuadrantImage(16, 16), temp.path()},
      // libjpeg refuses more than 65500 columns once it has opened the file.
      {"too wide for JPEG", MakeImage(70000, 1, 3), temp.path() / "wide.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(WriteJpegFile(c.image, c.path, 70));
    if (c.path != temp.path()) {
      EXPECT_FALSE(std::filesystem::exists(c.path));
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(temp.path()));
}

}  // namespace
}  // namespace platform
