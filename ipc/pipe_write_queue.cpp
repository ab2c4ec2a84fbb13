#include "ipc/pipe_write_queue.h"

#include <algorithm>

#include "ipc/pipe_wire.h"

namespace mpu::ipc {

TPipeWrite::TPipeWrite(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> bytes) {
  Buffer.reserve(prefix.size() + bytes.size());
  Buffer.insert(Buffer.end(), prefix.begin(), prefix.end());
  Buffer.insert(Buffer.end(), bytes.begin(), bytes.end());
}

TSRAsyncPipeWriteQueue::TSRAsyncPipeWriteQueue() = default;

TSRAsyncPipeWriteQueue::~TSRAsyncPipeWriteQueue() {
  Clear();
}

void TSRAsyncPipeWriteQueue::PushLocked(std::unique_ptr<TPipeWrite> write) {
  const std::size_t cost = write ? write->Count() + kNodeOverhead : kEmptyNodeOverhead;
  FNodes.push_back(std::move(write));
  FDataSize += cost;
}

void TSRAsyncPipeWriteQueue::UpdateEventsLocked() {
  if (FNodes.empty()) {
    FDataEv.Reset();
    FEmptyEv.Set();
  } else {
    FDataEv.Set();
    FEmptyEv.Reset();
  }
}

void TSRAsyncPipeWriteQueue::SplitLocked(std::span<const std::uint8_t> prefix,
                                         std::span<const std::uint8_t> bytes) {
  PushLocked(std::make_unique<TPipeWrite>(MakePipeMarker(kMarkerStart)));
  try {
    // The chunks run over prefix and bytes as one sequence.
    const std::size_t total = prefix.size() + bytes.size();
    std::size_t offset = 0;
    while (offset < total) {
      const std::size_t n = std::min(kPipeChunkSize, total - offset);
      auto chunk = std::make_unique<TPipeWrite>();
      chunk->Buffer.resize(n);
      std::size_t filled = 0;
      if (offset < prefix.size()) {
        const std::size_t p = std::min(n, prefix.size() - offset);
        std::copy_n(prefix.begin() + static_cast<std::ptrdiff_t>(offset), p, chunk->Buffer.begin());
        filled = p;
      }
      if (filled < n) {
        const std::size_t from = offset + filled - prefix.size();
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), n - filled,
                    chunk->Buffer.begin() + static_cast<std::ptrdiff_t>(filled));
      }
      PushLocked(std::move(chunk));
      offset += n;
    }
  } catch (...) {
    PushLocked(std::make_unique<TPipeWrite>(MakePipeMarker(kMarkerEnd)));
    UpdateEventsLocked();
    throw;
  }
  PushLocked(std::make_unique<TPipeWrite>(MakePipeMarker(kMarkerEnd)));
}

void TSRAsyncPipeWriteQueue::Enqueue(std::unique_ptr<TPipeWrite> write) {
  if (!write) return;
  std::lock_guard lock(FMutex);
  if (write->Count() <= kPipeChunkSize) {
    PushLocked(std::move(write));
  } else {
    const std::unique_ptr<TPipeWrite> whole = std::move(write);
    SplitLocked({}, whole->Buffer);
  }
  UpdateEventsLocked();
}

void TSRAsyncPipeWriteQueue::Enqueue(std::span<const std::uint8_t> prefix,
                                     std::span<const std::uint8_t> bytes) {
  if (prefix.size() + bytes.size() <= kPipeChunkSize) {
    Enqueue(std::make_unique<TPipeWrite>(prefix, bytes));
    return;
  }
  std::lock_guard lock(FMutex);
  SplitLocked(prefix, bytes);
  UpdateEventsLocked();
}

void TSRAsyncPipeWriteQueue::EnqueueStartPacket() {
  auto marker = std::make_unique<TPipeWrite>(MakePipeMarker(kMarkerStart));
  std::lock_guard lock(FMutex);
  PushLocked(std::move(marker));
  UpdateEventsLocked();
}

void TSRAsyncPipeWriteQueue::EnqueueEndPacket() {
  auto marker = std::make_unique<TPipeWrite>(MakePipeMarker(kMarkerEnd));
  std::lock_guard lock(FMutex);
  PushLocked(std::move(marker));
  UpdateEventsLocked();
}

std::unique_ptr<TPipeWrite> TSRAsyncPipeWriteQueue::Dequeue() {
  std::lock_guard lock(FMutex);
  if (FNodes.empty()) return nullptr;
  std::unique_ptr<TPipeWrite> write = std::move(FNodes.front());
  FNodes.pop_front();
  const std::size_t cost = write ? write->Count() + kNodeOverhead : kEmptyNodeOverhead;
  FDataSize -= std::min(cost, FDataSize);
  UpdateEventsLocked();
  return write;
}

void TSRAsyncPipeWriteQueue::Clear() {
  std::lock_guard lock(FMutex);
  FDataEv.Reset();
  FNodes.clear();
  FDataSize = 0;
  FEmptyEv.Set();
}

std::size_t TSRAsyncPipeWriteQueue::DataSize() const {
  std::lock_guard lock(FMutex);
  return FDataSize;
}

bool TSRAsyncPipeWriteQueue::Empty() const {
  std::lock_guard lock(FMutex);
  return FNodes.empty();
}

std::size_t TSRAsyncPipeWriteQueue::NodeCount() const {
  std::lock_guard lock(FMutex);
  return FNodes.size();
}

}  // namespace mpu::ipc
