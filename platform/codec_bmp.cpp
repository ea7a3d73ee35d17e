// Windows and OS/2 bitmaps, read by hand: every offset, size and palette index is checked
// against the data before it is used.
#include <array>
#include <bit>
#include <new>

#include "platform/codecs.h"
#include "platform/row_collector.h"

namespace platform {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kOs2V2HeaderSize = 64;
// The three colour masks sit right after the 40-byte info header, whether they belong to a
// larger header (v2 and later) or follow a plain info header.
constexpr std::size_t kMasksOffset = kFileHeaderSize + kInfoHeaderSize;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

using Bgr = std::array<std::uint8_t, 3>;

std::uint16_t U16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}
std::uint32_t U32(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) | static_cast<std::uint32_t>(d[at + 1]) << 8 |
         static_cast<std::uint32_t>(d[at + 2]) << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}
std::int32_t I32(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::int32_t>(U32(d, at));
}

// One colour of a BI_BITFIELDS pixel: the masked bits, scaled so the mask's maximum gives 255.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t max = 0;
};

Channel MakeChannel(std::uint32_t mask) {
  Channel c;
  c.mask = mask;
  if (mask != 0) {
    c.shift = std::countr_zero(mask);
    c.max = mask >> c.shift;
  }
  return c;
}

std::uint8_t Extract(std::uint32_t pixel, const Channel& c) {
  if (c.max == 0) {
    return 0;
  }
  const std::uint64_t value = (pixel & c.mask) >> c.shift;
  return static_cast<std::uint8_t>((value * 255 + c.max / 2) / c.max);
}

struct Layout {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool top_down = false;
  int bpp = 0;
  std::uint32_t compression = kBiRgb;
  std::array<Channel, 3> bgr_masks;  // used for 16 and 32 bits
  std::vector<Bgr> palette;          // entries stored in the file; other indices are black
  std::size_t pixel_offset = 0;
};

std::optional<Layout> ReadLayout(std::span<const std::uint8_t> d) {
  if (!LooksLikeBmp(d) || d.size() < kFileHeaderSize + 4) {
    return std::nullopt;
  }
  const std::uint32_t header_size = U32(d, kFileHeaderSize);
  if (header_size < kCoreHeaderSize || header_size > d.size() - kFileHeaderSize) {
    return std::nullopt;
  }
  Layout l;
  std::uint32_t colours_used = 0;
  std::size_t entry_size = 4;
  std::size_t palette_start = kFileHeaderSize + header_size;
  if (header_size == kCoreHeaderSize) {
    // OS/2 1.x and Windows 2: 16-bit sizes, always bottom-up, 3-byte palette entries.
    l.width = U16(d, 18);
    l.height = U16(d, 20);
    l.bpp = U16(d, 24);
    entry_size = 3;
  } else if (header_size < 16) {
    return std::nullopt;
  } else {
    l.width = I32(d, 18);
    l.height = I32(d, 22);
    l.bpp = U16(d, 28);
    l.compression = header_size >= 20 ? U32(d, 30) : kBiRgb;
    colours_used = header_size >= 36 ? U32(d, 46) : 0;
    // OS/2 2.x headers (64 bytes, or any prefix of them from 16 bytes) give compression 3 and 4
    // other meanings (Huffman 1D, RLE24), which we do not read.
    const bool os2 = header_size < kInfoHeaderSize || header_size == kOs2V2HeaderSize;
    if (os2 && l.compression != kBiRgb && l.compression != kBiRle8 && l.compression != kBiRle4) {
      return std::nullopt;
    }
    if (!os2 && (l.compression == kBiBitfields || l.compression == kBiAlphaBitfields)) {
      if (d.size() < kMasksOffset + 12) {
        return std::nullopt;
      }
      // Masks held in the file are red, green, blue; we keep them in pixel order.
      l.bgr_masks = {MakeChannel(U32(d, kMasksOffset + 8)), MakeChannel(U32(d, kMasksOffset + 4)),
                     MakeChannel(U32(d, kMasksOffset))};
      if (header_size == kInfoHeaderSize) {
        palette_start += l.compression == kBiBitfields ? 12 : 16;
      }
      l.compression = kBiBitfields;
    }
  }
  if (l.height < 0) {
    l.top_down = true;
    l.height = -l.height;
  }
  if (l.width <= 0 || l.height <= 0 || l.width > INT32_MAX || l.height > INT32_MAX) {
    return std::nullopt;
  }
  switch (l.compression) {
    case kBiRgb:
      if (l.bpp != 1 && l.bpp != 2 && l.bpp != 4 && l.bpp != 8 && l.bpp != 16 && l.bpp != 24 &&
          l.bpp != 32) {
        return std::nullopt;
      }
      if (l.bpp == 16) {
        l.bgr_masks = {MakeChannel(0x001F), MakeChannel(0x03E0), MakeChannel(0x7C00)};
      }
      break;
    case kBiRle8:
      if (l.bpp != 8) {
        return std::nullopt;
      }
      break;
    case kBiRle4:
      if (l.bpp != 4) {
        return std::nullopt;
      }
      break;
    case kBiBitfields:
      if (l.bpp != 16 && l.bpp != 32) {
        return std::nullopt;
      }
      break;
    default:
      return std::nullopt;  // embedded JPEG or PNG, or unknown
  }

  const std::size_t offset_bits = U32(d, 10);
  if (l.bpp <= 8 && palette_start <= d.size()) {
    std::size_t count = std::size_t{1} << l.bpp;
    if (colours_used != 0 && colours_used < count) {
      count = colours_used;
    }
    // The palette ends where the pixels start; a pixel offset pointing inside the headers is
    // a writer's mistake, and then the palette may run to the end of the data.
    const std::size_t limit =
        offset_bits >= palette_start ? std::min(offset_bits, d.size()) : d.size();
    count = std::min(count, (limit - palette_start) / entry_size);
    l.palette.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = palette_start + i * entry_size;
      l.palette[i] = {d[at], d[at + 1], d[at + 2]};
    }
  }
  l.pixel_offset =
      offset_bits >= palette_start ? offset_bits : palette_start + l.palette.size() * entry_size;
  if (l.pixel_offset >= d.size()) {
    return std::nullopt;
  }
  return l;
}

Bgr PaletteColour(const Layout& l, std::size_t index) {
  return index < l.palette.size() ? l.palette[index] : Bgr{0, 0, 0};
}

void PutPixel(std::uint8_t* out, const Bgr& c) {
  out[0] = c[0];
  out[1] = c[1];
  out[2] = c[2];
}

// Output row for the n-th row stored in the file.
int OutputRow(const Layout& l, std::int64_t file_row) {
  return static_cast<int>(l.top_down ? file_row : l.height - 1 - file_row);
}

std::uint64_t RowBits(const Layout& l) { return static_cast<std::uint64_t>(l.width) * l.bpp; }
std::uint64_t Stride(const Layout& l) { return (RowBits(l) + 31) / 32 * 4; }

// Whether the data holds every row; the last row may lack its padding.
bool PixelsPresent(std::span<const std::uint8_t> d, const Layout& l) {
  const std::uint64_t needed =
      Stride(l) * static_cast<std::uint64_t>(l.height - 1) + (RowBits(l) + 7) / 8;
  return needed <= d.size() - l.pixel_offset;
}

// Decodes the n-th row stored in the file into `out` (width * 3 bytes).
void DecodeUncompressedRow(std::span<const std::uint8_t> d, const Layout& l, std::int64_t r,
                           std::uint8_t* out) {
  const int mask = (1 << (l.bpp < 8 ? l.bpp : 8)) - 1;
  const std::uint8_t* src = d.data() + l.pixel_offset + Stride(l) * static_cast<std::uint64_t>(r);
  for (std::int64_t x = 0; x < l.width; ++x, out += 3) {
    switch (l.bpp) {
      case 1:
      case 2:
      case 4:
      case 8: {
        const std::uint64_t bit = static_cast<std::uint64_t>(x) * l.bpp;
        const int shift = 8 - l.bpp - static_cast<int>(bit % 8);
        PutPixel(out, PaletteColour(l, (src[bit / 8] >> shift) & mask));
        break;
      }
      case 16: {
        const std::uint32_t p = static_cast<std::uint32_t>(src[x * 2] | src[x * 2 + 1] << 8);
        PutPixel(out, {Extract(p, l.bgr_masks[0]), Extract(p, l.bgr_masks[1]),
                       Extract(p, l.bgr_masks[2])});
        break;
      }
      case 24:
        PutPixel(out, {src[x * 3], src[x * 3 + 1], src[x * 3 + 2]});
        break;
      case 32:
        if (l.compression == kBiBitfields) {
          const std::uint32_t p = U32(std::span(src + x * 4, 4), 0);
          PutPixel(out, {Extract(p, l.bgr_masks[0]), Extract(p, l.bgr_masks[1]),
                         Extract(p, l.bgr_masks[2])});
        } else {
          PutPixel(out, {src[x * 4], src[x * 4 + 1], src[x * 4 + 2]});  // the 4th byte unused
        }
        break;
    }
  }
}

// RLE8 and RLE4: runs, absolute runs padded to 16 bits, and the escapes end of line, end of
// bitmap and delta. Pixels the stream never writes stay black; the stream ending early is
// accepted as it is.
void DecodeRle(std::span<const std::uint8_t> d, const Layout& l, Image& image) {
  const bool rle4 = l.compression == kBiRle4;
  std::size_t pos = l.pixel_offset;
  std::int64_t x = 0;
  std::int64_t y = 0;
  auto put = [&](std::int64_t at, std::size_t index) {
    if (at < l.width) {
      PutPixel(image.row(OutputRow(l, y)) + at * 3, PaletteColour(l, index));
    }
  };
  while (pos + 1 < d.size() && y < l.height) {
    const int count = d[pos];
    const int value = d[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count && x + i < l.width; ++i) {
        put(x + i, rle4 ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      }
      x += count;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta: move right and up (in file order)
      if (pos + 1 >= d.size()) {
        break;
      }
      x += d[pos];
      y += d[pos + 1];
      pos += 2;
    } else {  // absolute run of `value` pixels
      const std::size_t bytes = rle4 ? (value + 1) / 2 : value;
      const std::size_t available = std::min(bytes, d.size() - pos);
      for (int i = 0; i < value; ++i) {
        const std::size_t byte = rle4 ? i / 2 : i;
        if (byte >= available || x + i >= l.width) {
          break;
        }
        put(x + i, rle4 ? (i % 2 == 0 ? d[pos + byte] >> 4 : d[pos + byte] & 0x0F) : d[pos + byte]);
      }
      x += value;
      pos += bytes + (bytes % 2);
    }
  }
}

}  // namespace

bool DecodeBmpRows(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t budget_bytes) {
  const std::optional<Layout> layout = ReadLayout(data);
  if (!layout) {
    return false;
  }
  const Layout& l = *layout;
  const bool rle = l.compression == kBiRle8 || l.compression == kBiRle4;
  // A large header over a few bytes of pixels is refused before anything is allocated. A short
  // RLE stream is legitimate: it leaves the rest black.
  if (!rle && !PixelsPresent(data, l)) {
    return false;
  }
  const std::uint64_t row_bytes = static_cast<std::uint64_t>(l.width) * 3;
  // RLE runs may skip about the picture, so it is drawn whole; other rows are read in any order,
  // top to bottom here, one at a time.
  if ((rle ? row_bytes * static_cast<std::uint64_t>(l.height) : row_bytes) > budget_bytes) {
    return false;
  }
  try {
    if (!sink.begin(static_cast<int>(l.width), static_cast<int>(l.height), 3)) {
      return false;
    }
    if (rle) {
      Image image = MakeImage(static_cast<int>(l.width), static_cast<int>(l.height), 3);
      DecodeRle(data, l, image);
      for (int y = 0; y < image.height; ++y) {
        sink.row(image.row(y));
      }
      return true;
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(row_bytes));
    for (std::int64_t y = 0; y < l.height; ++y) {
      DecodeUncompressedRow(data, l, l.top_down ? y : l.height - 1 - y, row.data());
      sink.row(row.data());
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::optional<Image> DecodeBmp(std::span<const std::uint8_t> data, std::uint64_t budget_bytes) {
  std::optional<Image> image;
  RowSink sink = CollectRows(image, budget_bytes);
  if (!DecodeBmpRows(data, sink, budget_bytes)) {
    return std::nullopt;
  }
  return image;
}

}  // namespace platform
