// One picture of the run folder to one small JPEG in its `mini` folder, and the program's one
// JPEG encoder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
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

// Decodes picture file bytes straight to their thumbnail: a JPEG shrinks while it decodes, and
// rows flow into the resize as they come, so the whole picture is held only where its format
// demands it. Returns the same bytes as ThumbnailImage of the picture decoded at that scale;
// empty when the data does not decode or would hold more than `budget_bytes`. `full` receives
// the picture's own size.
platform::Image DecodeThumbnail(std::span<const std::uint8_t> data, int width, Size& full,
                                std::uint64_t budget_bytes);

// A 3-channel copy of a 4-channel image blended over white by its alpha; any other image is
// returned as it is.
platform::Image FlattenOnWhite(const platform::Image& image);

// Writes the image (3 channels, or 4 flattened onto white) as a quality-70 JPEG at `path`.
// Returns false when the file cannot be written; a half-written file is removed.
[[nodiscard]] bool JpegWriter(const platform::Image& image, const std::filesystem::path& path);

// Decodes `run_folder` + `name` to its thumbnail in image 1 and writes that to
// `run_folder` + "mini/" + `name` + ".jpg", creating `mini` first. `run_folder` is empty or ends
// in '/'. A file that does not read or decode gets no thumbnail. Image 0 keeps the picture's
// measure (its size and channels, not its pixels, which are never all held), and is released
// when the file read but did not decode; image 1 is released before returning.
void MakeThumbnail(std::string_view run_folder, std::string_view name, int width);

// MakeThumbnail, then a 10 ms pause. Failures are silent: the run goes on with the page entry.
void ThumbnailMaker(std::string_view run_folder, std::string_view name, int width);

}  // namespace gallery
