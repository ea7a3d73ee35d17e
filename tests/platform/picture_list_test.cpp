#include "platform/picture_list.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include "platform/controls.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPatterns = "*.jpg;*.jpeg;*.bmp;*.gif;*.png";

QString Decoded(const std::string& bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// A list over a folder of its own under the test temp dir. `folder_` ends in '/'.
class PictureListTest : public testing::Test {
 protected:
  PictureListTest() : list_(nullptr, kPatterns) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    folder_ =
        testing::TempDir() + "picture_list_" + test->name() + "_" + std::to_string(getpid()) + "/";
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    list_.resize(500, 300);
    list_.on_event = [this](int type) { events_.push_back(type); };
  }
  ~PictureListTest() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  void Write(const std::string& name, std::size_t size) {
    std::ofstream(folder_ + name, std::ios::binary) << std::string(size, 'x');
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < list_.topLevelItemCount(); ++i) {
      names.push_back(QFile::encodeName(list_.topLevelItem(i)->text(0)).toStdString());
    }
    return names;
  }
  // Names in the order readdir gives them, to tell listing order from any sort.
  std::vector<std::string> Readdir() const {
    std::vector<std::string> names;
    DIR* dir = opendir(folder_.c_str());
    while (const dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
      names.emplace_back(entry->d_name);
    }
    if (dir != nullptr) {
      closedir(dir);
    }
    return names;
  }
  bool ReaddirBefore(const std::string& first, const std::string& second) const {
    const std::vector<std::string> order = Readdir();
    return std::find(order.begin(), order.end(), first) <
           std::find(order.begin(), order.end(), second);
  }

  std::string folder_;
  PictureList list_;
  std::vector<int> events_;
};

TEST_F(PictureListTest, ListsFilesByPatternThenInReaddirOrder) {
  Write("b.png", 1);
  Write("a.jpg", 1);
  Write(".cach\xc3\xa9.gif", 1);
  Write("PHOTO.JPG", 1);
  Write("c.jpeg", 1);
  Write("notes.txt", 1);
  fs::create_directory(folder_ + "x.jpg");
  fs::create_symlink(folder_ + "a.jpg", folder_ + "link.png");

  list_.SetText(folder_);
  const bool a_first = ReaddirBefore("a.jpg", "PHOTO.JPG");
  const bool b_first = ReaddirBefore("b.png", "link.png");
  const std::vector<std::string> want = {
      a_first ? "a.jpg" : "PHOTO.JPG",
      a_first ? "PHOTO.JPG" : "a.jpg",
      "c.jpeg",
      ".cach\xc3\xa9.gif",
      b_first ? "b.png" : "link.png",
      b_first ? "link.png" : "b.png",
  };
  EXPECT_EQ(Names(), want);

  // A name that matches two patterns is listed once for each.
  list_.SetText("a*;*.JPG");
  const std::vector<std::string> twice = {"a.jpg", a_first ? "a.jpg" : "PHOTO.JPG",
                                          a_first ? "PHOTO.JPG" : "a.jpg"};
  EXPECT_EQ(Names(), twice);
}

TEST_F(PictureListTest, CellsShowSizeInKilobytesTypeAndTimeWithoutSeconds) {
  struct Case {
    std::string name;
    std::size_t size;
    QString want;
  };
  const Case cases[] = {
      {"zero.jpg", 0, "0 KB"},
      {"one.jpg", 1, "1 KB"},
      {"kilo.jpg", 1024, "1 KB"},
      {"more.jpg", 1025, "2 KB"},
      {"big.jpg", 5 * 1024 * 1024 + 1, "5121 KB"},
      {"bad\xff.jpg", 3, "1 KB"},
  };
  for (const Case& c : cases) {
    Write(c.name, c.size);
  }
  list_.SetText(folder_);
  ASSERT_EQ(list_.topLevelItemCount(), static_cast<int>(std::size(cases)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QList<QTreeWidgetItem*> rows = list_.findItems(Decoded(c.name), Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->text(1), c.want);
    EXPECT_FALSE(rows[0]->text(2).isEmpty());
  }

  // 04:05:59 on 2021-03-02, local time: the minutes show, the seconds do not.
  const QDateTime when(QDate(2021, 3, 2), QTime(4, 5, 59));
  const timespec times[2] = {{when.toSecsSinceEpoch(), 0}, {when.toSecsSinceEpoch(), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (folder_ + "one.jpg").c_str(), times, 0), 0);
  list_.SetText(folder_);
  const QString modified = list_.findItems("one.jpg", Qt::MatchExactly).value(0)->text(3);
  EXPECT_TRUE(modified.contains("05")) << modified.toStdString();
  EXPECT_FALSE(modified.contains("59")) << modified.toStdString();

  EXPECT_EQ(list_.headerItem()->text(0), "Nom");
  EXPECT_EQ(list_.headerItem()->text(1), "Taille");
  EXPECT_EQ(list_.headerItem()->text(2), "Type");
  EXPECT_EQ(list_.headerItem()->text(3), "Modifié");
  for (int column = 0; column < 4; ++column) {
    EXPECT_EQ(list_.columnWidth(column), 100);
  }
}

TEST_F(PictureListTest, SetTextEmptiesReplacesPatternsOrChangesFolder) {
  Write("a.jpg", 1);
  Write("b.png", 1);
  EXPECT_EQ(list_.Folder(), "");
  EXPECT_EQ(list_.topLevelItemCount(), 0);

  list_.SetText(folder_);
  EXPECT_EQ(list_.Folder(), folder_);
  EXPECT_EQ(list_.topLevelItemCount(), 2);

  list_.SetText("*.png");
  EXPECT_EQ(list_.Folder(), folder_);
  EXPECT_EQ(Names(), std::vector<std::string>{"b.png"});

  list_.SetText("");
  EXPECT_EQ(list_.Folder(), "");
  EXPECT_EQ(list_.topLevelItemCount(), 0);

  list_.SetText(folder_.substr(0, folder_.size() - 1));  // the trailing '/' is added
  EXPECT_EQ(list_.Folder(), folder_);
  EXPECT_EQ(Names(), std::vector<std::string>{"b.png"});  // the pattern list stayed

  list_.SetText(folder_ + "missing/");
  EXPECT_EQ(list_.topLevelItemCount(), 0);
  EXPECT_TRUE(events_.empty());
}

TEST_F(PictureListTest, HeaderClickSortsByValueAndSecondClickReverses) {
  // Sizes whose texts sort differently from their values: "10 KB" < "9 KB".
  Write("a.jpg", 9 * 1024);
  Write("b.jpg", 10 * 1024);
  Write("c.jpg", 1);
  list_.SetText(folder_);
  list_.show();
  auto click_header = [this](int column) {
    QWidget* header = list_.header()->viewport();
    const QPoint at(list_.header()->sectionViewportPosition(column) + 10, header->height() / 2);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent event(type, QPointF(at), QPointF(header->mapToGlobal(at)), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                        Qt::NoModifier);
      QApplication::sendEvent(header, &event);
    }
  };
  using Names3 = std::vector<std::string>;
  click_header(1);
  EXPECT_EQ(Names(), (Names3{"c.jpg", "a.jpg", "b.jpg"}));
  click_header(1);
  EXPECT_EQ(Names(), (Names3{"b.jpg", "a.jpg", "c.jpg"}));
  click_header(0);
  EXPECT_EQ(Names(), (Names3{"a.jpg", "b.jpg", "c.jpg"}));
  click_header(0);
  EXPECT_EQ(Names(), (Names3{"c.jpg", "b.jpg", "a.jpg"}));

  const timespec older[2] = {{1000000000, 0}, {1000000000, 0}};
  const timespec newer[2] = {{1600000000, 0}, {1600000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (folder_ + "a.jpg").c_str(), newer, 0), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, (folder_ + "b.jpg").c_str(), older, 0), 0);
  list_.SetText(folder_);
  click_header(3);
  EXPECT_EQ(Names().front(), "b.jpg");
  EXPECT_EQ(Names().back(), "c.jpg");  // written just now
}

TEST_F(PictureListTest, FollowsFilesWrittenIntoItsFolder) {
  Write("a.jpg", 1);
  list_.SetText(folder_);
  ASSERT_EQ(list_.topLevelItemCount(), 1);

  Write("fond.jpg", 2000);
  fs::create_directory(folder_ + "mini");
  const QDeadlineTimer deadline(10000);
  while (list_.topLevelItemCount() < 2 && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  ASSERT_EQ(list_.findItems("fond.jpg", Qt::MatchExactly).size(), 1);
  EXPECT_EQ(list_.topLevelItemCount(), 2);

  fs::remove(folder_ + "a.jpg");
  const QDeadlineTimer second(10000);
  while (list_.topLevelItemCount() > 1 && !second.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"fond.jpg"});
}

TEST_F(PictureListTest, SelectionAndKeysRaiseEvents) {
  Write("a.jpg", 1);
  Write("b.jpg", 1);
  list_.SetText(folder_);
  list_.show();
  QTreeWidgetItem* second = list_.topLevelItem(1);

  list_.setCurrentItem(list_.topLevelItem(0));
  EXPECT_EQ(events_, std::vector<int>{kChange});

  events_.clear();
  const QPoint at = list_.visualItemRect(second).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent event(
        type, QPointF(at), QPointF(list_.viewport()->mapToGlobal(at)), Qt::RightButton,
        type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list_.viewport(), &event);
  }
  EXPECT_EQ(list_.selectedItems().value(0), second);
  EXPECT_EQ(events_, (std::vector<int>{kChange, kRightClick}));

  events_.clear();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&list_, &enter);
  EXPECT_EQ(events_, std::vector<int>{kDoubleClick});

  // Listing again drops the selection quietly.
  events_.clear();
  list_.SetText(folder_);
  EXPECT_TRUE(list_.selectedItems().isEmpty());
  EXPECT_TRUE(events_.empty());
}

}  // namespace
}  // namespace platform
