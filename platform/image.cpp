#include "platform/image.h"

#include <map>
#include <utility>

namespace platform {
namespace {

// AddImage hands out numbers above every fixed one, so a banner never takes a number that the
// picture, the thumbnail or the tile will be stored under later.
constexpr ImageId kFirstAddedImage = kTileImage + 1;

std::map<ImageId, Image>& Store() {
  static std::map<ImageId, Image> store;
  return store;
}

}  // namespace

Image MakeImage(int width, int height, int channels, std::uint8_t fill) {
  Image image;
  if (width <= 0 || height <= 0 || channels <= 0) {
    return image;
  }
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                          static_cast<std::size_t>(channels),
                      fill);
  return image;
}

void SetImage(ImageId id, Image image) { Store()[id] = std::move(image); }

ImageId AddImage(Image image) {
  std::map<ImageId, Image>& store = Store();
  ImageId id = kFirstAddedImage;
  for (auto it = store.lower_bound(id); it != store.end() && it->first == id; ++it) {
    ++id;
  }
  store.emplace(id, std::move(image));
  return id;
}

Image* FindImage(ImageId id) {
  std::map<ImageId, Image>& store = Store();
  const auto it = store.find(id);
  return it == store.end() ? nullptr : &it->second;
}

void ReleaseImage(ImageId id) { Store().erase(id); }

void ReleaseAllImages() { Store().clear(); }

}  // namespace platform
