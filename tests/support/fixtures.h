// Picture fixtures built in code, a few pixels wide: images, and files of every format the
// program reads, written by hand (BMP) or by the libraries' own writers (PNG, GIF, JPEG).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

#include "platform/image.h"

namespace support {

using Bytes = std::vector<std::uint8_t>;

// ---- Images -------------------------------------------------------------------------------

// An image of one colour; `alpha` is used only for 4 channels.
platform::Image SolidImage(int width, int height, int channels, std::uint8_t blue,
                           std::uint8_t green, std::uint8_t red, std::uint8_t alpha = 255);
// An image whose every byte follows from its position, so that rows, columns and channels are
// all told apart: byte = (x * 40 + y * 70 + channel * 90) % 256.
platform::Image PatternImage(int width, int height, int channels);
// The bytes of the pixel at (x, y): 3 or 4 of them.
std::vector<std::uint8_t> PixelAt(const platform::Image& image, int x, int y);
// Expected pixels written as colours: 0xRRGGBB to blue, green, red bytes, and 0xAARRGGBB to
// blue, green, red, alpha bytes.
Bytes BgrPixels(std::initializer_list<std::uint32_t> colours);
Bytes BgraPixels(std::initializer_list<std::uint32_t> colours);

// ---- BMP, header byte by header byte ----------------------------------------------------

struct BmpSpec {
  int header_size = 40;  // 12 (core), 16..64 (OS/2 2.x, 64 in full), 40, 52, 56, 108, 124
  int width = 0;
  int height = 0;  // negative for top-down
  int bpp = 24;
  std::uint32_t compression = 0;              // 0 RGB, 1 RLE8, 2 RLE4, 3 BITFIELDS
  std::array<std::uint32_t, 3> masks{};       // red, green, blue; written for BITFIELDS
  std::vector<std::uint32_t> palette;         // 0xRRGGBB, written in the file's entry size
  std::uint32_t colours_used = 0;             // biClrUsed; 0 writes 0
  Bytes pixels;                               // exactly as stored: rows with their padding, or RLE
  std::optional<std::uint32_t> pixel_offset;  // default: right after the palette
  std::uint16_t reserved1 = 0;
  std::uint16_t reserved2 = 0;
};
Bytes MakeBmp(const BmpSpec& spec);
// A 24-bit bottom-up BMP of a 3-channel image.
Bytes EncodeBmp24(const platform::Image& image);

// ---- PNG, with libpng's writer ----------------------------------------------------------

enum class PngColour { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

struct PngSpec {
  int width = 0;
  int height = 0;
  PngColour colour = PngColour::kRgb;
  int bit_depth = 8;
  bool interlaced = false;
  // Samples row by row, each pixel's channels in PNG order (grey, RGB, index, grey+alpha,
  // RGBA), one value per sample whatever the bit depth; the writer packs them.
  std::vector<std::uint16_t> samples;
  std::vector<std::uint32_t> palette;                              // 0xRRGGBB
  std::vector<std::uint8_t> palette_alpha;                         // tRNS for a palette picture
  std::optional<std::array<std::uint16_t, 3>> transparent_colour;  // tRNS: grey uses [0]
};
Bytes MakePng(const PngSpec& spec);
// An 8-bit RGB or RGBA PNG of a 3- or 4-channel image.
Bytes EncodePng(const platform::Image& image);

// ---- GIF, with giflib's writer ----------------------------------------------------------

struct GifFrame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;
  std::vector<std::uint8_t> indices;         // width * height, rows top to bottom
  std::vector<std::uint32_t> local_palette;  // 0xRRGGBB; empty: use the global one
  int transparent_index = -1;                // -1: no graphics control extension
};

struct GifSpec {
  int screen_width = 0;
  int screen_height = 0;
  std::vector<std::uint32_t> global_palette;  // 0xRRGGBB; empty: no global colour map
  std::vector<GifFrame> frames;
  // Above 0: after writing, the global colour map is cut down to this many entries (a power of
  // two), so that larger indices in the frames have no colour.
  int global_palette_keep = 0;
};
Bytes MakeGif(const GifSpec& spec);

// ---- JPEG, with libjpeg's writer --------------------------------------------------------

enum class JpegColour {
  kGrey,   // samples: 1 per pixel
  kYCbCr,  // samples: R, G, B
  kCmyk,   // samples: C, M, Y, K as stored
  kYcck,   // samples: C, M, Y, K as stored; libjpeg transforms them to YCCK
};

struct JpegSpec {
  int width = 0;
  int height = 0;
  JpegColour colour = JpegColour::kYCbCr;
  std::vector<std::uint8_t> samples;
  int quality = 95;
  bool progressive = false;
  int restart_interval = 0;  // in MCUs; 0: none
  bool adobe_marker = true;  // CMYK and YCCK only: false leaves the Adobe marker out
  bool full_chroma = false;  // 1x1 sampling for every component
};
Bytes MakeJpeg(const JpegSpec& spec);

// ---- Damage --------------------------------------------------------------------------------

// Hands `use` every prefix of `file`, from empty to whole.
void ForEachPrefix(const Bytes& file,
                   const std::function<void(std::span<const std::uint8_t>)>& use);
// Hands `use` a copy of `file` with one byte overwritten, for every byte and each of a few values
// that decoders treat specially (0, 1, 0x7F, 0x80, 0xFF).
void ForEachOverwrite(const Bytes& file,
                      const std::function<void(std::span<const std::uint8_t>)>& use);

}  // namespace support
