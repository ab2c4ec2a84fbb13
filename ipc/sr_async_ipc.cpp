#include "ipc/sr_async_ipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

namespace mpu::ipc {
namespace {

// Messages read, and writes sent, in one turn of a pipe thread before it
// looks at its other work again.
constexpr int kBatch = 64;
// A receive block above this size is freed after its message.
constexpr std::size_t kKeepReceiveCapacity = 4 * TFastMemStream::kSmallGrowth;
// Pause of the listener after a failed accept that would fail again at once
// (out of descriptors or memory).
constexpr int kAcceptRetryMs = 100;
// How long a pipe thread that is told to end still waits for a blocked write.
constexpr int kKillWriteGraceMs = 100;

// Errors meaning the client has gone.
bool IsBrokenPipe(int error) {
  return error == EPIPE || error == ECONNRESET || error == ENOTCONN;
}

// accept() errors after which the listener cannot continue.
bool IsFatalAcceptError(int error) {
  return error == EBADF || error == EINVAL || error == ENOTSOCK || error == EOPNOTSUPP ||
         error == EFAULT;
}

}  // namespace

TPipeMultiMsg::TPipeMultiMsg() {
  if (auto file = TTempFileStream::Create()) {
    FStream = std::move(file);
    FInFile = true;
  } else {
    FStream = std::make_unique<TFastMemStream>();
  }
}

// ---------------------------------------------------------------------------
// Listen thread: accepts connections and hands each to the server's thread.

class TSRAsyncPipeListenThread {
 public:
  TSRAsyncPipeListenThread(TSRAsyncPipeServer& server, int listenFd)
      : FPipeServer(server), FListenFd(listenFd) {}

  void Run() {
    Loop();
    FPipeServer.FSync.Send([this] { FPipeServer.ListenerTerminated(); });
    FPipeServer.FThreadCount.Decrement();  // the last touch of the server
  }

 private:
  void ReportError(int error) {
    if (FPipeServer.FKillEv.IsSet()) return;
    FPipeServer.FSync.Send([this, error] { FPipeServer.DoPipeError(0, pcListener, error); });
  }

  void Loop() {
    for (;;) {
      pollfd fds[2] = {{FPipeServer.FKillEv.Fd(), POLLIN, 0}, {FListenFd, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        ReportError(errno);
        return;
      }
      if (fds[0].revents != 0) return;
      if ((fds[1].revents & (POLLERR | POLLNVAL)) != 0) {
        ReportError(EBADF);
        return;
      }
      if ((fds[1].revents & POLLIN) == 0) continue;
      TUniqueFd socket(::accept4(FListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!socket) {
        const int error = errno;
        // Nothing to accept, or a client that left before it was accepted.
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNABORTED)
          continue;
        ReportError(error);
        if (IsFatalAcceptError(error)) return;
        if (FPipeServer.FKillEv.Wait(std::chrono::milliseconds(kAcceptRetryMs))) return;
        continue;
      }
      ConfigurePipeSocket(socket.Get());
      FPipeServer.FSync.Send([this, &socket] { FPipeServer.AddClient(std::move(socket)); });
    }
  }

  TSRAsyncPipeServer& FPipeServer;
  const int FListenFd;
};

// ---------------------------------------------------------------------------
// Pipe thread: one per client. Reads whole messages, reassembles long ones,
// writes the client's queue, and raises the client's notifications.

class TSRAsyncPipeThread {
 public:
  TSRAsyncPipeThread(TSRAsyncPipeServer& server, std::shared_ptr<TPipeClientInfo> client,
                     TUniqueFd socket)
      : FServer(server),
        FClient(std::move(client)),
        FPipe(FClient->Pipe),
        FSocket(std::move(socket)) {}

  void Run() {
    FServer.FSync.Send([this] { FServer.DoPipeConnect(FPipe); });
    if (!GuardedLoop() && !IsBrokenPipe(FErrorCode)) {
      const int error = FErrorCode;
      FServer.FSync.Send([this, error] { FServer.DoPipeError(FPipe, pcWorker, error); });
    }
    FSocket.Reset();
    FMultiMsg.reset();
    FPipeWrite.reset();
    FServer.FSync.Send([this] { FServer.RemoveClient(FPipe); });
    FServer.FThreadCount.Decrement();  // the last touch of the server
  }

 private:
  // A failure to store what a client sends ends that client, never the
  // program.
  bool GuardedLoop() {
    try {
      return Loop();
    } catch (const std::bad_alloc&) {
      return Fail(ENOMEM);
    } catch (const std::system_error& e) {
      return Fail(e.code().value());
    } catch (...) {
      return Fail(EIO);
    }
  }

  // False when the connection failed (FErrorCode tells why, EPIPE when the
  // client closed); true when told to end.
  bool Loop() {
    const TManualResetEvent& data = FClient->WriteQueue.DataEvent();
    for (;;) {
      pollfd fds[3] = {
          {FClient->KillEvent.Fd(), POLLIN, 0},
          {FSocket.Get(), static_cast<short>(POLLIN | (FWriteBlocked ? POLLOUT : 0)), 0},
          {data.Fd(), POLLIN, 0}};
      // While a write waits for room, the queue is not looked at.
      const nfds_t count = FPipeWrite ? 2 : 3;
      if (::poll(fds, count, -1) < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (fds[0].revents != 0) {
        FinishBlockedWrite();
        return true;
      }
      if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !ReadMessages()) return false;
      if (FClient->KillEvent.IsSet()) continue;
      if ((FPipeWrite || data.IsSet()) && !WriteQueued()) return false;
    }
  }

  bool Fail(int error) {
    FErrorCode = error;
    return false;
  }

  // Throws away the next message.
  void DiscardMessage() {
    std::uint8_t dummy = 0;
    ::recv(FSocket.Get(), &dummy, 1, MSG_DONTWAIT | MSG_TRUNC);
  }

  bool ReadMessages() {
    for (int i = 0; i < kBatch; ++i) {
      std::uint8_t dummy = 0;
      // The whole length of the next message, whatever the buffer.
      const ssize_t length = ::recv(FSocket.Get(), &dummy, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
      if (length < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (length == 0 && PeerHasClosed(FSocket.Get())) return Fail(EPIPE);
      const auto size = static_cast<std::size_t>(length);
      if (size > FServer.FMaxMessageSize) {
        DiscardMessage();
        return Fail(EMSGSIZE);
      }
      try {
        FRcvStream.Truncate();
        FRcvStream.SetCapacity(size);
      } catch (const std::bad_alloc&) {
        DiscardMessage();
        return Fail(ENOMEM);
      }
      std::uint8_t* into = size != 0 ? FRcvStream.Data() : &dummy;
      const ssize_t got = ::recv(FSocket.Get(), into, std::max<std::size_t>(size, 1), MSG_DONTWAIT);
      if (got < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      FRcvStream.SetFilledSize(std::min(size, static_cast<std::size_t>(got)));
      const bool ok = ProcessMessage();
      if (FRcvStream.Capacity() > kKeepReceiveCapacity)
        FRcvStream.Clear();
      else
        FRcvStream.Truncate();
      if (!ok) return false;
      if (FClient->KillEvent.IsSet()) return true;
    }
    return true;
  }

  void Deliver(TByteStream& stream) {
    stream.Seek(0);
    FServer.FSync.Send([this, &stream] { FServer.DoPipeMessage(FPipe, stream); });
  }

  // One received socket message in FRcvStream: a control marker, a part of
  // a long message, or a message of its own.
  bool ProcessMessage() {
    const auto bytes = FRcvStream.Bytes();
    if (const auto command = PipeMarkerCommand(bytes)) {
      if (*command == kMarkerStart) {
        FMultiMsg.reset();
        FMultiMsg = std::make_unique<TPipeMultiMsg>();
      } else if (*command == kMarkerEnd) {
        if (FMultiMsg) {
          Deliver(FMultiMsg->Stream());
          FMultiMsg.reset();
        }
      } else {
        FMultiMsg.reset();  // an unknown command drops a half-received long message
      }
      return true;
    }
    if (FMultiMsg) {
      TByteStream& stream = FMultiMsg->Stream();
      if (bytes.size() >
          FServer.FMaxMessageSize - std::min(FServer.FMaxMessageSize.load(), stream.Size()))
        return Fail(EMSGSIZE);
      try {
        stream.Write(bytes);
      } catch (const std::system_error& e) {
        return Fail(e.code().value());
      } catch (const std::bad_alloc&) {
        return Fail(ENOMEM);
      }
      return true;
    }
    Deliver(FRcvStream);
    return true;
  }

  // Sends the write in flight; false on a failed connection. Leaves it in
  // flight, with FWriteBlocked set, when the socket has no room.
  bool SendPending() {
    for (;;) {
      const ssize_t n = ::send(FSocket.Get(), FPipeWrite->Buffer.data(), FPipeWrite->Count(),
                               MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0) break;
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        FWriteBlocked = true;
        return true;
      }
      const int error = errno;
      FPipeWrite.reset();
      return Fail(error);
    }
    FWriteBlocked = false;
    const auto size = static_cast<std::uint32_t>(FPipeWrite->Count());
    FPipeWrite.reset();
    if (FServer.FHasSentHandler)
      FServer.FSync.Send([this, size] { FServer.DoPipeSent(FPipe, size); });
    return true;
  }

  bool WriteQueued() {
    for (int i = 0; i < kBatch; ++i) {
      if (!FPipeWrite) {
        FPipeWrite = FClient->WriteQueue.Dequeue();
        if (!FPipeWrite) return true;
      }
      if (!SendPending()) return false;
      if (FWriteBlocked) return true;
    }
    return true;
  }

  void FinishBlockedWrite() {
    if (!FPipeWrite || !FWriteBlocked) return;
    pollfd p{FSocket.Get(), POLLOUT, 0};
    if (::poll(&p, 1, kKillWriteGraceMs) > 0 && (p.revents & POLLOUT) != 0) SendPending();
  }

  TSRAsyncPipeServer& FServer;
  const std::shared_ptr<TPipeClientInfo> FClient;
  const HPIPE FPipe;
  TUniqueFd FSocket;
  int FErrorCode = 0;
  std::unique_ptr<TPipeWrite> FPipeWrite;  // the write in flight
  bool FWriteBlocked = false;              // it waits for room in the socket
  std::unique_ptr<TPipeMultiMsg> FMultiMsg;
  TFastMemStream FRcvStream;  // the socket message being handled
};

// ---------------------------------------------------------------------------

TSRAsyncPipeServer::TSRAsyncPipeServer() : FThreadCount([this] { FSync.Wake(); }) {}

TSRAsyncPipeServer::~TSRAsyncPipeServer() {
  FDestroying = true;
  try {
    SetActive(false);
  } catch (...) {
  }
  StopThreads();  // also threads left behind by a listener that ended by itself
}

void TSRAsyncPipeServer::CheckThread() const {
  if (!FSync.IsBaseThread()) throw EPipeException(kPipeErrThreadMismatch);
}

void TSRAsyncPipeServer::SetActive(bool value) {
  CheckThread();
  if (value == FActive) return;
  if (value)
    DoActivate();
  else
    DoDeactivate();
}

void TSRAsyncPipeServer::SetPipeName(const QString& value) {
  CheckThread();
  if (value == FPipeName) return;
  if (FActive) throw EPipeException(kPipeErrActiveChange);
  if (!IsValidPipeName(value)) throw EPipeException(kPipeErrInvalidName);
  FPipeName = value;
}

void TSRAsyncPipeServer::SetOnPipeSent(TOnPipeSent handler) {
  FOPS = std::move(handler);
  FHasSentHandler = static_cast<bool>(FOPS);
}

void TSRAsyncPipeServer::DoActivate() {
  if (FActive) return;
  ReapFinishedThreads();
  FKillEv.Reset();
  TUniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!socket) throw std::system_error(errno, std::system_category(), "socket");
  const TPipeAddress address = PipeAddress(FPipeName);
  if (::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address.Address), address.Length) !=
      0)
    throw std::system_error(errno, std::system_category(), "bind " + FPipeName.toStdString());
  if (::listen(socket.Get(), SOMAXCONN) != 0)
    throw std::system_error(errno, std::system_category(), "listen");
  FListenSocket = std::move(socket);
  FThreadCount.Increment();
  FActive = true;
  try {
    FListener = std::thread(
        [this, fd = FListenSocket.Get()] { TSRAsyncPipeListenThread(*this, fd).Run(); });
  } catch (...) {
    FThreadCount.Decrement();
    FActive = false;
    FListenSocket.Reset();
    throw;
  }
}

void TSRAsyncPipeServer::DoDeactivate() {
  if (!FActive || FInShutDown) return;
  if (FSync.InSentCall()) {
    // A worker is blocked until this handler returns: waiting for it here
    // would never end. Deactivate once the handler is done.
    FSync.Post([this] { SetActive(false); });
    return;
  }
  FInShutDown = true;
  StopThreads();
  FListenSocket.Reset();
  FActive = false;
  FInShutDown = false;
}

void TSRAsyncPipeServer::StopThreads() {
  FKillEv.Set();
  Disconnect(0);
  FThreadCount.WaitForEmpty(FSync);
  ReapFinishedThreads();
}

void TSRAsyncPipeServer::ReapFinishedThreads() {
  std::vector<std::thread> finished;
  finished.swap(FFinished);
  for (std::thread& t : finished)
    if (t.joinable()) t.join();
}

std::shared_ptr<TPipeClientInfo> TSRAsyncPipeServer::FindClient(HPIPE pipe) const {
  std::lock_guard lock(FClientsLock);
  for (const auto& c : FClients)
    if (c->Pipe == pipe) return c;
  return nullptr;
}

void TSRAsyncPipeServer::AddClient(TUniqueFd socket) {
  ReapFinishedThreads();
  // A connection accepted while the server stops would never be told to end.
  if (!FActive || FInShutDown || FDestroying) return;
  std::shared_ptr<TPipeClientInfo> client;
  try {
    client = std::make_shared<TPipeClientInfo>(FNextPipe++);
  } catch (const std::system_error& e) {
    DoPipeError(0, pcListener, e.code().value());
    return;
  } catch (const std::bad_alloc&) {
    DoPipeError(0, pcListener, ENOMEM);
    return;
  }
  {
    std::lock_guard lock(FClientsLock);
    FClients.push_back(client);
  }
  FThreadCount.Increment();
  try {
    client->Thread = std::thread([this, client, s = std::move(socket)]() mutable {
      TSRAsyncPipeThread(*this, client, std::move(s)).Run();
    });
  } catch (const std::system_error& e) {
    {
      std::lock_guard lock(FClientsLock);
      std::erase(FClients, client);
    }
    FThreadCount.Decrement();
    DoPipeError(0, pcListener, e.code().value());
  }
}

void TSRAsyncPipeServer::RemoveClient(HPIPE pipe) {
  std::shared_ptr<TPipeClientInfo> client;
  {
    std::lock_guard lock(FClientsLock);
    const auto it = std::find_if(FClients.begin(), FClients.end(),
                                 [pipe](const auto& c) { return c->Pipe == pipe; });
    if (it != FClients.end()) {
      client = *it;
      FClients.erase(it);
    }
  }
  if (client) {
    FFinished.push_back(std::move(client->Thread));
    client->WriteQueue.Clear();
  }
  if (!FDestroying) DoPipeDisconnect(pipe);
}

void TSRAsyncPipeServer::ListenerTerminated() {
  FFinished.push_back(std::move(FListener));
  // The listener failed for good while no client is connected.
  if (!FInShutDown && FThreadCount.Count() == 1) {
    FActive = false;
    FListenSocket.Reset();
  }
}

void TSRAsyncPipeServer::DoPipeConnect(HPIPE pipe) {
  if (auto h = FOPC) h(*this, pipe);
}

void TSRAsyncPipeServer::DoPipeDisconnect(HPIPE pipe) {
  if (auto h = FOPD) h(*this, pipe);
}

void TSRAsyncPipeServer::DoPipeMessage(HPIPE pipe, TByteStream& stream) {
  if (auto h = FOPM) h(*this, pipe, stream);
}

void TSRAsyncPipeServer::DoPipeSent(HPIPE pipe, std::uint32_t size) {
  if (auto h = FOPS) h(*this, pipe, size);
}

void TSRAsyncPipeServer::DoPipeError(HPIPE pipe, TPipeContext context, int error) {
  if (auto h = FOPE) h(*this, pipe, context, error);
}

HPIPE TSRAsyncPipeServer::GetClient(std::size_t Index) const {
  std::lock_guard lock(FClientsLock);
  return Index < FClients.size() ? FClients[Index]->Pipe : 0;
}

std::size_t TSRAsyncPipeServer::ClientCount() const {
  std::lock_guard lock(FClientsLock);
  return FClients.size();
}

bool TSRAsyncPipeServer::Write(HPIPE Pipe, std::span<const std::uint8_t> Buffer) {
  return Write(Pipe, {}, Buffer);
}

bool TSRAsyncPipeServer::Write(HPIPE Pipe, std::span<const std::uint8_t> Prefix,
                               std::span<const std::uint8_t> Buffer) {
  const auto client = FindClient(Pipe);
  if (!client) return false;
  client->WriteQueue.Enqueue(Prefix, Buffer);
  return true;
}

bool TSRAsyncPipeServer::Broadcast(std::span<const std::uint8_t> Buffer) {
  return Broadcast({}, Buffer);
}

bool TSRAsyncPipeServer::Broadcast(std::span<const std::uint8_t> Prefix,
                                   std::span<const std::uint8_t> Buffer) {
  std::vector<std::shared_ptr<TPipeClientInfo>> clients;
  {
    std::lock_guard lock(FClientsLock);
    clients = FClients;
  }
  for (auto it = clients.rbegin(); it != clients.rend(); ++it)
    if (!Write((*it)->Pipe, Prefix, Buffer)) return false;
  return true;
}

bool TSRAsyncPipeServer::SendStream(HPIPE Pipe, TByteStream* Stream) {
  if (Stream == nullptr) return false;
  const auto client = FindClient(Pipe);
  if (!client) return false;
  TSRAsyncPipeWriteQueue& queue = client->WriteQueue;
  const auto lock = queue.Lock();  // the parts of the message stay together
  queue.EnqueueStartPacket();
  try {
    Stream->Seek(0);
    std::vector<std::uint8_t> chunk(kPipeChunkSize);
    for (;;) {
      const std::size_t n = Stream->Read(chunk);
      if (n == 0) break;
      queue.Enqueue(std::make_unique<TPipeWrite>(std::span(chunk).first(n)));
    }
  } catch (...) {
    queue.EnqueueEndPacket();
    throw;
  }
  queue.EnqueueEndPacket();
  return true;
}

bool TSRAsyncPipeServer::Disconnect(HPIPE Pipe) {
  std::lock_guard lock(FClientsLock);
  if (Pipe == 0) {
    for (const auto& c : FClients) c->KillEvent.Set();
    return true;
  }
  for (const auto& c : FClients) {
    if (c->Pipe == Pipe) {
      c->KillEvent.Set();
      return true;
    }
  }
  return false;
}

bool TSRAsyncPipeServer::FlushWriteQueue(HPIPE Pipe) {
  const auto client = FindClient(Pipe);
  if (!client) return false;
  client->WriteQueue.Clear();
  return true;
}

std::size_t TSRAsyncPipeServer::WriteQueueDataSize(HPIPE Pipe) const {
  const auto client = FindClient(Pipe);
  return client ? client->WriteQueue.DataSize() : 0;
}

}  // namespace mpu::ipc
