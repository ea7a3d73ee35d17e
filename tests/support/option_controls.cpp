#include "tests/support/option_controls.h"

#include "gallery/controls.h"
#include "platform/controls.h"

namespace testsupport {

void CreateOptionControls() {
  using namespace gallery;
  platform::CreateTextField(kTitleField, {20, 410, 110, 20});
  platform::CreateCheckBox(kThumbnailsCheck, {150, 388, 70, 20}, " Vignettes :");
  platform::CreateSlider(kWidthSlider, {140, 410, 180, 25}, 0, 20);
  platform::CreateSpin(kColumnsSpin, {427, 388, 45, 25}, 1, 100);
  platform::CreateOptionButton(kFixedColumnsOption, {404, 390, 20, 20}, "");
  platform::CreateOptionButton(kAutoOption, {404, 418, 92, 20}, "Auto");
  platform::CreateCheckBox(kWallpaperCheck, {500, 388, 80, 20}, " Papier peint :");
  platform::CreateCheckBox(kViewCheck, {650, 388, 80, 20}, " Visualiser");
  platform::CreateButton(kGenerateButton, kGenerateButtonRect, kGenerateText);
  for (ControlNumber check : {kThumbnailsCheck, kWallpaperCheck, kViewCheck, kAutoOption}) {
    platform::SetState(check, 1);
  }
  platform::SetState(kWidthSlider, 2);
  platform::SetState(kColumnsSpin, 8);
  platform::SetText(kColumnsSpin, "8");
}

}  // namespace testsupport
