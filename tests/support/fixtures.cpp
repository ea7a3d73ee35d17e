#include "tests/support/fixtures.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace support {
namespace {

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

platform::Image SolidImage(int width, int height, int channels, std::uint8_t blue,
                           std::uint8_t green, std::uint8_t red, std::uint8_t alpha) {
  platform::Image image = platform::MakeImage(width, height, channels);
  for (std::size_t i = 0; i < image.pixels.size(); i += static_cast<std::size_t>(channels)) {
    image.pixels[i] = blue;
    image.pixels[i + 1] = green;
    image.pixels[i + 2] = red;
    if (channels == 4) {
      image.pixels[i + 3] = alpha;
    }
  }
  return image;
}

platform::Image PatternImage(int width, int height, int channels) {
  platform::Image image = platform::MakeImage(width, height, channels);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels; ++c) {
        image.row(y)[x * channels + c] =
            static_cast<std::uint8_t>((x * 40 + y * 70 + c * 90) % 256);
      }
    }
  }
  return image;
}

std::vector<std::uint8_t> PixelAt(const platform::Image& image, int x, int y) {
  const std::uint8_t* p = image.row(y) + static_cast<std::size_t>(x) * image.channels;
  return std::vector<std::uint8_t>(p, p + image.channels);
}

Bytes BgrPixels(std::initializer_list<std::uint32_t> colours) {
  Bytes out;
  for (const std::uint32_t c : colours) {
    out.insert(out.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                           static_cast<std::uint8_t>(c >> 16)});
  }
  return out;
}

Bytes BgraPixels(std::initializer_list<std::uint32_t> colours) {
  Bytes out;
  for (const std::uint32_t c : colours) {
    out.insert(out.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                           static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 24)});
  }
  return out;
}

// ---- BMP ----

Bytes MakeBmp(const BmpSpec& spec) {
  const bool core = spec.header_size == 12;
  Bytes dib;
  if (core) {
    Put32(dib, 12);
    Put16(dib, static_cast<std::uint32_t>(spec.width));
    Put16(dib, static_cast<std::uint32_t>(spec.height));
    Put16(dib, 1);
    Put16(dib, static_cast<std::uint32_t>(spec.bpp));
  } else {
    // The full v5 layout, cut to the size asked for: every smaller header is a prefix of it.
    Put32(dib, static_cast<std::uint32_t>(spec.header_size));
    Put32(dib, static_cast<std::uint32_t>(spec.width));
    Put32(dib, static_cast<std::uint32_t>(spec.height));
    Put16(dib, 1);
    Put16(dib, static_cast<std::uint32_t>(spec.bpp));
    Put32(dib, spec.compression);
    Put32(dib, static_cast<std::uint32_t>(spec.pixels.size()));
    Put32(dib, 2835);  // 72 dpi
    Put32(dib, 2835);
    Put32(dib, spec.colours_used);
    Put32(dib, 0);
    const bool masks_inside = spec.compression == 3 && spec.header_size >= 52;
    for (const std::uint32_t mask : spec.masks) {
      Put32(dib, masks_inside ? mask : 0);
    }
    dib.resize(std::max<std::size_t>(dib.size(), 124), 0);
    dib.resize(static_cast<std::size_t>(spec.header_size), 0);
  }
  Bytes after_header;
  if (spec.compression == 3 && spec.header_size == 40) {
    for (const std::uint32_t mask : spec.masks) {
      Put32(after_header, mask);
    }
  }
  for (const std::uint32_t colour : spec.palette) {
    after_header.push_back(static_cast<std::uint8_t>(colour));
    after_header.push_back(static_cast<std::uint8_t>(colour >> 8));
    after_header.push_back(static_cast<std::uint8_t>(colour >> 16));
    if (!core) {
      after_header.push_back(0);
    }
  }
  const std::uint32_t offset =
      spec.pixel_offset.value_or(static_cast<std::uint32_t>(14 + dib.size() + after_header.size()));
  Bytes file = {'B', 'M'};
  Put32(file,
        static_cast<std::uint32_t>(14 + dib.size() + after_header.size() + spec.pixels.size()));
  Put16(file, spec.reserved1);
  Put16(file, spec.reserved2);
  Put32(file, offset);
  file.insert(file.end(), dib.begin(), dib.end());
  file.insert(file.end(), after_header.begin(), after_header.end());
  file.insert(file.end(), spec.pixels.begin(), spec.pixels.end());
  return file;
}

Bytes EncodeBmp24(const platform::Image& image) {
  BmpSpec spec;
  spec.width = image.width;
  spec.height = image.height;
  const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) / 4 * 4;
  for (int y = image.height - 1; y >= 0; --y) {
    const std::uint8_t* row = image.row(y);
    spec.pixels.insert(spec.pixels.end(), row, row + image.stride());
    spec.pixels.resize(spec.pixels.size() + stride - image.stride(), 0);
  }
  return MakeBmp(spec);
}

// ---- PNG ----

namespace {

struct PngWrite {
  png_structp png = nullptr;
  png_infop info = nullptr;
  Bytes out;
  std::vector<Bytes> packed;
  std::vector<png_bytep> rows;
  std::vector<png_color> palette;
  png_color_16 trans_colour{};
  ~PngWrite() {
    if (png != nullptr) {
      png_destroy_write_struct(&png, &info);
    }
  }
};

void AppendToBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void FlushNothing(png_structp) {}

int PngChannels(PngColour colour) {
  switch (colour) {
    case PngColour::kGrey:
    case PngColour::kPalette:
      return 1;
    case PngColour::kGreyAlpha:
      return 2;
    case PngColour::kRgb:
      return 3;
    case PngColour::kRgba:
      return 4;
  }
  return 0;
}

void PackRows(PngWrite& w, const PngSpec& spec) {
  const std::size_t per_row = static_cast<std::size_t>(spec.width) * PngChannels(spec.colour);
  for (int y = 0; y < spec.height; ++y) {
    Bytes row((per_row * spec.bit_depth + 7) / 8, 0);
    for (std::size_t i = 0; i < per_row; ++i) {
      const std::uint16_t v = spec.samples[y * per_row + i];
      if (spec.bit_depth == 16) {
        row[i * 2] = static_cast<std::uint8_t>(v >> 8);
        row[i * 2 + 1] = static_cast<std::uint8_t>(v);
      } else {
        const std::size_t bit = i * spec.bit_depth;
        row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - spec.bit_depth - bit % 8));
      }
    }
    w.packed.push_back(std::move(row));
  }
  for (Bytes& row : w.packed) {
    w.rows.push_back(row.data());
  }
  for (const std::uint32_t c : spec.palette) {
    w.palette.push_back(
        {static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
  }
  if (spec.transparent_colour) {
    const auto& t = *spec.transparent_colour;
    w.trans_colour.gray = t[0];
    w.trans_colour.red = t[0];
    w.trans_colour.green = t[1];
    w.trans_colour.blue = t[2];
  }
}

bool WritePngInto(PngWrite& w, const PngSpec& spec) {
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  w.info = png_create_info_struct(w.png);
  if (setjmp(png_jmpbuf(w.png))) {
    return false;
  }
  png_set_write_fn(w.png, &w.out, AppendToBytes, FlushNothing);
  png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(spec.width),
               static_cast<png_uint_32>(spec.height), spec.bit_depth, static_cast<int>(spec.colour),
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!w.palette.empty()) {
    png_set_PLTE(w.png, w.info, w.palette.data(), static_cast<int>(w.palette.size()));
  }
  if (!spec.palette_alpha.empty()) {
    png_set_tRNS(w.png, w.info, spec.palette_alpha.data(),
                 static_cast<int>(spec.palette_alpha.size()), nullptr);
  } else if (spec.transparent_colour) {
    png_set_tRNS(w.png, w.info, nullptr, 0, &w.trans_colour);
  }
  png_write_info(w.png, w.info);
  png_write_image(w.png, w.rows.data());
  png_write_end(w.png, nullptr);
  return true;
}

}  // namespace

Bytes MakePng(const PngSpec& spec) {
  PngWrite w;
  PackRows(w, spec);
  if (!WritePngInto(w, spec)) {
    return {};
  }
  return std::move(w.out);
}

Bytes EncodePng(const platform::Image& image) {
  PngSpec spec;
  spec.width = image.width;
  spec.height = image.height;
  spec.colour = image.channels == 4 ? PngColour::kRgba : PngColour::kRgb;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::uint8_t* p = image.row(y) + x * image.channels;
      spec.samples.insert(spec.samples.end(), {p[2], p[1], p[0]});
      if (image.channels == 4) {
        spec.samples.push_back(p[3]);
      }
    }
  }
  return MakePng(spec);
}

// ---- GIF ----

namespace {

int AppendGifBytes(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

struct MapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using MapPtr = std::unique_ptr<ColorMapObject, MapDeleter>;

// giflib wants a power of two entries; the padding is black.
MapPtr MakeMap(const std::vector<std::uint32_t>& colours) {
  if (colours.empty()) {
    return nullptr;
  }
  int count = 2;
  while (count < static_cast<int>(colours.size())) {
    count *= 2;
  }
  std::vector<GifColorType> entries(static_cast<std::size_t>(count), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < colours.size(); ++i) {
    entries[i] = {static_cast<GifByteType>(colours[i] >> 16),
                  static_cast<GifByteType>(colours[i] >> 8), static_cast<GifByteType>(colours[i])};
  }
  return MapPtr(GifMakeMapObject(count, entries.data()));
}

std::vector<int> StoredRowOrder(int height, bool interlaced) {
  std::vector<int> order;
  if (!interlaced) {
    for (int y = 0; y < height; ++y) {
      order.push_back(y);
    }
    return order;
  }
  const int start[] = {0, 4, 2, 1};
  const int step[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = start[pass]; y < height; y += step[pass]) {
      order.push_back(y);
    }
  }
  return order;
}

bool WriteGif(GifFileType* gif, const GifSpec& spec) {
  EGifSetGifVersion(gif, true);
  const MapPtr global = MakeMap(spec.global_palette);
  if (EGifPutScreenDesc(gif, spec.screen_width, spec.screen_height, 8, 0, global.get()) ==
      GIF_ERROR) {
    return false;
  }
  for (const GifFrame& frame : spec.frames) {
    if (frame.transparent_index >= 0) {
      GraphicsControlBlock gcb{};
      gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
      gcb.DelayTime = 10;
      gcb.TransparentColor = frame.transparent_index;
      GifByteType extension[4];
      EGifGCBToExtension(&gcb, extension);
      if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR) {
        return false;
      }
    }
    const MapPtr local = MakeMap(frame.local_palette);
    if (EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced,
                         local.get()) == GIF_ERROR) {
      return false;
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(frame.width));
    for (const int y : StoredRowOrder(frame.height, frame.interlaced)) {
      // EGifPutLine masks the line in place, so hand it a copy.
      std::copy_n(frame.indices.begin() + static_cast<std::ptrdiff_t>(y) * frame.width, frame.width,
                  line.begin());
      if (EGifPutLine(gif, line.data(), frame.width) == GIF_ERROR) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

Bytes MakeGif(const GifSpec& spec) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, AppendGifBytes, &error);
  if (gif == nullptr) {
    return {};
  }
  const bool ok = WriteGif(gif, spec);
  if (EGifCloseFile(gif, &error) == GIF_ERROR || !ok) {
    return {};
  }
  if (spec.global_palette_keep > 0 && !spec.global_palette.empty()) {
    // Byte 10 holds the global map's size as 2^(n+1) entries in its low three bits; the map
    // starts at byte 13.
    int declared = 2 << (out[10] & 7);
    int bits = 0;
    while ((2 << bits) < spec.global_palette_keep) {
      ++bits;
    }
    out[10] = static_cast<std::uint8_t>((out[10] & ~7) | bits);
    out.erase(out.begin() + 13 + 3 * (2 << bits), out.begin() + 13 + 3 * declared);
  }
  return out;
}

// ---- JPEG ----

namespace {

struct JpegWriteTrap {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegWriteTrap*>(info->err)->jump, 1);
}

struct JpegMake {
  jpeg_compress_struct info{};
  JpegWriteTrap trap{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  ~JpegMake() {
    jpeg_destroy_compress(&info);
    std::free(buffer);
  }
};

bool WriteJpegInto(JpegMake& m, const JpegSpec& spec) {
  m.info.err = jpeg_std_error(&m.trap.mgr);
  m.trap.mgr.error_exit = JumpBack;
  if (setjmp(m.trap.jump)) {
    return false;
  }
  jpeg_create_compress(&m.info);
  jpeg_mem_dest(&m.info, &m.buffer, &m.size);
  m.info.image_width = static_cast<JDIMENSION>(spec.width);
  m.info.image_height = static_cast<JDIMENSION>(spec.height);
  switch (spec.colour) {
    case JpegColour::kGrey:
      m.info.input_components = 1;
      m.info.in_color_space = JCS_GRAYSCALE;
      break;
    case JpegColour::kYCbCr:
      m.info.input_components = 3;
      m.info.in_color_space = JCS_RGB;
      break;
    case JpegColour::kCmyk:
    case JpegColour::kYcck:
      m.info.input_components = 4;
      m.info.in_color_space = JCS_CMYK;
      break;
  }
  jpeg_set_defaults(&m.info);
  if (spec.colour == JpegColour::kYcck) {
    jpeg_set_colorspace(&m.info, JCS_YCCK);
  }
  if (spec.colour == JpegColour::kCmyk || spec.colour == JpegColour::kYcck) {
    m.info.write_Adobe_marker = spec.adobe_marker ? TRUE : FALSE;
  }
  if (spec.full_chroma) {
    for (int c = 0; c < m.info.num_components; ++c) {
      m.info.comp_info[c].h_samp_factor = 1;
      m.info.comp_info[c].v_samp_factor = 1;
    }
  }
  jpeg_set_quality(&m.info, spec.quality, TRUE);
  if (spec.progressive) {
    jpeg_simple_progression(&m.info);
  }
  m.info.restart_interval = static_cast<unsigned>(spec.restart_interval);
  jpeg_start_compress(&m.info, TRUE);
  const std::size_t stride = static_cast<std::size_t>(spec.width) * m.info.input_components;
  while (m.info.next_scanline < m.info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(spec.samples.data() + m.info.next_scanline * stride);
    jpeg_write_scanlines(&m.info, &row, 1);
  }
  jpeg_finish_compress(&m.info);
  return true;
}

}  // namespace

Bytes MakeJpeg(const JpegSpec& spec) {
  JpegMake m;
  if (!WriteJpegInto(m, spec)) {
    return {};
  }
  return Bytes(m.buffer, m.buffer + m.size);
}

void ForEachPrefix(const Bytes& file,
                   const std::function<void(std::span<const std::uint8_t>)>& use) {
  for (std::size_t n = 0; n <= file.size(); ++n) {
    use(std::span(file.data(), n));
  }
}

void ForEachOverwrite(const Bytes& file,
                      const std::function<void(std::span<const std::uint8_t>)>& use) {
  Bytes damaged = file;
  for (std::size_t i = 0; i < file.size(); ++i) {
    for (const std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      damaged[i] = value;
      use(damaged);
    }
    damaged[i] = file[i];
  }
}

}  // namespace support
