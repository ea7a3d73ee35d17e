#include "gallery/picture_filter.h"

#include <array>
#include <string>

#include "gallery/text.h"

namespace gallery {
namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool EqualsLowered(std::u16string_view text, std::u16string_view lower) {
  if (text.size() != lower.size()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Lower(text[i]) != lower[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool PictureFilter(bool is_folder, std::string_view name) {
  if (is_folder) {
    return false;
  }
  const std::u16string units = Utf8ToUtf16(name);
  const std::u16string_view whole(units);
  const std::u16string_view tail = whole.size() < 5 ? whole : whole.substr(whole.size() - 5);
  const std::size_t dot = tail.find(u'.');
  if (dot == std::u16string_view::npos) {
    return false;
  }
  // The extension is what follows that dot; a tail shorter than five keeps the dot in it, which
  // is why ".png" alone is no picture.
  const std::size_t wanted = 5 - (dot + 1);
  const std::u16string_view extension =
      tail.size() < wanted ? tail : tail.substr(tail.size() - wanted);
  static constexpr std::array<std::u16string_view, 5> kExtensions = {u"jpg", u"jpeg", u"bmp",
                                                                     u"gif", u"png"};
  bool accepted = false;
  for (std::u16string_view known : kExtensions) {
    accepted = accepted || EqualsLowered(extension, known);
  }
  return accepted && !EqualsLowered(whole, u"fond.jpg");
}

}  // namespace gallery
