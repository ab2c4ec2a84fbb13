#include "platform/window_message.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace mpu::platform {
namespace {

// Fills an abstract-namespace address; returns its length.
socklen_t MakeAddress(std::uint32_t handle, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::string name = WindowSocketName(handle);
  // sun_path[0] stays NUL: the abstract namespace.
  const std::size_t n = std::min(name.size(), sizeof(addr.sun_path) - 1);
  std::memcpy(addr.sun_path + 1, name.data(), n);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

void PutLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLE32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

std::string WindowSocketName(std::uint32_t handle) { return "$ALDR_WND_" + std::to_string(handle) + "$"; }

bool PostWindowMessage(std::uint32_t handle, std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr;
  const socklen_t len = MakeAddress(handle, addr);
  std::array<std::uint8_t, kWindowMessageSize> msg{};
  PutLE32(&msg[0], message);
  PutLE32(&msg[4], wParam);
  PutLE32(&msg[8], lParam);
  const ssize_t sent =
      ::sendto(fd, msg.data(), msg.size(), MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), len);
  ::close(fd);
  return sent == static_cast<ssize_t>(msg.size());
}

WindowMessageReceiver::WindowMessageReceiver(std::uint32_t handle, Handler handler, QObject* parent)
    : QObject(parent), handle_(handle), handler_(std::move(handler)) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  sockaddr_un addr;
  const socklen_t len = MakeAddress(handle, addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &WindowMessageReceiver::ReadPending);
}

WindowMessageReceiver::~WindowMessageReceiver() {
  if (fd_ >= 0) ::close(fd_);
}

void WindowMessageReceiver::ReadPending() {
  std::array<std::uint8_t, 64> buf{};
  for (;;) {
    const ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
    if (n < 0) return;  // EAGAIN: nothing more
    // Anything but a whole 12-byte message is not a window message.
    if (n != static_cast<ssize_t>(kWindowMessageSize)) continue;
    if (handler_) handler_(GetLE32(&buf[0]), GetLE32(&buf[4]), GetLE32(&buf[8]));
  }
}

}  // namespace mpu::platform
