#include "ipc/sync_event.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace mpu::ipc {

TManualResetEvent::TManualResetEvent(bool initiallySet, Kind kind) {
  if (kind == Kind::Pollable) {
    FFd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!FFd) throw std::system_error(errno, std::system_category(), "eventfd");
  }
  if (initiallySet) Set();
}

void TManualResetEvent::Set() {
  std::lock_guard lock(FLock);
  if (FSet) return;
  FSet = true;
  if (FFd) {
    const std::uint64_t one = 1;
    // Cannot fail: the counter is 0 here and the fd is ours.
    [[maybe_unused]] const auto n = ::write(FFd.Get(), &one, sizeof one);
  }
  FChanged.notify_all();
}

void TManualResetEvent::Reset() {
  std::lock_guard lock(FLock);
  if (!FSet) return;
  FSet = false;
  if (FFd) {
    std::uint64_t value = 0;
    [[maybe_unused]] const auto n = ::read(FFd.Get(), &value, sizeof value);
  }
}

bool TManualResetEvent::IsSet() const {
  std::lock_guard lock(FLock);
  return FSet;
}

bool TManualResetEvent::Wait(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(FLock);
  return FChanged.wait_for(lock, timeout, [this] { return FSet; });
}

}  // namespace mpu::ipc
