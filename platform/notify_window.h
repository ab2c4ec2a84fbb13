// A hidden notification window: worker threads post or send small
// messages (id + parameter) that a handler runs on the thread that created
// the window, one at a time and in order.
//
// Posting never blocks and never allocates: messages go into a fixed ring
// and an eventfd wakes the owner thread's event loop. Sending posts and
// then waits until the handler has run or the window was closed.
#pragma once

#include <QObject>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QSocketNotifier;

namespace mpu::platform {

// The part the workers hold on to; it outlives the window while a worker
// still uses it.
class NotifyQueue {
 public:
  static constexpr std::size_t kCapacity = 64;

  NotifyQueue();
  ~NotifyQueue();
  NotifyQueue(const NotifyQueue&) = delete;
  NotifyQueue& operator=(const NotifyQueue&) = delete;

  // Queues a message. With `coalesce`, a message of the same id that is
  // still waiting takes the new parameter instead of a second entry. False
  // when the window is closed or the ring is full.
  bool Post(unsigned message, std::uintptr_t param, bool coalesce = false);

  // Queues a message and waits until it was handled or the window closed.
  // True when it was handled. Must not be called on the window's thread.
  bool Send(unsigned message, std::uintptr_t param);

  // Stops delivery: waiting messages are dropped and blocked senders return.
  void Close();
  bool Closed() const;

  int WakeFd() const { return eventFd_; }

 private:
  friend class NotifyWindow;
  struct SendState {
    bool done = false;
    bool handled = false;
  };
  struct Entry {
    unsigned message = 0;
    std::uintptr_t param = 0;
    SendState* send = nullptr;
  };

  bool Push(const Entry& e, bool coalesce);
  // Takes the next message; false when none waits or the queue is closed.
  bool Take(Entry& out);
  void Finish(SendState* state, bool handled);
  void Wake();
  void DrainWake();

  mutable std::mutex mutex_;
  std::condition_variable sendDone_;
  std::array<Entry, kCapacity> ring_{};
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  bool closed_ = false;
  int eventFd_ = -1;
};

class NotifyWindow : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(unsigned message, std::uintptr_t param)>;
  // Receives the text of an exception that escaped the handler; the
  // window goes on delivering. Without one, the text goes to qWarning.
  using ExceptionHandler = std::function<void(const char* what)>;

  explicit NotifyWindow(Handler handler, QObject* parent = nullptr);
  ~NotifyWindow() override;

  const std::shared_ptr<NotifyQueue>& Queue() const { return queue_; }

  // Closes the queue; the window delivers nothing more.
  void Close();

  void SetExceptionHandler(ExceptionHandler handler) { exceptionHandler_ = std::move(handler); }

 private:
  void Deliver();

  std::shared_ptr<NotifyQueue> queue_;
  Handler handler_;
  ExceptionHandler exceptionHandler_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace mpu::platform
