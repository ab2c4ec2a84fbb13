#include <QApplication>

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "app/check_previous.h"

// Started again by the instance guard tests as "another program start":
// registers under the given name and exits with 1 (may run) or 0
// (refused); with MPU_GUARD_CHILD_CRASH it ends without unregistering.
static int GuardChild(const char* name) {
  const bool mayRun = mpu::app::RegisterInstance(static_cast<std::uint32_t>(::getpid()), name, false, 1);
  if (std::getenv("MPU_GUARD_CHILD_CRASH") != nullptr) ::_exit(mayRun ? 1 : 0);
  return mayRun ? 1 : 0;
}

int main(int argc, char** argv) {
  if (const char* name = std::getenv("MPU_GUARD_CHILD_NAME")) return GuardChild(name);
  // Widgets are tested without a display (also when CTest lists the tests).
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
