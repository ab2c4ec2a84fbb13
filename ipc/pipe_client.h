// The client end of a pipe: connects to a TSRAsyncPipeServer (or anything
// listening on the same pipe name), sends messages, frames and long
// messages, and receives them. Blocking calls with time-outs; one thread at
// a time per client.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <QStringView>

#include "ipc/aldrane_ipc_server_types.h"
#include "ipc/pipe_wire.h"
#include "ipc/unique_fd.h"

namespace mpu::ipc {

class TPipeClient {
 public:
  using Ms = std::chrono::milliseconds;
  static constexpr Ms kDefaultTimeout{5000};

  TPipeClient() = default;

  // Connects to the pipe. Throws std::system_error when nobody listens on
  // it (ECONNREFUSED) or the socket cannot be made.
  static TPipeClient Connect(QStringView pipeName);

  bool Connected() const { return FSocket.Valid(); }
  int Handle() const { return FSocket.Get(); }
  void Close() { FSocket.Reset(); }

  // errno of the last failed call: ETIMEDOUT after a time-out, EPIPE when
  // the server closed the pipe, EMSGSIZE for a message over the limit.
  int LastError() const { return FLastError; }

  // Limit on one received message, single or long.
  std::uint64_t MaxMessageSize() const { return FMaxMessageSize; }
  void SetMaxMessageSize(std::uint64_t value) { FMaxMessageSize = value; }

  // One socket message, as it is.
  bool Send(std::span<const std::uint8_t> message, Ms timeout = kDefaultTimeout);
  // The message as the server writes it: one socket message up to 65,534
  // bytes, else start marker, chunks of 65,534 bytes, end marker.
  bool SendMessage(std::span<const std::uint8_t> message, Ms timeout = kDefaultTimeout);
  // Always as a long message: start marker, chunks, end marker.
  bool SendLong(std::span<const std::uint8_t> message, Ms timeout = kDefaultTimeout);
  // A frame's first PayloadLen + 32 bytes.
  bool SendFrame(const TAldraneIPCServerMsg& frame, Ms timeout = kDefaultTimeout);

  // The next socket message as it is; markers are not interpreted.
  std::optional<std::vector<std::uint8_t>> ReceiveRaw(Ms timeout = kDefaultTimeout);
  // The next message, long messages reassembled: a start marker begins a
  // new collection (dropping an unfinished one), the end marker delivers it,
  // another marker command drops it, an end marker without a start is
  // skipped.
  std::optional<std::vector<std::uint8_t>> Receive(Ms timeout = kDefaultTimeout);
  // The next message that is a valid frame; other messages are skipped.
  std::optional<TAldraneIPCServerMsg> ReceiveFrame(Ms timeout = kDefaultTimeout);

 private:
  explicit TPipeClient(TUniqueFd socket) : FSocket(std::move(socket)) {}
  bool WaitFor(short events, std::chrono::steady_clock::time_point deadline);
  bool SendUntil(std::span<const std::uint8_t> message,
                 std::chrono::steady_clock::time_point deadline);
  std::optional<std::vector<std::uint8_t>> ReceiveUntil(
      std::chrono::steady_clock::time_point deadline);
  bool Fail(int error) {
    FLastError = error;
    return false;
  }

  TUniqueFd FSocket;
  int FLastError = 0;
  std::uint64_t FMaxMessageSize = kDefaultMaxMessageSize;
};

}  // namespace mpu::ipc
