// The artwork built into the program, as the exact bytes of the files in this folder.
#pragma once

#include <cstdint>
#include <span>

namespace assets {

// banner.jpg: the 728 x 53 baseline JPEG shown on the start screen and copied into galleries.
std::span<const std::uint8_t> BannerJpeg();
// icon.png: the 128 x 128 RGBA application icon.
std::span<const std::uint8_t> IconPng();

}  // namespace assets
