// Reading pictures by their content, and writing JPEG files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "platform/image.h"

namespace platform {

// Decoding refuses, before allocating, any picture whose decoded pixels would exceed this.
inline constexpr std::uint64_t kDecodeBudgetBytes = std::uint64_t{1} << 30;

// Each predicate looks at the first bytes only; DecodeImage tries them in this order.
bool LooksLikeBmp(std::span<const std::uint8_t> data);   // "BM", both reserved words zero
bool LooksLikeJpeg(std::span<const std::uint8_t> data);  // FF D8
bool LooksLikeGif(std::span<const std::uint8_t> data);   // "GIF87a" or "GIF89a"
bool LooksLikePng(std::span<const std::uint8_t> data);   // the 8-byte PNG signature

// Each decoder returns nothing for data it cannot decode or whose pixels would exceed
// `budget_bytes`.
// BMP and JPEG give 3 channels; PNG gives 3 channels without alpha or tRNS and 4 otherwise; GIF
// gives 4 channels: its first frame placed on the logical screen, transparent elsewhere.
std::optional<Image> DecodeBmp(std::span<const std::uint8_t> data,
                               std::uint64_t budget_bytes = kDecodeBudgetBytes);
std::optional<Image> DecodeJpeg(std::span<const std::uint8_t> data,
                                std::uint64_t budget_bytes = kDecodeBudgetBytes);
std::optional<Image> DecodeGif(std::span<const std::uint8_t> data,
                               std::uint64_t budget_bytes = kDecodeBudgetBytes);
std::optional<Image> DecodePng(std::span<const std::uint8_t> data,
                               std::uint64_t budget_bytes = kDecodeBudgetBytes);

// Where a streaming decode delivers a picture. Rows come top to bottom, `width * channels` bytes
// each, in the same byte order as Image.
struct RowSink {
  // Called once the header is read, with the picture's full size: the size it will be reduced
  // to. A JPEG is then decoded at 1/8 when that size divides its own by a multiple of 8, else at
  // the smallest DCT scale that still leaves at least three times that size on both axes; other
  // formats ignore it. May be left empty: no reduction.
  std::function<void(int full_width, int full_height, int& reduced_width, int& reduced_height)>
      reduce_to;
  // Called once before the first row with the size and channels of the rows that follow; false
  // stops the decode.
  std::function<bool(int width, int height, int channels)> begin;
  std::function<void(const std::uint8_t* row)> row;
};

// Decodes as DecodeImage does but hands the rows to `sink` as they come, holding only what the
// format needs (a few rows; the whole picture for interlaced PNG and GIF, RLE BMP, and the
// coefficients of a progressive JPEG), which `budget_bytes` bounds. Returns false when the data
// does not decode; `sink` may have had some rows by then.
bool DecodeImageRows(std::span<const std::uint8_t> data, RowSink& sink,
                     std::uint64_t budget_bytes = kDecodeBudgetBytes);

// DecodeImageRows for one format, with the same rows as the whole-picture decoder above.
bool DecodeBmpRows(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t budget_bytes);
bool DecodeJpegRows(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t budget_bytes);
bool DecodeGifRows(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t budget_bytes);
bool DecodePngRows(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t budget_bytes);

// The front door: the first format, in the order BMP, JPEG, GIF, PNG, whose predicate accepts the
// data decodes it. The name of the file never matters. No metadata (orientation, colour profile)
// is applied.
std::optional<Image> DecodeImage(std::span<const std::uint8_t> data,
                                 std::uint64_t budget_bytes = kDecodeBudgetBytes);

// Reads a whole file, opened for reading with other readers allowed; nothing when it cannot be
// opened or read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path);
// The same into `buffer`, which keeps its size (at least the file's plus a byte) from call to
// call: reading picture after picture then neither zeroes nor faults in fresh memory. Returns the
// bytes read, a view into `buffer`; nothing when the file cannot be opened or read.
std::optional<std::span<const std::uint8_t>> ReadWholeFileInto(const std::filesystem::path& path,
                                                               std::vector<std::uint8_t>& buffer);

// Writes a 3-channel image as a baseline JFIF JPEG: libjpeg's defaults, then `quality` without
// forcing baseline quantisation limits, rows top to bottom. Returns false when the file cannot be
// created or the encoder fails; a file the encoder failed on is closed and deleted.
[[nodiscard]] bool WriteJpegFile(const Image& image, const std::filesystem::path& path,
                                 int quality);

}  // namespace platform
