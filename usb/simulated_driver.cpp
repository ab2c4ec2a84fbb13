#include "usb/simulated_driver.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <vector>

#include "protocol/mixer_types.h"

namespace mpu::usb {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Pipes of alternate setting 0, in the order QueryPipe gives them.
constexpr std::array<std::uint8_t, 4> kPipes = {kPipeControlOut, kPipeControlIn, kPipeDataOut,
                                                kPipeDataIn};

int PipeIndex(std::uint8_t pipeId) {
  const auto it = std::find(kPipes.begin(), kPipes.end(), pipeId);
  return it == kPipes.end() ? -1 : static_cast<int>(it - kPipes.begin());
}

// What an entry of the device list remembers: which plug-in it saw.
struct EntryToken {
  std::uint64_t Generation = 0;
};

// The four pipes of one open device.
class Pipes {
 public:
  // A packet from the unit; false when it was dropped.
  bool Push(std::uint8_t pipeId, std::vector<std::uint8_t> packet) {
    {
      std::lock_guard lock(mutex_);
      if (dead_) return false;
      if (pipeId == kPipeControlIn) {
        if (control_.size() >= SimulatedDriver::kControlQueuePackets) return false;
        control_.push_back(std::move(packet));
      } else {
        if (data_.size() >= SimulatedDriver::kDataQueuePackets && !DropOldestMetering() &&
            (IsMetering(packet) || data_.size() >= 2 * SimulatedDriver::kDataQueuePackets))
          return true;  // meters the host did not keep up with
        data_.push_back(std::move(packet));
      }
    }
    changed_.notify_all();
    return true;
  }

  TransferResult Read(std::uint8_t pipeId, std::span<std::uint8_t> buffer) {
    const int index = PipeIndex(pipeId);
    std::deque<std::vector<std::uint8_t>>& queue = pipeId == kPipeControlIn ? control_ : data_;
    std::unique_lock lock(mutex_);
    const std::uint64_t aborts = aborts_[static_cast<std::size_t>(index)];
    changed_.wait(lock, [&] {
      return dead_ || aborts_[static_cast<std::size_t>(index)] != aborts || !queue.empty();
    });
    if (dead_) return {false, 0, ENODEV};
    if (aborts_[static_cast<std::size_t>(index)] != aborts) return {false, 0, ECANCELED};
    const std::vector<std::uint8_t> packet = std::move(queue.front());
    queue.pop_front();
    const std::size_t n = std::min(packet.size(), buffer.size());
    std::copy_n(packet.begin(), n, buffer.begin());
    if (packet.size() > buffer.size()) return {false, n, EOVERFLOW};
    return {true, n, 0};
  }

  // Waits a little for an abort or the end of the device (writes waiting
  // for room in the unit's queue). True when the write must stop.
  bool WaitWhileFull(int index, std::uint64_t aborts) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(1), [&] {
      return dead_ || aborts_[static_cast<std::size_t>(index)] != aborts;
    });
  }

  void Abort(int index) {
    {
      std::lock_guard lock(mutex_);
      ++aborts_[static_cast<std::size_t>(index)];
    }
    changed_.notify_all();
  }

  std::uint64_t Aborts(int index) const {
    std::lock_guard lock(mutex_);
    return aborts_[static_cast<std::size_t>(index)];
  }

  void Kill() {
    {
      std::lock_guard lock(mutex_);
      dead_ = true;
      control_.clear();
      data_.clear();
    }
    changed_.notify_all();
  }

  bool Dead() const {
    std::lock_guard lock(mutex_);
    return dead_;
  }

  void SetTimeout(int index, std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    timeouts_[static_cast<std::size_t>(index)] = ms;
  }

  std::uint32_t Timeout(int index) const {
    std::lock_guard lock(mutex_);
    return timeouts_[static_cast<std::size_t>(index)];
  }

 private:
  static bool IsMetering(const std::vector<std::uint8_t>& p) {
    return !p.empty() && p[0] == MPU_PKT_METERING;
  }

  bool DropOldestMetering() {
    const auto it = std::find_if(data_.begin(), data_.end(), IsMetering);
    if (it == data_.end()) return false;
    data_.erase(it);
    return true;
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<std::uint8_t>> control_;
  std::deque<std::vector<std::uint8_t>> data_;
  std::array<std::uint64_t, kPipes.size()> aborts_{};
  std::array<std::uint32_t, kPipes.size()> timeouts_{};
  bool dead_ = false;
};

}  // namespace

// The cable between the unit and the host: the unit's HostLink, and the
// pipes of the device that is open on it.
class SimulatedDriver::Cable final : public sim::HostLink {
 public:
  explicit Cable(std::shared_ptr<sim::SimulatedMpu> unit) : unit_(std::move(unit)) {}

  void SendToHost(std::uint8_t inPipe, std::span<const std::uint8_t> packet) override {
    std::lock_guard lock(mutex_);
    if (!open_ || (inPipe != kPipeControlIn && inPipe != kPipeDataIn)) return;
    // A transfer longer than the maximum packet arrives as several packets.
    std::size_t offset = 0;
    do {
      const std::size_t n = std::min<std::size_t>(kMaxPacketSize, packet.size() - offset);
      const auto part = packet.subspan(offset, n);
      if (!open_->Push(inPipe, std::vector<std::uint8_t>(part.begin(), part.end())) &&
          inPipe == kPipeControlIn)
        ++lostControl_;
      offset += n;
    } while (offset < packet.size());
  }

  void SetAttached(bool attached) override {
    std::lock_guard lock(mutex_);
    if (!attached) {
      // The device is gone; whatever is open on it stays dead.
      if (open_) open_->Kill();
      open_.reset();
    } else {
      ++generation_;  // plugged in again: enumerated anew
    }
  }

  // Opens the unit for the entry listed at plug-in `generation`.
  std::shared_ptr<Pipes> Open(std::uint64_t generation, std::string& problem) {
    std::lock_guard lock(mutex_);
    if (!unit_->Attached() || generation != generation_) {
      problem =
          "The simulated MPU is no longer connected (it was unplugged); list the devices again.";
      return nullptr;
    }
    if (open_) {
      problem = "The simulated MPU is already open.";
      return nullptr;
    }
    open_ = std::make_shared<Pipes>();
    unit_->HostOpened();  // under the lock, so it is ordered with a close
    return open_;
  }

  // The device on `pipes` was closed.
  void Close(const std::shared_ptr<Pipes>& pipes) {
    std::lock_guard lock(mutex_);
    pipes->Kill();
    if (open_ != pipes) return;  // unplugged before: the unit knows
    open_.reset();
    unit_->HostClosed();
  }

  // The driver goes away: the open device dies with it.
  void Detach() {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    open_->Kill();
    open_.reset();
    unit_->HostClosed();
  }

  std::uint64_t Generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
  }

  std::uint64_t LostControl() const {
    std::lock_guard lock(mutex_);
    return lostControl_;
  }

  const std::shared_ptr<sim::SimulatedMpu>& Unit() const { return unit_; }

 private:
  const std::shared_ptr<sim::SimulatedMpu> unit_;
  mutable std::mutex mutex_;
  std::shared_ptr<Pipes> open_;
  std::uint64_t generation_ = 1;
  std::uint64_t lostControl_ = 0;
};

namespace {

class SimulatedDevice final : public UsbDevice {
 public:
  SimulatedDevice(std::shared_ptr<SimulatedDriver::Cable> cable, std::shared_ptr<Pipes> pipes)
      : cable_(std::move(cable)), pipes_(std::move(pipes)) {}

  ~SimulatedDevice() override { cable_->Close(pipes_); }

  std::optional<std::uint8_t> QueryDeviceSpeed() override { return kSpeedHigh; }

  bool SetCurrentAlternateSetting(std::uint8_t altSetting) override { return altSetting == 0; }

  std::optional<PipeInfo> QueryPipe(std::uint8_t altSetting, std::uint8_t pipeIndex) override {
    if (altSetting != 0 || pipeIndex >= kPipes.size()) return std::nullopt;
    return PipeInfo{PipeType::Bulk, kPipes[pipeIndex], SimulatedDriver::kMaxPacketSize, 0};
  }

  bool SetPipeTransferTimeout(std::uint8_t pipeId, std::uint32_t milliseconds) override {
    const int index = PipeIndex(pipeId);
    if (index < 0) return false;
    pipes_->SetTimeout(index, milliseconds);
    return true;
  }

  TransferResult WritePipe(std::uint8_t pipeId, std::span<const std::uint8_t> data) override {
    const int index = PipeIndex(pipeId);
    if (index < 0 || IsInPipe(pipeId)) return {false, 0, EINVAL};
    if (pipes_->Dead()) return {false, 0, ENODEV};
    const std::uint64_t aborts = pipes_->Aborts(index);
    const std::uint32_t timeoutMs = pipes_->Timeout(index);
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    sim::SimulatedMpu& unit = *cable_->Unit();
    std::size_t sent = 0;
    while (sent < data.size()) {
      if (pipes_->Dead()) return {false, sent, ENODEV};
      const auto part = data.subspan(
          sent, std::min<std::size_t>(SimulatedDriver::kMaxPacketSize, data.size() - sent));
      // The unit takes the packet, or its queue is full and the host waits.
      // A packet it took counts as written, even if the unit goes away (a
      // reboot it asked for) right after.
      while (!unit.TryReceiveFromHost(pipeId, part)) {
        if (pipes_->WaitWhileFull(index, aborts))
          return {false, sent, static_cast<std::uint32_t>(pipes_->Dead() ? ENODEV : ECANCELED)};
        if (timeoutMs != 0 && SteadyClock::now() >= deadline) return {false, sent, ETIMEDOUT};
      }
      sent += part.size();
    }
    return {true, sent, 0};
  }

  TransferResult ReadPipe(std::uint8_t pipeId, std::span<std::uint8_t> buffer) override {
    if (PipeIndex(pipeId) < 0 || !IsInPipe(pipeId)) return {false, 0, EINVAL};
    return pipes_->Read(pipeId, buffer);
  }

  bool AbortPipe(std::uint8_t pipeId) override {
    const int index = PipeIndex(pipeId);
    if (index < 0) return false;
    pipes_->Abort(index);
    return true;
  }

  bool FlushPipe(std::uint8_t pipeId) override { return PipeIndex(pipeId) >= 0; }

 private:
  std::shared_ptr<SimulatedDriver::Cable> cable_;
  std::shared_ptr<Pipes> pipes_;
};

std::string Hex4(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value) & 0xFFFFu);
  return text;
}

}  // namespace

SimulatedDriver::SimulatedDriver(std::shared_ptr<sim::SimulatedMpu> unit, int vendorId,
                                 int productId)
    : unit_(std::move(unit)),
      cable_(std::make_shared<Cable>(unit_)),
      vendorId_(vendorId),
      productId_(productId) {
  unit_->SetHostLink(cable_.get());
}

SimulatedDriver::~SimulatedDriver() {
  unit_->SetHostLink(nullptr);  // after this the unit no longer calls the cable
  cable_->Detach();
}

std::optional<LibraryVersion> SimulatedDriver::GetVersion() {
  return LibraryVersion{1, 0, 0, 0};
}

std::optional<std::vector<DeviceListEntry>> SimulatedDriver::ListDevices() {
  std::vector<DeviceListEntry> list;
  if (!unit_->Attached()) return list;  // unplugged: the device vanished
  const std::uint64_t generation = cable_->Generation();
  DeviceListEntry e;
  e.VendorId = vendorId_;
  e.ProductId = productId_;
  e.SerialNumber = "MPU-SIM-0001";
  e.InstanceId = "sim-1-1";
  e.DeviceId = "USB\\VID_" + Hex4(vendorId_) + "&PID_" + Hex4(productId_) + "\\" + e.SerialNumber;
  e.Manufacturer = "Aldrane";
  e.Description = "Simulated MPU";
  e.Service = "simulator";
  e.DevicePath = "/sys/devices/simulated/usb1/1-1";
  e.Connected = true;
  e.BusNumber = 1;
  // Every plug-in enumerates the unit at a new address.
  e.DeviceAddress = static_cast<int>(2 + (generation - 1) % 126);
  e.Owner = static_cast<const UsbDriver*>(this);
  e.Token = std::make_shared<const EntryToken>(EntryToken{generation});
  list.push_back(std::move(e));
  return list;
}

std::unique_ptr<UsbDevice> SimulatedDriver::Open(const DeviceListEntry& entry) {
  if (entry.Owner != static_cast<const UsbDriver*>(this) || !entry.Token) {
    SetOpenProblem("This device was not listed by the simulated MPU's driver.");
    return nullptr;
  }
  const auto* token = static_cast<const EntryToken*>(entry.Token.get());
  std::string problem;
  std::shared_ptr<Pipes> pipes = cable_->Open(token->Generation, problem);
  SetOpenProblem(problem);
  if (!pipes) return nullptr;
  return std::make_unique<SimulatedDevice>(cable_, std::move(pipes));
}

std::string SimulatedDriver::LastOpenProblem() const {
  std::lock_guard lock(mutex_);
  return lastOpenProblem_;
}

void SimulatedDriver::SetOpenProblem(std::string text) {
  std::lock_guard lock(mutex_);
  lastOpenProblem_ = std::move(text);
}

std::uint64_t SimulatedDriver::LostControlPackets() const {
  return cable_->LostControl();
}

}  // namespace mpu::usb
