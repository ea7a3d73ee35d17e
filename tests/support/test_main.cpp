// One main for every suite: the toolkit exists before any test, as it does in the program.
#include <gtest/gtest.h>

#include "platform/controls.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  platform::InitToolkit();
  return RUN_ALL_TESTS();
}
