// A scripted USB driver for the failure cases the simulated unit cannot
// produce: a library that does not load, another major version, a device
// listed but not connected, short packets, writes that block. Tests push
// the unit's IN packets and read back what the host wrote.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "usb/usb_driver.h"

namespace mpu::test {

using Packet = std::vector<std::uint8_t>;

// Everything the fake device shares with the test.
struct FakeUnit {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::uint8_t, std::deque<Packet>> in;        // IN pipe -> packets the unit sends
  std::map<std::uint8_t, std::vector<Packet>> written;  // OUT pipe -> packets the host wrote
  std::map<std::uint8_t, std::vector<Packet>> failed;   // OUT pipe -> writes that failed (unit gone)
  std::map<std::uint8_t, std::uint64_t> aborts;         // pipe -> abort count
  std::map<std::uint8_t, std::uint32_t> timeouts;       // pipe -> write time-out
  bool gone = false;           // unplugged: every transfer fails with ENODEV
  bool blockWrites = false;    // writes wait until released or aborted
  int writesInProgress = 0;
  std::atomic<int> opens{0};
  std::atomic<int> closes{0};
  bool failTimeoutPolicy = false;
  std::optional<std::uint8_t> speed = 3;

  void Push(std::uint8_t pipe, Packet p) {
    {
      std::lock_guard lock(mutex);
      in[pipe].push_back(std::move(p));
    }
    changed.notify_all();
  }
  void Unplug() {
    {
      std::lock_guard lock(mutex);
      gone = true;
    }
    changed.notify_all();
  }
  void SetBlockWrites(bool block) {
    {
      std::lock_guard lock(mutex);
      blockWrites = block;
    }
    changed.notify_all();
  }
  std::vector<Packet> Written(std::uint8_t pipe) {
    std::lock_guard lock(mutex);
    return written[pipe];
  }
  std::vector<Packet> Failed(std::uint8_t pipe) {
    std::lock_guard lock(mutex);
    return failed[pipe];
  }
  std::size_t WrittenCount(std::uint8_t pipe) {
    std::lock_guard lock(mutex);
    return written[pipe].size();
  }
  // Waits (bounded, on the calling thread) until `n` packets were written.
  bool WaitWritten(std::uint8_t pipe, std::size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return written[pipe].size() >= n; });
  }
  bool WaitWriteInProgress(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] { return writesInProgress > 0; });
  }
};

class FakeDevice : public usb::UsbDevice {
 public:
  explicit FakeDevice(std::shared_ptr<FakeUnit> unit) : unit_(std::move(unit)) {
    std::lock_guard lock(unit_->mutex);
    ++unit_->opens;
  }
  ~FakeDevice() override {
    std::lock_guard lock(unit_->mutex);
    ++unit_->closes;
  }

  std::optional<std::uint8_t> QueryDeviceSpeed() override { return unit_->speed; }
  bool SetCurrentAlternateSetting(std::uint8_t alt) override { return alt == 0; }
  std::optional<usb::PipeInfo> QueryPipe(std::uint8_t alt, std::uint8_t index) override {
    static const std::uint8_t kPipes[] = {0x01, 0x81, 0x02, 0x82};
    if (alt != 0 || index >= 4) return std::nullopt;
    return usb::PipeInfo{usb::PipeType::Bulk, kPipes[index], 512, 0};
  }
  bool SetPipeTransferTimeout(std::uint8_t pipe, std::uint32_t ms) override {
    std::lock_guard lock(unit_->mutex);
    if (unit_->failTimeoutPolicy) return false;
    unit_->timeouts[pipe] = ms;
    return true;
  }

  usb::TransferResult WritePipe(std::uint8_t pipe, std::span<const std::uint8_t> data) override {
    std::unique_lock lock(unit_->mutex);
    if (unit_->gone) {
      unit_->failed[pipe].emplace_back(data.begin(), data.end());
      return {false, 0, ENODEV};
    }
    const std::uint64_t abortsBefore = unit_->aborts[pipe];
    ++unit_->writesInProgress;
    unit_->changed.notify_all();
    unit_->changed.wait(lock, [&] { return !unit_->blockWrites || unit_->gone || unit_->aborts[pipe] != abortsBefore; });
    --unit_->writesInProgress;
    if (unit_->aborts[pipe] != abortsBefore) return {false, 0, ECANCELED};
    if (unit_->gone) return {false, 0, ENODEV};
    unit_->written[pipe].emplace_back(data.begin(), data.end());
    unit_->changed.notify_all();
    return {true, data.size(), 0};
  }

  usb::TransferResult ReadPipe(std::uint8_t pipe, std::span<std::uint8_t> buffer) override {
    std::unique_lock lock(unit_->mutex);
    const std::uint64_t abortsBefore = unit_->aborts[pipe];
    unit_->changed.wait(lock, [&] {
      return unit_->gone || unit_->aborts[pipe] != abortsBefore || !unit_->in[pipe].empty();
    });
    if (unit_->aborts[pipe] != abortsBefore) return {false, 0, ECANCELED};
    if (unit_->gone) return {false, 0, ENODEV};
    Packet p = std::move(unit_->in[pipe].front());
    unit_->in[pipe].pop_front();
    if (p.size() > buffer.size()) return {false, 0, EOVERFLOW};
    std::copy(p.begin(), p.end(), buffer.begin());
    return {true, p.size(), 0};
  }

  bool AbortPipe(std::uint8_t pipe) override {
    {
      std::lock_guard lock(unit_->mutex);
      ++unit_->aborts[pipe];
    }
    unit_->changed.notify_all();
    return true;
  }
  bool FlushPipe(std::uint8_t) override { return true; }

 private:
  std::shared_ptr<FakeUnit> unit_;
};

class FakeDriver : public usb::UsbDriver {
 public:
  FakeDriver() : unit(std::make_shared<FakeUnit>()) {
    usb::DeviceListEntry e;
    e.VendorId = 0x1209;
    e.ProductId = 0x2002;
    e.InstanceId = "1-2";
    e.DriverId = 0;
    e.DeviceInterfaceGuid = "{iface}";
    e.DeviceId = "USB\\VID_1209&PID_2002";
    e.ClassGuid = "{class}";
    e.Manufacturer = "Maker";
    e.Description = "MPU";
    e.Service = "usbfs";
    e.SymbolicLink = "/dev/bus/usb/001/005";
    e.DevicePath = "/sys/bus/usb/devices/1-2";
    e.SerialNumber = "SN42";
    e.Connected = true;
    e.BusNumber = 1;
    e.DeviceAddress = 5;
    entries = std::vector<usb::DeviceListEntry>{e};
  }

  bool Loaded() const override { return loaded; }
  std::optional<usb::LibraryVersion> GetVersion() override { return version; }
  int ExpectedMajorVersion() const override { return 1; }
  std::optional<std::vector<usb::DeviceListEntry>> ListDevices() override {
    ++listCalls;
    if (unit->gone && entries) return std::vector<usb::DeviceListEntry>{};
    return entries;
  }
  std::unique_ptr<usb::UsbDevice> Open(const usb::DeviceListEntry&) override {
    if (openFails) return nullptr;
    return std::make_unique<FakeDevice>(unit);
  }
  std::string LastOpenProblem() const override { return openFails ? "no access to the device" : ""; }

  // Plug a fresh unit back in (a new cable, a new device state).
  void Replug() { unit = std::make_shared<FakeUnit>(); }

  std::shared_ptr<FakeUnit> unit;
  bool loaded = true;
  std::optional<usb::LibraryVersion> version = usb::LibraryVersion{1, 0, 26, 0};
  std::optional<std::vector<usb::DeviceListEntry>> entries;
  bool openFails = false;
  int listCalls = 0;
};

}  // namespace mpu::test
