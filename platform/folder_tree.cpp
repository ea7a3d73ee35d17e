#include "platform/folder_tree.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <limits.h>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QFileIconProvider>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QStandardPaths>

#include "platform/controls.h"

namespace platform {

EventTreeWidget::EventTreeWidget(QWidget* parent) : QTreeWidget(parent) {}

void EventTreeWidget::Raise(int type) {
  if (on_event) {
    on_event(type);
  }
}

void EventTreeWidget::mousePressEvent(QMouseEvent* event) {
  after_double_click_ = false;
  const QPoint pos = event->position().toPoint();
  QTreeWidgetItem* item = itemAt(pos);
  if (event->button() == Qt::RightButton) {
    // The item under the pointer becomes the selection before the right-click is reported, so a
    // handler of either event sees the item the user pointed at.
    if (item != nullptr) {
      setCurrentItem(item);
    }
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton) {
    press_pos_ = pos;
    press_index_ =
        item != nullptr ? QPersistentModelIndex(indexFromItem(item)) : QPersistentModelIndex();
    drag_raised_ = false;
    if (item == nullptr) {
      // A click beside the items keeps the selection, where Qt would clear it.
      event->accept();
      return;
    }
  }
  QTreeWidget::mousePressEvent(event);
}

void EventTreeWidget::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  const bool ends_double_click = after_double_click_;
  after_double_click_ = false;
  if (event->button() == Qt::LeftButton) {
    press_index_ = QPersistentModelIndex();
    if (!ends_double_click && !drag_raised_) {  // a drop ends a drag, not a click
      Raise(kClick);
    }
    drag_raised_ = false;
  } else if (event->button() == Qt::RightButton && !ends_double_click) {
    Raise(kRightClick);
  }
}

void EventTreeWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  after_double_click_ = true;
  if (event->button() == Qt::LeftButton) {
    QTreeWidget::mouseDoubleClickEvent(event);  // expands or collapses a tree item
    Raise(kDoubleClick);
  } else if (event->button() == Qt::RightButton) {
    Raise(kRightDoubleClick);
  }
}

void EventTreeWidget::mouseMoveEvent(QMouseEvent* event) {
  if ((event->buttons() & Qt::LeftButton) == 0 || !press_index_.isValid()) {
    QTreeWidget::mouseMoveEvent(event);
    return;
  }
  // Moving with the button down never sweeps the selection along: it either stays a press or
  // becomes the drag of the pressed item, which is selected first.
  const QPoint moved = event->position().toPoint() - press_pos_;
  if (!drag_raised_ && moved.manhattanLength() >= QApplication::startDragDistance()) {
    drag_raised_ = true;
    if (QTreeWidgetItem* item = itemFromIndex(press_index_)) {
      setCurrentItem(item);
    }
    Raise(kDragStart);
  }
  event->accept();
}

namespace {

enum ItemKind : int { kComputerItem, kMountItem, kDocumentsItem, kFolderItem };

constexpr int kPathRole = Qt::UserRole;  // QByteArray: the item's path text
constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kLoadedRole = Qt::UserRole + 2;  // children read once, on first expansion

// mountinfo is a few kilobytes even with hundreds of mounts; anything past this is not worth
// parsing and must not grow without bound.
constexpr std::size_t kMaxMountInfoBytes = std::size_t{8} << 20;

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// `folder` ends in '/'. d_type spares a stat for most entries; links and file systems that do
// not fill it in are checked by following the link.
bool IsSubFolder(const std::string& folder, const dirent* entry) {
  const std::string_view name = entry->d_name;
  if (name == "." || name == "..") {
    return false;
  }
  if (entry->d_type == DT_DIR) {
    return true;
  }
  if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
    return false;
  }
  return IsFolder(folder + std::string(name));
}

// Names of the sub-folders of `folder` (ending in '/') in the order readdir gives them; at most
// one when `first_only`. Empty when the folder cannot be read.
std::vector<std::string> SubFolderNames(const std::string& folder, bool first_only) {
  std::vector<std::string> names;
  DirHandle dir(opendir(folder.c_str()));
  if (!dir) {
    return names;
  }
  while (const dirent* entry = readdir(dir.get())) {
    if (IsSubFolder(folder, entry)) {
      names.emplace_back(entry->d_name);
      if (first_only) {
        break;
      }
    }
  }
  return names;
}

QByteArray Bytes(std::string_view text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string PathOf(const QTreeWidgetItem* item) {
  const QByteArray path = item->data(0, kPathRole).toByteArray();
  return std::string(path.constData(), static_cast<std::size_t>(path.size()));
}

int KindOf(const QTreeWidgetItem* item) { return item->data(0, kKindRole).toInt(); }

// The mount point's path text: "/" stays "/", any other point gets a trailing '/'.
std::string MountPathText(const std::string& point) { return point == "/" ? point : point + "/"; }

QTreeWidgetItem* MakeItem(int kind, std::string_view name, const std::string& path,
                          const QIcon& icon) {
  auto* item = new QTreeWidgetItem(QStringList{QFile::decodeName(Bytes(name))});
  item->setIcon(0, icon);
  item->setData(0, kPathRole, Bytes(path));
  item->setData(0, kKindRole, kind);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

QIcon FolderIcon() { return QFileIconProvider().icon(QFileIconProvider::Folder); }

QIcon DriveIcon() {
  return QIcon::fromTheme(QStringLiteral("drive-harddisk"),
                          QFileIconProvider().icon(QFileIconProvider::Drive));
}

// Decodes the \ooo escapes with which the kernel writes space, tab, newline and backslash.
std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      out.push_back(static_cast<char>(value & 0xff));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (start <= line.size()) {
    const std::size_t end = std::min(line.find(' ', start), line.size());
    if (end > start) {
      fields.push_back(line.substr(start, end - start));
    }
    start = end + 1;
  }
  return fields;
}

bool IsPseudoType(std::string_view type) {
  static constexpr std::string_view kPseudo[] = {
      "autofs",      "binfmt_misc",   "bpf",        "cgroup",
      "cgroup2",     "configfs",      "cpuset",     "debugfs",
      "devpts",      "devtmpfs",      "efivarfs",   "fusectl",
      "hugetlbfs",   "mqueue",        "nfsd",       "nsfs",
      "overlay",     "proc",          "pstore",     "ramfs",
      "rootfs",      "rpc_pipefs",    "securityfs", "selinuxfs",
      "squashfs",    "sysfs",         "tracefs",    "fuse.gvfsd-fuse",
      "fuse.portal", "fuse.snapfuse", "fuse.lxcfs"};
  return std::ranges::find(kPseudo, type) != std::end(kPseudo);
}

bool IsUnder(std::string_view point, std::string_view folder) {
  return point == folder ||
         (point.size() > folder.size() && point.substr(0, folder.size()) == folder &&
          point[folder.size()] == '/');
}

// Mount points the system keeps for itself, and those hidden in a dot folder (document portals,
// caches) that a file manager leaves out too.
bool IsSystemPoint(std::string_view point) {
  if (IsUnder(point, "/run/media")) {
    return false;  // removable media on systems that mount them there
  }
  static constexpr std::string_view kSystem[] = {
      "/proc",         "/sys", "/dev", "/run", "/snap", "/var/lib/docker", "/var/lib/containers",
      "/var/lib/snapd"};
  for (const std::string_view folder : kSystem) {
    if (IsUnder(point, folder)) {
      return true;
    }
  }
  return point.find("/.") != std::string_view::npos;
}

// Network file systems can hang a stat when their server is gone; their mount points are
// folders anyway.
bool IsNetworkType(std::string_view type) {
  return type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" ||
         type == "fuse.sshfs" || type == "9p";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// udev writes unsafe characters of a label as \xNN.
std::string DecodeUdevName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
        HexValue(name[i + 2]) >= 0 && HexValue(name[i + 3]) >= 0) {
      out.push_back(static_cast<char>(HexValue(name[i + 2]) * 16 + HexValue(name[i + 3])));
      i += 3;
    } else {
      out.push_back(name[i]);
    }
  }
  return out;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// Device path -> file-system label, from the links udev keeps.
std::map<std::string, std::string> DeviceLabels() {
  std::map<std::string, std::string> labels;
  const std::string folder = "/dev/disk/by-label/";
  DirHandle dir(opendir(folder.c_str()));
  if (!dir) {
    return labels;
  }
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      const std::string device = RealPath(folder + name);
      if (!device.empty()) {
        labels[device] = DecodeUdevName(name);
      }
    }
  }
  return labels;
}

std::string ReadAll(int fd) {
  std::string text;
  if (lseek(fd, 0, SEEK_SET) != 0) {
    return text;
  }
  char buffer[16384];
  while (text.size() < kMaxMountInfoBytes) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) {
      break;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

// The browsable mounts as they stand: parsed, without mount points that are files (bind-mounted
// configuration files in containers), named by label where the disk has one.
std::vector<Mount> CurrentMounts(const std::string& mountinfo) {
  std::vector<Mount> mounts = ParseMountInfo(mountinfo);
  std::erase_if(mounts, [](const Mount& m) {
    return m.point != "/" && !IsNetworkType(m.type) && !IsFolder(m.point);
  });
  const std::map<std::string, std::string> labels = DeviceLabels();
  if (!labels.empty()) {
    for (Mount& mount : mounts) {
      if (mount.point != "/" && mount.source.starts_with("/dev/")) {
        const auto found = labels.find(RealPath(mount.source));
        if (found != labels.end() && !found->second.empty()) {
          mount.name = found->second;
        }
      }
    }
  }
  return mounts;
}

std::string DocumentsFolder() {
  return QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
      .toStdString();
}

}  // namespace

std::vector<Mount> ParseMountInfo(std::string_view mountinfo) {
  std::map<std::string, Mount> by_point;  // byte order puts "/" first
  std::size_t start = 0;
  while (start < mountinfo.size()) {
    const std::size_t end = std::min(mountinfo.find('\n', start), mountinfo.size());
    const std::vector<std::string_view> fields = SplitFields(mountinfo.substr(start, end - start));
    start = end + 1;
    // id parent major:minor root point options [optional...] - type source super-options
    const auto separator = std::find(fields.begin() + std::min<std::size_t>(fields.size(), 6),
                                     fields.end(), std::string_view("-"));
    if (fields.size() < 6 || fields.end() - separator < 3) {
      continue;
    }
    Mount mount;
    mount.point = Unescape(fields[4]);
    mount.type = Unescape(separator[1]);
    mount.source = Unescape(separator[2]);
    if (mount.point.empty() || mount.point[0] != '/') {
      continue;
    }
    if (mount.point != "/" && (IsPseudoType(mount.type) || IsSystemPoint(mount.point))) {
      continue;
    }
    by_point[mount.point] = std::move(mount);
  }
  by_point.try_emplace("/", Mount{"/", "/", "", ""});
  std::vector<Mount> mounts;
  mounts.reserve(by_point.size());
  for (auto& [point, mount] : by_point) {
    mount.name = point == "/" ? point : point.substr(point.rfind('/') + 1);
    mounts.push_back(std::move(mount));
  }
  return mounts;
}

FolderTree::FolderTree(QWidget* parent) : EventTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(false);  // the computer item has no button or line of its own
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  setFocusPolicy(Qt::StrongFocus);

  computer_ = MakeItem(kComputerItem, "Ordinateur", "",
                       QIcon::fromTheme(QStringLiteral("computer"),
                                        QFileIconProvider().icon(QFileIconProvider::Computer)));
  computer_->setData(0, kLoadedRole, true);
  addTopLevelItem(computer_);

  connect(this, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { LoadChildren(item); });
  connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    // A selection hidden inside a collapsed item moves up to it, so the path text always names
    // a visible item.
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) {
      return;
    }
    for (QTreeWidgetItem* up = selected.front()->parent(); up != nullptr; up = up->parent()) {
      if (up == item) {
        setCurrentItem(item);
        return;
      }
    }
  });
  connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { Raise(kChange); });

  FollowMounts();
  SetDocuments(DocumentsFolder());
  computer_->setExpanded(true);
}

FolderTree::~FolderTree() {
  mount_notifier_.reset();
  if (mountinfo_fd_ >= 0) {
    ::close(mountinfo_fd_);
  }
}

std::string FolderTree::PathText() const {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? std::string() : PathOf(selected.front());
}

QTreeWidgetItem* FolderTree::DocumentsItem() const {
  const int count = computer_->childCount();
  QTreeWidgetItem* last = count > 0 ? computer_->child(count - 1) : nullptr;
  return last != nullptr && KindOf(last) == kDocumentsItem ? last : nullptr;
}

void FolderTree::SetMounts(const std::vector<Mount>& mounts) {
  std::set<std::string> wanted;
  for (const Mount& mount : mounts) {
    wanted.insert(MountPathText(mount.point));
  }
  std::map<std::string, QTreeWidgetItem*> kept;
  for (int i = computer_->childCount() - 1; i >= 0; --i) {
    QTreeWidgetItem* child = computer_->child(i);
    if (KindOf(child) != kMountItem) {
      continue;
    }
    if (wanted.count(PathOf(child)) != 0 && kept.count(PathOf(child)) == 0) {
      kept[PathOf(child)] = child;
    } else {
      delete child;
    }
  }
  for (std::size_t i = 0; i < mounts.size(); ++i) {
    const int index = static_cast<int>(i);
    const std::string path = MountPathText(mounts[i].point);
    const auto found = kept.find(path);
    QTreeWidgetItem* item = nullptr;
    if (found == kept.end()) {
      item = MakeItem(kMountItem, mounts[i].name, path, DriveIcon());
      // Like a drive, a mount shows a button before it is read: probing it here could stall the
      // whole tree on a slow or dead network mount.
      item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
      computer_->insertChild(index, item);
      continue;
    }
    item = found->second;
    item->setText(0, QFile::decodeName(Bytes(mounts[i].name)));  // a label may have changed
    if (computer_->indexOfChild(item) != index) {
      // Sorted input keeps the kept items in order; this only runs for unsorted input.
      computer_->insertChild(index, computer_->takeChild(computer_->indexOfChild(item)));
    }
  }
}

void FolderTree::SetDocuments(std::string_view folder) {
  std::string path(folder);
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  QTreeWidgetItem* old = DocumentsItem();
  if (path.empty() || !IsFolder(path)) {
    delete old;
    return;
  }
  path = MountPathText(path);
  if (old != nullptr && PathOf(old) == path) {
    return;
  }
  delete old;
  const std::string name =
      QFile::encodeName(QStandardPaths::displayName(QStandardPaths::DocumentsLocation))
          .toStdString();
  QTreeWidgetItem* item =
      MakeItem(kDocumentsItem, name, path,
               QIcon::fromTheme(QStringLiteral("folder-documents"), FolderIcon()));
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  computer_->addChild(item);
}

void FolderTree::LoadChildren(QTreeWidgetItem* item) {
  if (item->data(0, kLoadedRole).toBool()) {
    return;
  }
  item->setData(0, kLoadedRole, true);
  const std::string folder = PathOf(item);
  const QIcon icon = FolderIcon();
  QList<QTreeWidgetItem*> children;
  for (const std::string& name : SubFolderNames(folder, false)) {
    const std::string path = folder + name + "/";
    QTreeWidgetItem* child = MakeItem(kFolderItem, name, path, icon);
    child->setChildIndicatorPolicy(SubFolderNames(path, true).empty()
                                       ? QTreeWidgetItem::DontShowIndicator
                                       : QTreeWidgetItem::ShowIndicator);
    children.append(child);
  }
  item->addChildren(children);
  // An item that turned out empty (or unreadable) loses its button.
  item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void FolderTree::FollowMounts() {
  mountinfo_fd_ = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (mountinfo_fd_ < 0) {
    SetMounts(ParseMountInfo(""));
    return;
  }
  SetMounts(CurrentMounts(ReadAll(mountinfo_fd_)));
  // The kernel flags a change of the mount table as an exceptional condition on this file.
  mount_notifier_ = std::make_unique<QSocketNotifier>(mountinfo_fd_, QSocketNotifier::Exception);
  connect(mount_notifier_.get(), &QSocketNotifier::activated, this, [this] { MountsChanged(); });
}

void FolderTree::MountsChanged() { SetMounts(CurrentMounts(ReadAll(mountinfo_fd_))); }

void FolderTree::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Asterisk) {
    // Qt would expand the whole branch, and every expansion here reads a folder: on a mount
    // that walks the entire disk. One level is enough.
    if (QTreeWidgetItem* item = currentItem()) {
      item->setExpanded(true);
    }
    event->accept();
    return;
  }
  EventTreeWidget::keyPressEvent(event);
}

}  // namespace platform
