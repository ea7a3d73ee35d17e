// PNG through libpng's sequential reader, from memory, expanded to 8-bit blue-green-red(-alpha).
#include <csetjmp>
#include <cstring>
#include <new>

#include <png.h>

#include "platform/codecs.h"
#include "platform/row_collector.h"

namespace platform {
namespace {

// libpng's own default, stated here so a change of distribution default cannot widen it. The
// budget bounds the area; this bounds a side before libpng sizes its row buffers.
constexpr png_uint_32 kMaxSide = 1000000;

struct PngInput {
  std::span<const std::uint8_t> data;
  std::size_t pos = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
  if (length > in->data.size() - in->pos) {
    png_error(png, "truncated");
  }
  std::memcpy(out, in->data.data() + in->pos, length);
  in->pos += length;
}

[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngInput input;
  RowSink* sink = nullptr;
  std::uint64_t budget_bytes = 0;
  // One row, or every row of an interlaced picture: libpng fills those in over seven passes.
  std::vector<std::uint8_t> pixels;
  std::vector<png_bytep> rows;
  ~PngRead() {
    if (png != nullptr) {
      png_destroy_read_struct(&png, &info, nullptr);
    }
  }
};

// Sizes the row buffers once the sink has accepted the picture.
bool BeginRows(PngRead& s, png_uint_32 width, png_uint_32 height, int channels, bool whole) {
  const std::uint64_t row_bytes = std::uint64_t{width} * static_cast<std::uint64_t>(channels);
  const std::uint64_t held = whole ? row_bytes * height : row_bytes;
  if (held > s.budget_bytes ||
      !s.sink->begin(static_cast<int>(width), static_cast<int>(height), channels)) {
    return false;
  }
  s.pixels.resize(static_cast<std::size_t>(held));
  s.rows.resize(whole ? height : 1);
  for (std::size_t y = 0; y < s.rows.size(); ++y) {
    s.rows[y] = s.pixels.data() + y * row_bytes;
  }
  return true;
}

bool DecodePngInto(PngRead& s) {
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
  if (s.png == nullptr) {
    return false;
  }
  s.info = png_create_info_struct(s.png);
  if (s.info == nullptr) {
    return false;
  }
  if (setjmp(png_jmpbuf(s.png))) {
    return false;
  }
  png_set_read_fn(s.png, &s.input, ReadFromMemory);
  png_set_user_limits(s.png, kMaxSide, kMaxSide);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Only in the fuzzer: let mutated bytes reach the pixels without fixing every checksum.
  png_set_crc_action(s.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
  png_set_option(s.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
  png_read_info(s.png, s.info);
  // Palette, low-depth grey and tRNS become 8-bit samples and an alpha channel.
  png_set_expand(s.png);
  png_set_scale_16(s.png);
  png_set_gray_to_rgb(s.png);
  png_set_bgr(s.png);
  const bool interlaced = png_set_interlace_handling(s.png) > 1;
  png_read_update_info(s.png, s.info);
  const png_uint_32 width = png_get_image_width(s.png, s.info);
  const png_uint_32 height = png_get_image_height(s.png, s.info);
  const int channels = png_get_channels(s.png, s.info);
  if ((channels != 3 && channels != 4) || png_get_bit_depth(s.png, s.info) != 8 ||
      png_get_rowbytes(s.png, s.info) != std::size_t{width} * channels ||
      !BeginRows(s, width, height, channels, interlaced)) {
    return false;
  }
  if (interlaced) {
    png_read_image(s.png, s.rows.data());
    for (png_bytep row : s.rows) {
      s.sink->row(row);
    }
  } else {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(s.png, s.rows[0], nullptr);
      s.sink->row(s.rows[0]);
    }
  }
  // No png_read_end: the picture is complete, and trailing chunks should not spoil it.
  return true;
}

}  // namespace

bool DecodePngRows(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t budget_bytes) {
  if (!LooksLikePng(data)) {
    return false;
  }
  try {
    PngRead s;
    s.input.data = data;
    s.sink = &sink;
    s.budget_bytes = budget_bytes;
    return DecodePngInto(s);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::optional<Image> DecodePng(std::span<const std::uint8_t> data, std::uint64_t budget_bytes) {
  std::optional<Image> image;
  RowSink sink = CollectRows(image, budget_bytes);
  if (!DecodePngRows(data, sink, budget_bytes)) {
    return std::nullopt;
  }
  return image;
}

}  // namespace platform
