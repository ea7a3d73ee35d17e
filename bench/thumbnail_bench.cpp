// Times the thumbnail step over a folder of pictures: thumbnail_bench SRC OUT [WIDTH=150].
// Each picture is read whole, decoded straight to its thumbnail and written as OUT/NAME.jpg, as
// a gallery run does without its pause. SRC is only read; OUT is created when missing and must
// not be SRC.
//
// thumbnail_bench --psnr SRC [WIDTH=150] writes nothing: for every JPEG that shrinks while it
// decodes, it compares the thumbnail's pixels (before encoding) with a full decode scaled by
// exact area averaging, and prints the PSNR, apart for boxes that are whole multiples of 8.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <system_error>
#include <utility>
#include <vector>

#include "gallery/picture_filter.h"
#include "gallery/thumbnail_maker.h"
#include "platform/codecs.h"
#include "platform/image.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::vector<std::string> PictureNames(const fs::path& src) {
  std::error_code error;
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(src, error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(error) && gallery::PictureFilter(false, name)) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

double Psnr(const platform::Image& a, const platform::Image& b) {
  if (a.pixels.size() != b.pixels.size() || a.pixels.empty()) {
    return 0;
  }
  double squares = 0;
  for (std::size_t k = 0; k < a.pixels.size(); ++k) {
    const double d = static_cast<double>(a.pixels[k]) - static_cast<double>(b.pixels[k]);
    squares += d * d;
  }
  if (squares == 0) {
    return 99;
  }
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.pixels.size()) / squares);
}

struct Tally {
  int pictures = 0;
  double lowest = 1e9;
  double sum = 0;
};

int PsnrMain(const fs::path& src, int width) {
  Tally whole_boxes, other_boxes;
  int kept = 0;
  for (const std::string& name : PictureNames(src)) {
    const auto data = platform::ReadWholeFile(src / name);
    if (!data || !platform::LooksLikeJpeg(*data)) {
      continue;
    }
    gallery::Size full{0, 0};
    const platform::Image fast =
        gallery::DecodeThumbnail(*data, width, full, platform::kDecodeBudgetBytes);
    const std::optional<platform::Image> picture = platform::DecodeImage(*data);
    if (!picture || fast.empty()) {
      std::printf("%s: does not decode\n", name.c_str());
      return 1;
    }
    // The decoder's own rule: shrink only while at least twice the thumbnail is left.
    if ((picture->width + 1) / 2 < 2 * fast.width || (picture->height + 1) / 2 < 2 * fast.height) {
      ++kept;  // decoded in full: the same bytes by construction
      continue;
    }
    const platform::Image exact = gallery::ThumbnailImage(*picture, width);
    const double psnr = Psnr(fast, exact);
    const bool multiple_of_8 =
        picture->width % (8 * fast.width) == 0 && picture->height % (8 * fast.height) == 0;
    Tally& t = multiple_of_8 ? whole_boxes : other_boxes;
    ++t.pictures;
    t.sum += psnr;
    t.lowest = std::min(t.lowest, psnr);
    std::printf("%-28s %5dx%-5d -> %3dx%-3d  %6.2f dB%s\n", name.c_str(), picture->width,
                picture->height, fast.width, fast.height, psnr, multiple_of_8 ? "  (box 8k)" : "");
  }
  const std::pair<const char*, Tally> tallies[] = {{"box a multiple of 8", whole_boxes},
                                                   {"any other box", other_boxes}};
  for (const auto& [label, t] : tallies) {
    if (t.pictures > 0) {
      std::printf("PSNR %-20s %d JPEGs, lowest %.2f dB, mean %.2f dB\n", label, t.pictures,
                  t.lowest, t.sum / t.pictures);
    }
  }
  std::printf("decoded in full          %d JPEGs\n", kept);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && argc <= 4 && std::string(argv[1]) == "--psnr") {
    return PsnrMain(argv[2], argc == 4 ? std::atoi(argv[3]) : 150);
  }
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

  const std::vector<std::string> names = PictureNames(src);

  int pictures = 0;
  int failures = 0;
  std::uint64_t input_bytes = 0;
  std::uint64_t input_pixels = 0;
  Clock::duration decoding{}, writing{};
  std::vector<std::uint8_t> file_buffer;  // reused from picture to picture, as MakeThumbnail does
  const Clock::time_point start = Clock::now();
  for (const std::string& name : names) {
    const Clock::time_point t0 = Clock::now();
    platform::Image thumb;
    gallery::Size full{0, 0};
    if (const auto data = platform::ReadWholeFileInto(src / name, file_buffer)) {
      input_bytes += data->size();
      thumb = gallery::DecodeThumbnail(*data, width, full, platform::kDecodeBudgetBytes);
    }
    const Clock::time_point t1 = Clock::now();
    decoding += t1 - t0;
    ++pictures;
    if (thumb.empty()) {
      ++failures;
      continue;
    }
    input_pixels += static_cast<std::uint64_t>(full.width) * full.height;
    if (!gallery::JpegWriter(thumb, out / (name + ".jpg"))) {
      ++failures;
    }
    writing += Clock::now() - t1;
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
    std::printf("read+decode+scale %.3f s\n", Seconds(decoding));
    std::printf("write           %.3f s\n", Seconds(writing));
  }
  std::printf("peak RSS        %.1f MB\n", usage.ru_maxrss / 1024.0);
  return failures == 0 ? 0 : 1;
}
