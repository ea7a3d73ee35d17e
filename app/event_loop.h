// The program's control flow outside a gallery run: start-up, the polling loop, the reactions to
// the controls, the folder-change handler and the shutdown.
#pragma once

namespace app {

// Keeps the current folder and the picture list in step with the folder tree. Runs inside
// whichever poll delivers the tree's change, a run's included. Returns 0, which nobody reads.
int FolderChangeHandler();

// Prepares the toolkit and builds the window, the folder-change handler bound last.
void StartUp();

enum class LoopEnd { kShutDown, kPassesUsed };
// Polls, reacts to at most one control event per pass, drains after it and pauses 5 ms, until a
// close event or a run that failed to create its page says the program is to end. A positive
// `max_passes` stops it earlier, for scripted checks.
LoopEnd RunEventLoop(int max_passes = 0);

// Releases controls, the window, any listing or file still open (flushed first), the event queue
// and every image.
void ShutDown();

}  // namespace app
