#include "ipc/pipe_client.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>
#include <system_error>

namespace mpu::ipc {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(std::chrono::milliseconds timeout) {
  return Clock::now() + timeout;
}

// A server that closes with messages of ours unread resets the connection:
// for the client that is the end of the pipe too.
int Normalized(int error) {
  return error == ECONNRESET ? EPIPE : error;
}

}  // namespace

TPipeClient TPipeClient::Connect(QStringView pipeName) {
  TUniqueFd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!socket) throw std::system_error(errno, std::system_category(), "socket");
  ConfigurePipeSocket(socket.Get());
  const TPipeAddress address = PipeAddress(pipeName);
  int rc;
  do {
    rc = ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address.Address),
                   address.Length);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) throw std::system_error(errno, std::system_category(), "connect");
  return TPipeClient(std::move(socket));
}

bool TPipeClient::WaitFor(short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{FSocket.Get(), events, 0};
    const int rc = ::poll(
        &p, 1, static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max())));
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) return Fail(errno);
    if (rc == 0) return Fail(ETIMEDOUT);
    return true;
  }
}

bool TPipeClient::SendUntil(std::span<const std::uint8_t> message, Clock::time_point deadline) {
  if (!FSocket) return Fail(ENOTCONN);
  for (;;) {
    const ssize_t n =
        ::send(FSocket.Get(), message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return true;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Fail(Normalized(errno));
    if (!WaitFor(POLLOUT, deadline)) return false;
  }
}

bool TPipeClient::Send(std::span<const std::uint8_t> message, Ms timeout) {
  return SendUntil(message, DeadlineAfter(timeout));
}

bool TPipeClient::SendMessage(std::span<const std::uint8_t> message, Ms timeout) {
  if (message.size() <= kPipeChunkSize) return Send(message, timeout);
  return SendLong(message, timeout);
}

bool TPipeClient::SendLong(std::span<const std::uint8_t> message, Ms timeout) {
  const auto deadline = DeadlineAfter(timeout);
  if (!SendUntil(MakePipeMarker(kMarkerStart), deadline)) return false;
  for (std::size_t offset = 0; offset < message.size(); offset += kPipeChunkSize)
    if (!SendUntil(message.subspan(offset, std::min(kPipeChunkSize, message.size() - offset)),
                   deadline))
      return false;
  return SendUntil(MakePipeMarker(kMarkerEnd), deadline);
}

bool TPipeClient::SendFrame(const TAldraneIPCServerMsg& frame, Ms timeout) {
  return Send(frame.WireBytes(), timeout);
}

std::optional<std::vector<std::uint8_t>> TPipeClient::ReceiveUntil(Clock::time_point deadline) {
  if (!FSocket) {
    Fail(ENOTCONN);
    return std::nullopt;
  }
  for (;;) {
    std::uint8_t dummy = 0;
    const ssize_t length = ::recv(FSocket.Get(), &dummy, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (length < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        Fail(Normalized(errno));
        return std::nullopt;
      }
      if (!WaitFor(POLLIN, deadline)) return std::nullopt;
      continue;
    }
    if (length == 0 && PeerHasClosed(FSocket.Get())) {
      Fail(EPIPE);
      return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(length);
    if (size > FMaxMessageSize) {
      ::recv(FSocket.Get(), &dummy, 1, MSG_DONTWAIT | MSG_TRUNC);
      Fail(EMSGSIZE);
      return std::nullopt;
    }
    std::vector<std::uint8_t> message(size);
    const ssize_t got = ::recv(FSocket.Get(), size != 0 ? message.data() : &dummy,
                               std::max<std::size_t>(size, 1), MSG_DONTWAIT);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(Normalized(errno));
      return std::nullopt;
    }
    message.resize(std::min(size, static_cast<std::size_t>(got)));
    return message;
  }
}

std::optional<std::vector<std::uint8_t>> TPipeClient::ReceiveRaw(Ms timeout) {
  return ReceiveUntil(DeadlineAfter(timeout));
}

std::optional<std::vector<std::uint8_t>> TPipeClient::Receive(Ms timeout) {
  const auto deadline = DeadlineAfter(timeout);
  std::optional<std::vector<std::uint8_t>> collecting;
  for (;;) {
    auto message = ReceiveUntil(deadline);
    if (!message) return std::nullopt;
    if (const auto command = PipeMarkerCommand(*message)) {
      if (*command == kMarkerStart) {
        collecting.emplace();
      } else if (*command == kMarkerEnd) {
        if (collecting) return collecting;
      } else {
        collecting.reset();
      }
      continue;
    }
    if (!collecting) return message;
    if (message->size() >
        FMaxMessageSize - std::min<std::uint64_t>(FMaxMessageSize, collecting->size())) {
      Fail(EMSGSIZE);
      return std::nullopt;
    }
    collecting->insert(collecting->end(), message->begin(), message->end());
  }
}

std::optional<TAldraneIPCServerMsg> TPipeClient::ReceiveFrame(Ms timeout) {
  const auto deadline = DeadlineAfter(timeout);
  for (;;) {
    const auto remaining = std::chrono::duration_cast<Ms>(deadline - Clock::now());
    auto message = Receive(std::max(remaining, Ms{0}));
    if (!message) return std::nullopt;
    if (auto frame = ReadServerMessage(*message)) return frame;
  }
}

}  // namespace mpu::ipc
