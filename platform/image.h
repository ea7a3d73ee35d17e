// Decoded pixels and the numbered image store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Pixels in the byte order of a Windows DIB, which the thumbnail and tile rules are stated in:
// 3 channels are blue, green, red; 4 channels add a straight (not premultiplied) alpha.
// Rows run top to bottom, width * channels bytes each, with no padding.
struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;  // 0 for an empty image, else 3 or 4
  std::vector<std::uint8_t> pixels;

  bool empty() const { return width <= 0 || height <= 0 || pixels.empty(); }
  std::size_t stride() const { return static_cast<std::size_t>(width) * channels; }
  std::uint8_t* row(int y) { return pixels.data() + stride() * static_cast<std::size_t>(y); }
  const std::uint8_t* row(int y) const {
    return pixels.data() + stride() * static_cast<std::size_t>(y);
  }
};

// A blank image of the given size, every byte set to `fill`. Returns an empty image when the size
// is not positive.
Image MakeImage(int width, int height, int channels, std::uint8_t fill = 0);

// Images the program keeps by number: 0 the picture being thumbnailed (its size and channels only:
// its rows go straight into the thumbnail), 1 the thumbnail being made, 14 the background tile;
// the banner's number is chosen by AddImage.
using ImageId = int;
inline constexpr ImageId kPictureImage = 0;
inline constexpr ImageId kThumbnailImage = 1;
inline constexpr ImageId kTileImage = 14;

// Stores `image` under `id`, releasing whatever held that number before.
void SetImage(ImageId id, Image image);
// Stores `image` under a number no one uses and returns that number.
ImageId AddImage(Image image);
// The image held under `id`, or nullptr when the number holds nothing.
Image* FindImage(ImageId id);
void ReleaseImage(ImageId id);
void ReleaseAllImages();

}  // namespace platform
