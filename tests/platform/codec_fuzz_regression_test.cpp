#include <filesystem>

#include <gtest/gtest.h>

#include "platform/codecs.h"

namespace platform {
namespace {

// Inputs the fuzzer (tests/fuzz/decode_fuzzer.cpp) once crashed or stalled on, kept beside it.
std::filesystem::path RegressionFolder() {
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "fuzz" / "regressions";
}

TEST(FuzzRegressions, EveryKeptInputDecodesOrIsRefused) {
  const std::filesystem::path folder = RegressionFolder();
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  int decoded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") {
      continue;
    }
    SCOPED_TRACE(entry.path().filename().string());
    const std::optional<std::vector<std::uint8_t>> data = ReadWholeFile(entry.path());
    ASSERT_TRUE(data.has_value());
    // The fuzzer's budget: what matters is that this returns, with or without a picture.
    const std::optional<Image> image = DecodeImage(*data, std::uint64_t{16} << 20);
    if (image) {
      EXPECT_EQ(image->pixels.size(), image->stride() * static_cast<std::size_t>(image->height));
      ++decoded;
    }
  }
  RecordProperty("decoded", decoded);
}

}  // namespace
}  // namespace platform
