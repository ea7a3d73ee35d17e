// One main for every suite: the toolkit exists before any test, as it does in the program.
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/controls.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Widgets are tested without a display unless one is asked for.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  platform::InitToolkit();
  const int result = RUN_ALL_TESTS();
  platform::ShutdownToolkit();
  return result;
}
