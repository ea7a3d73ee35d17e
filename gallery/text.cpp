#include "gallery/text.h"

namespace gallery {

std::size_t Utf8SequenceLength(std::string_view bytes) {
  if (bytes.empty()) {
    return 0;
  }
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    return 1;
  }
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) {
      low = 0xA0;  // no overlong forms
    } else if (lead == 0xED) {
      high = 0x9F;  // no surrogates
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) {
      low = 0x90;
    } else if (lead == 0xF4) {
      high = 0x8F;  // nothing above U+10FFFF
    }
  } else {
    return 0;
  }
  if (bytes.size() < length || byte(1) < low || byte(1) > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t length = Utf8SequenceLength(bytes.substr(i));
    if (length == 0) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    const auto byte = [&](std::size_t k) {
      return static_cast<char32_t>(static_cast<unsigned char>(bytes[i + k]));
    };
    char32_t code = 0;
    switch (length) {
      case 1:
        code = byte(0);
        break;
      case 2:
        code = (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
        break;
      case 3:
        code = (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
        break;
      default:
        code = (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 |
               (byte(3) & 0x3F);
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}

}  // namespace gallery
