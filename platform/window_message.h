// Window messages between processes: a 12-byte datagram (message, wParam,
// lParam, each a little-endian 32-bit value) sent without blocking to the
// AF_UNIX datagram socket "$ALDR_WND_<handle>$" in the abstract namespace.
// As with a message posted to a window that is gone, errors are ignored.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

class QSocketNotifier;

namespace mpu::platform {

inline constexpr std::size_t kWindowMessageSize = 12;

// The abstract socket name of a window handle, without the leading NUL.
std::string WindowSocketName(std::uint32_t handle);

// Posts the message; false when it could not be sent (nobody listens, the
// receiver's queue is full).
bool PostWindowMessage(std::uint32_t handle, std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam);

// Receives the messages posted to one window handle, on the thread that
// created it.
class WindowMessageReceiver : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam)>;

  // Binds the socket of `handle`; Listening() tells whether that worked (a
  // handle already taken by a live receiver cannot be bound twice).
  WindowMessageReceiver(std::uint32_t handle, Handler handler, QObject* parent = nullptr);
  ~WindowMessageReceiver() override;

  bool Listening() const { return fd_ >= 0; }
  std::uint32_t Handle() const { return handle_; }

 private:
  void ReadPending();

  std::uint32_t handle_;
  Handler handler_;
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace mpu::platform
