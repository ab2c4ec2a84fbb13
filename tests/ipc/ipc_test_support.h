// Shared pieces of the ipc tests: the Qt application the servers' creating
// thread needs, unique pipe names, bounded waits on the event loop, and a
// server whose notifications are recorded.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QString>

#include "ipc/pipe_client.h"
#include "ipc/sr_async_ipc.h"

namespace mpu::ipc::test {

// Creates the Qt application of the test thread unless it exists.
void EnsureApplication();

// A pipe name no other test (or test process) uses.
QString UniquePipeName();

// Runs the event loop until pred() holds or the time-out has passed.
bool ProcessEventsUntil(const std::function<bool()>& pred,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Makes a waiting ProcessEventsUntil look at its condition again (any thread).
void WakeEventLoop();

// Runs f on a helper thread while this thread runs its event loop, and
// returns f's result. A client that waits for the server this way lets the
// server's notifications run meanwhile: a pipe thread waits for each of
// them before it writes on.
template <class F>
auto WhileProcessingEvents(F f) -> decltype(f()) {
  std::optional<decltype(f())> result;
  std::atomic<bool> done{false};
  std::thread helper([&] {
    result.emplace(f());
    done = true;
    WakeEventLoop();
  });
  const bool finished = ProcessEventsUntil([&] { return done.load(); }, std::chrono::seconds(60));
  helper.join();
  EXPECT_TRUE(finished);
  return std::move(*result);
}

// Bytes 0, 1, 2, ... (mod 251) of the given size, offset by `seed`.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed = 0);

struct TRecordedEvent {
  enum Kind { Connect, Disconnect, Message, Sent, Error } kind;
  HPIPE pipe = 0;
  std::vector<std::uint8_t> bytes;  // Message
  std::uint32_t size = 0;           // Sent
  TPipeContext context = pcWorker;  // Error
  int error = 0;                    // Error

  TRecordedEvent(Kind k, HPIPE p) : kind(k), pipe(p) {}
};

// A server on a fresh pipe name whose every notification is recorded, with
// a check that each one ran on the creating (test) thread.
class TRecordingServer {
 public:
  TRecordingServer();
  ~TRecordingServer();

  TSRAsyncPipeServer& server() { return *FServer; }
  void Start() { FServer->SetActive(true); }
  TPipeClient Connect() { return TPipeClient::Connect(FServer->PipeName()); }

  const std::vector<TRecordedEvent>& events() const { return FEvents; }
  std::vector<TRecordedEvent> Of(TRecordedEvent::Kind kind) const;
  std::vector<std::vector<std::uint8_t>> Messages() const;
  std::size_t Count(TRecordedEvent::Kind kind) const { return Of(kind).size(); }
  bool WaitCount(TRecordedEvent::Kind kind, std::size_t n);
  // The pipe of the n-th connected client (waits for it).
  HPIPE WaitClient(std::size_t n = 0);
  bool AllOnCreatingThread() const { return FOffThread == 0; }
  // Destroys the server (its handlers stay recorded up to then).
  void DestroyServer() { FServer.reset(); }

  // Called after a message was recorded.
  std::function<void(HPIPE, TByteStream&)> onMessage;

 private:
  std::unique_ptr<TSRAsyncPipeServer> FServer;
  std::vector<TRecordedEvent> FEvents;
  std::thread::id FCreator;
  int FOffThread = 0;
};

}  // namespace mpu::ipc::test
