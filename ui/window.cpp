#include "ui/window.h"

#include "assets/embedded.h"
#include "gallery/background_tile.h"
#include "platform/codecs.h"

namespace ui {
namespace {

// The banner's picture gets a number of its own; when it does not decode the control stays an
// empty area of the banner's size.
void MakeBanner(const ControlSpec& spec) {
  platform::ImageId banner = -1;
  if (auto picture = platform::DecodeJpeg(assets::BannerJpeg())) {
    banner = platform::AddImage(std::move(*picture));
  }
  platform::CreateImageControl(spec.id, spec.rect, banner);
}

void SetIcon() {
  if (auto icon = platform::DecodePng(assets::IconPng()); icon && icon->channels == 4) {
    platform::SetWindowIcon(*icon);
  }
}

void Make(const ControlSpec& spec) {
  const char* text = spec.text != nullptr ? spec.text : "";
  switch (spec.kind) {
    case Kind::kImage:
      MakeBanner(spec);
      break;
    case Kind::kFolderTree:
      platform::CreateFolderTree(spec.id, spec.rect);
      break;
    case Kind::kPictureList:
      platform::CreatePictureList(spec.id, spec.rect, text);
      // Name and size columns made to fit; type and date keep the width they were made with.
      platform::SetColumnWidth(spec.id, 0, 188);
      platform::SetColumnWidth(spec.id, 1, 80);
      break;
    case Kind::kFrame:
      platform::CreateFrame(spec.id, spec.rect);
      break;
    case Kind::kLabel:
      // The width label reads the slider, which exists by now.
      platform::CreateLabel(spec.id, spec.rect,
                            spec.id == gallery::kWidthLabel
                                ? WidthLabelText(platform::GetState(gallery::kWidthSlider))
                                : text);
      break;
    case Kind::kTextField:
      platform::CreateTextField(spec.id, spec.rect);
      break;
    case Kind::kCheckBox:
      platform::CreateCheckBox(spec.id, spec.rect, text);
      platform::SetState(spec.id, 1);
      break;
    case Kind::kSlider:
      platform::CreateSlider(spec.id, spec.rect, kSliderMinimum, kSliderMaximum);
      platform::SetState(spec.id, kSliderStart);
      break;
    case Kind::kSpin:
      platform::CreateSpin(spec.id, spec.rect, kColumnsMinimum, kColumnsMaximum);
      platform::SetState(spec.id, kColumnsStart);
      platform::SetText(spec.id, std::to_string(kColumnsStart));
      break;
    case Kind::kOptionButton:
      platform::CreateOptionButton(spec.id, spec.rect, text);
      if (spec.id == gallery::kAutoOption) {
        platform::SetState(spec.id, 1);
      }
      break;
    case Kind::kButton:
      platform::CreateButton(spec.id, spec.rect, text);
      break;
    case Kind::kTile:
      gallery::CreateBackgroundTile();
      break;
  }
  platform::SetAccessibleName(spec.id, spec.accessible);
}

}  // namespace

std::string WidthLabelText(int slider_position) {
  return std::to_string(gallery::ThumbnailWidth(slider_position)) + " pixels de large";
}

void BuildWindow(platform::Handler folder_change) {
  platform::OpenMainWindow(kWindowTitle, kClientWidth, kClientHeight);
  SetIcon();
  for (const ControlSpec& spec : kControls) {
    Make(spec);
  }
  // Bound last, so that nothing the build selects reaches the handler.
  platform::BindHandler(gallery::kFolderTree, platform::kChange, std::move(folder_change));
}

}  // namespace ui
