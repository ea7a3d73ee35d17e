// The picture list: the files of one folder that match a pattern list, in a four-column report
// view that follows the folder on disk. The folder is file-system bytes, empty or ending in '/'.
#pragma once

#include <string>
#include <string_view>

#include <QFileSystemWatcher>

#include "platform/folder_tree.h"

namespace platform {

class PictureList : public EventTreeWidget {
 public:
  // Columns "Nom", "Taille", "Type" and "Modifié", 100 pixels each; no folder, no rows.
  // `patterns` is a list such as "*.jpg;*.png".
  PictureList(QWidget* parent, std::string_view patterns);

  // "" empties the folder; a text without '/' replaces the pattern list and keeps the folder;
  // any other text becomes the folder (a missing trailing '/' is added) and keeps the pattern
  // list. Lists again after each, unsorted. Raises no event.
  void SetText(std::string_view text);
  std::string Folder() const { return folder_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Relist();
  void SortByHeader(int column);

  std::string folder_;
  std::string patterns_;
  QFileSystemWatcher watcher_;
  bool relisting_ = false;
  int sort_column_ = -1;  // -1: rows in listing order
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
};

}  // namespace platform
