#include "gallery/gallery_run.h"

#include <dirent.h>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include <QProgressBar>
#include <QTimer>
#include <gtest/gtest.h>

#include "gallery/controls.h"
#include "platform/codecs.h"
#include "platform/controls.h"
#include "platform/controls_qt.h"
#include "tests/support/fixtures.h"
#include "tests/support/option_controls.h"
#include "tests/support/temp_folder.h"

namespace gallery {
namespace {

using testsupport::ReadFile;
using testsupport::TempFolder;

struct Opened {
  std::string path, working_folder;
  int bar_maximum = -1, bar_value = -1;  // the progress bar as the page is opened
};

// The option controls of the window in their start-up states, with the shell and the message box
// replaced by recorders.
class GalleryRunTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::CreateOptionControls();
    platform::SetState(kThumbnailsCheck, 0);
    platform::SetState(kWallpaperCheck, 0);
    platform::SetOpenDocumentFn([this](const std::string& path, const std::string& working) {
      Opened o{path, working};
      if (auto* bar = qobject_cast<QProgressBar*>(platform::FindControlWidget(kGenerateButton))) {
        o.bar_maximum = bar->property("marbelow_maximum").toInt();
        o.bar_value = bar->value();
      }
      opened.push_back(o);
    });
    platform::SetMessageBoxFn([this](std::string_view title, std::string_view text) {
      messages.push_back(std::string(title) + "/" + std::string(text));
    });
  }

  void TearDown() override {
    platform::DestroyWindowAndControls();
    platform::SetOpenDocumentFn(nullptr);
    platform::SetMessageBoxFn(nullptr);
    current_folder.clear();
  }

  bool Run(const std::string& folder) {
    current_folder = folder;
    const bool end = GalleryRun();
    EXPECT_FALSE(run_in_progress || end) << "only a failed page creation ends the program";
    return end;
  }

  std::vector<Opened> opened;
  std::vector<std::string> messages;
};

// Names of the pictures in the order the file system lists them.
std::vector<std::string> ListingOrder(const std::filesystem::path& folder,
                                      const std::vector<std::string>& pictures) {
  std::vector<std::string> order;
  DIR* dir = ::opendir(folder.c_str());
  while (const dirent* entry = ::readdir(dir)) {
    for (const std::string& picture : pictures) {
      if (picture == entry->d_name) {
        order.push_back(picture);
      }
    }
  }
  ::closedir(dir);
  return order;
}

std::vector<std::string> LinkedNames(const std::string& page) {
  std::vector<std::string> names;
  const std::string marker = "<a href=\"";
  for (std::size_t at = page.find(marker); at != std::string::npos;
       at = page.find(marker, at + 1)) {
    const std::size_t start = at + marker.size();
    names.push_back(page.substr(start, page.find('"', start) - start));
  }
  return names;
}

TEST_F(GalleryRunTest, PagesThePicturesOfAFolderInListingOrder) {
  TempFolder folder;
  for (const char* name : {"a.jpg", "b.PNG", "notes.txt", "fond.jpg"}) {
    folder.Write(name, "not really a picture");
  }
  folder.MakeFolder("x.jpg");
  platform::SetText(kTitleField, "Vacances");

  Run(folder.folder());

  const std::string page = ReadFile(folder.path() / "index.html");
  EXPECT_EQ(LinkedNames(page), ListingOrder(folder.path(), {"a.jpg", "b.PNG"}));
  EXPECT_NE(page.find("<title>Vacances</title>\r\n"), std::string::npos);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].path, folder.folder() + "index.html");
  EXPECT_EQ(opened[0].working_folder, folder.folder());
  EXPECT_EQ(opened[0].bar_maximum, 2);
  EXPECT_EQ(opened[0].bar_value, 2);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "mini")) << "thumbnails were off";
  // The button is back, as it was.
  EXPECT_EQ(platform::GetText(kGenerateButton), kGenerateText);
  EXPECT_TRUE(platform::BackgroundEraseEnabled());
}

TEST_F(GalleryRunTest, AFolderWithoutPicturesGetsHeadAndEndOnly) {
  TempFolder folder;
  folder.Write("notes.txt");
  platform::SetState(kThumbnailsCheck, 1);
  Run(folder.folder());
  EXPECT_EQ(ReadFile(folder.path() / "index.html").size(), 216u);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].bar_maximum, 0);
  EXPECT_EQ(opened[0].bar_value, 0);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "mini"));
}

TEST_F(GalleryRunTest, ReadsColumnsAndWrappingForEachPicture) {
  TempFolder folder;
  for (int i = 0; i < 10; ++i) {
    folder.Write("p" + std::to_string(i) + ".jpg");
  }
  platform::SetState(kColumnsSpin, 100);
  platform::SetState(kFixedColumnsOption, 1);
  // The run lets the toolkit work once per entry; halfway through, one column per row.
  int polls = 0;
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, [&polls] {
    if (++polls == 6) {
      platform::SetState(kColumnsSpin, 1);
    }
  });
  timer.start();
  Run(folder.folder());
  timer.stop();

  const std::string page = ReadFile(folder.path() / "index.html");
  const std::string body = page.substr(0, page.rfind("<br />\r\n</body>"));
  // Entries before the change run together; every one after it ends its row.
  std::vector<bool> broken;
  for (std::size_t at = body.find("</td>\r\n"); at != std::string::npos;
       at = body.find("</td>\r\n", at + 1)) {
    broken.push_back(body.compare(at + 7, 8, "<br />\r\n") == 0);
  }
  ASSERT_EQ(broken.size(), 10u);
  const auto first_break = std::find(broken.begin(), broken.end(), true);
  EXPECT_NE(first_break, broken.begin());
  EXPECT_NE(first_break, broken.end());
  EXPECT_TRUE(std::all_of(first_break, broken.end(), [](bool b) { return b; }));
}

TEST_F(GalleryRunTest, APageThatCannotBeCreatedAsksToEnd) {
  TempFolder folder;
  folder.MakeFolder("index.html");
  folder.Write("a.jpg");
  current_folder = folder.folder();
  EXPECT_TRUE(GalleryRun());
  EXPECT_EQ(messages, std::vector<std::string>{"Erreur/Fabrication HTML impossible"});
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(platform::GetText(kGenerateButton), kGenerateText);
}

TEST_F(GalleryRunTest, AFolderThatCannotBeListedStillFinishes) {
  Run("/nonexistent-folder-for-marbelow/");
  EXPECT_TRUE(messages.empty());
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].path, "/nonexistent-folder-for-marbelow/index.html");
  EXPECT_EQ(platform::GetText(kGenerateButton), kGenerateText);
}

TEST_F(GalleryRunTest, NoFolderChosenMeansTheWorkingDirectory) {
  TempFolder folder;
  folder.Write("a.gif");
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  Run("");
  std::filesystem::current_path(before);
  EXPECT_EQ(LinkedNames(ReadFile(folder.path() / "index.html")), std::vector<std::string>{"a.gif"});
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].path, "index.html");
  EXPECT_EQ(opened[0].working_folder, "");
}

TEST_F(GalleryRunTest, ViewingOffOpensNothingAndRunsRepeatIdentically) {
  TempFolder folder;
  folder.Write("b.png");
  folder.Write("a.jpg");
  platform::SetState(kViewCheck, 0);
  Run(folder.folder());
  const std::string first = ReadFile(folder.path() / "index.html");
  Run(folder.folder());
  EXPECT_EQ(ReadFile(folder.path() / "index.html"), first);
  EXPECT_TRUE(opened.empty());
}

std::string Text(const support::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST_F(GalleryRunTest, ReadsTheWidthForEachPicture) {
  TempFolder folder;
  for (int i = 0; i < 8; ++i) {
    folder.Write("p" + std::to_string(i) + ".png",
                 Text(support::EncodePng(support::PatternImage(40, 30, 3))));
  }
  platform::SetState(kThumbnailsCheck, 1);
  platform::SetState(kWidthSlider, 0);
  int polls = 0;
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, [&polls] {
    if (++polls == 5) {
      platform::SetState(kWidthSlider, 20);
    }
  });
  timer.start();
  Run(folder.folder());
  timer.stop();
  std::set<int> widths;
  for (int i = 0; i < 8; ++i) {
    const auto bytes =
        platform::ReadWholeFile(folder.path() / "mini" / ("p" + std::to_string(i) + ".png.jpg"));
    ASSERT_TRUE(bytes.has_value());
    widths.insert(platform::DecodeImage(*bytes)->width);
  }
  EXPECT_EQ(widths, (std::set<int>{120, 420})) << "thumbnails after the move are wider";
}

TEST_F(GalleryRunTest, ThePageDoesNotDependOnTheThumbnails) {
  TempFolder folder;
  folder.Write("good.png", Text(support::EncodePng(support::PatternImage(40, 30, 4))));
  folder.Write("empty.jpg");
  folder.Write("garbage.gif", "GIF89a and then nothing sensible");
  folder.Write("jpeg-inside.bmp",
               Text(support::MakeJpeg(
                   {.width = 8, .height = 8, .samples = std::vector<std::uint8_t>(192, 90)})));
  Run(folder.folder());
  const std::string without = ReadFile(folder.path() / "index.html");
  platform::SetState(kThumbnailsCheck, 1);
  Run(folder.folder());
  EXPECT_EQ(ReadFile(folder.path() / "index.html"), without);
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "mini/good.png.jpg"));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "mini/jpeg-inside.bmp.jpg"));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "mini/empty.jpg.jpg"));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "mini/garbage.gif.jpg"));
}

}  // namespace
}  // namespace gallery
