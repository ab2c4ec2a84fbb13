// The per-client write queue of the pipe server: the creating thread
// enqueues copies of the owner's bytes, the client's pipe thread dequeues
// and writes them one socket message each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "ipc/sync_event.h"

namespace mpu::ipc {

// One queued write: an owned copy of the bytes of one socket message.
struct TPipeWrite {
  std::vector<std::uint8_t> Buffer;

  TPipeWrite() = default;
  explicit TPipeWrite(std::span<const std::uint8_t> bytes) : Buffer(bytes.begin(), bytes.end()) {}
  // Prefix followed by bytes.
  TPipeWrite(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> bytes);

  std::size_t Count() const { return Buffer.size(); }
};

class TSRAsyncPipeWriteQueue {
 public:
  // Accounting cost of a node beside its bytes.
  static constexpr std::size_t kNodeOverhead = 28;
  static constexpr std::size_t kEmptyNodeOverhead = 12;

  // Throws std::system_error when the data event cannot be created.
  TSRAsyncPipeWriteQueue();
  ~TSRAsyncPipeWriteQueue();
  TSRAsyncPipeWriteQueue(const TSRAsyncPipeWriteQueue&) = delete;
  TSRAsyncPipeWriteQueue& operator=(const TSRAsyncPipeWriteQueue&) = delete;

  // Queues a write; nullptr does nothing. A write of kPipeChunkSize bytes
  // or less stays one message; a longer one is queued as a start marker,
  // chunks of at most kPipeChunkSize bytes and an end marker (the end
  // marker even when copying a chunk fails, which then rethrows).
  void Enqueue(std::unique_ptr<TPipeWrite> write);
  // Queues prefix + bytes as Enqueue does, without first copying the whole
  // write when it must be split.
  void Enqueue(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> bytes);
  void EnqueueStartPacket();
  void EnqueueEndPacket();
  // The oldest write, or nullptr when the queue is empty.
  std::unique_ptr<TPipeWrite> Dequeue();
  // Drops every queued write.
  void Clear();

  // Held across several calls, so that their writes stay together. The
  // mutex may be taken again by the thread that holds it.
  std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock(FMutex); }

  // Signalled while the queue holds writes; pollable.
  const TManualResetEvent& DataEvent() const { return FDataEv; }
  // Signalled while the queue is empty.
  const TManualResetEvent& EmptyEvent() const { return FEmptyEv; }
  // Sum over queued writes of Count + 28.
  std::size_t DataSize() const;
  bool Empty() const;
  std::size_t NodeCount() const;

 private:
  void PushLocked(std::unique_ptr<TPipeWrite> write);
  void SplitLocked(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> bytes);
  void UpdateEventsLocked();

  mutable std::recursive_mutex FMutex;
  TManualResetEvent FDataEv{false, TManualResetEvent::Kind::Pollable};
  TManualResetEvent FEmptyEv{true};
  std::size_t FDataSize = 0;
  std::deque<std::unique_ptr<TPipeWrite>> FNodes;
};

}  // namespace mpu::ipc
