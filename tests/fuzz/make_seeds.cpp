// Writes a small seed corpus for decode_fuzzer: a few files of every format and variant the
// decoders handle, made with the test fixtures. Usage: make_seeds OUT_FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/fixtures.h"

namespace {

using support::Bytes;

void Save(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Noise(std::size_t n, std::uint32_t seed, int modulo) {
  std::vector<std::uint8_t> out(n);
  for (std::uint8_t& v : out) {
    seed = seed * 1103515245 + 12345;
    v = static_cast<std::uint8_t>((seed >> 16) % modulo);
  }
  return out;
}

void BmpSeeds(const std::filesystem::path& dir) {
  const std::vector<std::uint32_t> palette = {0xFF0000, 0x00FF00, 0x0000FF, 0x102030};
  auto make = [&](int header, int w, int h, int bpp, std::uint32_t compression, Bytes pixels) {
    support::BmpSpec s;
    s.header_size = header;
    s.width = w;
    s.height = h;
    s.bpp = bpp;
    s.compression = compression;
    s.pixels = std::move(pixels);
    if (bpp <= 8) {
      s.palette = palette;
    }
    if (compression == 3) {
      s.masks = bpp == 16 ? std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F}
                          : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
    }
    return support::MakeBmp(s);
  };
  Save(dir, "bmp1.bmp", make(40, 5, 3, 1, 0, Noise(12, 1, 256)));
  Save(dir, "bmp4_topdown.bmp", make(40, 5, -3, 4, 0, Noise(12, 2, 256)));
  Save(dir, "bmp8.bmp", make(40, 5, 3, 8, 0, Noise(24, 3, 4)));
  Save(dir, "bmp16.bmp", make(40, 3, 2, 16, 0, Noise(16, 4, 256)));
  Save(dir, "bmp16_fields.bmp", make(40, 3, 2, 16, 3, Noise(16, 5, 256)));
  Save(dir, "bmp16_v4.bmp", make(108, 3, 2, 16, 3, Noise(16, 6, 256)));
  Save(dir, "bmp24.bmp", make(40, 3, 2, 24, 0, Noise(24, 7, 256)));
  Save(dir, "bmp32_v5.bmp", make(124, 3, -2, 32, 3, Noise(24, 8, 256)));
  Save(dir, "bmp32_v3.bmp", make(56, 2, 2, 32, 0, Noise(16, 9, 256)));
  Save(dir, "bmp_core.bmp", make(12, 3, 2, 8, 0, Noise(8, 10, 4)));
  Save(dir, "bmp_os2.bmp", make(64, 3, 2, 4, 0, Noise(8, 11, 256)));
  Save(dir, "bmp_os2_short.bmp", make(16, 3, 2, 24, 0, Noise(24, 12, 256)));
  Save(dir, "bmp_rle8.bmp",
       make(40, 5, 3, 8, 1, {2, 1, 0, 3, 2, 3, 0, 0, 0, 0, 0, 2, 1, 1, 1, 2, 0, 1}));
  Save(dir, "bmp_rle4.bmp", make(40, 5, 2, 4, 2, {5, 0x12, 0, 0, 0, 3, 0x31, 0x20, 0, 1}));
}

void PngSeeds(const std::filesystem::path& dir) {
  using support::PngColour;
  auto make = [](int w, int h, PngColour colour, int depth, bool interlaced, int channels) {
    support::PngSpec s;
    s.width = w;
    s.height = h;
    s.colour = colour;
    s.bit_depth = depth;
    s.interlaced = interlaced;
    const int max = colour == PngColour::kPalette ? 4 : (1 << depth) - 1;
    for (const std::uint8_t v : Noise(static_cast<std::size_t>(w * h * channels), 20, 256)) {
      s.samples.push_back(static_cast<std::uint16_t>(v * 257 % (max + 1)));
    }
    if (colour == PngColour::kPalette) {
      s.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0x102030, 0xFFFFFF};
      s.palette_alpha = {0, 128};
    }
    return s;
  };
  Save(dir, "png_palette.png", support::MakePng(make(7, 5, PngColour::kPalette, 4, false, 1)));
  Save(dir, "png_grey1.png", support::MakePng(make(9, 3, PngColour::kGrey, 1, false, 1)));
  Save(dir, "png_grey2_interlaced.png", support::MakePng(make(9, 9, PngColour::kGrey, 2, true, 1)));
  support::PngSpec keyed = make(4, 4, PngColour::kRgb, 8, false, 3);
  keyed.transparent_colour = std::array<std::uint16_t, 3>{1, 2, 3};
  Save(dir, "png_rgb_trns.png", support::MakePng(keyed));
  Save(dir, "png_rgb16.png", support::MakePng(make(3, 3, PngColour::kRgb, 16, false, 3)));
  Save(dir, "png_grey_alpha.png", support::MakePng(make(3, 3, PngColour::kGreyAlpha, 8, false, 2)));
  Save(dir, "png_rgba_interlaced.png", support::MakePng(make(11, 9, PngColour::kRgba, 8, true, 4)));
}

void GifSeeds(const std::filesystem::path& dir) {
  support::GifSpec s;
  s.screen_width = 8;
  s.screen_height = 6;
  s.global_palette = {0xFF0000, 0x00FF00, 0x0000FF, 0x102030};
  s.frames.push_back({2, 1, 4, 3, false, Noise(12, 30, 4), {}, 1});
  s.frames.push_back({0, 0, 8, 6, true, Noise(48, 31, 4), {0x123456, 0x654321}, -1});
  Save(dir, "gif_animated.gif", support::MakeGif(s));
  s.frames.resize(1);
  s.frames[0].interlaced = true;
  s.global_palette_keep = 2;
  Save(dir, "gif_interlaced_short_map.gif", support::MakeGif(s));
  s.screen_width = 0;
  s.screen_height = 0;
  Save(dir, "gif_zero_screen.gif", support::MakeGif(s));
}

void JpegSeeds(const std::filesystem::path& dir) {
  using support::JpegColour;
  auto make = [](JpegColour colour, int components, bool progressive, int restarts) {
    support::JpegSpec s;
    s.width = 19;
    s.height = 11;
    s.colour = colour;
    s.samples = Noise(static_cast<std::size_t>(19 * 11 * components), 40, 256);
    s.quality = 75;
    s.progressive = progressive;
    s.restart_interval = restarts;
    return support::MakeJpeg(s);
  };
  Save(dir, "jpeg_ycbcr.jpg", make(JpegColour::kYCbCr, 3, false, 0));
  Save(dir, "jpeg_progressive.jpg", make(JpegColour::kYCbCr, 3, true, 0));
  Save(dir, "jpeg_restarts.jpg", make(JpegColour::kYCbCr, 3, false, 2));
  Save(dir, "jpeg_grey.jpg", make(JpegColour::kGrey, 1, false, 0));
  Save(dir, "jpeg_cmyk.jpg", make(JpegColour::kCmyk, 4, false, 0));
  Save(dir, "jpeg_ycck_progressive.jpg", make(JpegColour::kYcck, 4, true, 1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  BmpSeeds(dir);
  PngSeeds(dir);
  GifSeeds(dir);
  JpegSeeds(dir);
  return 0;
}
