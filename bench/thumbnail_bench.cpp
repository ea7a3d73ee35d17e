// Times the thumbnail step over a folder of pictures: thumbnail_bench SRC OUT [WIDTH=150].
// Each picture is read whole, decoded, scaled and written as OUT/NAME.jpg, as a gallery run does
// without its pause. SRC is only read; OUT is created when missing and must not be SRC.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <system_error>
#include <vector>

#include "gallery/thumbnail_maker.h"
#include "platform/codecs.h"
#include "platform/image.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool IsPictureName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    return false;
  }
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == "jpg" || ext == "jpeg" || ext == "png" || ext == "gif" || ext == "bmp";
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s SRC_FOLDER OUT_FOLDER [WIDTH=150]\n", argv[0]);
    return 2;
  }
  const fs::path src = argv[1];
  const fs::path out = argv[2];
  const int width = argc == 4 ? std::atoi(argv[3]) : 150;
  if (width < 1 || width > 4096) {
    std::fprintf(stderr, "width must be 1 to 4096\n");
    return 2;
  }
  std::error_code error;
  fs::create_directories(out, error);
  if (!fs::is_directory(src) || !fs::is_directory(out)) {
    std::fprintf(stderr, "both folders must exist (OUT is created when missing)\n");
    return 2;
  }
  if (fs::equivalent(src, out, error)) {
    std::fprintf(stderr, "OUT_FOLDER must differ from SRC_FOLDER: the bench never writes there\n");
    return 2;
  }

  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(src, error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(error) && IsPictureName(name)) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());

  int pictures = 0;
  int failures = 0;
  std::uint64_t input_bytes = 0;
  std::uint64_t input_pixels = 0;
  Clock::duration decoding{}, scaling{}, writing{};
  const Clock::time_point start = Clock::now();
  for (const std::string& name : names) {
    const Clock::time_point t0 = Clock::now();
    std::optional<platform::Image> picture;
    if (const auto data = platform::ReadWholeFile(src / name)) {
      input_bytes += data->size();
      picture = platform::DecodeImage(*data);
    }
    const Clock::time_point t1 = Clock::now();
    decoding += t1 - t0;
    ++pictures;
    if (!picture) {
      ++failures;
      continue;
    }
    input_pixels += static_cast<std::uint64_t>(picture->width) * picture->height;
    const platform::Image thumb = gallery::ThumbnailImage(*picture, width);
    picture.reset();  // one big picture at a time, as in a run
    const Clock::time_point t2 = Clock::now();
    scaling += t2 - t1;
    if (!gallery::JpegWriter(thumb, out / (name + ".jpg"))) {
      ++failures;
    }
    writing += Clock::now() - t2;
  }
  const double total = Seconds(Clock::now() - start);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("pictures        %d (%d failed)\n", pictures, failures);
  std::printf("total           %.3f s\n", total);
  if (pictures > 0 && total > 0) {
    std::printf("pictures/s      %.2f\n", pictures / total);
    std::printf("ms/picture      %.1f\n", 1000 * total / pictures);
    std::printf("input MB/s      %.1f\n", input_bytes / 1e6 / total);
    std::printf("Mpixel/s        %.1f\n", input_pixels / 1e6 / total);
    std::printf("read+decode     %.3f s\n", Seconds(decoding));
    std::printf("scale           %.3f s\n", Seconds(scaling));
    std::printf("write           %.3f s\n", Seconds(writing));
  }
  std::printf("peak RSS        %.1f MB\n", usage.ru_maxrss / 1024.0);
  return failures == 0 ? 0 : 1;
}
