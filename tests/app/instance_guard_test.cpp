// The single-instance guard across processes: a second start is refused
// and asks the first to come forward; a crashed first instance is ignored.
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "app/check_previous.h"
#include "app/os_check.h"
#include "platform/window_message.h"

namespace mpu::app {
namespace {

// A name of its own per test run, so that nothing else shares the objects;
// the objects are removed again when the test ends.
struct UniqueName {
  std::string name;
  explicit UniqueName(const char* what) : name(std::string("MpuGuardTest_") + what + "_" + std::to_string(::getpid())) {}
  ~UniqueName() {
    sem_unlink(("/" + InstanceMutexName(name)).c_str());
    shm_unlink(("/" + InstanceMapName(name)).c_str());
  }
  operator const std::string&() const { return name; }
};

// Starts this test program again as another instance under `name`
// (see the test main); returns its exit code: 1 may run, 0 refused.
int OtherStart(const std::string& name, bool crash = false) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("MPU_GUARD_CHILD_NAME", name.c_str(), 1);
    if (crash) ::setenv("MPU_GUARD_CHILD_CRASH", "1", 1);
    ::execl("/proc/self/exe", "app_tests", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(InstanceGuard, SecondStartIsRefusedAndRestoresTheFirst) {
  const UniqueName name("second");
  const auto pid = static_cast<std::uint32_t>(::getpid());
  ASSERT_TRUE(RegisterInstance(pid, name, false, 1));

  // Before the main window exists, a second start touches no window.
  EXPECT_EQ(OtherStart(name), 0);

  std::atomic<int> restores{0};
  std::uint32_t focus = 99;
  platform::WindowMessageReceiver receiver(pid, [&](std::uint32_t msg, std::uint32_t wParam, std::uint32_t) {
    if (msg == WM_INSTANCE_RESTORE) {
      ++restores;
      focus = wParam;
    }
  });
  ASSERT_TRUE(receiver.Listening());
  SetInstanceMainWindow(pid);
  EXPECT_EQ(OtherStart(name), 0);
  QElapsedTimer t;
  t.start();
  while (restores == 0 && t.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(restores, 1);
  EXPECT_EQ(focus, 1u);  // the last (only) instance takes the focus
  UnregisterInstance();

  // After the first instance is gone a new start runs.
  EXPECT_EQ(OtherStart(name), 1);
}

TEST(InstanceGuard, ACrashedInstanceNeverBlocksAStart) {
  const UniqueName name("crash");
  // Another start registers and dies without unregistering.
  EXPECT_EQ(OtherStart(name, /*crash=*/true), 1);
  EXPECT_TRUE(RegisterInstance(static_cast<std::uint32_t>(::getpid()), name, false, 1));
  UnregisterInstance();
}

TEST(OsCheck, KernelReleases) {
  EXPECT_TRUE(KernelSupported("6.1.0-13-amd64"));
  EXPECT_TRUE(KernelSupported("4.19.0"));
  EXPECT_FALSE(KernelSupported("4.18.20"));
  EXPECT_FALSE(KernelSupported("3.10.0-1160.el7"));
  EXPECT_TRUE(KernelSupported("garbage"));
  EXPECT_EQ(OsErrorText().toStdString(), "This programme requires Linux 4.19 or later!");
}

}  // namespace
}  // namespace mpu::app
