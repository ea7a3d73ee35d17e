#include "gallery/gallery_run.h"

#include "gallery/background_tile.h"
#include "gallery/controls.h"
#include "gallery/page_writer.h"
#include "gallery/picture_filter.h"
#include "gallery/thumbnail_maker.h"
#include "platform/controls.h"
#include "platform/files.h"

namespace gallery {

std::string current_folder;
bool run_in_progress = false;

namespace {

constexpr char kAllNames[] = "*.*";

bool Checked(platform::ControlId id) { return platform::GetState(id) != 0; }

int CountPictures() {
  int count = 0;
  platform::DirEntry entry;
  while (platform::NextEntry(entry)) {
    count += PictureFilter(entry.is_folder, entry.name) ? 1 : 0;
  }
  platform::CloseListing();
  return count;
}

// The second pass: one pending window event taken and dropped per entry keeps the window painted
// while no control reacts.
void WriteEntries(const std::string& run_folder) {
  int done = 0;
  platform::DirEntry entry;
  while (platform::NextEntry(entry)) {
    static_cast<void>(platform::PollEvent());
    platform::EnableBackgroundErase();
    if (!PictureFilter(entry.is_folder, entry.name)) {
      continue;
    }
    const int width = ThumbnailWidth(platform::GetState(kWidthSlider));
    if (Checked(kThumbnailsCheck)) {
      ThumbnailMaker(run_folder, entry.name, width);
    }
    WritePictureEntry(entry.name);
    platform::SetState(kGenerateButton, ++done);
    ApplyRowBreak(platform::GetState(kColumnsSpin), [] { return Checked(kAutoOption); });
  }
  platform::CloseListing();
}

// The shell opens the page with its own folder as working folder, or none for a bare name.
void OpenPage(const std::string& run_folder) {
  const std::string page = run_folder + "index.html";
  const std::size_t separator = page.rfind('/');
  platform::OpenDocument(
      page, separator == std::string::npos ? std::string() : page.substr(0, separator + 1));
}

}  // namespace

bool GalleryRun() {
  run_in_progress = true;
  const std::string run_folder = current_folder;
  if (platform::OpenListing(run_folder, kAllNames)) {
    if (!CreatePage(run_folder)) {
      platform::ShowMessage("Erreur", "Fabrication HTML impossible");
      return true;
    }
    WritePageHead(platform::GetText(kTitleField));
    const int pictures = CountPictures();
    platform::CreateProgressBar(kGenerateButton, kRunProgressBarRect, 0, pictures);
    // A second listing that fails leaves a page with its head and end only.
    platform::OpenListing(run_folder, kAllNames);
    WriteEntries(run_folder);
    WritePageEnd();
  }
  if (Checked(kWallpaperCheck)) {
    SaveBackgroundTile(run_folder);
  }
  if (Checked(kViewCheck)) {
    OpenPage(run_folder);
  }
  platform::CreateButton(kGenerateButton, kGenerateButtonRect, kGenerateText);
  run_in_progress = false;
  return false;
}

}  // namespace gallery
