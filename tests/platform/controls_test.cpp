#include "platform/controls.h"

#include <chrono>
#include <vector>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <gtest/gtest.h>

#include "platform/controls_qt.h"

namespace platform {
namespace {

class ControlsTest : public testing::Test {
 protected:
  void TearDown() override { DestroyWindowAndControls(); }

  // Takes every queued event as (code, control, type).
  static std::vector<std::tuple<int, int, int>> Drain() {
    std::vector<std::tuple<int, int, int>> taken;
    while (QueuedEventCount() > 0) {
      const int code = PollEvent();
      taken.emplace_back(code, code == kControlEvent ? CurrentEvent().control : -1,
                         code == kControlEvent ? CurrentEvent().type : -1);
    }
    return taken;
  }
};

TEST_F(ControlsTest, EventsComeOutInOrderAndAnEventIsNotQueuedTwiceBehindItself) {
  RaiseControlEvent(8, kClick);
  RaiseControlEvent(8, kClick);  // merged with the one before
  RaiseCloseEvent();
  RaiseControlEvent(8, kClick);
  RaiseControlEvent(10, kUp);
  RaiseControlEvent(10, kDown);
  RaiseCloseEvent();
  RaiseCloseEvent();
  using E = std::tuple<int, int, int>;
  EXPECT_EQ(Drain(), (std::vector<E>{E{kControlEvent, 8, kClick}, E{kCloseEvent, -1, -1},
                                     E{kControlEvent, 8, kClick}, E{kControlEvent, 10, kUp},
                                     E{kControlEvent, 10, kDown}, E{kCloseEvent, -1, -1}}));
}

TEST_F(ControlsTest, ABoundHandlerRunsWhenTheEventIsRaisedAndTheEventIsQueuedToo) {
  std::vector<int> seen;
  BindHandler(1, kChange, [&seen] { seen.push_back(QueuedEventCount()); });
  RaiseControlEvent(1, kClick);
  RaiseControlEvent(1, kChange);
  EXPECT_EQ(seen, std::vector<int>{1}) << "ran at once, before its own event was queued";
  EXPECT_EQ(QueuedEventCount(), 2);
}

TEST_F(ControlsTest, TheProgramsOwnChangesRaiseNothingButTheUsersDo) {
  CreateSlider(8, {0, 0, 180, 25}, 0, 20);
  CreateTextField(5, {0, 30, 100, 20});
  CreateCheckBox(6, {0, 60, 80, 20}, " Vignettes :");
  int handled = 0;
  BindHandler(8, kClick, [&handled] { ++handled; });
  SetState(8, 7);
  SetText(5, "typed by the program");
  SetState(6, 1);
  EXPECT_EQ(QueuedEventCount(), 0);
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(GetState(8), 7);
  EXPECT_EQ(GetState(6), 1);

  qobject_cast<QSlider*>(FindControlWidget(8))->triggerAction(QSlider::SliderSingleStepAdd);
  auto* field = qobject_cast<QLineEdit*>(FindControlWidget(5));
  QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(field, &key);
  using E = std::tuple<int, int, int>;
  EXPECT_EQ(Drain(), (std::vector<E>{E{kControlEvent, 8, kClick}, E{kControlEvent, 5, kChange}}));
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(GetText(5), "typed by the programa");
}

TEST_F(ControlsTest, CreatingUnderANumberInUseReplacesThatControl) {
  CreateButton(16, {10, 450, 729, 28}, "Générer la page");
  QPointer<QWidget> button = FindControlWidget(16);
  CreateProgressBar(16, {110, 453, 529, 22}, 0, 0);
  EXPECT_TRUE(button.isNull());
  auto* bar = qobject_cast<QProgressBar*>(FindControlWidget(16));
  ASSERT_NE(bar, nullptr);
  // An empty range shows an empty bar, not Qt's busy animation.
  EXPECT_LT(bar->minimum(), bar->maximum());
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(bar->geometry(), QRect(110, 453, 529, 22));

  CreateProgressBar(16, {110, 453, 529, 22}, 0, 3);
  SetState(16, 2);
  EXPECT_EQ(GetState(16), 2);
  SetState(16, 9);
  EXPECT_EQ(GetState(16), 3);
  CreateButton(16, {10, 450, 729, 28}, "Générer la page");
  EXPECT_EQ(GetText(16), "Générer la page");
  EXPECT_EQ(GetState(16), 0);
}

TEST_F(ControlsTest, TheSpinFieldReportsStepsWithoutWritingItsField) {
  CreateSpin(10, {427, 388, 45, 25}, 1, 100);
  SetState(10, 99);
  SetText(10, "99");
  auto* spin = FindControlWidget(10);
  auto arrows = spin->findChildren<QToolButton*>();
  ASSERT_EQ(arrows.size(), 2);
  QToolButton* up = arrows[0]->arrowType() == Qt::UpArrow ? arrows[0] : arrows[1];
  up->click();
  up->click();  // stopped at the end, reported all the same
  EXPECT_EQ(GetState(10), 100);
  EXPECT_EQ(GetText(10), "99");
  auto* field = spin->findChild<QLineEdit*>();
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(field, &down);
  EXPECT_EQ(GetState(10), 99);
  using E = std::tuple<int, int, int>;
  EXPECT_EQ(Drain(), (std::vector<E>{E{kControlEvent, 10, kUp}, E{kControlEvent, 10, kDown}}));

  // Typed digits become the value, held within the range.
  field->selectAll();
  QKeyEvent five(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, "5");
  QApplication::sendEvent(field, &five);
  EXPECT_EQ(GetState(10), 5);
  QKeyEvent zero(QEvent::KeyPress, Qt::Key_0, Qt::NoModifier, "0");
  QApplication::sendEvent(field, &zero);
  QApplication::sendEvent(field, &zero);
  EXPECT_EQ(GetState(10), 100);
}

TEST_F(ControlsTest, OptionButtonsMadeInARowFormOneGroup) {
  CreateCheckBox(6, {0, 0, 80, 20}, "x");
  CreateOptionButton(50, {0, 30, 20, 20}, "");
  CreateOptionButton(51, {0, 60, 92, 20}, "Auto");
  SetState(51, 1);
  EXPECT_EQ(GetState(50), 0);
  SetState(50, 1);
  EXPECT_EQ(GetState(51), 0);
  SetState(6, 1);
  EXPECT_EQ(GetState(50), 1) << "a check box is no member of the group";
}

TEST_F(ControlsTest, PollingTakesQueuedEventsBeforeToolkitWorkAndWaitsOnlyAsAsked) {
  while (PollEvent() != kNoEvent) {
  }
  EXPECT_EQ(PollEvent(), kNoEvent);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitEvent(30), kNoEvent);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));

  RaiseCloseEvent();
  EXPECT_EQ(WaitEvent(1000), kCloseEvent);
  QMetaObject::invokeMethod(
      qApp, [] { RaiseControlEvent(13, kClick); }, Qt::QueuedConnection);
  EXPECT_EQ(PollEvent(), kToolkitWork) << "the poll that delivers work reports the work";
  EXPECT_EQ(PollEvent(), kControlEvent) << "and a later poll takes the event it raised";
  EXPECT_EQ(CurrentEvent().control, 13);
}

}  // namespace
}  // namespace platform
