// The window's control numbers and the few places and texts that a run needs besides the build.
#pragma once

#include "platform/controls.h"

namespace gallery {

enum ControlNumber : platform::ControlId {
  kBannerImage = 0,
  kFolderTree = 1,
  kPictureList = 2,
  kOptionsFrame = 3,
  kTitleLabel = 4,
  kTitleField = 5,
  kThumbnailsCheck = 6,
  kWidthLabel = 7,
  kWidthSlider = 8,
  kColumnsLabel = 9,
  kColumnsSpin = 10,
  kWallpaperCheck = 11,
  kColourButton = 13,
  kTilePreview = 14,
  kViewCheck = 15,
  kGenerateButton = 16,  // the run's progress bar takes this number while it runs
  kFixedColumnsOption = 50,
  kAutoOption = 51,
};

inline constexpr platform::Rect kGenerateButtonRect{10, 450, 729, 28};
inline constexpr platform::Rect kRunProgressBarRect{110, 453, 529, 22};
inline constexpr platform::Rect kTilePreviewRect{590, 394, 32, 32};
inline constexpr char kGenerateText[] = "Générer la page";

// The longer side of a thumbnail for a slider position 0 to 20: 120 to 420 pixels.
constexpr int ThumbnailWidth(int slider_position) { return slider_position * 15 + 120; }

}  // namespace gallery
