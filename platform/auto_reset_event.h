// An auto-reset event: Set() releases one waiter (or the next Wait() if
// nobody waits); a successful Wait() resets it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mpu::platform {

class AutoResetEvent {
 public:
  explicit AutoResetEvent(bool initiallySet = false) : set_(initiallySet) {}

  void Set() {
    {
      std::lock_guard lock(mutex_);
      set_ = true;
    }
    cv_.notify_one();
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
  }

  // Waits until set, then resets.
  void Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return set_; });
    set_ = false;
  }

  // Waits at most `timeout`; true (and reset) when it was set.
  template <class Rep, class Period>
  bool WaitFor(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return set_; })) return false;
    set_ = false;
    return true;
  }

  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool set_;
};

}  // namespace mpu::platform
