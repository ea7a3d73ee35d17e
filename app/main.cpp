#include "platform/controls.h"

int main() {
  platform::InitToolkit();
  return 0;
}
