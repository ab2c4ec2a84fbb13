#include "platform/notify_window.h"

#include <QPointer>
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace mpu::platform {

NotifyQueue::NotifyQueue() {
  eventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (eventFd_ < 0) throw std::runtime_error("eventfd failed");
}

NotifyQueue::~NotifyQueue() {
  if (eventFd_ >= 0) ::close(eventFd_);
}

void NotifyQueue::Wake() {
  const std::uint64_t one = 1;
  // A full counter still leaves the fd readable, so a failed write is harmless.
  [[maybe_unused]] const ssize_t n = ::write(eventFd_, &one, sizeof one);
}

void NotifyQueue::DrainWake() {
  std::uint64_t value = 0;
  [[maybe_unused]] const ssize_t n = ::read(eventFd_, &value, sizeof value);
}

bool NotifyQueue::Push(const Entry& e, bool coalesce) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    if (coalesce) {
      for (std::size_t i = 0; i < count_; ++i) {
        Entry& waiting = ring_[(head_ + i) % kCapacity];
        if (waiting.message == e.message && waiting.send == nullptr) {
          waiting.param = e.param;
          return true;
        }
      }
    }
    if (count_ == kCapacity) return false;
    ring_[(head_ + count_) % kCapacity] = e;
    ++count_;
  }
  Wake();
  return true;
}

bool NotifyQueue::Post(unsigned message, std::uintptr_t param, bool coalesce) {
  return Push({message, param, nullptr}, coalesce);
}

bool NotifyQueue::Send(unsigned message, std::uintptr_t param) {
  SendState state;
  if (!Push({message, param, &state}, false)) return false;
  std::unique_lock lock(mutex_);
  sendDone_.wait(lock, [&] { return state.done; });
  return state.handled;
}

bool NotifyQueue::Take(Entry& out) {
  std::lock_guard lock(mutex_);
  if (closed_ || count_ == 0) return false;
  out = ring_[head_];
  ring_[head_] = Entry{};
  head_ = (head_ + 1) % kCapacity;
  --count_;
  return true;
}

void NotifyQueue::Finish(SendState* state, bool handled) {
  if (state == nullptr) return;
  {
    std::lock_guard lock(mutex_);
    state->handled = handled;
    state->done = true;
  }
  sendDone_.notify_all();
}

void NotifyQueue::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
    for (std::size_t i = 0; i < count_; ++i) {
      Entry& e = ring_[(head_ + i) % kCapacity];
      if (e.send != nullptr) e.send->done = true;
      e = Entry{};
    }
    count_ = 0;
  }
  sendDone_.notify_all();
}

bool NotifyQueue::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

NotifyWindow::NotifyWindow(Handler handler, QObject* parent)
    : QObject(parent), queue_(std::make_shared<NotifyQueue>()), handler_(std::move(handler)) {
  notifier_ = new QSocketNotifier(queue_->WakeFd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &NotifyWindow::Deliver);
}

NotifyWindow::~NotifyWindow() { queue_->Close(); }

void NotifyWindow::Close() {
  queue_->Close();
  notifier_->setEnabled(false);
}

void NotifyWindow::Deliver() {
  queue_->DrainWake();
  // The handler may close this window (and schedule its deletion); stop
  // touching it then.
  QPointer<NotifyWindow> self(this);
  const std::shared_ptr<NotifyQueue> queue = queue_;
  NotifyQueue::Entry e;
  while (queue->Take(e)) {
    // An exception from the handler ends that message's handling, not the
    // delivery: it is reported and the next message follows.
    const char* failure = nullptr;
    std::string text;
    try {
      if (handler_) handler_(e.message, e.param);
    } catch (const std::exception& ex) {
      text = ex.what();
      failure = text.c_str();
    } catch (...) {
      failure = "unknown exception";
    }
    queue->Finish(e.send, true);
    if (!self) return;
    if (failure != nullptr) {
      if (exceptionHandler_) exceptionHandler_(failure);
      else qWarning("exception in notification handler: %s", failure);
      if (!self) return;
    }
    if (queue->Closed()) return;
  }
}

}  // namespace mpu::platform
