// The simulated MPU: a whole unit behind its USB port, with its own thread
// and its own state. It sees only packets: what the host writes on the OUT
// pipes, and what it sends back on the IN pipes through a HostLink.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace mpu::sim {

struct SimulatorConfig {
  // The packet sizes announced in the handshake: page size x page counts.
  std::uint8_t PacketPageSize = 64;
  std::uint8_t ControlPages = 2;  // 128 bytes
  std::uint8_t DataPages = 5;     // 320 bytes
  std::uint8_t AuxPages = 2;      // 128 bytes
  // Metering packets while the host is attached; zero turns metering off.
  std::chrono::milliseconds MeteringInterval{40};
  // Seed of the small random movements (meters, health readings).
  std::uint32_t Seed = 1;

  // How long the unit is away from the bus when it reboots (after the
  // default configuration was loaded or a console list was written).
  std::chrono::milliseconds RebootDelay{500};
  // The most blocks a firmware download target accepts (the size of the
  // staging buffer in blocks of data packet size - 64 bytes: 512 x 256 bytes
  // = 128 KiB with the default packet sizes). An image needing more blocks
  // is refused by the host with error 136. The staging buffer never exceeds
  // 4 MiB, whatever the limit says.
  std::uint32_t MaxDownloadBlocks = 512;
  // Pace of programming: the flash erase, then each programmed block.
  // Zero sends the answers at once.
  std::chrono::milliseconds ProgramEraseTime{200};
  std::chrono::milliseconds ProgramBlockTime{2};
  // A mass update that is not renewed within this time ends by itself (the
  // unit reports Active 0). Zero: it never expires.
  std::chrono::milliseconds MassUpdateLease{5000};
  // A session that is neither renewed nor ended within this time is dropped
  // (a host that vanished without ending it does not lock the unit). Zero:
  // sessions never expire.
  std::chrono::milliseconds SessionLease{60000};
  // Version of the host main firmware (id 1) the unit reports; a host
  // accepts 1.40 up to, not including, 2.00.
  std::uint8_t HostFirmwareMajor = 1;
  std::uint8_t HostFirmwareMinor = 42;
};

// The unit's view of the cable: where its IN packets go.
class HostLink {
 public:
  virtual ~HostLink() = default;
  // One packet on IN pipe 0x81 (control) or 0x82 (data). Called on the
  // unit's thread; must not block for long.
  virtual void SendToHost(std::uint8_t inPipe, std::span<const std::uint8_t> packet) = 0;
  // The cable was pulled (false) or plugged back (true).
  virtual void SetAttached(bool attached) = 0;
};

enum class HandshakeMode { Normal, BadSignature, Silent };

// A consistent picture of the unit's inner state, for tests and panels.
struct SimulatorStatus {
  bool Attached = false;
  bool HostOpen = false;              // a host has the device open
  bool HandshakeDone = false;         // the firmware-information answer was sent
  bool HostReady = false;             // MPU_OP_HOST_READY arrived since the open
  std::size_t ControlPacketSize = 0;  // bytes the unit reads and writes now
  std::size_t DataPacketSize = 0;
  bool SessionActive = false;
  std::int64_t SessionKey = 0;
  bool MassUpdateActive = false;
  bool MassUpdateSilent = false;
  bool WriteUnlocked = false;
  bool MeteringEnabled = true;
  bool Programming = false;  // a programming run is in progress
  std::uint16_t ConfigVersion = 0;
  std::uint8_t ClockSource = 0;
  std::uint16_t AudioBoardClockSpeed = 0;
  std::array<std::uint8_t, 11> TallyModes{};   // MCS tally lamps 0..10
  std::array<std::uint8_t, 3> RailSwitches{};  // power supplies 0..2, bit n = rail n on
  std::uint64_t PacketsReceived = 0;           // every packet the host wrote while attached
  std::uint64_t PacketsIgnored = 0;            // of another size, unknown or malformed
  std::uint64_t ReportsSuppressed = 0;         // change reports held back by a silent mass update
  std::uint64_t Reboots = 0;
  std::uint64_t MeteringPacketsSent = 0;
};

class SimulatedMpu {
 public:
  explicit SimulatedMpu(SimulatorConfig config = {});
  ~SimulatedMpu();
  SimulatedMpu(const SimulatedMpu&) = delete;
  SimulatedMpu& operator=(const SimulatedMpu&) = delete;

  // Where the unit sends; set before the host opens the device. May be null.
  // After the call returns the previous link is no longer called. One link
  // (one driver) per unit.
  void SetHostLink(HostLink* link);

  // One packet the host wrote on OUT pipe 0x01 or 0x02. Thread-safe; the
  // packet is copied and handled on the unit's thread. The unit's receive
  // queue holds kReceiveQueuePackets packets; a packet arriving while it is
  // full is lost (TryReceiveFromHost tells).
  void ReceiveFromHost(std::uint8_t outPipe, std::span<const std::uint8_t> packet);
  // As ReceiveFromHost; false, and nothing queued, while the queue is full.
  bool TryReceiveFromHost(std::uint8_t outPipe, std::span<const std::uint8_t> packet);
  static constexpr std::size_t kReceiveQueuePackets = 4096;

  // The host opened or closed the device: a new handshake is expected after
  // an open.
  void HostOpened();
  void HostClosed();

  // The cable is in.
  bool Attached() const;

  // Blocks until everything queued so far has been handled (for tests).
  // Never call it from a HostLink callback (the unit's own thread).
  void Sync();

  const SimulatorConfig& Config() const;
  // The state as it is after everything handled so far (call Sync first to
  // include what was just sent).
  SimulatorStatus Status() const;
  // The image programmed in flash for a firmware id, or the staging buffer's
  // content (empty when it holds nothing valid for that id).
  std::vector<std::uint8_t> FirmwareImage(std::uint8_t firmwareId) const;
  std::vector<std::uint8_t> StagedImage(std::uint8_t firmwareId) const;

  // ----- acting as the unit does when things happen on it (thread-safe) -----
  void Unplug();
  void Replug();
  void SetHandshakeMode(HandshakeMode mode);
  void SetRefuseSessions(bool refuse);
  // The next answer to `opcode` (MPU_OP_FIRMWARE_UPLOAD, _DOWNLOAD or
  // _PROGRAM) with this SubRequest carries `errorId` instead of success.
  void FailFirmwareStep(std::uint8_t opcode, std::uint8_t subRequest, std::uint8_t errorId);
  // The next firmware block the host downloads is answered with a request to
  // repeat it (SubRequest 3), as when a block arrives damaged.
  void RequestBlockRepeat();
  void PressMcsKey(std::uint8_t keyId, bool pressed);
  void StepEncoder(std::uint8_t encoderId, bool clockwise);
  void PressStripEditKey(std::uint8_t stripId, bool down);
  // A fader moved on a console for a USB input (virtual control 0).
  void MoveVirtualFader(std::uint16_t sourceId, std::int16_t gainDb);
  // A console asks to edit preset-source control `item` (0..4).
  void RequestPresetEdit(std::uint8_t item);
  // Metering packets on or off (on by default when the interval is not zero).
  void SetMeteringEnabled(bool enabled);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mpu::sim
