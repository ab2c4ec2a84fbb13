// Owner of one file descriptor: closes it when destroyed or reset.
#pragma once

#include <unistd.h>

#include <utility>

namespace mpu::ipc {

class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) : FFd(fd) {}
  ~TUniqueFd() { Reset(); }

  TUniqueFd(TUniqueFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.FFd, -1));
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;

  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  explicit operator bool() const { return Valid(); }

  // Gives up ownership without closing.
  int Release() { return std::exchange(FFd, -1); }

  void Reset(int fd = -1) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }

 private:
  int FFd = -1;
};

}  // namespace mpu::ipc
