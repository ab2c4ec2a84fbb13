// The three worker threads that move packets between the unit's bulk pipes
// and the device component: the control reader (pipe 0x81), the data
// reader (pipe 0x82) and the transmitter (pipe 0x01).
//
// The threads know nothing of the protocol. Each is created suspended,
// started once, and asked to terminate; its body then returns and the
// thread object goes away with the last reference (the running body holds
// one). Owners only drop their references. A ThreadTracker lets an owner
// wait, with a bound, until every thread it started has ended.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/auto_reset_event.h"
#include "usb/usb_driver.h"

namespace mpu {

// Largest packet a reader buffer or a transmit slot holds.
inline constexpr std::uint32_t kMaxPipePacketSize = 512;

// Counts running pipe threads of one owner.
class ThreadTracker {
 public:
  void Started();
  void Ended();
  // Waits until no tracked thread runs; false when the time ran out.
  bool WaitIdle(std::chrono::milliseconds timeout);
  int Running() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable idle_;
  int running_ = 0;
};

class TMPUPipeThread : public std::enable_shared_from_this<TMPUPipeThread> {
 public:
  virtual ~TMPUPipeThread() = default;
  TMPUPipeThread(const TMPUPipeThread&) = delete;
  TMPUPipeThread& operator=(const TMPUPipeThread&) = delete;

  // Starts the body once; `tracker` (may be null) counts it while it runs.
  void Start(std::shared_ptr<ThreadTracker> tracker = nullptr);
  bool Started() const { return started_; }
  virtual void Terminate() = 0;
  bool Terminated() const { return terminated_.load(); }

 protected:
  TMPUPipeThread(std::shared_ptr<usb::UsbDevice> device, std::uint8_t pipeId);
  virtual void Execute() = 0;

  std::shared_ptr<usb::UsbDevice> FDeviceHandle;
  const std::uint8_t FPipeId;
  std::atomic<bool> terminated_{false};

 private:
  bool started_ = false;
};

// Control reader: one packet in flight. After delivering a packet it waits
// for DataProcessed before it delivers the next one.
class TMPUReceiveThread : public TMPUPipeThread {
 public:
  using Callback = std::function<void(TMPUReceiveThread&)>;

  static std::shared_ptr<TMPUReceiveThread> Create(std::shared_ptr<usb::UsbDevice> device,
                                                   std::uint32_t packetSize, std::uint8_t pipeId);

  // Callbacks run on the reader thread. Set them before Start; clearing
  // disables them (a callback already running completes).
  void SetOnData(Callback cb) { FOnData = std::move(cb); }
  void SetOnError(Callback cb) { FOnError = std::move(cb); }
  void ClearCallbacks() { callbacksEnabled_ = false; }

  // Bytes requested per read; takes effect at the next read. Limited to
  // 1..512.
  void SetPacketSize(std::uint32_t size);
  std::uint32_t PacketSize() const { return FPacketSize.load(); }

  void DataProcessed() { FDataEvent.Set(); }
  void Terminate() override;

  // Valid inside the data callback.
  const std::uint8_t* RxBuffer() const { return FRxBuffer.data(); }
  std::uint32_t BytesReceived() const { return FBytesReceived; }
  std::uint32_t LastError() const { return FLastError; }

 protected:
  TMPUReceiveThread(std::shared_ptr<usb::UsbDevice> device, std::uint32_t packetSize, std::uint8_t pipeId);
  void Execute() override;
  // A whole packet is in FRxBuffer: hand it on.
  virtual void Deliver();
  // The read failed with `error`.
  virtual void Failed(std::uint32_t error);
  bool CallbacksEnabled() const { return callbacksEnabled_.load(); }

  std::atomic<std::uint32_t> FLastError{0};
  std::array<std::uint8_t, kMaxPipePacketSize> FRxBuffer{};
  std::atomic<std::uint32_t> FPacketSize;
  std::uint32_t FBytesReceived = 0;
  platform::AutoResetEvent FDataEvent;
  Callback FOnData;
  Callback FOnError;
  std::atomic<bool> callbacksEnabled_{true};
};

// Data reader: delivers every packet at once, reports no errors; after a
// failed read it waits until DataProcessed or Terminate.
class TMPUReceiveDataThread : public TMPUReceiveThread {
 public:
  static std::shared_ptr<TMPUReceiveDataThread> Create(std::shared_ptr<usb::UsbDevice> device,
                                                       std::uint32_t packetSize, std::uint8_t pipeId);
  void Terminate() override;

 protected:
  using TMPUReceiveThread::TMPUReceiveThread;
  void Deliver() override;
  void Failed(std::uint32_t error) override;
};

// Transmitter: a ring of 512-byte frames written in order.
class TMPUTransmitThread : public TMPUPipeThread {
 public:
  static constexpr std::size_t kSlotSize = 512;

  static std::shared_ptr<TMPUTransmitThread> Create(std::shared_ptr<usb::UsbDevice> device,
                                                    std::uint32_t queueLength, std::uint32_t packetSize,
                                                    std::uint8_t pipeId);

  // Copies the 512-byte frame into the ring; false when the ring is full.
  bool SendMessage(const std::uint8_t* frame);
  // Holds writing (true) or lets it go on (false).
  void Pause(bool value);
  bool Paused() const;
  // Drops every waiting frame; a frame being written is completed.
  void PurgeQueue();
  void Terminate() override;

  std::uint32_t MsgCount() const;
  // Waits until every queued frame was written (or dropped); false when
  // the time ran out.
  bool WaitEmpty(std::chrono::milliseconds timeout);
  std::uint32_t QueueLength() const { return FTxQueueLength; }

 protected:
  TMPUTransmitThread(std::shared_ptr<usb::UsbDevice> device, std::uint32_t queueLength,
                     std::uint32_t packetSize, std::uint8_t pipeId);
  void Execute() override;

 private:
  const std::uint32_t FTxQueueLength;
  const std::uint32_t FPacketSize;
  std::vector<std::uint8_t> FTxBuffer;  // FTxQueueLength slots of 512 bytes
  std::uint32_t FMsgCount = 0;
  std::uint32_t FReadIndex = 0;
  std::uint32_t FWriteIndex = 0;
  bool paused_ = false;
  std::uint64_t purges_ = 0;
  platform::AutoResetEvent FTxEvent;
  mutable std::mutex FCriticalSection;
  std::condition_variable resumed_;
  std::condition_variable advanced_;
};

}  // namespace mpu
