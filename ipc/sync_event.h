// A manual-reset event: stays signalled from Set until Reset. A pollable
// event also owns an eventfd that is readable exactly while the event is
// signalled, so a thread can wait for it together with sockets in poll().
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "ipc/unique_fd.h"

namespace mpu::ipc {

class TManualResetEvent {
 public:
  enum class Kind { Plain, Pollable };

  // Throws std::system_error when the eventfd cannot be created.
  explicit TManualResetEvent(bool initiallySet = false, Kind kind = Kind::Plain);
  TManualResetEvent(const TManualResetEvent&) = delete;
  TManualResetEvent& operator=(const TManualResetEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;

  // Waits until signalled or the time-out has passed; true when signalled.
  bool Wait(std::chrono::milliseconds timeout) const;

  // The eventfd of a pollable event (POLLIN while signalled), else -1.
  int Fd() const { return FFd.Get(); }

 private:
  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  bool FSet = false;
  TUniqueFd FFd;
};

}  // namespace mpu::ipc
