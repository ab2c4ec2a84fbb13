// The unit's thread: one queue of what arrives (host packets, open and
// close, events on the unit), one monotonic clock for what is due (meters,
// programming, leases, the end of a reboot), one HostLink for what leaves.
#include "simulator/simulated_mpu.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "simulator/unit_logic.h"

namespace mpu::sim {

struct SimulatedMpu::Impl {
  using Action = std::function<void(Clock::time_point)>;

  // One entry of the receive queue: a host packet, or an action on the unit.
  struct Event {
    std::uint8_t Pipe = 0;
    std::vector<std::uint8_t> Packet;
    Action Do;
  };

  explicit Impl(const SimulatorConfig& c) : config(c), logic(c) {
    thread = std::thread([this] { Run(); });
  }

  ~Impl() {
    {
      std::lock_guard lock(queueMutex);
      stop = true;
    }
    queueChanged.notify_all();
    thread.join();
  }

  void Post(Action action) {
    {
      std::lock_guard lock(queueMutex);
      inbox.push_back({0, {}, std::move(action)});
    }
    queueChanged.notify_all();
  }

  bool PostPacket(std::uint8_t pipe, std::span<const std::uint8_t> packet) {
    if (!attached) return true;  // nobody listens on a pulled cable
    {
      std::lock_guard lock(queueMutex);
      if (queuedPackets >= kReceiveQueuePackets) return false;
      ++queuedPackets;
      inbox.push_back({pipe, std::vector<std::uint8_t>(packet.begin(), packet.end()), nullptr});
    }
    queueChanged.notify_all();
    return true;
  }

  // The cable, as the host sees it. Called with the link mutex free.
  void SetPlugged(bool plugged) {
    std::lock_guard lock(linkMutex);
    if (attached == plugged) return;
    attached = plugged;
    if (link) link->SetAttached(plugged);
  }

  void Run() {
    for (;;) {
      std::deque<Event> batch;
      {
        std::unique_lock lock(queueMutex);
        auto ready = [this] { return stop || !inbox.empty(); };
        if (deadline)
          queueChanged.wait_until(lock, *deadline, ready);
        else
          queueChanged.wait(lock, ready);
        if (stop) return;
        batch.swap(inbox);
        queuedPackets = 0;
      }
      const Clock::time_point now = Clock::now();
      std::lock_guard state(stateMutex);
      for (Event& e : batch) {
        if (e.Do)
          e.Do(now);
        else
          logic.Receive(e.Pipe, e.Packet, now);
        Flush(now);
      }
      if (replugAt && now >= *replugAt) {
        replugAt.reset();
        SetPlugged(true);
      }
      logic.Tick(now);
      Flush(now);
      deadline = logic.NextDeadline();
      if (replugAt && (!deadline || *replugAt < *deadline)) deadline = replugAt;
    }
  }

  // Sends what the unit produced; starts a reboot the unit asked for.
  void Flush(Clock::time_point now) {
    std::vector<OutPacket> out = logic.TakeOutput();
    if (!out.empty()) {
      std::lock_guard lock(linkMutex);
      if (link && attached)
        for (const OutPacket& p : out) link->SendToHost(p.Pipe, p.Bytes);
    }
    if (logic.TakeRebootRequest()) {
      // Off the bus while it boots: the host's pipes fail, then the unit
      // comes back with the stored configuration.
      SetPlugged(false);
      logic.Reboot();
      replugAt = now + config.RebootDelay;
    }
  }

  const SimulatorConfig config;

  // Receive queue (the only lock a producer takes).
  std::mutex queueMutex;
  std::condition_variable queueChanged;
  std::deque<Event> inbox;
  std::size_t queuedPackets = 0;
  bool stop = false;

  // The unit's state, touched by the unit's thread and by the accessors.
  mutable std::mutex stateMutex;
  UnitLogic logic;
  // Owned by the unit's thread.
  std::optional<Clock::time_point> deadline;
  std::optional<Clock::time_point> replugAt;

  // The cable. Lock order: stateMutex, then linkMutex.
  std::mutex linkMutex;
  HostLink* link = nullptr;
  std::atomic<bool> attached{true};

  std::thread thread;  // last: starts once everything above exists
};

SimulatedMpu::SimulatedMpu(SimulatorConfig config) : impl_(std::make_unique<Impl>(config)) {}

SimulatedMpu::~SimulatedMpu() = default;

void SimulatedMpu::SetHostLink(HostLink* link) {
  std::lock_guard lock(impl_->linkMutex);
  impl_->link = link;
}

void SimulatedMpu::ReceiveFromHost(std::uint8_t outPipe, std::span<const std::uint8_t> packet) {
  impl_->PostPacket(outPipe, packet);
}

bool SimulatedMpu::TryReceiveFromHost(std::uint8_t outPipe, std::span<const std::uint8_t> packet) {
  return impl_->PostPacket(outPipe, packet);
}

void SimulatedMpu::HostOpened() {
  impl_->Post([this](Clock::time_point) { impl_->logic.HostOpened(); });
}

void SimulatedMpu::HostClosed() {
  impl_->Post([this](Clock::time_point) { impl_->logic.HostClosed(); });
}

bool SimulatedMpu::Attached() const {
  return impl_->attached;
}

void SimulatedMpu::Sync() {
  std::promise<void> done;
  std::future<void> handled = done.get_future();
  impl_->Post([&done](Clock::time_point) { done.set_value(); });
  handled.wait();
}

const SimulatorConfig& SimulatedMpu::Config() const {
  return impl_->config;
}

SimulatorStatus SimulatedMpu::Status() const {
  std::lock_guard lock(impl_->stateMutex);
  SimulatorStatus s = impl_->logic.Status();
  s.Attached = impl_->attached;
  return s;
}

std::vector<std::uint8_t> SimulatedMpu::FirmwareImage(std::uint8_t firmwareId) const {
  std::lock_guard lock(impl_->stateMutex);
  return impl_->logic.FirmwareImageOf(firmwareId);
}

std::vector<std::uint8_t> SimulatedMpu::StagedImage(std::uint8_t firmwareId) const {
  std::lock_guard lock(impl_->stateMutex);
  return impl_->logic.StagedImageOf(firmwareId);
}

void SimulatedMpu::Unplug() {
  impl_->SetPlugged(false);
  impl_->Post([this](Clock::time_point) {
    impl_->replugAt.reset();  // stays out, also in the middle of a reboot
    impl_->logic.HostClosed();
  });
}

void SimulatedMpu::Replug() {
  impl_->Post([this](Clock::time_point) { impl_->replugAt.reset(); });
  impl_->SetPlugged(true);
}

void SimulatedMpu::SetHandshakeMode(HandshakeMode mode) {
  impl_->Post([this, mode](Clock::time_point) { impl_->logic.SetHandshakeMode(mode); });
}

void SimulatedMpu::SetRefuseSessions(bool refuse) {
  impl_->Post([this, refuse](Clock::time_point) { impl_->logic.SetRefuseSessions(refuse); });
}

void SimulatedMpu::FailFirmwareStep(std::uint8_t opcode, std::uint8_t subRequest,
                                    std::uint8_t errorId) {
  impl_->Post(
      [=, this](Clock::time_point) { impl_->logic.FailFirmwareStep(opcode, subRequest, errorId); });
}

void SimulatedMpu::RequestBlockRepeat() {
  impl_->Post([this](Clock::time_point) { impl_->logic.RequestBlockRepeat(); });
}

void SimulatedMpu::PressMcsKey(std::uint8_t keyId, bool pressed) {
  impl_->Post([=, this](Clock::time_point) { impl_->logic.PressMcsKey(keyId, pressed); });
}

void SimulatedMpu::StepEncoder(std::uint8_t encoderId, bool clockwise) {
  impl_->Post([=, this](Clock::time_point) { impl_->logic.StepEncoder(encoderId, clockwise); });
}

void SimulatedMpu::PressStripEditKey(std::uint8_t stripId, bool down) {
  impl_->Post([=, this](Clock::time_point) { impl_->logic.PressStripEditKey(stripId, down); });
}

void SimulatedMpu::MoveVirtualFader(std::uint16_t sourceId, std::int16_t gainDb) {
  impl_->Post([=, this](Clock::time_point) { impl_->logic.MoveVirtualFader(sourceId, gainDb); });
}

void SimulatedMpu::RequestPresetEdit(std::uint8_t item) {
  impl_->Post([=, this](Clock::time_point) { impl_->logic.RequestPresetEdit(item); });
}

void SimulatedMpu::SetMeteringEnabled(bool enabled) {
  impl_->Post([=, this](Clock::time_point now) { impl_->logic.SetMeteringEnabled(enabled, now); });
}

}  // namespace mpu::sim
