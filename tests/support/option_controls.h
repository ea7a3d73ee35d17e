// The window's option controls and the Generate button, as the window makes them, for checks of
// a gallery run without the rest of the window.
#pragma once

namespace testsupport {

// Creates the title field, the three check boxes (checked), the slider at 2, the spin at 8, the
// option pair with "Auto" selected and the Generate button, at their places in the window.
void CreateOptionControls();

}  // namespace testsupport
