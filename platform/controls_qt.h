// The Qt side of the numbered controls, for the layer itself and for tests that drive widgets as
// a user would. Nothing outside platform/ and tests/ includes this.
#pragma once

#include <QWidget>

#include "platform/controls.h"

namespace platform {

// The widget that answers to `id`, or nullptr.
QWidget* FindControlWidget(ControlId id);
// The top-level window, or nullptr before OpenMainWindow (and after DestroyWindowAndControls).
QWidget* MainWindowWidget();

}  // namespace platform
