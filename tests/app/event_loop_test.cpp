#include "app/event_loop.h"

#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "gallery/controls.h"
#include "gallery/gallery_run.h"
#include "platform/controls.h"
#include "platform/controls_qt.h"
#include "platform/folder_tree.h"
#include "platform/image.h"
#include "tests/support/temp_folder.h"

namespace app {
namespace {

using app::LoopEnd;
using testsupport::TempFolder;

// The whole program up to its loop, with the shell, the message box and the colour chooser
// replaced. Loops are run for a bounded number of passes, so a failure cannot hang.
class EventLoopTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::SetOpenDocumentFn([this](const std::string& path, const std::string&) {
      opened.push_back(path);
      if (on_open) {
        on_open();
      }
    });
    platform::SetMessageBoxFn([](std::string_view, std::string_view) {});
    StartUp();
    while (platform::PollEvent() != platform::kNoEvent) {
    }
    platform::SetState(gallery::kThumbnailsCheck, 0);
    platform::SetState(gallery::kWallpaperCheck, 0);
  }

  void TearDown() override {
    ShutDown();
    platform::SetOpenDocumentFn(nullptr);
    platform::SetMessageBoxFn(nullptr);
    platform::SetChooseColourFn(nullptr);
  }

  platform::FolderTree& Tree() {
    return *dynamic_cast<platform::FolderTree*>(platform::FindControlWidget(gallery::kFolderTree));
  }

  // Points the tree's Documents item at `folder` and selects it as a user would.
  void Choose(const TempFolder& folder) {
    Tree().SetDocuments(folder.path().string());
    Tree().setCurrentItem(Tree().ComputerItem()->child(Tree().ComputerItem()->childCount() - 1));
  }

  std::vector<std::string> opened;
  std::function<void()> on_open;
};

TEST_F(EventLoopTest, ACloseEventWhileIdleEndsTheProgramWithinTwoPasses) {
  EXPECT_EQ(RunEventLoop(3), LoopEnd::kPassesUsed);
  platform::RaiseCloseEvent();
  EXPECT_EQ(RunEventLoop(2), LoopEnd::kShutDown);
}

TEST_F(EventLoopTest, ACloseEventTakenByTheDrainEndsTheProgramAtOnce) {
  platform::RaiseControlEvent(gallery::kViewCheck, platform::kClick);
  platform::RaiseCloseEvent();
  EXPECT_EQ(RunEventLoop(1), LoopEnd::kShutDown);
}

TEST_F(EventLoopTest, ACloseEventTakenByARunIsLost) {
  TempFolder folder;
  folder.Write("a.jpg");
  gallery::current_folder = folder.folder();
  platform::RaiseControlEvent(gallery::kGenerateButton, platform::kClick);
  platform::RaiseCloseEvent();
  EXPECT_EQ(RunEventLoop(4), LoopEnd::kPassesUsed);
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_TRUE(platform::MainWindowWidget()->isVisible());
}

TEST_F(EventLoopTest, AFailedPageEndsTheProgramWithoutADrain) {
  TempFolder folder;
  folder.MakeFolder("index.html");
  gallery::current_folder = folder.folder();
  platform::RaiseControlEvent(gallery::kGenerateButton, platform::kClick);
  EXPECT_EQ(RunEventLoop(1), LoopEnd::kShutDown);
}

TEST_F(EventLoopTest, GenerateClicksStartOneRunUntilTheDrainIsOver) {
  TempFolder folder;
  folder.Write("a.jpg");
  folder.Write("b.jpg");
  gallery::current_folder = folder.folder();
  // A second click while the first waits is merged with it.
  platform::RaiseControlEvent(gallery::kGenerateButton, platform::kClick);
  platform::RaiseControlEvent(gallery::kGenerateButton, platform::kClick);
  // Clicks during the run are taken by the run; one as the run ends is taken by the drain.
  QTimer during;
  during.setInterval(0);
  QObject::connect(&during, &QTimer::timeout,
                   [] { platform::RaiseControlEvent(gallery::kGenerateButton, platform::kClick); });
  during.start();
  on_open = [&during] {
    during.stop();
    platform::RaiseControlEvent(gallery::kGenerateButton, platform::kClick);
  };
  EXPECT_EQ(RunEventLoop(1), LoopEnd::kPassesUsed);
  on_open = nullptr;
  EXPECT_EQ(RunEventLoop(5), LoopEnd::kPassesUsed);
  EXPECT_EQ(opened.size(), 1u);

  platform::RaiseControlEvent(gallery::kGenerateButton, platform::kClick);
  EXPECT_EQ(RunEventLoop(2), LoopEnd::kPassesUsed);
  EXPECT_EQ(opened.size(), 2u) << "a click after the drain starts a run";
}

TEST_F(EventLoopTest, TheSliderRefreshesTheWidthLabel) {
  EXPECT_EQ(platform::GetText(gallery::kWidthLabel), "150 pixels de large");
  for (const auto& [position, text] :
       {std::pair{0, "120 pixels de large"}, std::pair{2, "150 pixels de large"},
        std::pair{20, "420 pixels de large"}}) {
    platform::SetState(gallery::kWidthSlider, position);
    platform::RaiseControlEvent(gallery::kWidthSlider, platform::kClick);
    RunEventLoop(1);
    EXPECT_EQ(platform::GetText(gallery::kWidthLabel), text);
  }
}

TEST_F(EventLoopTest, TypingIntoTheSpinFieldLeavesItShowingTheValue) {
  auto* field = platform::FindControlWidget(gallery::kColumnsSpin)->findChild<QLineEdit*>();
  field->selectAll();
  for (const auto& [key, text] :
       {std::pair{Qt::Key_1, "1"}, std::pair{Qt::Key_2, "2"}, std::pair{Qt::Key_X, "x"}}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(field, &press);
    RunEventLoop(1);
    EXPECT_EQ(platform::QueuedEventCount(), 0) << "rewriting the field raised nothing";
  }
  EXPECT_EQ(field->text(), "12");
  EXPECT_EQ(platform::GetState(gallery::kColumnsSpin), 12);
}

TEST_F(EventLoopTest, ACancelledColourChooserGivesATexturedWhiteTile) {
  platform::SetChooseColourFn([] { return -1; });
  platform::RaiseControlEvent(gallery::kColourButton, platform::kClick);
  RunEventLoop(1);
  const platform::Image& tile = *platform::FindImage(platform::kTileImage);
  const auto [low, high] = std::minmax_element(tile.pixels.begin(), tile.pixels.end());
  EXPECT_GE(*low, 215);
  EXPECT_LT(*low, 255) << "textured, not left white";
  EXPECT_LE(*high, 255);
}

TEST_F(EventLoopTest, TheComputerItemEmptiesTheFolderAndTheList) {
  TempFolder folder;
  folder.Write("a.jpg");
  Choose(folder);
  EXPECT_EQ(gallery::current_folder, folder.folder());
  Tree().setCurrentItem(Tree().ComputerItem());
  EXPECT_EQ(gallery::current_folder, "");
  EXPECT_EQ(platform::GetText(gallery::kPictureList), "");
}

TEST_F(EventLoopTest, ARunKeepsItsFolderWhenAnotherIsChosenDuringIt) {
  TempFolder first, second;
  for (int i = 0; i < 6; ++i) {
    first.Write("p" + std::to_string(i) + ".png");
  }
  platform::SetState(gallery::kWallpaperCheck, 1);
  Choose(first);
  RunEventLoop(1);  // the tree's own event, which has no reaction
  platform::RaiseControlEvent(gallery::kGenerateButton, platform::kClick);
  QTimer::singleShot(0, [&] { Choose(second); });
  RunEventLoop(2);
  EXPECT_EQ(gallery::current_folder, second.folder()) << "the handler ran during the run";
  EXPECT_EQ(opened, std::vector<std::string>{first.folder() + "index.html"});
  EXPECT_TRUE(std::filesystem::exists(first.path() / "fond.jpg"));
  EXPECT_FALSE(std::filesystem::exists(second.path() / "index.html"));
  EXPECT_FALSE(std::filesystem::exists(second.path() / "fond.jpg"));
}

}  // namespace
}  // namespace app
