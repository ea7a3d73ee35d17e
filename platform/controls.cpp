#include "platform/controls.h"

#include <deque>
#include <map>
#include <memory>
#include <utility>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QUrl>

#include "platform/controls_qt.h"
#include "platform/folder_tree.h"
#include "platform/picture_list.h"

namespace platform {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) { return text.toStdString(); }

// The window's close box only asks; the program decides when the window goes.
class MainWindow : public QWidget {
 public:
  MainWindow() : QWidget(nullptr, Qt::Window) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    RaiseCloseEvent();
  }
};

// A spin field whose arrows change the value without writing the field: the field shows what the
// program or the user last wrote into it, and every step and edit is reported instead.
class SpinField : public QWidget {
 public:
  SpinField(QWidget* parent, int minimum, int maximum, std::function<void(int)> raise)
      : QWidget(parent),
        minimum_(minimum),
        maximum_(maximum),
        value_(minimum),
        raise_(std::move(raise)) {
    field_ = new QLineEdit(this);
    field_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field_->installEventFilter(this);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* arrow : {up_, down_}) {
      arrow->setFocusPolicy(Qt::NoFocus);
      arrow->setAutoRepeat(true);
    }
    setFocusProxy(field_);
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(field_, &QLineEdit::textEdited, this, [this](const QString& text) {
      // Typed digits become the value, held within the range.
      bool ok = false;
      const long long typed = text.trimmed().toLongLong(&ok);
      if (ok) {
        value_ = static_cast<int>(std::clamp<long long>(typed, minimum_, maximum_));
      }
      raise_(kChange);
    });
  }

  void resizeEvent(QResizeEvent*) override {
    const int arrows = std::max(18, height() / 2);
    const int field_width = std::max(0, width() - arrows + 1);
    field_->setGeometry(0, 0, field_width, height());
    up_->setGeometry(width() - arrows, 0, arrows, height() / 2);
    down_->setGeometry(width() - arrows, height() / 2, arrows, height() - height() / 2);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == field_ && event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Up || key == Qt::Key_Down) {
        Step(key == Qt::Key_Up ? 1 : -1);
        return true;
      }
    }
    return QWidget::eventFilter(watched, event);
  }

  int value() const { return value_; }
  void SetValue(int value) { value_ = std::clamp(value, minimum_, maximum_); }
  QLineEdit* field() const { return field_; }

 private:
  // Every step is reported, also one that the range stops.
  void Step(int delta) {
    value_ = std::clamp(value_ + delta, minimum_, maximum_);
    raise_(delta > 0 ? kUp : kDown);
  }

  int minimum_, maximum_, value_;
  std::function<void(int)> raise_;
  QLineEdit* field_ = nullptr;
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
};

struct Event {
  int code = kNoEvent;
  ControlEvent control;
};

struct Toolkit {
  std::unique_ptr<QApplication> app;
  MainWindow* window = nullptr;
  std::map<ControlId, QWidget*> controls;
  // The group the next option button joins; any other kind of control ends it.
  QButtonGroup* open_group = nullptr;
  std::deque<Event> queue;
  ControlEvent current;
  std::map<std::pair<ControlId, int>, Handler> handlers;
  int setting_depth = 0;  // > 0 while the program sets a control's text or state
  bool background_erase = false;
  MessageBoxFn message_box;
  OpenDocumentFn open_document;
  ChooseColourFn choose_colour;
};

Toolkit& Kit() {
  static Toolkit kit;
  return kit;
}

// While one lives, controls raise nothing: the program's own changes are not user actions.
class Setting {
 public:
  Setting() { ++Kit().setting_depth; }
  ~Setting() { --Kit().setting_depth; }
  Setting(const Setting&) = delete;
  Setting& operator=(const Setting&) = delete;
};

MainWindow& Window() {
  Toolkit& kit = Kit();
  if (kit.window == nullptr) {
    kit.window = new MainWindow;
  }
  return *kit.window;
}

// Puts `widget` under `id`, destroying the control that held the number.
template <typename W>
W* Place(ControlId id, W* widget, Rect rect) {
  Toolkit& kit = Kit();
  if (auto it = kit.controls.find(id); it != kit.controls.end()) {
    Setting quiet;
    delete it->second;
    kit.controls.erase(it);
  }
  widget->setGeometry(rect.x, rect.y, rect.width, rect.height);
  widget->show();
  kit.controls[id] = widget;
  if constexpr (!std::is_same_v<W, QRadioButton>) {
    kit.open_group = nullptr;
  }
  return widget;
}

template <typename W>
W* Find(ControlId id) {
  return qobject_cast<W*>(FindControlWidget(id));
}

void DefaultMessageBox(std::string_view title, std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(title), ToQString(text), QMessageBox::Ok,
                  Kit().window);
  box.exec();
}

void DefaultOpenDocument(const std::string& path, const std::string& working_folder) {
  // A bare name is resolved against the working directory, as the shell would.
  static_cast<void>(working_folder);
  const QString local = QFile::decodeName(QByteArray::fromStdString(path));
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(local).absoluteFilePath()));
}

int DefaultChooseColour() {
  // The first custom slot starts black at every opening; the others keep what the user put there.
  QColorDialog::setCustomColor(0, QColor(0, 0, 0));
  const QColor colour = QColorDialog::getColor(QColor(0, 0, 0), Kit().window, QString());
  if (!colour.isValid()) {
    return -1;
  }
  return colour.red() | colour.green() << 8 | colour.blue() << 16;
}

}  // namespace

void InitToolkit() {
  Toolkit& kit = Kit();
  if (kit.app != nullptr || QApplication::instance() != nullptr) {
    return;
  }
  static int argc = 1;
  static char name[] = "marbelow";
  static char* argv[] = {name, nullptr};
  kit.app = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  // Lets the desktop match the window with its launcher and icon.
  QGuiApplication::setDesktopFileName("org.marbelow.Marbelow");
  // The colour chooser and the message box speak the user's language.
  auto* translator = new QTranslator(kit.app.get());
  if (translator->load(QLocale::system(), "qtbase", "_",
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  }
}

void ShutdownToolkit() {
  DestroyWindowAndControls();
  Kit().app.reset();
}

void OpenMainWindow(std::string_view title, int client_width, int client_height) {
  MainWindow& window = Window();
  window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint);
  window.setWindowTitle(ToQString(title));
  window.setFixedSize(client_width, client_height);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    // Centred on the whole screen; a window larger than the screen starts at its corner.
    const QRect area = screen->geometry();
    const QSize outer =
        window.frameGeometry().size().expandedTo(QSize(client_width, client_height));
    const int left = (area.width() - std::min(area.width(), outer.width())) / 2;
    const int top = (area.height() - std::min(area.height(), outer.height())) / 2;
    window.move(area.x() + left, area.y() + top);
  }
  window.show();
}

void SetWindowIcon(const Image& icon) {
  if (icon.empty() || icon.channels != 4) {
    return;
  }
  QImage image(icon.pixels.data(), icon.width, icon.height, static_cast<qsizetype>(icon.stride()),
               QImage::Format_ARGB32);
  Window().setWindowIcon(QIcon(QPixmap::fromImage(image.copy())));
}

QWidget* FindControlWidget(ControlId id) {
  const auto it = Kit().controls.find(id);
  return it == Kit().controls.end() ? nullptr : it->second;
}

QWidget* MainWindowWidget() { return Kit().window; }

void CreateImageControl(ControlId id, Rect rect, ImageId image_id) {
  auto* label = Place(id, new QLabel(&Window()), rect);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (const Image* image = FindImage(image_id); image != nullptr && !image->empty()) {
    // Natural size, at the top-left corner: the control takes the size of its picture.
    const QImage::Format format =
        image->channels == 4 ? QImage::Format_ARGB32 : QImage::Format_BGR888;
    const QImage view(image->pixels.data(), image->width, image->height,
                      static_cast<qsizetype>(image->stride()), format);
    label->setPixmap(QPixmap::fromImage(view.copy()));
    label->resize(image->width, image->height);
  }
}

void CreateFolderTree(ControlId id, Rect rect) {
  auto* tree = Place(id, new FolderTree(&Window()), rect);
  tree->on_event = [id](int type) { RaiseControlEvent(id, type); };
}

void CreatePictureList(ControlId id, Rect rect, std::string_view patterns) {
  auto* list = Place(id, new PictureList(&Window(), patterns), rect);
  list->on_event = [id](int type) { RaiseControlEvent(id, type); };
}

void CreateFrame(ControlId id, Rect rect) {
  auto* frame = Place(id, new QFrame(&Window()), rect);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setLineWidth(1);
  frame->setAutoFillBackground(false);
}

void CreateLabel(ControlId id, Rect rect, std::string_view text) {
  auto* label = Place(id, new QLabel(ToQString(text), &Window()), rect);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void CreateTextField(ControlId id, Rect rect) {
  auto* field = Place(id, new QLineEdit(&Window()), rect);
  QObject::connect(field, &QLineEdit::textEdited, field, [id] { RaiseControlEvent(id, kChange); });
}

void CreateCheckBox(ControlId id, Rect rect, std::string_view text) {
  auto* box = Place(id, new QCheckBox(ToQString(text), &Window()), rect);
  QObject::connect(box, &QCheckBox::clicked, box, [id] { RaiseControlEvent(id, kClick); });
}

void CreateSlider(ControlId id, Rect rect, int minimum, int maximum) {
  auto* slider = Place(id, new QSlider(Qt::Horizontal, &Window()), rect);
  slider->setRange(minimum, maximum);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(1);
  slider->setPageStep(std::max(1, (maximum - minimum) / 5));
  QObject::connect(slider, &QSlider::valueChanged, slider, [id] { RaiseControlEvent(id, kClick); });
  QObject::connect(slider, &QSlider::sliderReleased, slider,
                   [id] { RaiseControlEvent(id, kClick); });
}

void CreateSpin(ControlId id, Rect rect, int minimum, int maximum) {
  Place(id,
        new SpinField(&Window(), minimum, maximum, [id](int type) { RaiseControlEvent(id, type); }),
        rect);
}

void CreateOptionButton(ControlId id, Rect rect, std::string_view text) {
  Toolkit& kit = Kit();
  QButtonGroup* group = kit.open_group;
  auto* button = Place(id, new QRadioButton(ToQString(text), &Window()), rect);
  if (group == nullptr) {
    group = new QButtonGroup(&Window());
  }
  group->addButton(button);
  kit.open_group = group;
  QObject::connect(button, &QRadioButton::clicked, button, [id] { RaiseControlEvent(id, kClick); });
}

void CreateButton(ControlId id, Rect rect, std::string_view text) {
  auto* button = Place(id, new QPushButton(ToQString(text), &Window()), rect);
  button->setAutoDefault(false);
  button->setDefault(false);
  QObject::connect(button, &QPushButton::clicked, button, [id] { RaiseControlEvent(id, kClick); });
}

void CreateProgressBar(ControlId id, Rect rect, int minimum, int maximum) {
  auto* bar = Place(id, new QProgressBar(&Window()), rect);
  bar->setFocusPolicy(Qt::NoFocus);
  bar->setTextVisible(false);
  // Qt animates an empty range as busy; an empty run shows an empty bar instead.
  bar->setRange(minimum, std::max(maximum, minimum + 1));
  bar->setValue(minimum);
  bar->setProperty("marbelow_maximum", maximum);
}

bool ControlExists(ControlId id) { return FindControlWidget(id) != nullptr; }

int GetState(ControlId id) {
  QWidget* widget = FindControlWidget(id);
  if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable()) {
    return button->isChecked() ? 1 : 0;
  }
  if (auto* slider = qobject_cast<QSlider*>(widget)) {
    return slider->value();
  }
  if (auto* spin = dynamic_cast<SpinField*>(widget)) {
    return spin->value();
  }
  if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
    return bar->value();
  }
  return 0;
}

void SetState(ControlId id, int state) {
  Setting quiet;
  QWidget* widget = FindControlWidget(id);
  if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable()) {
    button->setChecked(state != 0);
  } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
    slider->setValue(state);
  } else if (auto* spin = dynamic_cast<SpinField*>(widget)) {
    spin->SetValue(state);
  } else if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
    bar->setValue(std::clamp(state, bar->minimum(), bar->property("marbelow_maximum").toInt()));
    bar->repaint();  // shown at once, not at the next paint
  }
}

std::string GetText(ControlId id) {
  QWidget* widget = FindControlWidget(id);
  if (auto* tree = dynamic_cast<FolderTree*>(widget)) {
    return tree->PathText();
  }
  if (auto* list = dynamic_cast<PictureList*>(widget)) {
    return list->Folder();
  }
  if (auto* spin = dynamic_cast<SpinField*>(widget)) {
    return ToUtf8(spin->field()->text());
  }
  if (auto* field = qobject_cast<QLineEdit*>(widget)) {
    return ToUtf8(field->text());
  }
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    return ToUtf8(button->text());
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return ToUtf8(label->text());
  }
  return {};
}

void SetText(ControlId id, std::string_view text) {
  Setting quiet;
  QWidget* widget = FindControlWidget(id);
  if (auto* list = dynamic_cast<PictureList*>(widget)) {
    list->SetText(text);
  } else if (auto* spin = dynamic_cast<SpinField*>(widget)) {
    spin->field()->setText(ToQString(text));
  } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
    field->setText(ToQString(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQString(text));
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(ToQString(text));
  }
}

void SetColumnWidth(ControlId id, int column, int width) {
  if (auto* list = dynamic_cast<PictureList*>(FindControlWidget(id))) {
    list->setColumnWidth(column, width);
  }
}

void SetAccessibleName(ControlId id, std::string_view name) {
  if (QWidget* widget = FindControlWidget(id)) {
    widget->setAccessibleName(ToQString(name));
    if (auto* spin = dynamic_cast<SpinField*>(widget)) {
      spin->field()->setAccessibleName(ToQString(name));
    }
  }
}

void EnableBackgroundErase() {
  Toolkit& kit = Kit();
  if (!kit.background_erase && kit.window != nullptr) {
    // Qt paints double-buffered; what is left is not to clear the window under its children.
    kit.window->setAttribute(Qt::WA_OpaquePaintEvent, false);
    kit.window->setAutoFillBackground(true);
  }
  kit.background_erase = true;
}

bool BackgroundEraseEnabled() { return Kit().background_erase; }

namespace {

int TakeQueued() {
  Toolkit& kit = Kit();
  const Event event = kit.queue.front();
  kit.queue.pop_front();
  if (event.code == kControlEvent) {
    kit.current = event.control;
  }
  return event.code;
}

bool DoToolkitWork(QEventLoop::ProcessEventsFlags flags) {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if (dispatcher == nullptr) {
    return false;
  }
  // Posted events (deferred deletes, queued signals) count as work too.
  const bool did = dispatcher->processEvents(flags);
  QCoreApplication::sendPostedEvents();
  return did;
}

}  // namespace

int PollEvent() {
  Toolkit& kit = Kit();
  if (!kit.queue.empty()) {
    return TakeQueued();
  }
  return DoToolkitWork(QEventLoop::AllEvents) ? kToolkitWork : kNoEvent;
}

int WaitEvent(int ms) {
  Toolkit& kit = Kit();
  if (!kit.queue.empty()) {
    return TakeQueued();
  }
  if (DoToolkitWork(QEventLoop::AllEvents)) {
    return kToolkitWork;
  }
  bool timed_out = false;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, [&timed_out] { timed_out = true; });
  timer.start(std::max(0, ms));
  while (true) {
    const bool did = DoToolkitWork(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (timed_out) {
      return kNoEvent;
    }
    if (did) {
      return kToolkitWork;
    }
  }
}

ControlEvent CurrentEvent() { return Kit().current; }

void BindHandler(ControlId id, int type, Handler handler) {
  Kit().handlers[{id, type}] = std::move(handler);
}

namespace {

void Enqueue(const Event& event) {
  Toolkit& kit = Kit();
  if (!kit.queue.empty()) {
    const Event& last = kit.queue.back();
    if (last.code == event.code && last.control.control == event.control.control &&
        last.control.type == event.control.type) {
      return;
    }
  }
  kit.queue.push_back(event);
}

}  // namespace

void RaiseControlEvent(ControlId id, int type) {
  Toolkit& kit = Kit();
  if (kit.setting_depth > 0) {
    return;
  }
  if (const auto it = kit.handlers.find({id, type}); it != kit.handlers.end()) {
    const Handler handler = it->second;  // the handler may rebind itself
    handler();
  }
  Enqueue(Event{kControlEvent, ControlEvent{id, type}});
}

void RaiseCloseEvent() { Enqueue(Event{kCloseEvent, ControlEvent{}}); }

int QueuedEventCount() { return static_cast<int>(Kit().queue.size()); }

void DestroyWindowAndControls() {
  Toolkit& kit = Kit();
  {
    Setting quiet;
    for (auto& [id, widget] : kit.controls) {
      delete widget;
    }
    kit.controls.clear();
    kit.open_group = nullptr;
    delete kit.window;
    kit.window = nullptr;
  }
  kit.queue.clear();
  kit.handlers.clear();
  kit.current = ControlEvent{};
  kit.background_erase = false;
}

void ShowMessage(std::string_view title, std::string_view text) {
  if (Kit().message_box) {
    Kit().message_box(title, text);
  } else {
    DefaultMessageBox(title, text);
  }
}

void OpenDocument(const std::string& path, const std::string& working_folder) {
  if (Kit().open_document) {
    Kit().open_document(path, working_folder);
  } else {
    DefaultOpenDocument(path, working_folder);
  }
}

int ChooseColour() { return Kit().choose_colour ? Kit().choose_colour() : DefaultChooseColour(); }

void SetMessageBoxFn(MessageBoxFn fn) { Kit().message_box = std::move(fn); }
void SetOpenDocumentFn(OpenDocumentFn fn) { Kit().open_document = std::move(fn); }
void SetChooseColourFn(ChooseColourFn fn) { Kit().choose_colour = std::move(fn); }

}  // namespace platform
