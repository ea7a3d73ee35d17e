// Times a whole gallery run with thumbnails on: gallery_run_bench SRC SCRATCH [WIDTH=150].
// SCRATCH is made afresh as a folder of hard links (or symbolic links, across file systems) to
// the pictures of SRC, and the run writes index.html and mini/ there, never into SRC. The window's
// option controls are made offscreen as the window makes them; the page is not opened, and
// neither the view nor the wallpaper is on.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <system_error>

#include "gallery/controls.h"
#include "gallery/gallery_run.h"
#include "gallery/picture_filter.h"
#include "platform/controls.h"
#include "ui/window.h"

namespace {

namespace fs = std::filesystem;

// Links every picture of `src` into a new, empty `scratch`; the number linked, or -1.
int LinkPictures(const fs::path& src, const fs::path& scratch) {
  std::error_code error;
  if (fs::exists(scratch, error) && !fs::is_empty(scratch, error)) {
    std::fprintf(stderr, "SCRATCH must be new or empty: the run writes into it\n");
    return -1;
  }
  fs::create_directories(scratch, error);
  int linked = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(src, error)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file(error) || !gallery::PictureFilter(false, name)) {
      continue;
    }
    const fs::path target = scratch / name;
    fs::create_hard_link(entry.path(), target, error);
    if (error) {
      fs::create_symlink(fs::absolute(entry.path()), target, error);
    }
    if (error) {
      std::fprintf(stderr, "cannot link %s\n", name.c_str());
      return -1;
    }
    ++linked;
  }
  return linked;
}

// The real window, offscreen, with the options a user would set for this run.
void BuildWindowFor(int width) {
  using namespace gallery;
  ui::BuildWindow([] {});
  platform::SetState(kThumbnailsCheck, 1);
  platform::SetState(kWallpaperCheck, 0);
  platform::SetState(kViewCheck, 0);
  platform::SetState(kWidthSlider, (width - 120) / 15);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s SRC_FOLDER SCRATCH_FOLDER [WIDTH=150]\n", argv[0]);
    return 2;
  }
  const fs::path src = argv[1];
  const fs::path scratch = fs::absolute(argv[2]);
  const int width = argc == 4 ? std::atoi(argv[3]) : 150;
  if (width < 120 || width > 420 || (width - 120) % 15 != 0) {
    std::fprintf(stderr, "width must be one the slider gives: 120, 135, ... 420\n");
    return 2;
  }
  std::error_code error;
  if (!fs::is_directory(src) || (fs::exists(scratch) && fs::equivalent(src, scratch, error))) {
    std::fprintf(stderr, "SRC must be a folder, and SCRATCH another one\n");
    return 2;
  }
  const int pictures = LinkPictures(src, scratch);
  if (pictures <= 0) {
    return 2;
  }

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  platform::InitToolkit();
  BuildWindowFor(width);
  platform::SetOpenDocumentFn([](const std::string&, const std::string&) {});
  platform::SetMessageBoxFn([](std::string_view, std::string_view) {});
  gallery::current_folder = scratch.string() + "/";

  const auto start = std::chrono::steady_clock::now();
  const bool ended = gallery::GalleryRun();
  const double total =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  platform::DestroyWindowAndControls();
  platform::ShutdownToolkit();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("pictures        %d\n", pictures);
  std::printf("total           %.3f s\n", total);
  std::printf("ms/picture      %.1f\n", 1000 * total / pictures);
  std::printf("peak RSS        %.1f MB\n", usage.ru_maxrss / 1024.0);
  return ended ? 1 : 0;
}
