// What the device component shares with its reader threads: the buffers
// the readers fill and the notification queue they post to. The readers
// hold it by shared pointer, so nothing they touch goes away under them.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "device/mpu_types.h"
#include "device/pipe_threads.h"
#include "platform/notify_window.h"
#include "protocol/data_packets.h"
#include "protocol/frames.h"

namespace mpu {

struct PipeLink {
  std::shared_ptr<platform::NotifyQueue> Queue;
  std::atomic<std::uint32_t> ControlPacketSize{128};
  std::atomic<std::uint32_t> DataPacketSize{320};

  // Control reader thread: the frame it just read (one in flight), then
  // WM_MPU_CONTROL_MSG.
  void ControlPacketReceived(TMPUReceiveThread& reader) {
    const std::size_t n = std::min<std::size_t>(reader.BytesReceived(), controlRx_.size());
    std::copy_n(reader.RxBuffer(), n, controlRx_.begin());
    controlRxSize_ = n;
    if (Queue) Queue->Post(WM_MPU_CONTROL_MSG, 0);
  }

  // Control reader thread: the pipe failed; wait until the owner handled it.
  void ControlPipeError(TMPUReceiveThread& reader) {
    if (Queue) Queue->Send(WM_MPU_RX_ERROR, reader.LastError());
  }

  // Data reader thread: a metering block or a firmware block.
  void DataPacketReceived(TMPUReceiveThread& reader) {
    const wire::Bytes packet(reader.RxBuffer(), reader.BytesReceived());
    const auto type = DataPacketType(packet);
    if (type == MPU_PKT_METERING) {
      const auto view = DecodeMeteringPacket(packet);
      if (!view) return;
      // The store holds 256 meters; a longer block is cut there.
      const std::size_t n = std::min<std::size_t>(view->Block.size(), kMeteringStoreSize);
      {
        std::lock_guard lock(meterMutex_);
        std::copy_n(view->Block.begin(), n, meterLatest_.begin());
        meterCount_ = n;
      }
      reader.DataProcessed();
      if (Queue) Queue->Post(WM_MPU_METERING, n, /*coalesce=*/true);
    } else if (type == MPU_PKT_FIRMWARE_DATA) {
      {
        std::lock_guard lock(xferMutex_);
        const std::size_t n = std::min<std::size_t>(packet.size(), xfer_.size());
        xfer_.fill(0);
        std::copy_n(packet.begin(), n, xfer_.begin());
      }
      if (Queue) Queue->Post(WM_MPU_DATA_XFER, 0, /*coalesce=*/true);
    }
  }

  // UI thread: the frame posted last, as a response frame.
  TMPUResponseMsg TakeControlFrame() const {
    return TMPUResponseMsg::FromPacket(wire::Bytes(controlRx_.data(), controlRxSize_)).value_or(TMPUResponseMsg{});
  }

  // UI thread: copies the latest metering block into `store`; returns its length.
  std::size_t CopyMetering(std::array<std::int8_t, 256>& store) {
    std::lock_guard lock(meterMutex_);
    std::copy_n(meterLatest_.begin(), meterCount_, store.begin());
    return meterCount_;
  }

  // UI thread: copies the latest firmware data packet.
  void CopyDataXfer(std::array<std::uint8_t, 512>& out) {
    std::lock_guard lock(xferMutex_);
    out = xfer_;
  }

 private:
  std::array<std::uint8_t, kMaxPipePacketSize> controlRx_{};
  std::size_t controlRxSize_ = 0;
  std::mutex meterMutex_;
  std::array<std::int8_t, kMeteringStoreSize> meterLatest_{};
  std::size_t meterCount_ = 0;
  std::mutex xferMutex_;
  std::array<std::uint8_t, 512> xfer_{};
};

}  // namespace mpu
