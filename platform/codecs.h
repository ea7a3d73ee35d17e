// Reading pictures by their content, and writing JPEG files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
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

// The front door: the first format, in the order BMP, JPEG, GIF, PNG, whose predicate accepts the
// data decodes it. The name of the file never matters. No metadata (orientation, colour profile)
// is applied.
std::optional<Image> DecodeImage(std::span<const std::uint8_t> data,
                                 std::uint64_t budget_bytes = kDecodeBudgetBytes);

// Reads a whole file, opened for reading with other readers allowed; nothing when it cannot be
// opened or read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path);

// Writes a 3-channel image as a baseline JFIF JPEG: libjpeg's defaults, then `quality` without
// forcing baseline quantisation limits, rows top to bottom. Returns false when the file cannot be
// created or the encoder fails; a file the encoder failed on is closed and deleted.
[[nodiscard]] bool WriteJpegFile(const Image& image, const std::filesystem::path& path,
                                 int quality);

}  // namespace platform
