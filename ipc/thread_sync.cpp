#include "ipc/thread_sync.h"

#include <exception>

#include <QMetaObject>
#include <QtGlobal>

namespace mpu::ipc {
namespace {

void RunLogged(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    qWarning("pipe notification handler failed: %s", e.what());
  } catch (...) {
    qWarning("pipe notification handler failed");
  }
}

}  // namespace

TSyncDispatcher::TSyncDispatcher()
    : FBaseThread(std::this_thread::get_id()), FWindow(std::make_unique<QObject>()) {}

TSyncDispatcher::~TSyncDispatcher() = default;

void TSyncDispatcher::Send(std::function<void()> fn) {
  if (IsBaseThread()) {
    RunLogged(fn);
    return;
  }
  TCall call;
  call.Fn = std::move(fn);
  bool post = false;
  {
    std::lock_guard lock(FLock);
    post = FQueue.empty();
    FQueue.push_back(&call);
  }
  FWakeEv.notify_all();
  // One queued event drains every call that arrived while the queue was
  // non-empty.
  if (post)
    QMetaObject::invokeMethod(
        FWindow.get(), [this] { RunPending(); }, Qt::QueuedConnection);
  std::unique_lock lock(call.Lock);
  call.Ran.wait(lock, [&] { return call.Done; });
}

void TSyncDispatcher::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(
      FWindow.get(), [f = std::move(fn)] { RunLogged(f); }, Qt::QueuedConnection);
}

void TSyncDispatcher::RunCall(TCall& call) {
  ++FSentDepth;
  RunLogged(call.Fn);
  --FSentDepth;
  // The caller frees the call once Done is seen; it cannot see it before
  // the lock is released, and nothing touches the call after that.
  std::lock_guard lock(call.Lock);
  call.Done = true;
  call.Ran.notify_one();
}

void TSyncDispatcher::RunPending() {
  for (;;) {
    TCall* call = nullptr;
    {
      std::lock_guard lock(FLock);
      if (FQueue.empty()) return;
      call = FQueue.front();
      FQueue.pop_front();
    }
    RunCall(*call);
  }
}

void TSyncDispatcher::RunSentUntil(const std::function<bool()>& done) {
  std::unique_lock lock(FLock);
  while (!done()) {
    if (!FQueue.empty()) {
      TCall* call = FQueue.front();
      FQueue.pop_front();
      lock.unlock();
      RunCall(*call);
      lock.lock();
      continue;
    }
    FWakeEv.wait(lock);
  }
}

void TSyncDispatcher::Wake() {
  std::lock_guard lock(FLock);
  FWakeEv.notify_all();
}

void TThreadCounter::Increment() {
  std::lock_guard lock(FLock);
  ++FCount;
}

void TThreadCounter::Decrement() {
  {
    std::lock_guard lock(FLock);
    if (FCount > 0) --FCount;
  }
  if (FOnChange) FOnChange();
}

int TThreadCounter::Count() const {
  std::lock_guard lock(FLock);
  return FCount;
}

void TThreadCounter::WaitForEmpty(TSyncDispatcher& sync) const {
  sync.RunSentUntil([this] { return Count() == 0; });
}

}  // namespace mpu::ipc
