#include "platform/folder_tree.h"

#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include "platform/controls.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// A folder of its own under the test temp dir, removed afterwards. `path` has no trailing '/'.
class TempFolder {
 public:
  TempFolder() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    path_ = testing::TempDir() + "folder_tree_" + test->name() + "_" + std::to_string(getpid());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string Make(const std::string& relative) const {
    fs::create_directories(path_ + "/" + relative);
    return path_ + "/" + relative;
  }

 private:
  std::string path_;
};

QString Decoded(const std::string& bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

QTreeWidgetItem* Child(QTreeWidgetItem* item, const std::string& name) {
  for (int i = 0; i < item->childCount(); ++i) {
    if (item->child(i)->text(0) == Decoded(name)) {
      return item->child(i);
    }
  }
  return nullptr;
}

std::vector<std::string> ChildNames(const QTreeWidgetItem* item) {
  std::vector<std::string> names;
  for (int i = 0; i < item->childCount(); ++i) {
    names.push_back(QFile::encodeName(item->child(i)->text(0)).toStdString());
  }
  return names;
}

// The sub-folders of `folder` as the file system orders them, for comparing against the tree.
std::vector<std::string> ReaddirFolders(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (const dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && fs::is_directory(folder + "/" + name)) {
      names.push_back(name);
    }
  }
  if (dir != nullptr) {
    closedir(dir);
  }
  return names;
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons held) {
  QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, held,
                    Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

// A tree over a temp folder: the root, the temp folder as a second mount, and a Documents item.
class FolderTreeTest : public testing::Test {
 protected:
  FolderTreeTest() : tree_(nullptr) {
    tree_.SetMounts({{"/", "/", "", ""}, {temp_.path(), "temp", "", ""}});
    tree_.resize(300, 400);
    tree_.on_event = [this](int type) { events_.push_back(type); };
  }
  QTreeWidgetItem* MountItem() { return tree_.ComputerItem()->child(1); }
  QPoint Centre(QTreeWidgetItem* item) { return tree_.visualItemRect(item).center(); }

  TempFolder temp_;
  FolderTree tree_;
  std::vector<int> events_;
};

TEST_F(FolderTreeTest, StartsExpandedWithMountsThenDocumentsAndNothingSelected) {
  const std::string documents = temp_.Make("Mes documents");
  tree_.SetDocuments(documents);
  QTreeWidgetItem* computer = tree_.ComputerItem();
  EXPECT_EQ(tree_.topLevelItemCount(), 1);
  EXPECT_EQ(computer->text(0), "Ordinateur");
  EXPECT_TRUE(computer->isExpanded());
  ASSERT_EQ(computer->childCount(), 3);
  EXPECT_EQ(computer->child(0)->text(0), "/");
  EXPECT_EQ(computer->child(1)->text(0), "temp");
  EXPECT_TRUE(tree_.selectedItems().isEmpty());
  EXPECT_EQ(tree_.PathText(), "");

  tree_.SetDocuments(temp_.path() + "/missing");
  EXPECT_EQ(computer->childCount(), 2);
}

TEST_F(FolderTreeTest, PathTextIsTheFullPathInBytesEndingInSlash) {
  const std::string accented = "dossier avec espaces/\xc3\xa9t\xc3\xa9 \xc3\xa0 Paris";
  const std::string not_utf8 = "bad\xff\xfe name";
  temp_.Make(accented);
  temp_.Make(not_utf8);
  const std::string documents = temp_.Make("Documents");
  tree_.SetDocuments(documents + "/");

  QTreeWidgetItem* computer = tree_.ComputerItem();
  QTreeWidgetItem* mount = MountItem();
  mount->setExpanded(true);
  QTreeWidgetItem* spaced = Child(mount, "dossier avec espaces");
  ASSERT_NE(spaced, nullptr);
  spaced->setExpanded(true);
  QTreeWidgetItem* bad = Child(mount, not_utf8);
  ASSERT_NE(bad, nullptr);

  struct Case {
    QTreeWidgetItem* item;
    std::string want;
  };
  const Case cases[] = {
      {computer, ""},
      {computer->child(0), "/"},
      {mount, temp_.path() + "/"},
      {computer->child(2), documents + "/"},
      {Child(spaced, "\xc3\xa9t\xc3\xa9 \xc3\xa0 Paris"), temp_.path() + "/" + accented + "/"},
      {bad, temp_.path() + "/" + not_utf8 + "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want);
    ASSERT_NE(c.item, nullptr);
    tree_.setCurrentItem(c.item);
    EXPECT_EQ(tree_.PathText(), c.want);
  }
  tree_.clearSelection();
  EXPECT_EQ(tree_.PathText(), "");
}

TEST_F(FolderTreeTest, ReadsSubFoldersOnFirstExpansionOnly) {
  temp_.Make("parent/child");
  temp_.Make("empty");
  temp_.Make(".hidden");
  fs::create_directory_symlink(temp_.path() + "/parent", temp_.path() + "/link");
  fs::create_symlink(temp_.path() + "/nowhere", temp_.path() + "/dangling");
  std::ofstream(temp_.path() + "/photo.jpg") << "not a folder";

  QTreeWidgetItem* mount = MountItem();
  EXPECT_EQ(mount->childCount(), 0);
  EXPECT_EQ(mount->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  mount->setExpanded(true);
  // Unsorted, hidden ones and links to folders included, files and dangling links left out.
  EXPECT_EQ(ChildNames(mount), ReaddirFolders(temp_.path()));
  EXPECT_EQ(mount->childCount(), 4);
  EXPECT_NE(Child(mount, ".hidden"), nullptr);

  // A button only where there is a sub-folder to show; children are still unread.
  EXPECT_EQ(Child(mount, "parent")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  EXPECT_EQ(Child(mount, "link")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  EXPECT_EQ(Child(mount, "empty")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
  EXPECT_EQ(Child(mount, "parent")->childCount(), 0);

  temp_.Make("late");
  mount->setExpanded(false);
  mount->setExpanded(true);
  EXPECT_EQ(Child(mount, "late"), nullptr);
  EXPECT_EQ(mount->childCount(), 4);
}

TEST_F(FolderTreeTest, UnreadableFolderGetsNoChildrenAndLosesItsButton) {
  tree_.SetMounts({{"/", "/", "", ""}, {temp_.path() + "/gone", "gone", "", ""}});
  QTreeWidgetItem* mount = MountItem();
  mount->setExpanded(true);
  EXPECT_EQ(mount->childCount(), 0);
  EXPECT_EQ(mount->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

TEST_F(FolderTreeTest, MountChangesKeepTheItemsThatStay) {
  temp_.Make("b/inside");
  const std::string a = temp_.Make("a"), b = temp_.path() + "/b", c = temp_.Make("c");
  const std::string documents = temp_.Make("docs");
  tree_.SetDocuments(documents);
  tree_.SetMounts({{"/", "/", "", ""}, {a, "a", "", ""}, {b, "b", "", ""}});
  QTreeWidgetItem* computer = tree_.ComputerItem();
  QTreeWidgetItem* kept = computer->child(2);
  kept->setExpanded(true);
  ASSERT_EQ(kept->childCount(), 1);

  tree_.SetMounts({{"/", "/", "", ""}, {b, "b", "", ""}, {c, "c", "", ""}});
  ASSERT_EQ(computer->childCount(), 4);
  EXPECT_EQ(computer->child(1), kept);
  EXPECT_TRUE(kept->isExpanded());
  EXPECT_EQ(kept->childCount(), 1);
  EXPECT_EQ(computer->child(2)->text(0), "c");
  tree_.setCurrentItem(computer->child(3));
  EXPECT_EQ(tree_.PathText(), documents + "/");  // Documents stays last
}

TEST_F(FolderTreeTest, SelectionMovesRaiseChange) {
  temp_.Make("sub");
  tree_.show();
  QTreeWidgetItem* mount = MountItem();
  tree_.setCurrentItem(mount);
  EXPECT_EQ(events_, std::vector<int>{kChange});

  // A right-click selects the item under the pointer before it is reported.
  events_.clear();
  QTreeWidgetItem* root = tree_.ComputerItem()->child(0);
  SendMouse(tree_.viewport(), QEvent::MouseButtonPress, Centre(root), Qt::RightButton,
            Qt::RightButton);
  SendMouse(tree_.viewport(), QEvent::MouseButtonRelease, Centre(root), Qt::RightButton,
            Qt::NoButton);
  EXPECT_EQ(tree_.PathText(), "/");
  EXPECT_EQ(events_, (std::vector<int>{kChange, kRightClick}));

  // So does starting to drag an item; moving with the button down selects nothing else.
  events_.clear();
  const QPoint from = Centre(mount);
  SendMouse(tree_.viewport(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  SendMouse(tree_.viewport(), QEvent::MouseMove, Centre(tree_.ComputerItem()), Qt::NoButton,
            Qt::LeftButton);
  SendMouse(tree_.viewport(), QEvent::MouseButtonRelease, Centre(tree_.ComputerItem()),
            Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(tree_.PathText(), temp_.path() + "/");
  EXPECT_EQ(events_, (std::vector<int>{kChange, kDragStart}));

  // A click beside the items keeps the selection.
  events_.clear();
  const QPoint below(10, tree_.viewport()->height() - 5);
  SendMouse(tree_.viewport(), QEvent::MouseButtonPress, below, Qt::LeftButton, Qt::LeftButton);
  SendMouse(tree_.viewport(), QEvent::MouseButtonRelease, below, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(tree_.PathText(), temp_.path() + "/");
  EXPECT_EQ(events_, std::vector<int>{kClick});

  // Collapsing the item that holds the selection moves the selection up to it.
  mount->setExpanded(true);
  tree_.setCurrentItem(Child(mount, "sub"));
  events_.clear();
  mount->setExpanded(false);
  EXPECT_EQ(tree_.PathText(), temp_.path() + "/");
  EXPECT_EQ(events_, std::vector<int>{kChange});
}

TEST_F(FolderTreeTest, DoubleClickIsReportedOnceWithoutASecondClick) {
  tree_.show();
  const QPoint at = Centre(MountItem());
  QWidget* view = tree_.viewport();
  SendMouse(view, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  SendMouse(view, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
  SendMouse(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  SendMouse(view, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
  SendMouse(view, QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
  SendMouse(view, QEvent::MouseButtonDblClick, at, Qt::RightButton, Qt::RightButton);
  SendMouse(view, QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(events_,
            (std::vector<int>{kChange, kClick, kDoubleClick, kRightClick, kRightDoubleClick}));
  EXPECT_TRUE(MountItem()->isExpanded());  // the double-click opened it
}

TEST(FolderTreeMounts, ParsesMountInfoAndKeepsWhatAUserBrowses) {
  const std::string text =
      "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
      "23 28 0:22 / /sys rw - sysfs sysfs rw\n"
      "28 1 254:0 / / rw,relatime - overlay overlay rw,lowerdir=/a\n"
      "24 28 0:6 / /dev rw - devtmpfs devtmpfs rw\n"
      "26 24 0:24 / /dev/shm rw - tmpfs tmpfs rw\n"
      "40 28 0:40 / /run/user/1000 rw - tmpfs tmpfs rw\n"
      "41 28 8:1 / /media/me/USB\\040Stick rw shared:5 master:2 - vfat /dev/sdb1 rw\n"
      "42 28 8:2 / /home rw shared:1 - ext4 /dev/sda2 rw\n"
      "43 28 0:41 / /tmp rw - tmpfs tmpfs rw\n"
      "44 28 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
      "45 28 0:42 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
      "46 28 0:43 / /home/me/.cache/doc rw - fuse.portal portal rw\n"
      "47 28 0:44 / /mnt/back\\134slash rw - ext4 /dev/sdc1 rw\n"
      "48 28 0:45 / /home rw - xfs /dev/sdd1 rw\n"
      "49 28 0:46 / /proc/sys/fs/binfmt_misc rw - binfmt_misc binfmt_misc rw\n"
      "garbage line without separator\n"
      "50 28 0:47 / /run/media/me/disk rw - ext4 /dev/sde1 rw\n"
      "51 28 0:48 / /srv/odd rw - ext4\n";
  struct Want {
    std::string point, name, type;
  };
  const Want want[] = {
      {"/", "/", "overlay"},
      {"/home", "home", "xfs"},  // the one mounted last over the same point
      {"/media/me/USB Stick", "USB Stick", "vfat"},
      {"/mnt/back\\slash", "back\\slash", "ext4"},
      {"/run/media/me/disk", "disk", "ext4"},
      {"/tmp", "tmp", "tmpfs"},
  };
  const std::vector<Mount> got = ParseMountInfo(text);
  ASSERT_EQ(got.size(), std::size(want));
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].point, want[i].point);
    EXPECT_EQ(got[i].name, want[i].name);
    EXPECT_EQ(got[i].type, want[i].type);
  }
  EXPECT_EQ(got[2].source, "/dev/sdb1");
}

TEST(FolderTreeMounts, RootIsAlwaysThere) {
  for (const std::string_view text :
       {std::string_view(""), std::string_view("1 2 3\n\n- - -\n\\\\\\"),
        std::string_view("9 1 0:1 / /mnt/x rw - ext4 /dev/x rw")}) {
    const std::vector<Mount> got = ParseMountInfo(text);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front().point, "/");
    EXPECT_EQ(got.front().name, "/");
  }
}

}  // namespace
}  // namespace platform
