// JPEG through the libjpeg API: decoding from memory to blue-green-red, and the one encoder.
#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include <jpeglib.h>

#include "platform/codecs.h"
#include "platform/row_collector.h"

namespace platform {
namespace {

// Progressive files of ordinary encoders have about ten scans. A crafted file can repeat scans
// by the thousand, each one walking the whole picture again; refuse such a file instead.
constexpr int kMaxScans = 100;
// How many times the reduced size a DCT-scaled decode must keep (see ScaleDenominator).
constexpr std::uint64_t kScaleMargin = 3;
constexpr std::uint64_t kWorkMemoryFactor = 3;
constexpr std::uint64_t kWorkMemorySlack = std::uint64_t{64} << 20;

struct JpegTrap {
  jpeg_error_mgr mgr;  // first: libjpeg hands back &mgr
  std::jmp_buf jump;
};

[[noreturn]] void JumpToTrap(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegTrap*>(info->err)->jump, 1);
}

// Warnings (corrupt data, premature end) are not ours to print; libjpeg goes on after them.
void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}

void LimitScans(j_common_ptr info) {
  if (info->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
    JumpToTrap(info);
  }
}

void InstallTrap(JpegTrap& trap) {
  jpeg_std_error(&trap.mgr);
  trap.mgr.error_exit = JumpToTrap;
  trap.mgr.emit_message = IgnoreMessage;
  trap.mgr.output_message = IgnoreOutput;
}

std::uint8_t ScaleByte(unsigned a, unsigned b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

struct JpegRead {
  jpeg_decompress_struct info{};
  JpegTrap trap{};
  jpeg_progress_mgr progress{};
  RowSink* sink = nullptr;
  std::uint64_t work_bytes = 0;  // what libjpeg may allocate for itself
  bool cmyk = false;
  std::vector<std::uint8_t> cmyk_row;
  std::vector<std::uint8_t> row;
  ~JpegRead() { jpeg_destroy_decompress(&info); }  // safe on a zeroed or destroyed struct
};

// The DCT scale to decode at. At 1/8 each pixel is the mean of an 8 x 8 block (the DC term), so
// a box that is a whole multiple of 8 on both axes is averaged exactly from it. Otherwise the
// largest scale (1/8, 1/4, 1/2) that keeps at least three times the reduced size on both axes:
// the blocks an output pixel only partly covers count by their mean, and with just twice the
// size they weigh so much that textured pictures fell below 40 dB against a full decode; three
// times costs no measurable time. What is left is averaged by the caller. libjpeg rounds a
// scaled side up.
unsigned ScaleDenominator(const JpegRead& s) {
  if (!s.sink->reduce_to) {
    return 1;
  }
  const std::uint64_t full_width = s.info.image_width;
  const std::uint64_t full_height = s.info.image_height;
  int reduced_width = static_cast<int>(full_width);
  int reduced_height = static_cast<int>(full_height);
  s.sink->reduce_to(static_cast<int>(full_width), static_cast<int>(full_height), reduced_width,
                    reduced_height);
  if (reduced_width <= 0 || reduced_height <= 0) {
    return 1;
  }
  const std::uint64_t width = static_cast<std::uint64_t>(reduced_width);
  const std::uint64_t height = static_cast<std::uint64_t>(reduced_height);
  if (full_width % (8 * width) == 0 && full_height % (8 * height) == 0) {
    return 8;
  }
  for (const unsigned denominator : {8u, 4u, 2u}) {
    if ((full_width + denominator - 1) / denominator >= kScaleMargin * width &&
        (full_height + denominator - 1) / denominator >= kScaleMargin * height) {
      return denominator;
    }
  }
  return 1;
}

bool BeginRows(JpegRead& s) {
  if (!s.sink->begin(static_cast<int>(s.info.output_width), static_cast<int>(s.info.output_height),
                     3)) {
    return false;
  }
  s.row.resize(static_cast<std::size_t>(s.info.output_width) * 3);
  if (s.cmyk) {
    s.cmyk_row.resize(static_cast<std::size_t>(s.info.output_width) * 4);
  }
  return true;
}

std::uint8_t* ScanlineTarget(JpegRead& s) { return s.cmyk ? s.cmyk_row.data() : s.row.data(); }

// libjpeg-turbo writes blue-green-red itself; only CMYK needs converting here.
void DeliverRow(JpegRead& s) {
  if (s.cmyk) {
    // Adobe writers store CMYK inverted (255 = no ink), which is what this formula wants; plain
    // CMYK stores ink amounts, so turn those around first.
    const unsigned flip = s.info.saw_Adobe_marker ? 0 : 255;
    const std::uint8_t* in = s.cmyk_row.data();
    std::uint8_t* out = s.row.data();
    const std::size_t width = s.info.output_width;
    for (std::size_t x = 0; x < width; ++x, in += 4, out += 3) {
      const unsigned k = in[3] ^ flip;
      out[0] = ScaleByte(in[2] ^ flip, k);
      out[1] = ScaleByte(in[1] ^ flip, k);
      out[2] = ScaleByte(in[0] ^ flip, k);
    }
  }
  s.sink->row(s.row.data());
}

bool DecodeJpegInto(JpegRead& s, std::span<const std::uint8_t> data) {
  s.info.err = &s.trap.mgr;
  InstallTrap(s.trap);
  if (setjmp(s.trap.jump)) {
    return false;
  }
  jpeg_create_decompress(&s.info);
  s.progress.progress_monitor = LimitScans;
  s.info.progress = &s.progress;
  jpeg_mem_src(&s.info, data.data(), static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&s.info, TRUE) != JPEG_HEADER_OK) {
    return false;
  }
  s.info.mem->max_memory_to_use = static_cast<long>(s.work_bytes);
  // libjpeg-turbo won't convert CMYK to RGB, and Adobe stores CMYK inverted, so ask for raw CMYK.
  s.cmyk = s.info.jpeg_color_space == JCS_CMYK || s.info.jpeg_color_space == JCS_YCCK;
  s.info.out_color_space = s.cmyk ? JCS_CMYK : JCS_EXT_BGR;
  s.info.scale_num = 1;
  s.info.scale_denom = ScaleDenominator(s);
  // The sink sizes (or refuses) its rows before libjpeg allocates anything of the picture's.
  jpeg_calc_output_dimensions(&s.info);
  if (s.info.output_components != (s.cmyk ? 4 : 3) || s.info.output_width == 0 ||
      s.info.output_height == 0 || !BeginRows(s)) {
    return false;
  }
  jpeg_start_decompress(&s.info);
  while (s.info.output_scanline < s.info.output_height) {
    JSAMPROW row = ScanlineTarget(s);
    if (jpeg_read_scanlines(&s.info, &row, 1) != 1) {
      return false;
    }
    DeliverRow(s);
  }
  // No jpeg_finish_decompress: every row is here, and junk after the last scan should not
  // throw the picture away.
  return true;
}

// Working memory libjpeg may take when the whole picture is decoded: mostly the coefficients a
// progressive picture keeps (up to 8 bytes a pixel for CMYK at full resolution, against 3 of
// output).
std::uint64_t WholePictureWork(std::uint64_t budget_bytes) {
  return std::min<std::uint64_t>(budget_bytes, LONG_MAX / 4) * kWorkMemoryFactor + kWorkMemorySlack;
}

bool RunJpegDecode(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t work_bytes) {
  if (data.empty()) {
    return false;
  }
  try {
    JpegRead s;
    s.sink = &sink;
    s.work_bytes = work_bytes;
    return DecodeJpegInto(s, data);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

struct JpegWrite {
  jpeg_compress_struct info{};
  JpegTrap trap{};
  std::vector<std::uint8_t> rgb_row;
  ~JpegWrite() { jpeg_destroy_compress(&info); }
};

void FillRgbRow(JpegWrite& s, const Image& image, int y) {
  const std::uint8_t* in = image.row(y);
  std::uint8_t* out = s.rgb_row.data();
  for (int x = 0; x < image.width; ++x, in += 3, out += 3) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
  }
}

bool EncodeJpegInto(JpegWrite& s, const Image& image, std::FILE* file, int quality) {
  s.info.err = &s.trap.mgr;
  InstallTrap(s.trap);
  if (setjmp(s.trap.jump)) {
    return false;
  }
  jpeg_create_compress(&s.info);
  jpeg_stdio_dest(&s.info, file);
  s.info.image_width = static_cast<JDIMENSION>(image.width);
  s.info.image_height = static_cast<JDIMENSION>(image.height);
  s.info.input_components = 3;
  s.info.in_color_space = JCS_RGB;
  // The defaults give JFIF 1.01, YCbCr 4:2:0, standard Huffman tables and no restart markers.
  jpeg_set_defaults(&s.info);
  jpeg_set_quality(&s.info, quality, FALSE);
  jpeg_start_compress(&s.info, TRUE);
  while (s.info.next_scanline < s.info.image_height) {
    FillRgbRow(s, image, static_cast<int>(s.info.next_scanline));
    JSAMPROW row = s.rgb_row.data();
    jpeg_write_scanlines(&s.info, &row, 1);
  }
  jpeg_finish_compress(&s.info);
  return true;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::optional<Image> DecodeJpeg(std::span<const std::uint8_t> data, std::uint64_t budget_bytes) {
  std::optional<Image> image;
  RowSink sink = CollectRows(image, budget_bytes);
  if (!RunJpegDecode(data, sink, WholePictureWork(budget_bytes))) {
    return std::nullopt;
  }
  return image;
}

bool DecodeJpegRows(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t budget_bytes) {
  // Rows are the sink's to count; libjpeg's own memory, chiefly the coefficients of a
  // progressive picture, is held to the budget.
  return RunJpegDecode(data, sink, std::min<std::uint64_t>(budget_bytes, LONG_MAX / 4));
}

bool WriteJpegFile(const Image& image, const std::filesystem::path& path, int quality) {
  if (image.empty() || image.channels != 3 ||
      image.pixels.size() < image.stride() * static_cast<std::size_t>(image.height)) {
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    return false;
  }
  bool written = false;
  try {
    JpegWrite s;
    s.rgb_row.resize(image.stride());
    written = EncodeJpegInto(s, image, file.get(), quality);
  } catch (const std::bad_alloc&) {
    written = false;
  }
  written = std::fclose(file.release()) == 0 && written;
  if (!written) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  return written;
}

}  // namespace platform
