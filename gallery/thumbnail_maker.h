// One picture of the run folder to one small JPEG in its `mini` folder, and the program's one
// JPEG encoder.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/image.h"

namespace gallery {

inline constexpr int kJpegQuality = 70;

struct Size {
  int width;
  int height;
};

// The longer side becomes `width` (a square counts as portrait) and the other keeps the ratio,
// truncated; a side that would come out as 0 is held at 1. An empty picture gives 0 x 0.
Size ThumbnailSize(int w0, int h0, int width);

// The picture scaled to its thumbnail size, or a plain copy when it has that size already. Empty
// when the picture is empty.
platform::Image ThumbnailImage(const platform::Image& picture, int width);

// A 3-channel copy of a 4-channel image blended over white by its alpha; any other image is
// returned as it is.
platform::Image FlattenOnWhite(const platform::Image& image);

// Writes the image (3 channels, or 4 flattened onto white) as a quality-70 JPEG at `path`.
// Returns false when the file cannot be written; a half-written file is removed.
[[nodiscard]] bool JpegWriter(const platform::Image& image, const std::filesystem::path& path);

// Decodes `run_folder` + `name` into image 0 and writes its thumbnail to
// `run_folder` + "mini/" + `name` + ".jpg", creating `mini` first. `run_folder` is empty or ends
// in '/'. A file that does not read or decode gets no thumbnail. Image 0 keeps the decoded picture
// (released when the file read but did not decode); image 1 is released before returning.
void MakeThumbnail(std::string_view run_folder, std::string_view name, int width);

// MakeThumbnail, then a 10 ms pause. Failures are silent: the run goes on with the page entry.
void ThumbnailMaker(std::string_view run_folder, std::string_view name, int width);

}  // namespace gallery
