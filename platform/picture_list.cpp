#include "platform/picture_list.h"

#include <dirent.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QStyledItemDelegate>

#include "platform/controls.h"

namespace platform {
namespace {

enum Column : int { kNameColumn, kSizeColumn, kTypeColumn, kModifiedColumn, kColumnCount };
constexpr int kInitialColumnWidth = 100;

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Sorts by what a cell stands for: sizes and times by value, texts without regard to case.
class PictureRow : public QTreeWidgetItem {
 public:
  PictureRow(const QStringList& cells, qint64 size, qint64 modified)
      : QTreeWidgetItem(cells), size_(size), modified_(modified) {}

  bool operator<(const QTreeWidgetItem& other) const override {
    const auto& row = static_cast<const PictureRow&>(other);
    const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : kNameColumn;
    if (column == kSizeColumn && size_ != row.size_) {
      return size_ < row.size_;
    }
    if (column == kModifiedColumn && modified_ != row.modified_) {
      return modified_ < row.modified_;
    }
    if (column == kTypeColumn) {
      const int by_type = text(kTypeColumn).compare(other.text(kTypeColumn), Qt::CaseInsensitive);
      if (by_type != 0) {
        return by_type < 0;
      }
    }
    const int by_name = text(kNameColumn).compare(other.text(kNameColumn), Qt::CaseInsensitive);
    return by_name != 0 ? by_name < 0 : text(kNameColumn) < other.text(kNameColumn);
  }

 private:
  qint64 size_;
  qint64 modified_;  // seconds since the epoch
};

// Only the name cell shows the selection; the other cells of the selected row stay plain.
class NameCellSelection : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem plain(option);
    if (index.column() != kNameColumn) {
      plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    }
    QStyledItemDelegate::paint(painter, plain, index);
  }
};

std::vector<std::string_view> SplitPatterns(std::string_view list) {
  std::vector<std::string_view> patterns;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(';', start), list.size());
    if (end > start) {
      patterns.push_back(list.substr(start, end - start));
    }
    start = end + 1;
  }
  return patterns;
}

bool Matches(const std::string& pattern, const std::string& name) {
  // "*.*" stands for every name here, with or without a dot.
  return pattern == "*.*" ||
         fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

// Entry names of `folder` in readdir order, "." and ".." left out; empty when unreadable.
std::vector<std::string> EntryNames(const std::string& folder) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) {
    return names;
  }
  while (const dirent* entry = readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      names.emplace_back(name);
    }
  }
  return names;
}

QString SizeText(qint64 bytes) {
  return QString::number((bytes + 1023) / 1024) + QStringLiteral(" KB");
}

QString ModifiedText(qint64 seconds) {
  const QDateTime local = QDateTime::fromSecsSinceEpoch(seconds);
  const QLocale locale;
  // Some locales (the C locale among them) put seconds in their short time format.
  QString time_format = locale.timeFormat(QLocale::ShortFormat);
  time_format.remove(QRegularExpression(QStringLiteral("[:.]s{1,2}")));
  return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
         locale.toString(local.time(), time_format);
}

QString DecodedName(const std::string& bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace

PictureList::PictureList(QWidget* parent, std::string_view patterns)
    : EventTreeWidget(parent), patterns_(patterns) {
  setColumnCount(kColumnCount);
  setHeaderLabels({QStringLiteral("Nom"), QStringLiteral("Taille"), QStringLiteral("Type"),
                   QStringLiteral("Modifié")});
  for (int column = 0; column < kColumnCount; ++column) {
    setColumnWidth(column, kInitialColumnWidth);
  }
  header()->setStretchLastSection(false);
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(false);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(false);
  setItemDelegate(new NameCellSelection(this));
  setFocusPolicy(Qt::ClickFocus);  // never reached by Tab

  connect(header(), &QHeaderView::sectionClicked, this,
          [this](int column) { SortByHeader(column); });
  connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!relisting_) {
      Raise(kChange);
    }
  });
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Relist(); });
}

void PictureList::SetText(std::string_view text) {
  if (text.empty()) {
    folder_.clear();
  } else if (text.find('/') == std::string_view::npos) {
    patterns_ = text;
  } else {
    folder_ = text;
    if (folder_.back() != '/') {
      folder_ += '/';
    }
  }
  const QStringList watched = watcher_.directories();
  if (!watched.isEmpty()) {
    watcher_.removePaths(watched);
  }
  if (!folder_.empty() && QFileInfo(DecodedName(folder_)).isDir()) {
    watcher_.addPath(DecodedName(folder_));
  }
  Relist();
}

void PictureList::Relist() {
  relisting_ = true;
  clear();
  sort_column_ = -1;
  header()->setSortIndicatorShown(false);
  if (!folder_.empty()) {
    const std::vector<std::string> names = EntryNames(folder_);
    const QMimeDatabase mime_types;
    const QFileIconProvider icons;
    QList<QTreeWidgetItem*> rows;
    for (const std::string_view pattern_view : SplitPatterns(patterns_)) {
      const std::string pattern(pattern_view);
      for (const std::string& name : names) {
        if (!Matches(pattern, name)) {
          continue;
        }
        const std::string path = folder_ + name;
        struct stat st {};
        // A dangling link is still a file of the folder: it is listed with the link's own data.
        if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) {
          continue;  // gone since the listing
        }
        if (S_ISDIR(st.st_mode)) {
          continue;
        }
        const QFileInfo info(DecodedName(path));
        auto* row =
            new PictureRow({DecodedName(name), SizeText(st.st_size),
                            mime_types.mimeTypeForFile(info).comment(), ModifiedText(st.st_mtime)},
                           st.st_size, st.st_mtime);
        row->setIcon(kNameColumn, icons.icon(info));
        row->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
        rows.append(row);
      }
    }
    addTopLevelItems(rows);
  }
  relisting_ = false;
}

void PictureList::SortByHeader(int column) {
  sort_order_ = column == sort_column_ && sort_order_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                            : Qt::AscendingOrder;
  sort_column_ = column;
  header()->setSortIndicatorShown(true);
  sortItems(column, sort_order_);
}

void PictureList::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      !selectedItems().isEmpty()) {
    Raise(kDoubleClick);  // Enter opens nothing; it is reported like a double-click
    event->accept();
    return;
  }
  EventTreeWidget::keyPressEvent(event);
}

}  // namespace platform
