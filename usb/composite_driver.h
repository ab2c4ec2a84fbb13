// A driver made of an optional real driver (libusb) and an optional second
// one (the simulated unit): it lists the real driver's devices first, then
// the simulated ones, and opens each entry with the driver that listed it.
// This is how the simulated MPU appears after any real device.
#pragma once

#include <memory>
#include <mutex>

#include "usb/usb_driver.h"

namespace mpu::usb {

class CompositeDriver final : public UsbDriver {
 public:
  // Either may be null.
  CompositeDriver(std::shared_ptr<UsbDriver> real, std::shared_ptr<UsbDriver> simulated);

  // The real driver is loaded, or the simulated one is (so a machine without
  // libusb can still reach the simulated unit).
  bool Loaded() const override;
  // From the real driver when it is loaded, else from the simulated one.
  std::optional<LibraryVersion> GetVersion() override;
  int ExpectedMajorVersion() const override;
  // The real driver's entries, then the simulated driver's. A driver that
  // is not loaded or cannot list contributes nothing; nullopt only when no
  // driver could list.
  std::optional<std::vector<DeviceListEntry>> ListDevices() override;
  // Routed by DeviceListEntry::Owner. An entry whose owner is neither
  // driver (for example one listed by a driver nested in one of them) is
  // offered to the real driver, then to the simulated one.
  std::unique_ptr<UsbDevice> Open(const DeviceListEntry& entry) override;
  // The problem the driver that handled the last Open reported.
  std::string LastOpenProblem() const override;

  const std::shared_ptr<UsbDriver>& Real() const { return real_; }
  const std::shared_ptr<UsbDriver>& Simulated() const { return simulated_; }

 private:
  // The driver whose version applies: the real one when loaded, else the
  // simulated one when loaded, else the real one, else the simulated one.
  UsbDriver* VersionSource() const;
  void SetOpenProblem(std::string text);

  std::shared_ptr<UsbDriver> real_;
  std::shared_ptr<UsbDriver> simulated_;
  mutable std::mutex mutex_;
  std::string lastOpenProblem_;
};

// Whether `entry` was listed by `driver` (Owner is the driver's address,
// as UsbDriver* or as its most derived object).
bool IsOwnedBy(const DeviceListEntry& entry, const UsbDriver* driver);

}  // namespace mpu::usb
