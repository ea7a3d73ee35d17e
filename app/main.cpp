#include "app/event_loop.h"
#include "platform/controls.h"

// No command line and no settings: the window is the whole interface.
int main() {
  app::StartUp();
  app::RunEventLoop();
  app::ShutDown();
  platform::ShutdownToolkit();
  return 0;
}
