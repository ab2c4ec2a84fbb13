// The single-instance guard: a named semaphore (the mutex) and a 260-byte
// shared memory map of the running instances. A second start asks the
// first instance's main window to come forward and then gives up.
//
// Entries of processes that died are dropped, so an instance that crashed
// never blocks the next start.
#pragma once

#include <cstdint>
#include <string>

namespace mpu::app {

// Layout of the shared map (little-endian).
inline constexpr std::size_t kInstanceMapSize = 260;
inline constexpr int kMaxInstances = 20;
inline constexpr std::size_t kInstanceRecordSize = 12;
inline constexpr std::size_t kInstanceEntries = 21;

// Window message asking a main window to come forward: wParam 1 = also
// take the focus, 0 = only raise it.
inline constexpr std::uint32_t WM_INSTANCE_RESTORE = 0x400 + 100;

// Object names for an instance name.
std::string InstanceMapName(const std::string& instanceName);   // "$RMapObj_" + name
std::string InstanceMutexName(const std::string& instanceName); // "$RSyncObj_" + map name

// True when this instance may run. `appHandle` identifies this process in
// the map (the process id). Call once.
bool RegisterInstance(std::uint32_t appHandle, const std::string& instanceName, bool allowMultiple,
                      int maxInstances);
// Records this instance's main window handle (0 until set).
void SetInstanceMainWindow(std::uint32_t mainWindowHandle);
// Removes this instance from the map; also done at process exit.
void UnregisterInstance();

}  // namespace mpu::app
