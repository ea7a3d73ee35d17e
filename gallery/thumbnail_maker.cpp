#include "gallery/thumbnail_maker.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gallery/resample.h"
#include "platform/codecs.h"
#include "platform/files.h"

namespace gallery {
namespace {

constexpr int kThumbnailPauseMs = 10;
// Camera pictures run to a few tens of megabytes; a read buffer up to this size stays allocated.
constexpr std::size_t kKeptFileBufferBytes = std::size_t{64} << 20;

std::string Join(std::string_view a, std::string_view b, std::string_view c = {}) {
  std::string joined;
  joined.reserve(a.size() + b.size() + c.size());
  joined.append(a).append(b).append(c);
  return joined;
}

}  // namespace

Size ThumbnailSize(int w0, int h0, int width) {
  if (w0 <= 0 || h0 <= 0) {
    return {0, 0};
  }
  const std::int64_t w = width;
  std::int64_t tw = w;
  std::int64_t th = w;
  if (w0 > h0) {
    th = static_cast<std::int64_t>(h0) * w / w0;
  } else {
    tw = static_cast<std::int64_t>(w0) * w / h0;
  }
  // A 2000 x 10 picture at 120 would give a side of 0, which no image can have.
  return {static_cast<int>(std::max<std::int64_t>(tw, 1)),
          static_cast<int>(std::max<std::int64_t>(th, 1))};
}

platform::Image ThumbnailImage(const platform::Image& picture, int width) {
  if (picture.empty()) {
    return {};
  }
  const Size size = ThumbnailSize(picture.width, picture.height, width);
  return Resize(picture, size.width, size.height);
}

platform::Image DecodeThumbnail(std::span<const std::uint8_t> data, int width, Size& full,
                                std::uint64_t budget_bytes) {
  full = {0, 0};
  bool full_known = false;
  RowResizer resizer;
  platform::RowSink sink;
  // The thumbnail's size comes from the picture's own, whatever scale the decoder picks.
  sink.reduce_to = [&](int full_width, int full_height, int& reduced_width, int& reduced_height) {
    full = {full_width, full_height};
    full_known = true;
    const Size size = ThumbnailSize(full_width, full_height, width);
    reduced_width = size.width;
    reduced_height = size.height;
  };
  sink.begin = [&](int rows_width, int rows_height, int channels) {
    if (!full_known) {
      full = {rows_width, rows_height};
    }
    const Size size = ThumbnailSize(full.width, full.height, width);
    return StartResize(resizer, rows_width, rows_height, channels, size.width, size.height,
                       budget_bytes, CubicSums::kFast, full.width, full.height);
  };
  sink.row = [&resizer](const std::uint8_t* row) { PushRow(resizer, row); };
  if (!platform::DecodeImageRows(data, sink, budget_bytes)) {
    return {};
  }
  return FinishResize(resizer);
}

platform::Image FlattenOnWhite(const platform::Image& image) {
  if (image.channels != 4 || image.empty()) {
    return image;
  }
  platform::Image flat = platform::MakeImage(image.width, image.height, 3);
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  const std::uint8_t* in = image.pixels.data();
  std::uint8_t* out = flat.pixels.data();
  for (std::size_t i = 0; i < pixels; ++i, in += 4, out += 3) {
    const int alpha = in[3];
    for (int c = 0; c < 3; ++c) {
      // (v - 255) * a is at least -65025, so the numerator is never negative and integer
      // division is the floor.
      out[c] = static_cast<std::uint8_t>(((in[c] - 255) * alpha + 65025) / 255);
    }
  }
  return flat;
}

bool JpegWriter(const platform::Image& image, const std::filesystem::path& path) {
  if (image.channels == 4) {
    return platform::WriteJpegFile(FlattenOnWhite(image), path, kJpegQuality);
  }
  return platform::WriteJpegFile(image, path, kJpegQuality);
}

void MakeThumbnail(std::string_view run_folder, std::string_view name, int width) {
  platform::CreateFolder(Join(run_folder, "mini"));
  // Kept from picture to picture so that each read lands in memory already in use; a rare huge
  // file does not keep its size afterwards.
  static std::vector<std::uint8_t> file_buffer;
  const std::optional<std::span<const std::uint8_t>> data =
      platform::ReadWholeFileInto(Join(run_folder, name), file_buffer);
  if (!data) {
    return;
  }
  // Without a fresh decode, image 0 would still describe the previous picture: better no
  // thumbnail than that picture's under this name.
  platform::ReleaseImage(platform::kPictureImage);
  Size full{0, 0};
  platform::Image thumb = DecodeThumbnail(*data, width, full, platform::kDecodeBudgetBytes);
  if (file_buffer.size() > kKeptFileBufferBytes) {
    std::vector<std::uint8_t>().swap(file_buffer);
  }
  if (thumb.empty()) {
    return;
  }
  platform::Image measure;
  measure.width = full.width;
  measure.height = full.height;
  measure.channels = thumb.channels;
  platform::SetImage(platform::kPictureImage, std::move(measure));
  platform::SetImage(platform::kThumbnailImage, std::move(thumb));
  if (const platform::Image* held = platform::FindImage(platform::kThumbnailImage)) {
    // A missing thumbnail only leaves a dead link in the page; the run goes on.
    static_cast<void>(JpegWriter(*held, Join(run_folder, "mini/", name) + ".jpg"));
  }
  platform::ReleaseImage(platform::kThumbnailImage);
}

void ThumbnailMaker(std::string_view run_folder, std::string_view name, int width) {
  MakeThumbnail(run_folder, name, width);
  platform::SleepMs(kThumbnailPauseMs);
}

}  // namespace gallery
