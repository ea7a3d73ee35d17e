// libFuzzer target: any bytes through the front door of the decoders. Built by build.sh beside
// this file, not by CMake.
#include <cstddef>
#include <cstdint>
#include <span>

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
  return 0;
}
