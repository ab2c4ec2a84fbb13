#include "app/check_previous.h"

#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/window_message.h"

namespace mpu::app {
namespace {

std::uint32_t GetLE32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
void PutLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The map seen field by field.
struct InstanceMap {
  std::uint8_t* base;

  std::int32_t MaxCount() const { return static_cast<std::int32_t>(GetLE32(base)); }
  std::int32_t Count() const { return static_cast<std::int32_t>(GetLE32(base + 4)); }
  void SetMaxCount(std::int32_t v) { PutLE32(base, static_cast<std::uint32_t>(v)); }
  void SetCount(std::int32_t v) { PutLE32(base + 4, static_cast<std::uint32_t>(v)); }
  std::uint8_t* Entry(std::size_t i) { return base + 8 + i * kInstanceRecordSize; }
  std::uint32_t AppHandle(std::size_t i) { return GetLE32(Entry(i)); }
  std::uint32_t MainWindow(std::size_t i) { return GetLE32(Entry(i) + 8); }
  void SetEntry(std::size_t i, std::uint32_t app, std::uint32_t mainWindow) {
    PutLE32(Entry(i), app);
    PutLE32(Entry(i) + 4, 0);
    PutLE32(Entry(i) + 8, mainWindow);
  }
  // A Count read from shared memory another process wrote is not trusted.
  std::size_t SafeCount() const {
    const std::int32_t c = Count();
    return c < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(c), kInstanceEntries);
  }
  void Remove(std::size_t i) {
    const std::size_t count = SafeCount();
    if (i >= count) return;
    for (std::size_t k = i; k + 1 < count; ++k) std::memcpy(Entry(k), Entry(k + 1), kInstanceRecordSize);
    std::memset(Entry(count - 1), 0, kInstanceRecordSize);
    SetCount(static_cast<std::int32_t>(count - 1));
  }
};

bool ProcessAlive(std::uint32_t pid) {
  if (pid == 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

struct Guard {
  sem_t* mutex = SEM_FAILED;
  int shmFd = -1;
  std::uint8_t* view = nullptr;
  std::uint32_t appHandle = 0;
  bool registered = false;
  bool atExitInstalled = false;
};

Guard& TheGuard() {
  static Guard g;
  return g;
}

// Takes the mutex, waiting at most one second. A holder keeps it for
// microseconds, so a time-out means it died holding it: the lock is then
// taken over (its count stays 0 and our release makes it 1 again).
void Lock(sem_t* mutex) {
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += 1;
  while (sem_timedwait(mutex, &deadline) != 0) {
    if (errno != EINTR) return;
  }
}

void Unlock(sem_t* mutex) { sem_post(mutex); }

void ExitHandler() { UnregisterInstance(); }

}  // namespace

std::string InstanceMapName(const std::string& instanceName) { return "$RMapObj_" + instanceName; }
std::string InstanceMutexName(const std::string& instanceName) {
  return "$RSyncObj_" + InstanceMapName(instanceName);
}

bool RegisterInstance(std::uint32_t appHandle, const std::string& instanceName, bool allowMultiple,
                      int maxInstances) {
  Guard& g = TheGuard();
  if (g.registered) return true;
  maxInstances = std::clamp(maxInstances, 1, kMaxInstances);
  const std::string mapName = "/" + InstanceMapName(instanceName);
  const std::string mutexName = "/" + InstanceMutexName(instanceName);

  const mode_t oldMask = ::umask(0);  // every local user shares the objects
  g.mutex = sem_open(mutexName.c_str(), O_CREAT, 0666, 1);
  ::umask(oldMask);
  if (g.mutex == SEM_FAILED) return false;

  Lock(g.mutex);
  bool mayRun = false;
  g.shmFd = ::shm_open(mapName.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
  if (g.shmFd >= 0) {
    ::fchmod(g.shmFd, 0666);
    struct stat st{};
    if (::fstat(g.shmFd, &st) == 0 && st.st_size < static_cast<off_t>(kInstanceMapSize))
      [[maybe_unused]] int r = ::ftruncate(g.shmFd, kInstanceMapSize);
    void* p = ::mmap(nullptr, kInstanceMapSize, PROT_READ | PROT_WRITE, MAP_SHARED, g.shmFd, 0);
    if (p != MAP_FAILED) g.view = static_cast<std::uint8_t*>(p);
  }
  if (g.view != nullptr) {
    InstanceMap map{g.view};
    // Drop instances that died without unregistering.
    for (std::size_t i = map.SafeCount(); i-- > 0;)
      if (!ProcessAlive(map.AppHandle(i))) map.Remove(i);
    map.SetCount(static_cast<std::int32_t>(map.SafeCount()));
    const std::size_t count = map.SafeCount();
    if (count == 0) {
      // The first instance: a fresh map.
      std::memset(g.view, 0, kInstanceMapSize);
      map.SetMaxCount(maxInstances);
      map.SetCount(1);
      map.SetEntry(0, appHandle, 0);
      mayRun = true;
    } else if (allowMultiple) {
      const std::int32_t max = std::clamp(map.MaxCount(), 1, kMaxInstances);
      if (static_cast<std::int32_t>(count) < max) {
        map.SetEntry(count, appHandle, 0);
        map.SetCount(static_cast<std::int32_t>(count + 1));
        mayRun = true;
      }
    } else {
      // Bring the running instance's main window forward; the last one
      // takes the focus.
      for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t window = map.MainWindow(i);
        if (window != 0) platform::PostWindowMessage(window, WM_INSTANCE_RESTORE, i + 1 == count ? 1 : 0, 0);
      }
    }
  }
  Unlock(g.mutex);

  if (!mayRun) {
    if (g.view != nullptr) ::munmap(g.view, kInstanceMapSize);
    if (g.shmFd >= 0) ::close(g.shmFd);
    sem_close(g.mutex);
    g = Guard{};
    return false;
  }
  g.appHandle = appHandle;
  g.registered = true;
  if (!g.atExitInstalled) {
    std::atexit(ExitHandler);
    g.atExitInstalled = true;
  }
  return true;
}

void SetInstanceMainWindow(std::uint32_t mainWindowHandle) {
  Guard& g = TheGuard();
  if (!g.registered || g.view == nullptr) return;
  Lock(g.mutex);
  InstanceMap map{g.view};
  for (std::size_t i = 0; i < map.SafeCount(); ++i)
    if (map.AppHandle(i) == g.appHandle) map.SetEntry(i, g.appHandle, mainWindowHandle);
  Unlock(g.mutex);
}

void UnregisterInstance() {
  Guard& g = TheGuard();
  if (!g.registered) return;
  Lock(g.mutex);
  InstanceMap map{g.view};
  for (std::size_t i = 0; i < map.SafeCount(); ++i) {
    if (map.AppHandle(i) == g.appHandle) {
      map.Remove(i);
      break;
    }
  }
  Unlock(g.mutex);
  ::munmap(g.view, kInstanceMapSize);
  ::close(g.shmFd);
  sem_close(g.mutex);
  const bool atExit = g.atExitInstalled;
  g = Guard{};
  g.atExitInstalled = atExit;
}

}  // namespace mpu::app
