// A stand-in for libusb-1.0.so.0, built as a shared library for the tests of
// the libusb backend: it exports the libusb functions the backend looks up
// (with libusb's own declarations and structures) and serves devices the
// test describes. Transfers behave as libusb's do: submitted, completed by
// the test (data queued, unplug, cancel, time-out), and their callbacks run
// only inside libusb_handle_events_timeout_completed on a thread handling
// events.
//
// The test reaches the fake through fake_usb_control(), found with dlsym in
// the same loaded file the driver uses (dlopen of the same path returns the
// same library).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace fakeusb {

struct Endpoint {
  std::uint8_t Address = 0;
  std::uint8_t Attributes = 2;  // bulk
  std::uint16_t MaxPacketSize = 512;
  std::uint8_t Interval = 0;
};

struct AltSetting {
  std::uint8_t Number = 0;
  std::vector<Endpoint> Endpoints;
};

struct DeviceSpec {
  std::uint16_t VendorId = 0;
  std::uint16_t ProductId = 0;
  std::uint16_t BcdDevice = 0x0100;
  std::uint8_t Bus = 1;
  std::uint8_t Address = 1;
  std::vector<std::uint8_t> Ports;            // empty: a root hub
  std::string Manufacturer, Product, Serial;  // empty: no string descriptor
  int Speed = 3;                              // enum libusb_speed
  std::uint8_t InterfaceNumber = 0;
  std::vector<AltSetting> AltSettings;
  bool Configured = true;  // false: no active configuration until set
  int OpenError = 0;       // libusb error code of libusb_open
  int ClaimError = 0;      // of libusb_claim_interface
  bool KernelDriverBound = false;
  bool AutoDetachSupported = true;
};

struct Stats {
  int OpenHandles = 0;          // handles not closed
  int Contexts = 0;             // contexts not exited
  int Claimed = 0;              // interfaces claimed now
  int ClosedWhileClaimed = 0;   // libusb_close with an interface still claimed
  int ClosedWithTransfers = 0;  // libusb_close with transfers still in flight
  int FreedInFlight = 0;        // libusb_free_transfer before the callback ran
  int TransfersAlive = 0;       // allocated and not freed
  int CancelCalls = 0;
  int KernelDriverDetached = 0;  // currently detached by hand
  int KernelDriverReattached = 0;
  int SetConfigurationCalls = 0;
  int CurrentAltSetting = -1;  // of the last opened device
};

class Control {
 public:
  virtual void Reset() = 0;
  virtual void SetVersion(int major, int minor, int micro, int nano) = 0;
  virtual void SetInitError(int error) = 0;  // libusb_init fails with this
  virtual int AddDevice(const DeviceSpec& spec) = 0;
  // The device vanishes: its transfers end with LIBUSB_TRANSFER_NO_DEVICE
  // and new ones fail to submit.
  virtual void Unplug(int device) = 0;
  // A packet the device sends on an IN endpoint (completes a waiting read,
  // or the next one).
  virtual void QueueIn(int device, std::uint8_t endpoint, std::vector<std::uint8_t> packet) = 0;
  virtual std::vector<std::vector<std::uint8_t>> Written(int device, std::uint8_t endpoint) = 0;
  // OUT transfers on the endpoint stay pending (until cancelled, timed out
  // or unplugged).
  virtual void SetWritesBlock(int device, std::uint8_t endpoint, bool block) = 0;
  // Waits until `count` transfers are in flight on the endpoint.
  virtual bool WaitInFlight(int device, std::uint8_t endpoint, int count,
                            std::chrono::milliseconds timeout) = 0;
  virtual int InFlight(int device, std::uint8_t endpoint) = 0;
  virtual unsigned LastTimeout(int device, std::uint8_t endpoint) = 0;
  virtual int LastTransferType(int device, std::uint8_t endpoint) = 0;
  virtual Stats GetStats() = 0;

 protected:
  ~Control() = default;
};

using ControlFn = Control* (*)();
inline constexpr const char* kControlSymbol = "fake_usb_control";

}  // namespace fakeusb
