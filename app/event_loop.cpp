#include "app/event_loop.h"

#include <string>

#include "gallery/background_tile.h"
#include "gallery/controls.h"
#include "gallery/gallery_run.h"
#include "platform/controls.h"
#include "platform/files.h"
#include "platform/image.h"
#include "ui/window.h"

namespace app {
namespace {

constexpr int kPauseMs = 5;
constexpr int kDrainWaitMs = 5;

// Runs the reaction of the control behind the event taken; true when the program is to end.
bool React(platform::ControlId control) {
  switch (control) {
    case gallery::kColumnsSpin:
      // Whatever the field shows after a step or an edit, it then shows the value.
      platform::SetText(gallery::kColumnsSpin,
                        std::to_string(platform::GetState(gallery::kColumnsSpin)));
      return false;
    case gallery::kWidthSlider:
      platform::SetText(gallery::kWidthLabel,
                        ui::WidthLabelText(platform::GetState(gallery::kWidthSlider)));
      return false;
    case gallery::kColourButton:
      gallery::RecolourBackgroundTile();
      return false;
    case gallery::kGenerateButton:
      return !gallery::run_in_progress && gallery::GalleryRun();
    default:
      return false;
  }
}

// Drops what came in during a reaction: a slider dragged fast or a button clicked twice reacts
// once. Only a close event is honoured; true when one was taken.
bool DrainTakesClose() {
  for (int code = platform::WaitEvent(kDrainWaitMs); code != platform::kNoEvent;
       code = platform::PollEvent()) {
    if (code == platform::kCloseEvent) {
      return true;
    }
  }
  return false;
}

}  // namespace

int FolderChangeHandler() {
  platform::SetText(gallery::kPictureList, "");
  gallery::current_folder = platform::GetText(gallery::kFolderTree);
  platform::SetText(gallery::kPictureList, gallery::current_folder);
  return 0;
}

void StartUp() {
  platform::InitToolkit();
  ui::BuildWindow([] { FolderChangeHandler(); });
}

LoopEnd RunEventLoop(int max_passes) {
  for (int pass = 0; max_passes <= 0 || pass < max_passes; ++pass) {
    const int last = platform::PollEvent();
    if (last == platform::kControlEvent) {
      if (React(platform::CurrentEvent().control) || DrainTakesClose()) {
        return LoopEnd::kShutDown;
      }
    }
    platform::SleepMs(kPauseMs);
    if (last == platform::kCloseEvent) {
      return LoopEnd::kShutDown;
    }
  }
  return LoopEnd::kPassesUsed;
}

void ShutDown() {
  platform::DestroyWindowAndControls();
  platform::CloseListing();
  platform::ClosePageFile();
  platform::ReleaseAllImages();
  gallery::run_in_progress = false;
  gallery::current_folder.clear();
}

}  // namespace app
