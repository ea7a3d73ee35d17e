#include "platform/image.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(MakeImage, FillsEveryByte) {
  struct Case {
    int width, height, channels;
    std::uint8_t fill;
  };
  const Case cases[] = {{1, 1, 3, 0}, {5, 3, 3, 7}, {4, 2, 4, 255}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.channels);
    const Image image = MakeImage(c.width, c.height, c.channels, c.fill);
    EXPECT_FALSE(image.empty());
    EXPECT_EQ(image.stride(), static_cast<std::size_t>(c.width * c.channels));
    EXPECT_EQ(image.pixels, std::vector<std::uint8_t>(image.stride() * c.height, c.fill));
    EXPECT_EQ(image.row(c.height - 1) - image.row(0),
              static_cast<std::ptrdiff_t>(image.stride() * (c.height - 1)));
  }
}

TEST(MakeImage, GivesAnEmptyImageForNonPositiveSizes) {
  const int sizes[][2] = {{0, 1}, {1, 0}, {-1, 5}, {5, -1}, {0, 0}};
  for (const auto& size : sizes) {
    const Image image = MakeImage(size[0], size[1], 3);
    EXPECT_TRUE(image.empty());
    EXPECT_TRUE(image.pixels.empty());
  }
}

class ImageStore : public testing::Test {
 protected:
  void SetUp() override { ReleaseAllImages(); }
  void TearDown() override { ReleaseAllImages(); }
};

TEST_F(ImageStore, SetImageReplacesWhatTheNumberHeld) {
  EXPECT_EQ(FindImage(kPictureImage), nullptr);
  SetImage(kPictureImage, MakeImage(2, 2, 3, 1));
  SetImage(kPictureImage, MakeImage(5, 4, 4, 9));
  const Image* held = FindImage(kPictureImage);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->width, 5);
  EXPECT_EQ(held->channels, 4);
  EXPECT_EQ(held->pixels[0], 9);
  EXPECT_EQ(FindImage(kThumbnailImage), nullptr);
}

TEST_F(ImageStore, AddImagePicksANumberNoOneUses) {
  SetImage(kPictureImage, MakeImage(1, 1, 3));
  SetImage(kThumbnailImage, MakeImage(1, 1, 3));
  SetImage(kTileImage, MakeImage(1, 1, 3));
  std::vector<ImageId> ids;
  for (int i = 0; i < 5; ++i) {
    ids.push_back(AddImage(MakeImage(i + 1, 1, 3)));
  }
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_NE(ids[i], kPictureImage);
    EXPECT_NE(ids[i], kThumbnailImage);
    EXPECT_NE(ids[i], kTileImage);
    for (std::size_t j = 0; j < i; ++j) {
      EXPECT_NE(ids[i], ids[j]);
    }
    ASSERT_NE(FindImage(ids[i]), nullptr);
    EXPECT_EQ(FindImage(ids[i])->width, static_cast<int>(i) + 1);
  }
  // Even a fixed number that holds nothing now is not handed out.
  ReleaseImage(kPictureImage);
  EXPECT_NE(AddImage(MakeImage(1, 1, 3)), kPictureImage);
  EXPECT_EQ(FindImage(kPictureImage), nullptr);
}

TEST_F(ImageStore, ReleaseFreesNumbers) {
  SetImage(kTileImage, MakeImage(3, 3, 3));
  const ImageId added = AddImage(MakeImage(1, 1, 3));
  ReleaseImage(kTileImage);
  EXPECT_EQ(FindImage(kTileImage), nullptr);
  EXPECT_NE(FindImage(added), nullptr);
  ReleaseImage(kTileImage);  // releasing nothing is harmless
  ReleaseAllImages();
  EXPECT_EQ(FindImage(added), nullptr);
}

}  // namespace
}  // namespace platform
