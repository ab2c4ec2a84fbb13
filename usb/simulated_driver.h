// The USB driver of the simulated MPU: it lists one unit (while its cable
// is in) and opens it with four bulk pipes that behave like the real ones.
//
// IN pipes (0x81 control, 0x82 data) hold what the unit sent in bounded
// queues: a read blocks until a packet is there, returns one packet per
// call (a shorter one short; one larger than the buffer fails with
// EOVERFLOW and is lost, as a babbling bulk transfer is), AbortPipe releases
// a blocked read with ECANCELED. Metering packets on 0x82 are dropped oldest
// first when the host does not keep up; firmware blocks and control packets
// are kept (a control queue that overflows loses the newest packet and
// counts it). OUT pipes (0x01, 0x02) hand each written packet to the unit;
// a write waits while the unit's receive queue is full, up to the pipe's
// transfer time-out (ETIMEDOUT). A transfer longer than the pipes' 512-byte
// maximum packet travels as several packets.
//
// When the cable is pulled every blocked and later transfer of the open
// device fails with ENODEV, and that device stays dead: after the unit is
// plugged back in it is listed again (at a new address) and must be opened
// anew. Entries listed before a pull do not open after it.
//
// FlushPipe discards nothing: the queues stand for what the unit has not
// yet delivered, which a host-side flush does not reach (as with libusb,
// which reads nothing ahead).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "simulator/simulated_mpu.h"
#include "usb/usb_driver.h"

#ifndef MPU_USB_VENDOR_ID
#error "MPU_USB_VENDOR_ID is defined by the mpu_usb target"
#endif
#ifndef MPU_USB_PRODUCT_ID
#error "MPU_USB_PRODUCT_ID is defined by the mpu_usb target"
#endif

namespace mpu::usb {

class SimulatedDriver final : public UsbDriver {
 public:
  static constexpr std::uint16_t kMaxPacketSize = 512;
  static constexpr std::size_t kControlQueuePackets = 1024;
  static constexpr std::size_t kDataQueuePackets = 64;

  explicit SimulatedDriver(std::shared_ptr<sim::SimulatedMpu> unit,
                           int vendorId = MPU_USB_VENDOR_ID, int productId = MPU_USB_PRODUCT_ID);
  ~SimulatedDriver() override;
  SimulatedDriver(const SimulatedDriver&) = delete;
  SimulatedDriver& operator=(const SimulatedDriver&) = delete;

  bool Loaded() const override { return true; }
  // Version 1.0.0.0; the major version is the one expected, as for libusb.
  std::optional<LibraryVersion> GetVersion() override;
  int ExpectedMajorVersion() const override { return 1; }
  std::optional<std::vector<DeviceListEntry>> ListDevices() override;
  std::unique_ptr<UsbDevice> Open(const DeviceListEntry& entry) override;
  std::string LastOpenProblem() const override;

  const std::shared_ptr<sim::SimulatedMpu>& Unit() const { return unit_; }
  // Control packets lost because the host did not read them (for tests).
  std::uint64_t LostControlPackets() const;

  class Cable;  // the unit's HostLink; shared with the open device

 private:
  void SetOpenProblem(std::string text);

  std::shared_ptr<sim::SimulatedMpu> unit_;
  std::shared_ptr<Cable> cable_;
  const int vendorId_;
  const int productId_;
  mutable std::mutex mutex_;
  std::string lastOpenProblem_;
};

}  // namespace mpu::usb
