// The libusb backend of the USB driver interface (stands in for the Windows
// tool's libusbK). libusb is not linked: the library file is loaded at run time
// with dlopen and every function is looked up with dlsym, so that a missing
// or incomplete library is a real, reportable state ("not loaded"; the
// device component then fails every open with 0x20000001).
//
// Blocking reads and writes are asynchronous libusb transfers that the
// calling thread waits on while it handles libusb's events, so AbortPipe
// from another thread releases a blocked read at once.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "usb/usb_driver.h"

namespace mpu::usb {

// The file the driver loads unless told otherwise.
inline constexpr const char* kLibusbFileName = "libusb-1.0.so.0";
// Where Linux shows USB devices (one directory per device, named after its
// bus and port path: "1-1.4"; root hubs "usb1").
inline constexpr const char* kSysfsUsbDevices = "/sys/bus/usb/devices";
// libusb-1.0 is major version 1 (libusbK's 3 does not apply on Linux).
inline constexpr int kLibusbMajorVersion = 1;

namespace detail {
class LibusbLibrary;
}

// The udev rule that gives the logged-in user access to the unit's device
// node: its file name, where `cmake --install` puts it, and where the build
// tree holds the configured copy.
const char* UdevRuleFileName();
const char* UdevRuleInstalledPath();
const char* UdevRuleBuildPath();

class LibusbDriver final : public UsbDriver {
 public:
  // `libraryFile` is passed to dlopen as given (a bare name is searched the
  // usual way). `sysfsRoot` is where the per-device directories are read
  // (kernel driver, strings); tests point both elsewhere.
  explicit LibusbDriver(std::string libraryFile = kLibusbFileName,
                        std::string sysfsRoot = kSysfsUsbDevices);
  ~LibusbDriver() override;
  LibusbDriver(const LibusbDriver&) = delete;
  LibusbDriver& operator=(const LibusbDriver&) = delete;

  // The file could be loaded and every function the backend calls was found.
  bool Loaded() const override;
  // libusb_get_version; nullopt when not loaded.
  std::optional<LibraryVersion> GetVersion() override;
  int ExpectedMajorVersion() const override { return kLibusbMajorVersion; }

  // Every device libusb sees, in libusb's order: vendor and product id from
  // the device descriptor; InstanceId the port path ("1-1.4", as sysfs names
  // the device); DevicePath the sysfs directory; SymbolicLink the device
  // node (/dev/bus/usb/BBB/DDD); DeviceId "usb:vVVVVpPPPPdDDDD"; Service the
  // kernel driver bound to interface 0 (empty when none); Manufacturer,
  // Description (product) and SerialNumber from sysfs, else from the string
  // descriptors when the device can be opened, else empty (UTF-8); bus
  // number and device address; Connected true; DriverId 0; no GUIDs (Linux
  // has none). Nullopt when not loaded or libusb cannot build the list.
  std::optional<std::vector<DeviceListEntry>> ListDevices() override;

  // Opens a device this driver listed: finds it again by bus and address,
  // libusb_open, selects a configuration if the device has none, detaches a
  // kernel driver that holds interface 0 (re-attached at close) and claims
  // the interface. Null on failure, with LastOpenProblem saying what to do.
  std::unique_ptr<UsbDevice> Open(const DeviceListEntry& entry) override;
  std::string LastOpenProblem() const override;

  // Why the library did not load (file or symbol), or why libusb could not
  // be initialised; empty when all is well.
  std::string LoadProblem() const;
  const std::string& LibraryFile() const { return libraryFile_; }

 private:
  void SetOpenProblem(std::string text);

  std::string libraryFile_;
  std::string sysfsRoot_;
  std::shared_ptr<detail::LibusbLibrary> lib_;
  mutable std::mutex mutex_;
  std::string lastOpenProblem_;
};

}  // namespace mpu::usb
