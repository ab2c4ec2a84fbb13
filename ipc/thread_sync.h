// Running code on the thread that created an object.
//
// TSyncDispatcher belongs to one thread with a Qt event loop (its base
// thread). Send runs a function there and blocks the calling worker until
// it has run; Post runs one there later. The base thread runs sent
// functions from its event loop, and also, without running any other event,
// while it waits in RunSentUntil, so a worker blocked in Send can always
// finish while the base thread waits for workers to end.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <QObject>

namespace mpu::ipc {

class TSyncDispatcher {
 public:
  // Binds to the calling thread.
  TSyncDispatcher();
  ~TSyncDispatcher();
  TSyncDispatcher(const TSyncDispatcher&) = delete;
  TSyncDispatcher& operator=(const TSyncDispatcher&) = delete;

  std::thread::id BaseThread() const { return FBaseThread; }
  bool IsBaseThread() const { return std::this_thread::get_id() == FBaseThread; }

  // Runs fn on the base thread and returns when it has run; on the base
  // thread itself it runs fn at once. Exceptions of fn are logged and
  // dropped on the base thread.
  void Send(std::function<void()> fn);
  // Queues fn to run on the base thread from its event loop.
  void Post(std::function<void()> fn);

  // On the base thread: runs sent functions as they arrive until done()
  // holds. done() is evaluated under the dispatcher's lock; whatever it
  // reads must call Wake() after it changes.
  void RunSentUntil(const std::function<bool()>& done);
  void Wake();

  // True on the base thread while it runs a function another thread sent.
  bool InSentCall() const { return FSentDepth > 0; }

  // The QObject living on the base thread that receives the queued events.
  QObject* Window() const { return FWindow.get(); }

 private:
  struct TCall {
    std::function<void()> Fn;
    std::mutex Lock;
    std::condition_variable Ran;
    bool Done = false;
  };

  void RunPending();
  void RunCall(TCall& call);

  std::thread::id FBaseThread;
  std::unique_ptr<QObject> FWindow;
  std::mutex FLock;
  std::condition_variable FWakeEv;
  std::deque<TCall*> FQueue;
  int FSentDepth = 0;  // base thread only
};

// Number of live worker threads of an owner.
class TThreadCounter {
 public:
  // onChange runs after every decrement, on the decrementing thread.
  explicit TThreadCounter(std::function<void()> onChange) : FOnChange(std::move(onChange)) {}

  void Increment();
  // Counts down, not below 0.
  void Decrement();
  int Count() const;
  // On the dispatcher's base thread: waits until the count is 0, running
  // the functions the counted threads send meanwhile. The counter's
  // onChange must wake the dispatcher.
  void WaitForEmpty(TSyncDispatcher& sync) const;

 private:
  mutable std::mutex FLock;
  int FCount = 0;
  std::function<void()> FOnChange;
};

}  // namespace mpu::ipc
