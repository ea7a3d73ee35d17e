// The folder tree: the computer, the mounted file systems and Documents, each folder's
// sub-folders read on its first expansion. Paths are file-system bytes, each ending in '/'.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QPersistentModelIndex>
#include <QPoint>
#include <QTreeWidget>

class QSocketNotifier;

namespace platform {

// A QTreeWidget that reports mouse actions as control event types (click 0, double-click 1,
// right-click 2, right double-click 3, drag start 6). A right press and the start of a drag
// select the item under the pointer first. Both list controls share these rules.
class EventTreeWidget : public QTreeWidget {
 public:
  explicit EventTreeWidget(QWidget* parent);

  // Receives every event type the control raises; may be empty.
  std::function<void(int type)> on_event;

 protected:
  void Raise(int type);

  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QPoint press_pos_;
  QPersistentModelIndex press_index_;  // the row under a left press, while the button is down
  bool drag_raised_ = false;
  bool after_double_click_ = false;  // the release that ends a double-click is no click
};

// One mounted file system as the tree shows it.
struct Mount {
  std::string point;   // bytes, without trailing '/' except the root "/"
  std::string name;    // bytes: the label, or the last part of the mount point; "/" for the root
  std::string source;  // the mounted device or resource, as mountinfo gives it
  std::string type;    // file system type
};

// The mounts a user browses, from the text of /proc/self/mountinfo: octal escapes decoded,
// pseudo and system mounts left out, one entry per mount point (the one mounted last), the root
// first and the others in byte order of their mount points. The root is always there, even when
// `mountinfo` lacks it or is garbage. Names are the last part of the mount point.
std::vector<Mount> ParseMountInfo(std::string_view mountinfo);

class FolderTree : public EventTreeWidget {
 public:
  // Builds the computer item with the current mounts and Documents, expanded, nothing selected,
  // and starts following mounts.
  explicit FolderTree(QWidget* parent);
  ~FolderTree() override;

  // Path text of the selected item: "" for nothing selected or the computer item; otherwise the
  // item's full path in bytes, ending in '/' (the root mount is "/").
  std::string PathText() const;

  QTreeWidgetItem* ComputerItem() const { return computer_; }

  // Makes the mount items under the computer item match `mounts`, in that order, before the
  // Documents item. Items whose mount point stays are kept with their children.
  void SetMounts(const std::vector<Mount>& mounts);
  // Makes the last item under the computer item show `folder` (bytes, with or without a trailing
  // '/'), or removes it when `folder` is empty or not a folder.
  void SetDocuments(std::string_view folder);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void LoadChildren(QTreeWidgetItem* item);
  void FollowMounts();
  void MountsChanged();
  QTreeWidgetItem* DocumentsItem() const;

  QTreeWidgetItem* computer_ = nullptr;
  int mountinfo_fd_ = -1;
  std::unique_ptr<QSocketNotifier> mount_notifier_;
};

}  // namespace platform
