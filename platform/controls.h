// Numbered controls in one fixed window, and the queue of events they raise.
//
// The program addresses every control by a number it chooses; creating a control under a number
// in use destroys the control that held it. Texts are UTF-8, except the folder tree's path text
// and the picture list's folder, which are file-system bytes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/image.h"

namespace platform {

using ControlId = int;

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// Codes a poll reports.
inline constexpr int kNoEvent = 0;
inline constexpr int kControlEvent = 13100;
inline constexpr int kCloseEvent = 13116;
// A poll that found no queued event but let the toolkit do pending work (painting, timers, input
// that may raise events for later polls).
inline constexpr int kToolkitWork = 15;

// Event types a control event carries.
enum EventType : int {
  kClick = 0,
  kDoubleClick = 1,
  kRightClick = 2,
  kRightDoubleClick = 3,
  kUp = 4,
  kDown = 5,
  kDragStart = 6,
  kChange = 768,
};

// Creates the toolkit once per process, with Qt's own dialogs in the system's language. Safe to
// call again.
void InitToolkit();
// Destroys the window and the toolkit.
void ShutdownToolkit();

// The one top-level window: fixed client size, close button only, centred on the primary screen,
// shown at once. Its close box queues a close event and leaves the window open.
void OpenMainWindow(std::string_view title, int client_width, int client_height);
// Sets the window icon from a 4-channel image.
void SetWindowIcon(const Image& icon);

// Control kinds. Each call replaces the control that held `id`. Ranges are inclusive.
void CreateImageControl(ControlId id, Rect rect, ImageId image);  // natural size, no border
void CreateFolderTree(ControlId id, Rect rect);
void CreatePictureList(ControlId id, Rect rect, std::string_view patterns);
void CreateFrame(ControlId id, Rect rect);
void CreateLabel(ControlId id, Rect rect, std::string_view text);
void CreateTextField(ControlId id, Rect rect);
void CreateCheckBox(ControlId id, Rect rect, std::string_view text);
void CreateSlider(ControlId id, Rect rect, int minimum, int maximum);
void CreateSpin(ControlId id, Rect rect, int minimum, int maximum);
// Option buttons created one right after the other form one exclusive group.
void CreateOptionButton(ControlId id, Rect rect, std::string_view text);
void CreateButton(ControlId id, Rect rect, std::string_view text);
// Shows its value at once; a range of 0 to 0 shows an empty bar.
void CreateProgressBar(ControlId id, Rect rect, int minimum, int maximum);

bool ControlExists(ControlId id);
// Check boxes and option buttons: 1 checked, 0 not; slider: position; spin: value; progress bar:
// value. 0 for a control without state or a number that holds nothing.
int GetState(ControlId id);
// Sets a state as above (checking an option button unchecks its group). Raises no event.
void SetState(ControlId id, int state);
// The control's text: labels, buttons, check boxes, fields; the folder tree gives the path text
// of its selected item; "" for a number that holds nothing.
std::string GetText(ControlId id);
// Replaces the control's text. Raises no event. The picture list takes "" (no folder), a
// pattern list (no '/'), or a folder ending in '/'.
void SetText(ControlId id, std::string_view text);
void SetColumnWidth(ControlId id, int column, int width);
// Gives the control a name for screen readers.
void SetAccessibleName(ControlId id, std::string_view name);

// The window erases its background around its controls rather than under them, from now on.
void EnableBackgroundErase();
bool BackgroundEraseEnabled();

// Events.
struct ControlEvent {
  ControlId control = -1;
  int type = 0;
};
// Takes the oldest queued event and returns its code. When none is queued, lets the toolkit do
// its pending work once and returns kToolkitWork if there was any, else kNoEvent.
int PollEvent();
// Like PollEvent, but when nothing is there waits up to `ms` milliseconds for toolkit work;
// kNoEvent when none came.
int WaitEvent(int ms);
// The control event last taken by PollEvent or WaitEvent.
ControlEvent CurrentEvent();

// A handler bound to one event type of one control runs at once when that event is raised, and
// the event is queued as well. Binding again replaces the handler.
using Handler = std::function<void()>;
void BindHandler(ControlId id, int type, Handler handler);

// Raises an event as a control would: ignored while the program is setting a control's text or
// state; runs the bound handler; queued unless identical to the last queued event.
void RaiseControlEvent(ControlId id, int type);
void RaiseCloseEvent();
// Number of events queued and not yet taken.
int QueuedEventCount();

// Destroys every control and the window, empties the queue and forgets the handlers.
void DestroyWindowAndControls();

// Shell and dialogs. Each goes through a replaceable function so that tests never open a modal
// dialog or launch a browser.
using MessageBoxFn = std::function<void(std::string_view title, std::string_view text)>;
using OpenDocumentFn =
    std::function<void(const std::string& path, const std::string& working_folder)>;
using ChooseColourFn = std::function<int()>;  // packed red | green << 8 | blue << 16, or -1

// A modal message box with a title, a text, a single OK button and no icon.
void ShowMessage(std::string_view title, std::string_view text);
// Asks the desktop to open a document with its default handler; does not wait.
void OpenDocument(const std::string& path, const std::string& working_folder);
// The colour chooser, opened with black; -1 when cancelled.
int ChooseColour();

void SetMessageBoxFn(MessageBoxFn fn);
void SetOpenDocumentFn(OpenDocumentFn fn);
void SetChooseColourFn(ChooseColourFn fn);

}  // namespace platform
