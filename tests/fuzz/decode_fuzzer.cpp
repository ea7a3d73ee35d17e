// libFuzzer target: any bytes through the front door of the decoders and the thumbnail path. Built
// by build.sh beside this file, not by CMake.
#include <cstddef>
#include <cstdint>
#include <span>

#include "gallery/thumbnail_maker.h"
#include "platform/codecs.h"

namespace {

// Small enough that a header claiming a big picture is refused rather than filling memory;
// large enough for every seed. The regression test uses the same figure.
constexpr std::uint64_t kFuzzBudget = std::uint64_t{16} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<platform::Image> image =
      platform::DecodeImage(std::span<const std::uint8_t>(data, size), kFuzzBudget);
  if (image) {
    // Read the last pixel byte, so that an image shorter than its size claims shows up.
    const std::size_t bytes = image->stride() * static_cast<std::size_t>(image->height);
    if (image->channels < 3 || image->pixels.size() != bytes) {
      __builtin_trap();
    }
    volatile std::uint8_t last = image->pixels[bytes - 1];
    static_cast<void>(last);
  }
  // The thumbnail path streams rows into the resize and shrinks JPEGs while decoding; a width
  // taken from the data reaches every scale.
  if (size > 0) {
    gallery::Size full{0, 0};
    const int width = 120 + 15 * (data[size - 1] % 21);
    const platform::Image thumb = gallery::DecodeThumbnail(
        std::span<const std::uint8_t>(data, size), width, full, kFuzzBudget);
    if (!thumb.empty() && (thumb.width > 420 || thumb.height > 420 ||
                           thumb.pixels.size() != thumb.stride() * std::size_t(thumb.height))) {
      __builtin_trap();
    }
  }
  return 0;
}
