#include "device/pipe_threads.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mpu {

void ThreadTracker::Started() {
  std::lock_guard lock(mutex_);
  ++running_;
}

void ThreadTracker::Ended() {
  {
    std::lock_guard lock(mutex_);
    --running_;
  }
  idle_.notify_all();
}

bool ThreadTracker::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return running_ == 0; });
}

int ThreadTracker::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

TMPUPipeThread::TMPUPipeThread(std::shared_ptr<usb::UsbDevice> device, std::uint8_t pipeId)
    : FDeviceHandle(std::move(device)), FPipeId(pipeId) {}

void TMPUPipeThread::Start(std::shared_ptr<ThreadTracker> tracker) {
  if (started_) return;
  started_ = true;
  if (tracker) tracker->Started();
  // The body keeps the object (and with it the device) alive until it
  // returns; both are released before the thread counts as ended.
  std::thread([self = shared_from_this(), tracker = std::move(tracker)]() mutable {
    self->Execute();
    self.reset();
    if (tracker) tracker->Ended();
  }).detach();
}

// ---------------------------------------------------------------------------

std::shared_ptr<TMPUReceiveThread> TMPUReceiveThread::Create(std::shared_ptr<usb::UsbDevice> device,
                                                             std::uint32_t packetSize, std::uint8_t pipeId) {
  return std::shared_ptr<TMPUReceiveThread>(new TMPUReceiveThread(std::move(device), packetSize, pipeId));
}

TMPUReceiveThread::TMPUReceiveThread(std::shared_ptr<usb::UsbDevice> device, std::uint32_t packetSize,
                                     std::uint8_t pipeId)
    : TMPUPipeThread(std::move(device), pipeId),
      FPacketSize(std::clamp<std::uint32_t>(packetSize, 1, kMaxPipePacketSize)) {}

void TMPUReceiveThread::SetPacketSize(std::uint32_t size) {
  FPacketSize = std::clamp<std::uint32_t>(size, 1, kMaxPipePacketSize);
}

void TMPUReceiveThread::Terminate() {
  terminated_ = true;
  FDataEvent.Set();  // releases a reader waiting for the processed signal
  if (FDeviceHandle) FDeviceHandle->AbortPipe(FPipeId);  // releases a blocked read
}

void TMPUReceiveThread::Execute() {
  FDataEvent.Set();
  FDeviceHandle->FlushPipe(FPipeId);
  while (!terminated_) {
    const std::uint32_t size = FPacketSize;
    const usb::TransferResult r = FDeviceHandle->ReadPipe(FPipeId, std::span(FRxBuffer.data(), size));
    if (terminated_) break;
    // A packet of another size is dropped and the reader goes on; one longer
    // than the buffer arrives as a failed transfer (EOVERFLOW).
    if (!r.Ok && r.ErrorCode == EOVERFLOW) continue;
    if (r.Ok && r.Transferred != size) continue;
    if (r.Ok) {
      FBytesReceived = static_cast<std::uint32_t>(r.Transferred);
      Deliver();
    } else {
      Failed(r.ErrorCode);
    }
  }
}

void TMPUReceiveThread::Deliver() {
  FDataEvent.Wait();  // the previous frame was processed
  if (terminated_) return;
  if (FOnData && CallbacksEnabled()) FOnData(*this);
}

void TMPUReceiveThread::Failed(std::uint32_t error) {
  FLastError = error;
  FDataEvent.Reset();
  if (FOnError && CallbacksEnabled()) FOnError(*this);
  FDataEvent.Wait();  // until Terminate
}

std::shared_ptr<TMPUReceiveDataThread> TMPUReceiveDataThread::Create(std::shared_ptr<usb::UsbDevice> device,
                                                                     std::uint32_t packetSize,
                                                                     std::uint8_t pipeId) {
  return std::shared_ptr<TMPUReceiveDataThread>(
      new TMPUReceiveDataThread(std::move(device), packetSize, pipeId));
}

void TMPUReceiveDataThread::Terminate() {
  ClearCallbacks();
  TMPUReceiveThread::Terminate();
}

void TMPUReceiveDataThread::Deliver() {
  // No processed handshake: every packet is handed on at once.
  if (FOnData && CallbacksEnabled()) FOnData(*this);
}

void TMPUReceiveDataThread::Failed(std::uint32_t) {
  // Not reported: the control reader tells of a lost device. Wait until
  // terminated or told to go on.
  FDataEvent.Reset();
  FDataEvent.Wait();
}

// ---------------------------------------------------------------------------

std::shared_ptr<TMPUTransmitThread> TMPUTransmitThread::Create(std::shared_ptr<usb::UsbDevice> device,
                                                               std::uint32_t queueLength,
                                                               std::uint32_t packetSize, std::uint8_t pipeId) {
  return std::shared_ptr<TMPUTransmitThread>(
      new TMPUTransmitThread(std::move(device), queueLength, packetSize, pipeId));
}

TMPUTransmitThread::TMPUTransmitThread(std::shared_ptr<usb::UsbDevice> device, std::uint32_t queueLength,
                                       std::uint32_t packetSize, std::uint8_t pipeId)
    : TMPUPipeThread(std::move(device), pipeId),
      FTxQueueLength(std::max<std::uint32_t>(queueLength, 1)),
      FPacketSize(std::clamp<std::uint32_t>(packetSize, 1, kMaxPipePacketSize)),
      FTxBuffer(std::size_t{FTxQueueLength} * kSlotSize, 0) {}

bool TMPUTransmitThread::SendMessage(const std::uint8_t* frame) {
  {
    std::lock_guard lock(FCriticalSection);
    if (FMsgCount >= FTxQueueLength) return false;
    std::memcpy(&FTxBuffer[std::size_t{FWriteIndex} * kSlotSize], frame, kSlotSize);
    FWriteIndex = (FWriteIndex + 1) % FTxQueueLength;
    ++FMsgCount;
  }
  FTxEvent.Set();
  return true;
}

void TMPUTransmitThread::Pause(bool value) {
  {
    std::lock_guard lock(FCriticalSection);
    if (paused_ == value) return;
    paused_ = value;
  }
  resumed_.notify_all();
}

bool TMPUTransmitThread::Paused() const {
  std::lock_guard lock(FCriticalSection);
  return paused_;
}

void TMPUTransmitThread::PurgeQueue() {
  std::lock_guard lock(FCriticalSection);
  FMsgCount = 0;
  FReadIndex = 0;
  FWriteIndex = 0;
  ++purges_;
  advanced_.notify_all();
}

void TMPUTransmitThread::Terminate() {
  terminated_ = true;
  resumed_.notify_all();
  FTxEvent.Set();
}

std::uint32_t TMPUTransmitThread::MsgCount() const {
  std::lock_guard lock(FCriticalSection);
  return FMsgCount;
}

bool TMPUTransmitThread::WaitEmpty(std::chrono::milliseconds timeout) {
  std::unique_lock lock(FCriticalSection);
  return advanced_.wait_for(lock, timeout, [this] { return FMsgCount == 0 || terminated_; });
}

void TMPUTransmitThread::Execute() {
  FDeviceHandle->FlushPipe(FPipeId);
  // The frame being written is copied out of its slot first, so a purge and
  // new frames queued meanwhile never change bytes that are on their way.
  std::array<std::uint8_t, kSlotSize> frame{};
  while (!terminated_) {
    FTxEvent.Wait();
    while (!terminated_) {
      std::uint64_t purgesBefore = 0;
      {
        std::unique_lock lock(FCriticalSection);
        resumed_.wait(lock, [this] { return !paused_ || terminated_; });
        if (terminated_ || FMsgCount == 0) break;
        std::memcpy(frame.data(), &FTxBuffer[std::size_t{FReadIndex} * kSlotSize], kSlotSize);
        purgesBefore = purges_;
      }
      // The write's result is not examined: a frame that could not be
      // written is dropped like a written one.
      FDeviceHandle->WritePipe(FPipeId, std::span(frame.data(), FPacketSize));
      if (terminated_) break;
      std::lock_guard lock(FCriticalSection);
      // Purged meanwhile: the written frame is no longer in the ring (and
      // frames queued after the purge must not be skipped).
      if (FMsgCount == 0 || purges_ != purgesBefore) continue;
      FReadIndex = (FReadIndex + 1) % FTxQueueLength;
      --FMsgCount;
      advanced_.notify_all();
    }
  }
}

}  // namespace mpu
