#include "gallery/picture_filter.h"

#include <gtest/gtest.h>

namespace gallery {
namespace {

TEST(PictureFilter, JudgesTheExtensionAmongTheLastFiveCharacters) {
  struct Case {
    const char* name;
    bool picture;
  };
  const Case cases[] = {
      {"photo.jpg", true},
      {"IMG_0001.JPG", true},
      {"vacances.jpeg", true},
      {"plage 1.Jpeg", true},
      {"a.gif", true},
      {".jpeg", true},
      {".png", false},
      {"a.bm", false},
      {"pic..png", false},
      {"a.b.gif", true},
      {"x.png.jpg", true},
      {"archive.jpg.bak", false},
      {"photo.tiff", false},
      {"ab.jpgs", false},
      {"README", false},
      {"fond.jpg", false},
      {"Fond.JPG", false},
      {"fond.jpeg", true},
      {"x.bmp", true},
      {"x.BmP", true},
      {"x.jpe", false},
      {"x.webp", false},
      {"x.jpg ", false},
      {"", false},
      // Characters count as UTF-16 units: "é" is one, so the tail still ends in ".png".
      {"\xC3\xA9t\xC3\xA9.png", true},
      // A byte that is not UTF-8 counts as one character too.
      {"\xFF.gif", true},
      // An astral character is two units, pushing the dot out of the tail.
      {"\xF0\x9F\x98\x80png", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PictureFilter(false, c.name), c.picture);
  }
}

TEST(PictureFilter, NeverTakesAFolder) {
  EXPECT_FALSE(PictureFilter(true, "x.jpg"));
  EXPECT_FALSE(PictureFilter(true, "."));
}

}  // namespace
}  // namespace gallery
