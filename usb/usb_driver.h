// The USB driver interface the device component uses to reach the unit:
// library version, device list, open, speed and pipe queries, write
// time-out, blocking bulk reads and writes, abort, flush and close.
//
// Backends: libusb (loaded at run time), the simulated unit, and a
// composite that lists the simulated unit after any real device.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mpu::usb {

// Control OUT (command frames), control IN (responses), data OUT (firmware
// blocks), data IN (metering and firmware blocks).
inline constexpr std::uint8_t kPipeControlOut = 0x01;
inline constexpr std::uint8_t kPipeControlIn = 0x81;
inline constexpr std::uint8_t kPipeDataOut = 0x02;
inline constexpr std::uint8_t kPipeDataIn = 0x82;

constexpr bool IsInPipe(std::uint8_t pipeId) { return (pipeId & 0x80) != 0; }

struct LibraryVersion {
  int Major = 0;
  int Minor = 0;
  int Micro = 0;
  int Nano = 0;
};

// One device the library serves. Text fields hold what the platform offers
// (empty when it offers nothing).
struct DeviceListEntry {
  int VendorId = 0;
  int ProductId = 0;
  std::string InstanceId;
  int DriverId = 0;
  std::string DeviceInterfaceGuid;
  std::string DeviceId;
  std::string ClassGuid;
  std::string Manufacturer;
  std::string Description;
  std::string Service;       // the kernel driver bound to the interface, if any
  std::string SymbolicLink;
  std::string DevicePath;    // the sysfs path
  std::string SerialNumber;
  bool Connected = false;
  int BusNumber = 0;
  int DeviceAddress = 0;

  // Which backend listed the entry and how it finds the device again; only
  // that backend interprets them.
  const void* Owner = nullptr;
  std::shared_ptr<const void> Token;
};

enum class PipeType : std::uint32_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct PipeInfo {
  PipeType Type = PipeType::Control;
  std::uint8_t PipeId = 0;  // bit 7 set for IN
  std::uint16_t MaximumPacketSize = 0;
  std::uint8_t Interval = 0;
};

// Result of a blocking transfer. ErrorCode is an errno value when Ok is
// false: ECANCELED after an abort, ENODEV when the device is gone,
// ETIMEDOUT, EOVERFLOW (the device sent more than the buffer holds), EIO,
// EACCES, EBUSY, ...
struct TransferResult {
  bool Ok = false;
  std::size_t Transferred = 0;
  std::uint32_t ErrorCode = 0;
};

// Device speed codes of QueryDeviceSpeed.
inline constexpr std::uint8_t kSpeedLow = 1;
inline constexpr std::uint8_t kSpeedFull = 2;
inline constexpr std::uint8_t kSpeedHigh = 3;

// An open device. Destroying it closes the device. ReadPipe, WritePipe,
// AbortPipe and FlushPipe may be called from different threads at once (one
// reader per IN pipe, one writer per OUT pipe); AbortPipe makes a blocked
// ReadPipe or WritePipe on that pipe return at once with ECANCELED.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;

  // 1 low, 2 full, 3 high speed (4 super); nullopt when unknown.
  virtual std::optional<std::uint8_t> QueryDeviceSpeed() = 0;
  // False when the device has no such alternate setting.
  virtual bool SetCurrentAlternateSetting(std::uint8_t altSetting) = 0;
  // Pipe `pipeIndex` of `altSetting`; nullopt after the last pipe.
  virtual std::optional<PipeInfo> QueryPipe(std::uint8_t altSetting, std::uint8_t pipeIndex) = 0;
  // Transfer time-out of writes on an OUT pipe, in milliseconds (0 = none).
  virtual bool SetPipeTransferTimeout(std::uint8_t pipeId, std::uint32_t milliseconds) = 0;

  virtual TransferResult WritePipe(std::uint8_t pipeId, std::span<const std::uint8_t> data) = 0;
  // Blocks until one packet arrives, the pipe is aborted or the device goes.
  virtual TransferResult ReadPipe(std::uint8_t pipeId, std::span<std::uint8_t> buffer) = 0;
  virtual bool AbortPipe(std::uint8_t pipeId) = 0;
  // Discards data pending on the pipe.
  virtual bool FlushPipe(std::uint8_t pipeId) = 0;

  // Human-readable explanation of the last open-related failure, if any
  // (for example missing access rights to the device node).
  virtual std::string LastProblem() const { return {}; }
};

// The library.
class UsbDriver {
 public:
  virtual ~UsbDriver() = default;

  // The library and everything it needs could be loaded.
  virtual bool Loaded() const = 0;
  virtual std::optional<LibraryVersion> GetVersion() = 0;
  // The major version the device component accepts from this library.
  virtual int ExpectedMajorVersion() const = 0;
  // The devices the library serves; nullopt when the list cannot be built.
  virtual std::optional<std::vector<DeviceListEntry>> ListDevices() = 0;
  // Opens a listed device; null on failure (LastOpenProblem says why).
  virtual std::unique_ptr<UsbDevice> Open(const DeviceListEntry& entry) = 0;
  virtual std::string LastOpenProblem() const { return {}; }
};

}  // namespace mpu::usb
