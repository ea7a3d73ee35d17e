// Text conversions between file-system bytes, UTF-8 and UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace gallery {

// Decodes UTF-8; each byte that is not part of a well-formed sequence becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);

// Length in bytes of the well-formed UTF-8 sequence at the start of `bytes`, or 0 when the first
// byte does not start one (overlong forms, surrogates and values above U+10FFFF are not well
// formed).
std::size_t Utf8SequenceLength(std::string_view bytes);

}  // namespace gallery
