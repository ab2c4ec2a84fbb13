// Message-oriented pipe server for local clients.
//
// TSRAsyncPipeServer listens on one pipe name and accepts any number of
// clients. One listen thread accepts connections; one pipe thread per client
// reads whole messages and writes the client's queued messages. Every
// notification (connected, message, sent, gone, error) runs on the thread
// that created the server, and the worker that raised it waits until the
// handler has returned, so a message stream is valid for the whole call.
// Messages of any length are carried: long ones as chunks between a start
// and an end marker (see pipe_wire.h), reassembled before delivery.
//
// The creating thread must run a Qt event loop. Create, configure, activate,
// deactivate and destroy the server on that thread; Write, Broadcast,
// SendStream, Disconnect and FlushWriteQueue may be called from any thread.
// Do not destroy the server from inside one of its handlers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <thread>
#include <vector>

#include <QString>

#include "ipc/byte_stream.h"
#include "ipc/pipe_wire.h"
#include "ipc/pipe_write_queue.h"
#include "ipc/sync_event.h"
#include "ipc/thread_sync.h"
#include "ipc/unique_fd.h"

namespace mpu::ipc {

// A client's identity in every operation: unique for the server's lifetime,
// never reused, never 0.
using HPIPE = std::uintptr_t;

enum TPipeContext : int {
  pcListener = 0,
  pcWorker = 1,
};

inline constexpr const char* kPipeErrActiveChange =
    "Cannot change property while server is active!";
inline constexpr const char* kPipeErrInvalidName = "Invalid pipe name specified!";
inline constexpr const char* kPipeErrThreadMismatch =
    "The notify window and the component window do not exist in the same thread!";

// Misuse of the pipe server. Failures of the operating system are raised as
// std::system_error.
class EPipeException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TSRAsyncPipeServer;

using TOnPipeConnect = std::function<void(TSRAsyncPipeServer& Sender, HPIPE Pipe)>;
using TOnPipeDisconnect = std::function<void(TSRAsyncPipeServer& Sender, HPIPE Pipe)>;
// Stream is positioned at 0 and valid only during the call.
using TOnPipeMessage =
    std::function<void(TSRAsyncPipeServer& Sender, HPIPE Pipe, TByteStream& Stream)>;
using TOnPipeSent = std::function<void(TSRAsyncPipeServer& Sender, HPIPE Pipe, std::uint32_t Size)>;
// ErrorCode is an errno value.
using TOnPipeError = std::function<void(TSRAsyncPipeServer& Sender, HPIPE Pipe,
                                        TPipeContext PipeContext, int ErrorCode)>;

// One connected client.
struct TPipeClientInfo {
  explicit TPipeClientInfo(HPIPE pipe) : Pipe(pipe) {}

  const HPIPE Pipe;
  // Set: the client's pipe thread ends.
  TManualResetEvent KillEvent{false, TManualResetEvent::Kind::Pollable};
  TSRAsyncPipeWriteQueue WriteQueue;
  std::thread Thread;  // the pipe thread, handed to the server when it ends
};

// A long incoming message being reassembled: in a temporary file when one
// can be created, else in memory.
class TPipeMultiMsg {
 public:
  TPipeMultiMsg();
  TByteStream& Stream() { return *FStream; }
  bool InFile() const { return FInFile; }

 private:
  std::unique_ptr<TByteStream> FStream;
  bool FInFile = false;
};

class TSRAsyncPipeServer {
 public:
  // Inactive, named "PipeServer", bound to the calling thread.
  TSRAsyncPipeServer();
  static std::unique_ptr<TSRAsyncPipeServer> CreateUnowned() {
    return std::make_unique<TSRAsyncPipeServer>();
  }
  ~TSRAsyncPipeServer();
  TSRAsyncPipeServer(const TSRAsyncPipeServer&) = delete;
  TSRAsyncPipeServer& operator=(const TSRAsyncPipeServer&) = delete;

  bool Active() const { return FActive; }
  // True starts listening (std::system_error when the name cannot be
  // bound, for instance because another server holds it). False stops the
  // listener and every client and waits until all their threads have
  // ended, running their last notifications meanwhile; from inside a
  // notification handler it only queues the deactivation and returns.
  void SetActive(bool value);

  const QString& PipeName() const { return FPipeName; }
  // EPipeException while active, or for an empty name, a name longer than
  // 256 characters or one containing a backslash.
  void SetPipeName(const QString& value);

  // Limit on one received message, single or long (default 256 MiB). A
  // client that exceeds it gets OnPipeError(EMSGSIZE) and is disconnected.
  std::uint64_t MaxMessageSize() const { return FMaxMessageSize; }
  void SetMaxMessageSize(std::uint64_t value) { FMaxMessageSize = value; }

  const TOnPipeConnect& OnPipeConnect() const { return FOPC; }
  void SetOnPipeConnect(TOnPipeConnect handler) { FOPC = std::move(handler); }
  const TOnPipeDisconnect& OnPipeDisconnect() const { return FOPD; }
  void SetOnPipeDisconnect(TOnPipeDisconnect handler) { FOPD = std::move(handler); }
  const TOnPipeMessage& OnPipeMessage() const { return FOPM; }
  void SetOnPipeMessage(TOnPipeMessage handler) { FOPM = std::move(handler); }
  const TOnPipeSent& OnPipeSent() const { return FOPS; }
  // Without a handler the pipe threads do not stop for this notification.
  void SetOnPipeSent(TOnPipeSent handler);
  const TOnPipeError& OnPipeError() const { return FOPE; }
  void SetOnPipeError(TOnPipeError handler) { FOPE = std::move(handler); }

  // The Index-th connected client in connection order, 0 when out of range.
  HPIPE GetClient(std::size_t Index) const;
  HPIPE Clients(std::size_t Index) const { return GetClient(Index); }
  std::size_t ClientCount() const;
  // The object on the creating thread that receives the notifications.
  QObject* WindowHandle() const { return FSync.Window(); }

  // Queues a copy of the bytes (prefix first) for the client; false, and
  // nothing queued, when the pipe is not a connected client.
  bool Write(HPIPE Pipe, std::span<const std::uint8_t> Buffer);
  bool Write(HPIPE Pipe, std::span<const std::uint8_t> Prefix,
             std::span<const std::uint8_t> Buffer);
  // Write to every client, from the last to the first, stopping at the
  // first failure; true when every client was written.
  bool Broadcast(std::span<const std::uint8_t> Buffer);
  bool Broadcast(std::span<const std::uint8_t> Prefix, std::span<const std::uint8_t> Buffer);
  // Queues the whole stream from position 0 as a long message: start
  // marker, chunks, end marker (the end marker also when reading fails).
  // False for a null stream or an unknown pipe.
  bool SendStream(HPIPE Pipe, TByteStream* Stream);
  // Ends the client's connection (Pipe 0: every client's); false for an
  // unknown pipe.
  bool Disconnect(HPIPE Pipe);
  // Drops everything queued for the client; false for an unknown pipe.
  bool FlushWriteQueue(HPIPE Pipe);
  // The client's queued bytes as its queue accounts them; 0 when unknown.
  std::size_t WriteQueueDataSize(HPIPE Pipe) const;

 private:
  friend class TSRAsyncPipeThread;
  friend class TSRAsyncPipeListenThread;

  void CheckThread() const;
  void DoActivate();
  void DoDeactivate();
  void StopThreads();
  void ReapFinishedThreads();
  std::shared_ptr<TPipeClientInfo> FindClient(HPIPE pipe) const;

  // Run on the creating thread, sent by the worker threads.
  void AddClient(TUniqueFd socket);
  void RemoveClient(HPIPE pipe);
  void ListenerTerminated();
  void DoPipeConnect(HPIPE pipe);
  void DoPipeDisconnect(HPIPE pipe);
  void DoPipeMessage(HPIPE pipe, TByteStream& stream);
  void DoPipeSent(HPIPE pipe, std::uint32_t size);
  void DoPipeError(HPIPE pipe, TPipeContext context, int error);

  TSyncDispatcher FSync;  // creating thread (FBaseThread) and notification window
  QString FPipeName = QStringLiteral("PipeServer");
  bool FActive = false;
  bool FInShutDown = false;
  bool FDestroying = false;
  TManualResetEvent FKillEv{false, TManualResetEvent::Kind::Pollable};  // stops the listen thread
  TUniqueFd FListenSocket;
  std::thread FListener;
  mutable std::mutex FClientsLock;
  std::vector<std::shared_ptr<TPipeClientInfo>> FClients;
  TThreadCounter FThreadCount;
  std::vector<std::thread> FFinished;  // ended threads, joined later
  std::atomic<HPIPE> FNextPipe{1};
  std::atomic<std::uint64_t> FMaxMessageSize{kDefaultMaxMessageSize};
  std::atomic<bool> FHasSentHandler{false};

  TOnPipeSent FOPS;
  TOnPipeConnect FOPC;
  TOnPipeDisconnect FOPD;
  TOnPipeMessage FOPM;
  TOnPipeError FOPE;
};

}  // namespace mpu::ipc
