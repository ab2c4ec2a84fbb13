// The unit's firmware logic, without threads: packets in, packets out, and
// timers driven by the caller's clock. SimulatedMpu runs one of these on its
// thread; tests may drive one directly.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "protocol/frames.h"
#include "simulator/metering.h"
#include "simulator/simulated_mpu.h"
#include "simulator/unit_state.h"

namespace mpu::sim {

using Clock = std::chrono::steady_clock;

// A Boolean as records carry it.
constexpr std::uint8_t WireBool(bool b) {
  return b ? 1 : 0;
}

struct OutPacket {
  std::uint8_t Pipe = 0;  // 0x81 or 0x82
  std::vector<std::uint8_t> Bytes;
};

class UnitLogic {
 public:
  // Packet size on the control pipes until the handshake is answered.
  static constexpr std::size_t kHandshakePacketSize = 128;

  explicit UnitLogic(const SimulatorConfig& config);

  // ----- the cable and the host -----
  void HostOpened();
  // Also when the cable is pulled: the host is gone.
  void HostClosed();
  // Boots again: the running mix is reloaded from the configuration store,
  // everything volatile returns to its power-on state.
  void Reboot();
  // One packet the host wrote on OUT pipe 0x01 or 0x02.
  void Receive(std::uint8_t outPipe, std::span<const std::uint8_t> packet, Clock::time_point now);

  // ----- time -----
  // When Tick must run next (metering, programming, mass-update lease).
  std::optional<Clock::time_point> NextDeadline() const;
  void Tick(Clock::time_point now);

  // ----- what happens on the unit itself -----
  void SetHandshakeMode(HandshakeMode mode) { handshakeMode_ = mode; }
  void SetRefuseSessions(bool refuse) { refuseSessions_ = refuse; }
  void FailFirmwareStep(std::uint8_t opcode, std::uint8_t subRequest, std::uint8_t errorId);
  void RequestBlockRepeat() { repeatNextBlock_ = true; }
  void PressMcsKey(std::uint8_t keyId, bool pressed);
  void StepEncoder(std::uint8_t encoderId, bool clockwise);
  void PressStripEditKey(std::uint8_t stripId, bool down);
  void MoveVirtualFader(std::uint16_t sourceId, std::int16_t gainDb);
  void RequestPresetEdit(std::uint8_t item);
  void SetMeteringEnabled(bool enabled, Clock::time_point now);

  // ----- results -----
  // Packets to send, in order, since the last call.
  std::vector<OutPacket> TakeOutput();
  // True once after the unit decided to reboot (the caller unplugs it, calls
  // Reboot and plugs it back after the reboot delay).
  bool TakeRebootRequest();

  SimulatorStatus Status() const;
  const MixerConfig& Mix() const { return mix_; }
  std::vector<std::uint8_t> FirmwareImageOf(std::uint8_t firmwareId) const;
  std::vector<std::uint8_t> StagedImageOf(std::uint8_t firmwareId) const;
  // Bytes per firmware block (data packet size - 64).
  std::uint16_t BlockSize() const;
  // The staging buffer's size in blocks: the configured limit, at most
  // kMaxStagingBytes.
  std::uint32_t MaxDownloadBlocks() const;
  static constexpr std::uint32_t kMaxStagingBytes = 4u << 20;

 private:
  struct Transfer {
    bool Running = false;
    std::uint8_t FirmwareId = 0;
    std::uint8_t SourceId = 0;
    std::uint8_t DeviceId = 0;
    std::uint8_t ChecksumType = 0;
    std::uint16_t BlockSize = 0;
    std::uint32_t BlockCount = 0;  // upload: blocks of the image
    std::uint32_t NextBlock = 0;   // upload: next block to send
    std::uint8_t Major = 0, Minor = 0;
    std::uint16_t Build = 0;
    std::vector<std::uint8_t> Data;  // upload: the image; download: what arrived
    std::vector<bool> Received;      // download: blocks that arrived
  };
  struct Staging {
    bool Valid = false;
    std::uint8_t FirmwareId = 0;
    std::uint8_t DeviceId = 0;
    std::uint8_t Major = 0, Minor = 0;
    std::uint16_t Build = 0;
    std::vector<std::uint8_t> Data;
  };
  struct Programming {
    bool Running = false;
    std::uint8_t FirmwareId = 0;
    std::uint8_t SourceId = 0;
    std::uint8_t DeviceId = 0;
    std::uint32_t BlockCount = 0;
    std::uint32_t NextBlock = 0;
    bool Erased = false;
    Clock::time_point Due{};
  };
  struct FailStep {
    std::uint8_t Opcode = 0;
    std::uint8_t SubRequest = 0;
    std::uint8_t ErrorId = 0;
  };
  struct Version {
    std::uint8_t Major = 0, Minor = 0;
    std::uint16_t Build = 0;
  };
  struct Health {
    double Vdd120 = 12050, Vdd50 = 5010, Vdd33 = 3305;
    double HostTemp = 385;
    double XmosVdd10 = 1002, XmosVdd18 = 1801;
    double PsuTemp = 412, PsuHumidity = 385;
  };

  // dispatch
  void HandleCommand(const TMPUCommandMsg& msg, Clock::time_point now);
  void EndHostState();
  void Ignore() { ++packetsIgnored_; }
  void HandleSourceCommand(const TMPUCommandMsg& msg);
  void HandleOutputCommand(const TMPUCommandMsg& msg);
  void HandleMixerCommand(const TMPUCommandMsg& msg);
  void HandleSystemCommand(const TMPUCommandMsg& msg, Clock::time_point now);
  void HandleDataPacket(std::span<const std::uint8_t> packet);

  // handshake, session, store
  void AnswerFirmwareInfo(bool handshake, Clock::time_point now);
  void HandleSession(const TMPUSessionMessage& req, Clock::time_point now);
  void HandleConfigStore(const TMPUConfigStoreMessage& req);
  void HandleMassUpdate(const TMPUMassUpdateMessage& req, Clock::time_point now);
  void HandleConsoleListWrite(const TMPUConsoleListMessage& list);
  void HandleBoardTagRead(const TMPUBoardTagMessage& req);
  void HandleBoardTagWrite(const TMPUBoardTagMessage& tag);
  void HandleAudioBoard(const TMPUABDirectMessage& msg, bool read);
  void HandlePowerControl(const TMPUPowerControlMessage& msg);

  // firmware
  void HandleUpload(const TMPUFirmwareXferRequest& req);
  void HandleDownload(const TMPUFirmwareXferRequest& req);
  void HandleProgram(const TMPUFirmwareProgRequest& req, Clock::time_point now);
  void HandleDownloadBlock(std::span<const std::uint8_t> packet);
  void SendUploadBlock(std::uint32_t block);
  void AnswerXfer(std::uint8_t opcode, std::uint8_t error, const Transfer& t,
                  std::uint8_t subRequest, std::uint32_t blockId);
  void AnswerXferRequest(std::uint8_t opcode, const TMPUFirmwareXferRequest& req,
                         std::uint8_t error);
  void AnswerProg(std::uint8_t error, std::uint8_t subRequest, std::uint32_t blockId);
  void StepProgramming(Clock::time_point now);
  // The error to put in the next answer to (opcode, subRequest), 0 when the
  // step goes well; a pending failure is used up.
  std::uint8_t InjectedError(std::uint8_t opcode, std::uint8_t subRequest);
  const FirmwareImage* FindImage(std::uint8_t firmwareId) const;
  FirmwareImage* FindImage(std::uint8_t firmwareId);
  bool FirmwareBusy() const;

  // reports
  template <wire::Record R>
  void Answer(std::uint8_t opcode, const R& record);
  // A report of a changed setting: held back during a silent mass update.
  template <wire::Record R>
  void Report(std::uint8_t opcode, const R& record);
  void SendControl(const TMPUResponseMsg& msg);
  void SendData(std::span<const std::uint8_t> packet);
  bool SilentNow() const { return massUpdate_ && massUpdateSilent_; }
  bool Connected() const { return hostOpen_ && handshakeDone_; }

  // records built from the state
  TMPUInsourceStandardParamsMessage StandardParams(std::uint16_t id) const;
  TMPUInsourceProcessingParamsMessage ProcessingParams(std::uint16_t id) const;
  TMPUOutsourceStandardParamsMessage OutputParams(std::uint16_t id) const;
  TMPUMixBusParamsMessage MixBusParams(std::uint16_t bus) const;
  TMPUMonitorParamsMessage MonitorParams() const;
  TMPUMixerStatsMessage MixerStats() const;
  TMPUStripParamsMessage StripParams(std::uint16_t strip) const;
  TMPUGPOutputConfigMessage GpoRecord(std::uint16_t circuit) const;
  TMPUHealthInfo HealthReport();
  TMPUFirmwareInfoMsg FirmwareInfo() const;
  void ReportStripAssignment(std::size_t strip);
  void ReportSourceStrip(std::uint16_t sourceId);
  void ReportSoftFunction(std::uint16_t function);
  void ReportSourceStatus(std::uint16_t id);

  SimulatorConfig config_;
  MixerConfig mix_;
  MixerConfig stored_;  // the configuration store
  std::vector<TMPUBoardTagMessage> boardTags_;
  std::vector<std::uint16_t> abRegisters_;
  std::array<PowerSupply, kPowerModuleCount> psus_{};
  std::vector<FirmwareImage> images_;
  std::array<Version, kMaxConsoles> consoleVersions_{};  // what consoles 0..3 run
  std::uint16_t configVersion_ = 0x0203;
  std::array<std::uint8_t, MPU_MCSTALLY_COUNT> tallies_{};

  // connection
  bool hostOpen_ = false;
  bool handshakeDone_ = false;
  bool hostReady_ = false;
  std::size_t controlSize_ = kHandshakePacketSize;
  std::size_t dataSize_ = 0;
  HandshakeMode handshakeMode_ = HandshakeMode::Normal;

  // session, mass update, unlock
  bool sessionActive_ = false;
  std::int64_t sessionKey_ = 0;
  Clock::time_point sessionExpiry_{};
  bool refuseSessions_ = false;
  bool massUpdate_ = false;
  bool massUpdateSilent_ = false;
  Clock::time_point massUpdateExpiry_{};
  bool writeUnlocked_ = false;

  // firmware
  Transfer upload_;
  Transfer download_;
  Staging staging_;
  Programming programming_;
  std::vector<FailStep> failSteps_;
  bool repeatNextBlock_ = false;

  // metering and health
  bool meteringEnabled_ = true;
  Clock::time_point nextMetering_{};
  MeterGenerator meters_;
  std::mt19937 healthRng_;
  Health health_;

  // output and counters
  std::vector<OutPacket> out_;
  bool rebootRequested_ = false;
  std::uint64_t packetsReceived_ = 0, packetsIgnored_ = 0, reportsSuppressed_ = 0, reboots_ = 0;
  std::uint64_t meteringSent_ = 0;
};

template <wire::Record R>
void UnitLogic::Answer(std::uint8_t opcode, const R& record) {
  const OpcodeInfo* info = FindReportOpcode(opcode);
  SendControl(TMPUResponseMsg::Make(opcode, record, info ? info->Revision : std::uint8_t{1}));
}

template <wire::Record R>
void UnitLogic::Report(std::uint8_t opcode, const R& record) {
  if (SilentNow()) {
    ++reportsSuppressed_;
    return;
  }
  Answer(opcode, record);
}

}  // namespace mpu::sim
