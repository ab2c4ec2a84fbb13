// The unit's packet handling: the control and data pipes, the handshake,
// timers, and the source and mixer commands with their reports.
#include "simulator/unit_logic.h"

#include <algorithm>
#include <utility>

#include "protocol/data_packets.h"
#include "protocol/id_tables.h"
#include "protocol/scaling.h"

namespace mpu::sim {
namespace {

// The preset-source item of MPU_OP_CR_PRESET_EDIT.
struct PresetEditMessage {
  static constexpr std::size_t kSize = 1;
  std::uint8_t Item = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Item", r.Item);
  }
};

template <class T>
T Clamp(long long v, long long lo, long long hi) {
  return static_cast<T>(std::clamp(v, lo, hi));
}

// The fader's position byte for a gain of -60..+10 dB.
std::uint8_t FaderPos(std::int16_t gain) {
  return static_cast<std::uint8_t>((gain + 60) * 255 / 70);
}

bool IsMic(const InputSource& s) {
  return s.Type == static_cast<std::uint8_t>(InSourceType::Mic);
}

// On air: on, faded up and routed to a programme bus.
bool Live(const InputSource& s) {
  return s.Status == static_cast<std::uint8_t>(SourceStatus::Available) && s.On && s.Fader > -60 &&
         (s.Routing & (BusMaskBit(BusId::PGM1) | BusMaskBit(BusId::PGM2))) != 0;
}

bool InControlRoom(const InputSource& s) {
  return s.Location == MPU_LOCATION_CR1 || s.Location == MPU_LOCATION_CR2;
}

}  // namespace

UnitLogic::UnitLogic(const SimulatorConfig& config)
    : config_(config),
      mix_(DefaultMixerConfig()),
      stored_(mix_),
      boardTags_(DefaultBoardTags()),
      abRegisters_(DefaultAudioBoardRegisters()),
      psus_(DefaultPowerSupplies()),
      images_(DefaultFirmwareImages()),
      meteringEnabled_(config.MeteringInterval.count() > 0),
      meters_(config.Seed),
      healthRng_(config.Seed ^ 0x5EEDu) {
  if (const FirmwareImage* console = FindImage(static_cast<std::uint8_t>(FirmwareId::Console)))
    consoleVersions_.fill({console->Major, console->Minor, console->Build});
  for (FirmwareImage& image : images_) {
    if (image.FirmwareId != static_cast<std::uint8_t>(FirmwareId::HostMain)) continue;
    image.Major = config.HostFirmwareMajor;
    image.Minor = config.HostFirmwareMinor;
  }
}

// ---------------------------------------------------------------------------
// The cable and the host.

void UnitLogic::HostOpened() {
  EndHostState();
  hostOpen_ = true;
}

void UnitLogic::HostClosed() {
  EndHostState();
  hostOpen_ = false;
}

void UnitLogic::EndHostState() {
  handshakeDone_ = false;
  hostReady_ = false;
  controlSize_ = kHandshakePacketSize;
  dataSize_ = 0;
  // The host's session, lease and unlock end with its connection; a
  // transfer in progress is dropped (programming goes on in the unit).
  sessionActive_ = false;
  sessionKey_ = 0;
  massUpdate_ = false;
  massUpdateSilent_ = false;
  writeUnlocked_ = false;
  upload_ = {};
  if (download_.Running) staging_ = {};
  download_ = {};
}

void UnitLogic::Reboot() {
  HostClosed();
  mix_ = stored_;
  abRegisters_ = DefaultAudioBoardRegisters();
  psus_ = DefaultPowerSupplies();
  tallies_ = {};
  staging_ = {};
  programming_ = {};
  failSteps_.clear();
  repeatNextBlock_ = false;
  rebootRequested_ = false;
  ++reboots_;
}

void UnitLogic::Receive(std::uint8_t outPipe, std::span<const std::uint8_t> packet,
                        Clock::time_point now) {
  ++packetsReceived_;
  if (!hostOpen_) return Ignore();
  if (outPipe == 0x01) {
    // Until the handshake the unit reads 128-byte packets, then packets of
    // the control packet size it announced; any other size is not a frame.
    const std::size_t expected = handshakeDone_ ? controlSize_ : kHandshakePacketSize;
    if (packet.size() != expected) return Ignore();
    TMPUCommandMsg msg;  // a packet shorter than a frame reads as zeros beyond its end
    std::copy_n(packet.data(), std::min(packet.size(), TMPUCommandMsg::kSize), msg.Bytes().data());
    if (!handshakeDone_) {
      if (msg.Opcode() != MPU_OP_FIRMWARE_INFO) return Ignore();
      return AnswerFirmwareInfo(true, now);
    }
    return HandleCommand(msg, now);
  }
  if (outPipe == 0x02) {
    if (!handshakeDone_ || packet.size() != dataSize_) return Ignore();
    return HandleDataPacket(packet);
  }
  Ignore();
}

void UnitLogic::HandleDataPacket(std::span<const std::uint8_t> packet) {
  if (DataPacketType(packet) == MPU_PKT_FIRMWARE_DATA) return HandleDownloadBlock(packet);
  Ignore();
}

void UnitLogic::AnswerFirmwareInfo(bool handshake, Clock::time_point now) {
  TMPUFirmwareInfoMsg info = FirmwareInfo();
  if (handshake) {
    if (handshakeMode_ == HandshakeMode::Silent) return;
    if (handshakeMode_ == HandshakeMode::BadSignature) {
      info.Signature = {'@', '4', 'L', 'D', 'R', '4', 'N', '4'};
      return Answer(MPU_OP_FIRMWARE_INFO, info);  // stays in the handshake
    }
    Answer(MPU_OP_FIRMWARE_INFO, info);
    handshakeDone_ = true;
    controlSize_ = std::size_t{config_.PacketPageSize} * config_.ControlPages;
    dataSize_ = std::size_t{config_.PacketPageSize} * config_.DataPages;
    nextMetering_ = now + config_.MeteringInterval;
    return;
  }
  Answer(MPU_OP_FIRMWARE_INFO, info);
}

void UnitLogic::HandleCommand(const TMPUCommandMsg& msg, Clock::time_point now) {
  const std::uint8_t op = msg.Opcode();
  switch (ClassifyOpcode(op)) {
    case OpcodeClass::Source:
      return op < MPU_OP_OUTSRC_GAIN ? HandleSourceCommand(msg) : HandleOutputCommand(msg);
    case OpcodeClass::Mixer:
      return HandleMixerCommand(msg);
    case OpcodeClass::System:
      return HandleSystemCommand(msg, now);
    default:
      return Ignore();
  }
}

// ---------------------------------------------------------------------------
// Time.

std::optional<Clock::time_point> UnitLogic::NextDeadline() const {
  std::optional<Clock::time_point> next;
  auto consider = [&next](Clock::time_point t) {
    if (!next || t < *next) next = t;
  };
  if (Connected() && meteringEnabled_ && config_.MeteringInterval.count() > 0)
    consider(nextMetering_);
  if (programming_.Running) consider(programming_.Due);
  if (massUpdate_ && config_.MassUpdateLease.count() > 0) consider(massUpdateExpiry_);
  if (sessionActive_ && config_.SessionLease.count() > 0) consider(sessionExpiry_);
  return next;
}

void UnitLogic::Tick(Clock::time_point now) {
  if (programming_.Running && now >= programming_.Due) StepProgramming(now);
  if (massUpdate_ && config_.MassUpdateLease.count() > 0 && now >= massUpdateExpiry_) {
    // The lease ran out: the mixer thaws and says so.
    massUpdate_ = false;
    massUpdateSilent_ = false;
    Answer(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{0, 0});
  }
  if (sessionActive_ && config_.SessionLease.count() > 0 && now >= sessionExpiry_) {
    sessionActive_ = false;
    sessionKey_ = 0;
  }
  if (Connected() && meteringEnabled_ && config_.MeteringInterval.count() > 0 &&
      now >= nextMetering_) {
    if (dataSize_ > kMeteringHeaderSize) {
      const auto block = meters_.NextBlock(mix_);
      const std::size_t n = std::min(block.size(), dataSize_ - kMeteringHeaderSize);
      std::vector<std::uint8_t> packet(dataSize_);
      EncodeMeteringPacket(packet, std::span(block.data(), n));
      SendData(packet);
      ++meteringSent_;
    }
    nextMetering_ += config_.MeteringInterval;
    if (nextMetering_ <= now) nextMetering_ = now + config_.MeteringInterval;  // fell behind: skip
  }
}

// ---------------------------------------------------------------------------
// Sending.

void UnitLogic::SendControl(const TMPUResponseMsg& msg) {
  if (!hostOpen_ || controlSize_ == 0) return;
  OutPacket p{0x81, std::vector<std::uint8_t>(controlSize_, 0)};
  const auto bytes = msg.Bytes();
  std::copy_n(bytes.begin(), std::min(controlSize_, bytes.size()), p.Bytes.begin());
  out_.push_back(std::move(p));
}

void UnitLogic::SendData(std::span<const std::uint8_t> packet) {
  if (!Connected()) return;
  out_.push_back({0x82, std::vector<std::uint8_t>(packet.begin(), packet.end())});
}

std::vector<OutPacket> UnitLogic::TakeOutput() {
  return std::exchange(out_, {});
}

bool UnitLogic::TakeRebootRequest() {
  return std::exchange(rebootRequested_, false);
}

// ---------------------------------------------------------------------------
// Events on the unit itself.

void UnitLogic::PressMcsKey(std::uint8_t keyId, bool pressed) {
  if (Connected()) Answer(MPU_OP_MCS_KEY, TMPUTallyControlMessage{keyId, WireBool(pressed)});
}

void UnitLogic::StepEncoder(std::uint8_t encoderId, bool clockwise) {
  // One step back travels as -1.
  if (Connected())
    Answer(MPU_OP_MCS_ENCODER,
           TMPUTallyControlMessage{encoderId, std::uint8_t(clockwise ? 1 : 0xFF)});
}

void UnitLogic::PressStripEditKey(std::uint8_t stripId, bool down) {
  if (Connected()) Answer(MPU_OP_STRIP_EDIT_KEY, TMPUStripControlMessage{stripId, WireBool(down)});
}

void UnitLogic::MoveVirtualFader(std::uint16_t sourceId, std::int16_t gainDb) {
  // The console's fader of a USB input remote-controls the player on the PC;
  // the unit forwards it and leaves its own fader alone.
  if (Connected())
    Answer(MPU_OP_INSRC_VIRTUAL_CONTROL,
           TMPUInSourceVControlMessage{sourceId, kVControlFader, gainDb});
}

void UnitLogic::RequestPresetEdit(std::uint8_t item) {
  if (Connected()) Answer(MPU_OP_CR_PRESET_EDIT, PresetEditMessage{item});
}

void UnitLogic::SetMeteringEnabled(bool enabled, Clock::time_point now) {
  if (enabled && !meteringEnabled_) nextMetering_ = now;
  meteringEnabled_ = enabled;
}

void UnitLogic::FailFirmwareStep(std::uint8_t opcode, std::uint8_t subRequest,
                                 std::uint8_t errorId) {
  failSteps_.push_back({opcode, subRequest, errorId});
}

SimulatorStatus UnitLogic::Status() const {
  SimulatorStatus s;
  s.HostOpen = hostOpen_;
  s.HandshakeDone = handshakeDone_;
  s.HostReady = hostReady_;
  s.ControlPacketSize = controlSize_;
  s.DataPacketSize = dataSize_;
  s.SessionActive = sessionActive_;
  s.SessionKey = sessionKey_;
  s.MassUpdateActive = massUpdate_;
  s.MassUpdateSilent = massUpdateSilent_;
  s.WriteUnlocked = writeUnlocked_;
  s.MeteringEnabled = meteringEnabled_;
  s.Programming = programming_.Running;
  s.ConfigVersion = configVersion_;
  s.ClockSource = mix_.Settings.ClockSource;
  s.AudioBoardClockSpeed = abRegisters_[kABClockSpeedAddress];
  s.TallyModes = tallies_;
  for (std::size_t i = 0; i < psus_.size(); ++i) s.RailSwitches[i] = psus_[i].Switches;
  s.PacketsReceived = packetsReceived_;
  s.PacketsIgnored = packetsIgnored_;
  s.ReportsSuppressed = reportsSuppressed_;
  s.Reboots = reboots_;
  s.MeteringPacketsSent = meteringSent_;
  return s;
}

// ---------------------------------------------------------------------------
// Input sources (1..47).

void UnitLogic::HandleSourceCommand(const TMPUCommandMsg& msg) {
  const std::uint8_t op = msg.Opcode();
  const std::uint16_t id = msg.InSourceControl().SourceID;  // every record starts with it
  // Requests are answered for every source id; ids without an input read as
  // reserved.
  switch (op) {
    case MPU_OP_INSRC_STANDARD_PARAMS:
      return id >= 1 && id <= 0xFF ? Answer(op, StandardParams(id)) : Ignore();
    case MPU_OP_INSRC_PROCESSING_PARAMS:
      return id >= 1 && id <= 0xFF ? Answer(op, ProcessingParams(id)) : Ignore();
    case MPU_OP_INSRC_STRIP_ID:
      return id >= 1 && id <= 0xFF
                 ? Answer(op, TMPUInSourceStripChangeMessage{id, mix_.StripOfSource(id)})
                 : Ignore();
    default:
      break;
  }
  InputSource* s = mix_.Input(id);
  if (!s) return Ignore();
  const std::uint16_t value = msg.InSourceControl().Value;
  switch (op) {
    case MPU_OP_INSRC_LABEL: {  // not reported: the standard parameters show it
      const TMPUSourceLabelMessage r = msg.InSourceSysLabel();
      s->ShortLabel = r.ShortLabel;
      s->ShortLabel.back() = 0;
      s->LongEnc = r.LongEnc;
      s->LongLabel = r.LongLabel;
      s->LongLabel.LongLabelA[32] = s->LongLabel.LongLabelA[33] = 0;
      return;
    }
    case MPU_OP_INSRC_SYSTEM_GAIN: {
      const TMPUSourceSystemGainMessage r = msg.SourceSysGain();
      s->GainLeft = ClampTo<std::int8_t>(r.GainLeft);
      s->GainRight = ClampTo<std::int8_t>(r.GainRight);
      return Report(op, TMPUSourceSystemGainMessage{id, s->GainLeft, s->GainRight});
    }
    case MPU_OP_INSRC_CALIBRATION: {
      const TMPUSourceSystemGainMessage r = msg.SourceSysGain();
      s->CalLeft = Clamp<std::int16_t>(r.GainLeft, -40, 40);
      s->CalRight = Clamp<std::int16_t>(r.GainRight, -40, 40);
      return Report(op, TMPUSourceSystemGainMessage{id, s->CalLeft, s->CalRight});
    }
    case MPU_OP_INSRC_CHANNEL_MODE: {
      const TMPUInSourceModeMessage r = msg.InSourceMode();
      if (r.ChannelMode <= static_cast<std::uint16_t>(ChannelMode::RightOnly))
        s->ChannelMode = r.ChannelMode;
      s->PhaseLeft = WireBool(r.PhaseLeft != 0);
      s->PhaseRight = WireBool(r.PhaseRight != 0);
      return Report(op, TMPUInSourceModeMessage{id, s->ChannelMode, s->PhaseLeft, s->PhaseRight});
    }
    case MPU_OP_INSRC_PHANTOM:
      s->Phantom = IsMic(*s) && value != 0;  // only microphone inputs have a phantom supply
      return Report(op, TMPUSourceControlMessage{id, WireBool(s->Phantom)});
    case MPU_OP_INSRC_LOCATION:
      if (value <= MPU_LOCATION_ST2) s->Location = value;
      return Report(op, TMPUSourceControlMessage{id, s->Location});
    case MPU_OP_INSRC_FILTER: {
      TMPUInSourceFilterParamsMessage r = msg.InSourceFilter();
      if (r.FilterId >= kFilterBandCount) return Ignore();
      const bool bandpassAllowed = r.FilterId == static_cast<std::uint8_t>(FilterBand::LF) ||
                                   r.FilterId == static_cast<std::uint8_t>(FilterBand::HF);
      r.SourceID = id;
      r.Options &= bandpassAllowed ? (kFilterActive | kFilterBandpass) : kFilterActive;
      s->Filters[r.FilterId] = r;
      return Report(op, r);
    }
    case MPU_OP_INSRC_ROUTING_TRIGGER: {
      TMPUInSourceRoutingTriggerMessage r = msg.InSourceRoutingTrigger();
      if (r.MasterId >= kTriggerMasterCount) return Ignore();
      r.InSourceID = id;
      if (r.TriggerActionOff > static_cast<std::uint8_t>(TriggerAction::Preset))
        r.TriggerActionOff = 0;
      if (r.TriggerActionOn > static_cast<std::uint8_t>(TriggerAction::Preset))
        r.TriggerActionOn = 0;
      r.RoutingOff &= kAllBusesMask;
      r.RoutingOn &= kAllBusesMask;
      s->Triggers[r.MasterId] = r;
      return Report(op, r);
    }
    case MPU_OP_INSRC_FADER: {
      s->Fader = Clamp<std::int16_t>(msg.InSourceGain().Value, -60, 10);
      return Report(op, TMPUInSourceGainMessage{id, s->Fader, FaderPos(s->Fader)});
    }
    case MPU_OP_INSRC_GAIN_TRIM:
      s->Trim = Clamp<std::int16_t>(msg.InSourceGain().Value, -12, 12);
      return Report(op, TMPUInSourceGainMessage{id, s->Trim, 0});
    case MPU_OP_INSRC_PAN:
      s->Pan = Clamp<std::int16_t>(msg.InSourceGain().Value, -20, 20);
      return Report(op, TMPUInSourceGainMessage{id, s->Pan, 0});
    case MPU_OP_INSRC_AUX_SEND: {
      const TMPUInSourceAuxSendMessage r = msg.InSourceAuxSend();
      s->AuxGain = Clamp<std::int16_t>(r.Gain, -50, 0);
      s->AuxMode = WireBool(r.Mode != 0);
      return Report(op, TMPUInSourceAuxSendMessage{id, s->AuxGain, s->AuxMode});
    }
    case MPU_OP_INSRC_BUS_ROUTING: {
      const TMPUInSourceBusRoutingMessage r = msg.InSourceRouting();
      if (r.BusId < kMixBusCount) {
        const auto bit = static_cast<std::uint16_t>(1u << r.BusId);
        s->Routing = r.Routing != 0 ? (s->Routing | bit) : (s->Routing & ~bit);
        return Report(MPU_OP_INSRC_ROUTING_MASK, TMPUInSourceBusRoutingMessage{id, 0, s->Routing});
      }
      if (r.BusId == static_cast<std::uint16_t>(BusId::PFL)) {
        s->Pfl = r.Routing != 0;  // prefade shows in the channel's state word
        return ReportSourceStatus(id);
      }
      return Ignore();
    }
    case MPU_OP_INSRC_ROUTING_MASK:
      s->Routing = msg.InSourceRouting().Routing & kAllBusesMask;
      return Report(op, TMPUInSourceBusRoutingMessage{id, 0, s->Routing});
    case MPU_OP_INSRC_ON:
      s->On = (value & 1) != 0;
      // "Cancel PFL": starting the channel ends its prefade.
      if (s->On && s->Pfl && (s->ControlOptions & kCtrlCancelPFL) != 0) s->Pfl = false;
      return ReportSourceStatus(id);
    case MPU_OP_INSRC_CONTROL_OPTIONS:
      s->ControlOptions = value & 0x003F;
      return Report(op, TMPUSourceControlMessage{id, s->ControlOptions});
    case MPU_OP_INSRC_LIMITER: {
      const TMPULimiterParamsMessage r = msg.LimiterParams();
      s->Limiter = {id, Clamp<std::int16_t>(r.Threshold, 0, 40), std::min<std::uint8_t>(r.Decay, 7),
                    WireBool(r.Active != 0)};
      return Report(op, s->Limiter);
    }
    case MPU_OP_INSRC_COMPRESSOR: {
      const TMPUCompressorParamsMessage r = msg.CompressorParams();
      s->Compressor = {id,
                       r.Threshold,
                       std::min<std::uint8_t>(r.Attack, 15),
                       std::min<std::uint8_t>(r.Decay, 15),
                       std::min<std::uint8_t>(r.Ratio, 15),
                       std::min<std::uint8_t>(r.PostGain, 15),
                       WireBool(r.Active != 0)};
      return Report(op, s->Compressor);
    }
    case MPU_OP_INSRC_INDICATOR:
      s->IndicatorAlways = value != 0;
      return Report(op, TMPUSourceControlMessage{id, WireBool(s->IndicatorAlways)});
    case MPU_OP_INSRC_SOURCE_MODE:
      if (value < MPU_ISRC_MODE_COUNT) s->Mode = static_cast<std::uint8_t>(value);
      return Report(op, TMPUSourceControlMessage{id, s->Mode});
    default:
      return Ignore();
  }
}

void UnitLogic::ReportSourceStatus(std::uint16_t id) {
  if (const InputSource* s = mix_.Input(id))
    Report(MPU_OP_INSRC_ON, TMPUSourceControlMessage{id, s->StatusWord()});
}

// ---------------------------------------------------------------------------
// Output sources (48..63).

void UnitLogic::HandleOutputCommand(const TMPUCommandMsg& msg) {
  const std::uint8_t op = msg.Opcode();
  const std::uint16_t id = msg.OutSourceControl().SourceID;
  if (id >= kOutputCount) return Ignore();
  OutputSource& o = mix_.Outputs[id];
  switch (op) {
    case MPU_OP_OUTSRC_STANDARD_PARAMS:
      return Answer(op, OutputParams(id));
    case MPU_OP_OUTSRC_GAIN: {
      const TMPUSourceSystemGainMessage r = msg.SourceSysGain();
      o.GainLeft = ClampTo<std::int8_t>(r.GainLeft);
      o.GainRight = ClampTo<std::int8_t>(r.GainRight);
      return Report(op, TMPUSourceSystemGainMessage{id, o.GainLeft, o.GainRight});
    }
    case MPU_OP_OUTSRC_CALIBRATION: {
      const TMPUSourceSystemGainMessage r = msg.SourceSysGain();
      o.CalLeft = Clamp<std::int16_t>(r.GainLeft, -40, 40);
      o.CalRight = Clamp<std::int16_t>(r.GainRight, -40, 40);
      return Report(op, TMPUSourceSystemGainMessage{id, o.CalLeft, o.CalRight});
    }
    case MPU_OP_OUTSRC_SEND_SOURCE: {
      const TMPUSendSourceMessage r = msg.OutSourceSendSource();
      if (r.SendSourceLeft <= 0xFF) o.SendLeft = r.SendSourceLeft;
      if (r.SendSourceRight <= 0xFF) o.SendRight = r.SendSourceRight;
      return Report(op, TMPUSendSourceMessage{id, o.SendLeft, o.SendRight});
    }
    case MPU_OP_OUTSRC_FORMAT_OPTIONS:
      o.FormatOptions = msg.OutSourceControl().Value & (kFormatAesProfessional | kFormatAes20Bit);
      return Report(op, TMPUSourceControlMessage{id, o.FormatOptions});
    default:
      return Ignore();
  }
}

// ---------------------------------------------------------------------------
// Mixer (64..127).

void UnitLogic::HandleMixerCommand(const TMPUCommandMsg& msg) {
  const std::uint8_t op = msg.Opcode();
  auto otbFlag = [this](std::uint16_t type, std::uint16_t id) -> bool* {
    switch (static_cast<OTBTarget>(type)) {
      case OTBTarget::OutputSource:
        return id < kOutputCount ? &mix_.OtbOutputs[id] : nullptr;
      case OTBTarget::MixBus:
        return id < kMixBusCount ? &mix_.OtbBuses[id] : nullptr;
      case OTBTarget::Monitor:
        return id < MPU_MONITOR_COUNT ? &mix_.OtbMonitors[id] : nullptr;
      default:
        return nullptr;
    }
  };
  auto talkbackMonitor = [this](std::uint16_t id) -> Monitor* {
    return id >= MPU_MONITOR_CRLS && id <= MPU_MONITOR_CUELS ? &mix_.Monitors[id] : nullptr;
  };

  switch (op) {
    case MPU_OP_TALKBACK_CONFIG: {
      TMPUTalkbackConfigMessage r = msg.TalkbackConfig();
      const bool validMic =
          r.SendSourceID == kSrcTBMic || (r.SendSourceID >= kSrcMic1 && r.SendSourceID <= 8);
      if (!validMic) r.SendSourceID = mix_.Talkback.SendSourceID;
      r.RTBThreshold = Clamp<std::int16_t>(r.RTBThreshold, -30, 0);
      r.RTBGain = Clamp<std::int16_t>(r.RTBGain, 0, 12);
      r.OTBGain = Clamp<std::int16_t>(r.OTBGain, -15, 15);
      r.RTBMask &=
          kRTBMaskCleanFeeds | kRTBMaskRevTBInput | kRTBMaskHeadphonesA | kRTBMaskHeadphonesB;
      r.SWTBOn = WireBool(r.SWTBOn != 0);
      mix_.Talkback = r;
      return Report(op, r);
    }
    case MPU_OP_GET_TALKBACK_CONFIG:
      return Answer(MPU_OP_TALKBACK_CONFIG, mix_.Talkback);
    case MPU_OP_OTB_CONTROL: {
      const TMPUOTBControlMessage r = msg.OTBControl();
      bool* flag = otbFlag(r.TargetType, r.TargetID);
      if (!flag) return Ignore();
      *flag = r.Active != 0;
      return Report(op, TMPUOTBControlMessage{r.TargetType, r.TargetID, WireBool(*flag)});
    }
    case MPU_OP_GET_OTB_STATUS: {
      const TMPUOTBControlMessage r = msg.OTBControl();
      const bool* flag = otbFlag(r.TargetType, r.TargetID);
      if (!flag) return Ignore();
      return Answer(MPU_OP_OTB_CONTROL,
                    TMPUOTBControlMessage{r.TargetType, r.TargetID, WireBool(*flag)});
    }
    case MPU_OP_MONITOR_TB_CONFIG: {
      const TMPUMonitorTBConfigMessage r = msg.MonitorTBConfig();
      Monitor* m = talkbackMonitor(r.MonitorID);
      if (!m) return Ignore();
      m->Talkback = {r.MonitorID, r.MaxGain, r.MinGain, WireBool(r.Ducked != 0)};
      return Report(op, m->Talkback);
    }
    case MPU_OP_GET_MONITOR_TB_CONFIG: {
      const Monitor* m = talkbackMonitor(msg.MonitorTBConfig().MonitorID);
      return m ? Answer(MPU_OP_MONITOR_TB_CONFIG, m->Talkback) : Ignore();
    }
    case MPU_OP_MONITOR_VOLUME: {  // the monitor fader; not reported
      const TMPUMonitorGainMessage r = msg.MonitorVolume();
      if (r.MonitorID >= MPU_MONITOR_COUNT) return Ignore();
      mix_.Monitors[r.MonitorID].Volume = Clamp<std::int16_t>(r.Gain, -100, 12);
      return;
    }
    case MPU_OP_MONITOR_VOLUME_ADJUST: {
      const TMPUMonitorGainMessage r = msg.MonitorVolume();
      if (r.MonitorID >= MPU_MONITOR_COUNT) return Ignore();
      mix_.Monitors[r.MonitorID].VolumeAdj = Clamp<std::int16_t>(r.Gain, -40, 20);
      return Report(op, TMPUMonitorGainMessage{r.MonitorID, mix_.Monitors[r.MonitorID].VolumeAdj});
    }
    case MPU_OP_MONITOR_SEND_SOURCE: {
      const TMPUMonitorControlMessage r = msg.MonitorControl();
      if (r.MonitorID >= MPU_MONITOR_COUNT || r.Value > 0xFF) return Ignore();
      mix_.Monitors[r.MonitorID].SendSource = r.Value;
      return Report(op, r);
    }
    case MPU_OP_MONITOR_GRCU_GROUP: {
      const TMPUMonitorControlMessage r = msg.MonitorControl();
      if (r.MonitorID < MPU_MONITOR_GRCU1 || r.MonitorID > MPU_MONITOR_GRCU16) return Ignore();
      mix_.Monitors[r.MonitorID].GroupMember = r.Value != 0;
      return Report(op, TMPUMonitorControlMessage{r.MonitorID, WireBool(r.Value != 0)});
    }
    case MPU_OP_CR_MONITOR_SELECT: {
      const std::uint16_t preset = msg.CRMonitorPreset().PresetID;
      if (preset >= kCRPresetCount) return Ignore();
      mix_.SelectedPreset = preset;
      return Report(op, TMPUCRMonitorPresetMessage{preset, mix_.PresetSources[preset]});
    }
    case MPU_OP_CR_MONITOR_APF:
      mix_.Apf = msg.MonitorControl().Value != 0;
      return Report(op, TMPUMonitorControlMessage{MPU_MONITOR_CRLS, WireBool(mix_.Apf)});
    case MPU_OP_CR_MONITOR_SPLIT:
      mix_.Split = msg.MonitorControl().Value != 0;
      return Report(op, TMPUMonitorControlMessage{MPU_MONITOR_CRHP, WireBool(mix_.Split)});
    case MPU_OP_CR_MONITOR_PREVIEW:
      mix_.Preview = msg.MonitorControl().Value != 0;
      return Report(op, TMPUMonitorControlMessage{MPU_MONITOR_CRHP, WireBool(mix_.Preview)});
    case MPU_OP_CR_PRESET_SOURCE: {
      const TMPUCRMonitorPresetMessage r = msg.CRMonitorPreset();
      if (r.PresetID >= kCRPresetCount || r.Value > 0xFF) return Ignore();
      mix_.PresetSources[r.PresetID] = r.Value;
      return Report(op, r);
    }
    case MPU_OP_MIXBUS_LIMITER: {
      const TMPULimiterParamsMessage r = msg.LimiterParams();
      if (r.SourceID > static_cast<std::uint16_t>(BusId::AUX))
        return Ignore();  // main limiters of PGM1..AUX
      MixBus& bus = mix_.Buses[r.SourceID];
      bus.Limiter = {r.SourceID, Clamp<std::int16_t>(r.Threshold, 0, 40),
                     std::min<std::uint8_t>(r.Decay, 7), WireBool(r.Active != 0)};
      return Report(op, bus.Limiter);
    }
    case MPU_OP_MIXBUS_CONFIG: {
      const TMPUMixBusConfigMessage r = msg.MixBusConfig();
      if (r.MixBusId >= kMixBusCount) return Ignore();
      MixBus& bus = mix_.Buses[r.MixBusId];
      // Only CFA..CF6 can be clean feeds.
      bus.Mode = (r.MixBusId >= static_cast<std::uint16_t>(BusId::CFA) && r.Mode == 1) ? 1 : 0;
      if ((r.MasterBusId < kMixBusCount && r.MasterBusId != r.MixBusId) ||
          r.MasterBusId == kNoMixBus)
        bus.MasterBusId = r.MasterBusId;
      if (r.SendSourceLeft <= 0xFF) bus.SendSourceLeft = r.SendSourceLeft;
      if (r.SendSourceRight <= 0xFF) bus.SendSourceRight = r.SendSourceRight;
      return Report(op, TMPUMixBusConfigMessage{r.MixBusId, bus.Mode, bus.MasterBusId,
                                                bus.SendSourceLeft, bus.SendSourceRight});
    }
    case MPU_OP_MIXBUS_PARAMS: {
      const std::uint16_t bus = msg.MixBusConfig().MixBusId;
      return bus < kMixBusCount ? Answer(op, MixBusParams(bus)) : Ignore();
    }
    case MPU_OP_MCS_TALLY: {  // lamps only; the unit sends nothing back
      const TMPUTallyControlMessage r = msg.TallyControl();
      if (r.TallyId >= MPU_MCSTALLY_COUNT || r.Value > MPU_TALLY_BLINK) return Ignore();
      tallies_[r.TallyId] = r.Value;
      return;
    }
    case MPU_OP_STRIP_EDIT_MODE: {
      const TMPUStripControlMessage r = msg.StripControl();
      if (r.StripId >= kStripCount) return Ignore();
      const bool on = r.Value != 0;
      if (on) {  // one strip edits at a time
        for (std::size_t i = 0; i < kStripCount; ++i) {
          if (i == r.StripId || !mix_.Strips[i].EditMode) continue;
          mix_.Strips[i].EditMode = false;
          Report(op, TMPUStripControlMessage{static_cast<std::uint16_t>(i), 0});
        }
      }
      mix_.Strips[r.StripId].EditMode = on;
      return Report(op, TMPUStripControlMessage{r.StripId, WireBool(on)});
    }
    case MPU_OP_STRIP_ASSIGN_SOURCE: {
      const TMPUStripControlMessage r = msg.StripControl();
      if (r.StripId >= kStripCount || (r.Value != 0 && !mix_.Input(r.Value))) return Ignore();
      const std::uint16_t old = mix_.Strips[r.StripId].SourceId;
      if (r.Value != 0) {  // a source sits on one strip at most
        for (std::size_t i = 0; i < kStripCount; ++i) {
          if (i == r.StripId || mix_.Strips[i].SourceId != r.Value) continue;
          mix_.Strips[i].SourceId = 0;
          ReportStripAssignment(i);
        }
      }
      mix_.Strips[r.StripId].SourceId = r.Value;
      ReportStripAssignment(r.StripId);
      if (old != 0 && old != r.Value) ReportSourceStrip(old);
      if (r.Value != 0 && old != r.Value) ReportSourceStrip(r.Value);
      return;
    }
    case MPU_OP_STRIP_PARAMS: {
      const std::uint16_t strip = msg.StripControl().StripId;
      if (strip == kAllStrips) {
        for (std::uint16_t i = 0; i < kStripCount; ++i) Answer(op, StripParams(i));
        return;
      }
      return strip < kAllStrips ? Answer(op, StripParams(strip)) : Ignore();
    }
    case MPU_OP_MIXER_STATS:
      return Answer(op, MixerStats());
    case MPU_OP_MONITOR_PARAMS:
      return Answer(op, MonitorParams());
    case MPU_OP_MIXER_SETTINGS: {
      TMPUMixerSettingsMessage r = msg.MixerProperties();
      // The tail is valid only in frames of the revision that brought it.
      if (!TMPUMixerSettingsMessage::HasVideoTallyOptions(msg.Revision()))
        r.VideoTallyOptions = mix_.Settings.VideoTallyOptions;
      if (!TMPUMixerSettingsMessage::HasClockSource(msg.Revision()))
        r.ClockSource = mix_.Settings.ClockSource;
      r.DTXProtectBuses &= kDTXProtectPGM1 | kDTXProtectPGM2;
      r.VideoTallyOptions &=
          kVideoTallyInactiveWhenMuted | kVideoTallyActiveWhenPrefaded | kVideoTallyOnPGM1Only;
      if (r.ClockSource > static_cast<std::uint8_t>(ClockSource::External))
        r.ClockSource = mix_.Settings.ClockSource;
      mix_.Settings = r;
      return Report(op, r);
    }
    case MPU_OP_GET_MIXER_SETTINGS:
      return Answer(MPU_OP_MIXER_SETTINGS, mix_.Settings);
    case MPU_OP_MIXER_CLOCK_SOURCE: {
      const std::uint8_t clock = msg.MixerClockSource().ClockSourceId;
      if (clock > static_cast<std::uint8_t>(ClockSource::External)) return Ignore();
      mix_.Settings.ClockSource = clock;
      return Report(MPU_OP_MIXER_SETTINGS, mix_.Settings);  // the settings changed
    }
    case MPU_OP_GPI_CONFIG: {
      TMPUGPInputConfigMessage r = msg.GPInputCircuitConfig();
      if (r.CircuitId >= mix_.Gpi.size()) return Ignore();
      r.Momentary = WireBool(r.Momentary != 0);
      r.NormallyClosed = WireBool(r.NormallyClosed != 0);
      r.Active = mix_.Gpi[r.CircuitId].Active;  // the input's state is the unit's
      mix_.Gpi[r.CircuitId] = r;
      return Report(op, r);
    }
    case MPU_OP_GPO_CONFIG: {
      TMPUGPOutputConfigMessage r = msg.GPOutputCircuitConfig();
      if (r.CircuitId >= mix_.Gpo.size()) return Ignore();
      r.Momentary = WireBool(r.Momentary != 0);
      r.Repeating = WireBool(r.Repeating != 0);
      r.NormallyClosed = WireBool(r.NormallyClosed != 0);
      mix_.Gpo[r.CircuitId] = r;
      return Report(op, GpoRecord(r.CircuitId));
    }
    case MPU_OP_GET_GPI_CONFIG: {
      const std::uint16_t c = msg.GPInputCircuitConfig().CircuitId;
      return c < mix_.Gpi.size() ? Answer(MPU_OP_GPI_CONFIG, mix_.Gpi[c]) : Ignore();
    }
    case MPU_OP_GET_GPO_CONFIG: {
      const std::uint16_t c = msg.GPOutputCircuitConfig().CircuitId;
      return c < mix_.Gpo.size() ? Answer(MPU_OP_GPO_CONFIG, GpoRecord(c)) : Ignore();
    }
    case MPU_OP_SOFTFUNC_CONTROL: {
      const TMPUSoftFunctionControlMessage r = msg.SoftFunctionControl();
      if (r.FunctionId == MPU_SOFTFUNC_NONE || r.FunctionId >= MC_SOFTFUNC_COUNT) return Ignore();
      mix_.SoftFunctions[r.FunctionId] = r.Active != 0;
      return ReportSoftFunction(r.FunctionId);
    }
    case MPU_OP_GET_SOFTFUNC_IN_STATUS:
    case MPU_OP_GET_SOFTFUNC_OUT_STATUS: {
      const std::uint16_t f = msg.SoftFunctionControl().FunctionId;
      if (f >= MC_SOFTFUNC_COUNT) return Ignore();
      const std::uint8_t answer = op == MPU_OP_GET_SOFTFUNC_IN_STATUS ? MPU_OP_SOFTFUNC_IN_STATUS
                                                                      : MPU_OP_SOFTFUNC_OUT_STATUS;
      return Answer(answer, TMPUSoftFunctionControlMessage{f, WireBool(mix_.SoftFunctions[f])});
    }
    default:
      return Ignore();
  }
}

void UnitLogic::ReportStripAssignment(std::size_t strip) {
  Report(MPU_OP_STRIP_ASSIGN_SOURCE,
         TMPUStripControlMessage{static_cast<std::uint16_t>(strip), mix_.Strips[strip].SourceId});
}

void UnitLogic::ReportSourceStrip(std::uint16_t sourceId) {
  Report(MPU_OP_INSRC_STRIP_ID,
         TMPUInSourceStripChangeMessage{sourceId, mix_.StripOfSource(sourceId)});
}

void UnitLogic::ReportSoftFunction(std::uint16_t f) {
  const TMPUSoftFunctionControlMessage r{f, WireBool(mix_.SoftFunctions[f])};
  // The input side knows the triggers and ON AIR, the output side the
  // triggers, DTX and live log.
  if ((f >= MPU_SOFTFUNC_TRIG1 && f <= MPU_SOFTFUNC_TRIG8) || f == MPU_SOFTFUNC_CTA_ONAIR)
    Report(MPU_OP_SOFTFUNC_IN_STATUS, r);
  if (f >= MPU_SOFTFUNC_TRIG1 && f <= MPU_SOFTFUNC_CTA_LIVELOG)
    Report(MPU_OP_SOFTFUNC_OUT_STATUS, r);
}

// ---------------------------------------------------------------------------
// Records built from the state.

TMPUInsourceStandardParamsMessage UnitLogic::StandardParams(std::uint16_t id) const {
  TMPUInsourceStandardParamsMessage r;
  r.SourceID = id;
  r.StripNo = mix_.StripOfSource(id);
  for (int m = 0; m < kTriggerMasterCount; ++m) {
    r.BusTriggers[static_cast<std::size_t>(m)].InSourceID = id;
    r.BusTriggers[static_cast<std::size_t>(m)].MasterId = static_cast<std::uint8_t>(m);
  }
  const InputSource* s = mix_.Input(id);
  if (!s) {  // no input behind this id
    r.SourceStatus = static_cast<std::uint8_t>(SourceStatus::Reserved);
    return r;
  }
  r.SourceClass = s->Stereo ? 2 : 1;
  r.SourceType = s->Type;
  r.SourceFormat = s->Stereo ? 2 : 1;
  r.SourceProcessing = WireBool(s->Type == static_cast<std::uint8_t>(InSourceType::Mic) ||
                                s->Type == static_cast<std::uint8_t>(InSourceType::TBU));
  r.SourceStatus = s->Status;
  r.SourceMode = s->Mode;
  r.ShortLabel = s->ShortLabel;
  r.LongLabelEncoding = s->LongEnc;
  r.LongLabel = s->LongLabel;
  r.InputGainLeft = ClampTo<std::int8_t>(s->GainLeft);
  r.InputGainRight = ClampTo<std::int8_t>(s->GainRight);
  r.InputCalLeft = ClampTo<std::int8_t>(s->CalLeft);
  r.InputCalRight = ClampTo<std::int8_t>(s->CalRight);
  r.ChannelMode = static_cast<std::uint8_t>(s->ChannelMode);
  r.PhaseReversal = static_cast<std::uint8_t>((s->PhaseLeft ? kPhaseLeft : 0) |
                                              (s->PhaseRight ? kPhaseRight : 0));
  r.Location = static_cast<std::uint8_t>(s->Location);
  r.PhantomPower = WireBool(s->Phantom);
  r.IndicatorMode = WireBool(s->IndicatorAlways);
  r.ControlOptions = s->ControlOptions;
  r.BusTriggers = s->Triggers;
  r.BusRouting = s->Routing;
  r.GainTrim = ClampTo<std::int8_t>(s->Trim);
  r.Panning = ClampTo<std::int8_t>(s->Pan);
  r.AuxMode = static_cast<std::uint8_t>(s->AuxMode);
  r.AuxGain = ClampTo<std::int8_t>(s->AuxGain);
  r.FaderPos = FaderPos(s->Fader);
  r.FaderGain = s->Fader;
  r.ControlStatus = s->StatusWord();
  return r;
}

TMPUInsourceProcessingParamsMessage UnitLogic::ProcessingParams(std::uint16_t id) const {
  TMPUInsourceProcessingParamsMessage r;
  r.SourceID = id;
  const InputSource* s = mix_.Input(id);
  if (!s) {
    r.SourceStatus = static_cast<std::uint8_t>(SourceStatus::Reserved);
    for (int b = 0; b < kFilterBandCount; ++b) {
      r.FilterBands[static_cast<std::size_t>(b)].SourceID = id;
      r.FilterBands[static_cast<std::size_t>(b)].FilterId = static_cast<std::uint8_t>(b);
    }
    r.Limiter.SourceID = r.Compressor.SourceID = id;
    return r;
  }
  const TMPUInsourceStandardParamsMessage head = StandardParams(id);
  r.SourceClass = head.SourceClass;
  r.SourceType = head.SourceType;
  r.SourceFormat = head.SourceFormat;
  r.SourceProc = head.SourceProcessing;
  r.SourceStatus = head.SourceStatus;
  r.SourceMode = head.SourceMode;
  r.FilterBands = s->Filters;
  r.Limiter = s->Limiter;
  r.Compressor = s->Compressor;
  return r;
}

TMPUOutsourceStandardParamsMessage UnitLogic::OutputParams(std::uint16_t id) const {
  const OutputSource& o = mix_.Outputs[id];
  TMPUOutsourceStandardParamsMessage r;
  r.SourceID = id;
  r.SourceClass = 2;
  r.SourceType = o.Type;
  r.SourceFormat = 2;
  r.SourceStatus = o.Status;
  r.outputGainLeft = ClampTo<std::int8_t>(o.GainLeft);
  r.OutputGainRight = ClampTo<std::int8_t>(o.GainRight);
  r.OutputCalLeft = ClampTo<std::int8_t>(o.CalLeft);
  r.OutputCalRight = ClampTo<std::int8_t>(o.CalRight);
  r.SendSourceLeft = o.SendLeft;
  r.SendSourceRight = o.SendRight;
  r.FormatOptions = o.FormatOptions;
  return r;
}

TMPUMixBusParamsMessage UnitLogic::MixBusParams(std::uint16_t id) const {
  const MixBus& bus = mix_.Buses[id];
  TMPUMixBusParamsMessage r;
  r.MixBusId = id;
  r.ProcOptions = bus.ProcOptions;
  r.Mode = bus.Mode;
  r.MasterBusId = bus.MasterBusId;
  r.SendSourceLeft = bus.SendSourceLeft;
  r.SendSourceRight = bus.SendSourceRight;
  r.OTBActive = WireBool(mix_.OtbBuses[id]);
  r.Limiter = bus.Limiter;
  if (id > static_cast<std::uint16_t>(BusId::AUX)) r.Limiter = {id, 0, 0, 0};  // no main limiter
  return r;
}

TMPUMonitorParamsMessage UnitLogic::MonitorParams() const {
  TMPUMonitorParamsMessage r;
  r.PrefadeActive = WireBool(std::any_of(mix_.Inputs.begin(), mix_.Inputs.end(),
                                         [](const InputSource& s) { return s.Pfl; }));
  r.PreviewActive = WireBool(mix_.Preview);
  r.APFActive = WireBool(mix_.Apf);
  r.SplitActive = WireBool(mix_.Split);
  r.CRPresetId = mix_.SelectedPreset;
  for (int k = 0; k < 16; ++k)
    if (mix_.Monitors[static_cast<std::size_t>(MPU_MONITOR_GRCU1 + k)].GroupMember)
      r.GRCUGroups = static_cast<std::uint16_t>(r.GRCUGroups | (1u << k));
  for (int p = 0; p < kCRPresetCount; ++p)
    r.SendSources[static_cast<std::size_t>(p)] = mix_.PresetSources[static_cast<std::size_t>(p)];
  r.SendSources[TMPUMonitorParamsMessage::kSendSourceSTLS] =
      mix_.Monitors[MPU_MONITOR_STLS].SendSource;
  r.SendSources[TMPUMonitorParamsMessage::kSendSourceHPA] =
      mix_.Monitors[MPU_MONITOR_HPA].SendSource;
  r.SendSources[TMPUMonitorParamsMessage::kSendSourceHPB] =
      mix_.Monitors[MPU_MONITOR_HPB].SendSource;
  for (std::size_t i = 0; i < r.VolumeAdj.size(); ++i) r.VolumeAdj[i] = mix_.Monitors[i].VolumeAdj;
  return r;
}

TMPUMixerStatsMessage UnitLogic::MixerStats() const {
  TMPUMixerStatsMessage r;
  for (const InputSource& s : mix_.Inputs) {
    if (s.Pfl) ++r.InSourcePFcount;
    if (!IsMic(s)) continue;
    const bool cr = InControlRoom(s);
    if (s.Pfl) ++(cr ? r.CRMicPFCount : r.STMicPFCount);
    if (Live(s)) ++(cr ? r.CRMicLiveCount : r.STMicLiveCount);
  }
  return r;
}

TMPUStripParamsMessage UnitLogic::StripParams(std::uint16_t strip) const {
  TMPUStripParamsMessage r;
  r.StripId = static_cast<std::uint8_t>(strip);
  r.ConsoleId = kStripNotPresent;
  if (strip >= kStripCount) return r;
  if (const auto console = mix_.ConsoleOfStrip(strip)) {
    r.Active = 1;
    r.ConsoleId = static_cast<std::uint8_t>(*console);
    r.ConsoleLoc = mix_.Consoles.Consoles[*console].Location;
  }
  r.SourceId = mix_.Strips[strip].SourceId;
  r.EditStatus = WireBool(mix_.Strips[strip].EditMode);
  return r;
}

TMPUGPOutputConfigMessage UnitLogic::GpoRecord(std::uint16_t circuit) const {
  TMPUGPOutputConfigMessage r = mix_.Gpo[circuit];
  const InputSource* own = mix_.Input(r.InSourceId);
  auto anyMic = [this](auto pred) {
    return std::any_of(mix_.Inputs.begin(), mix_.Inputs.end(),
                       [&](const InputSource& s) { return IsMic(s) && pred(s); });
  };
  auto anyOtb = [this] {
    auto on = [](bool b) { return b; };
    return std::any_of(mix_.OtbOutputs.begin(), mix_.OtbOutputs.end(), on) ||
           std::any_of(mix_.OtbBuses.begin(), mix_.OtbBuses.end(), on) ||
           std::any_of(mix_.OtbMonitors.begin(), mix_.OtbMonitors.end(), on);
  };
  // The output's state follows its function.
  bool active = false;
  const std::uint16_t f = r.FunctionId;
  if (f >= 1 && f <= 6 && own) {
    switch (f) {
      case 1:
      case 3:
        active = own->On;
        break;  // start, start/stop tally
      case 2:
        active = !own->On;
        break;  // stop tally
      case 4:
        active = own->Pfl;
        break;  // prefade tally
      case 5:
        active = anyOtb();
        break;  // talkback out tally
      case 6:
        active = own->On || own->Pfl;
        break;
      default:
        break;
    }
  } else if (f >= 128 && f <= 135) {
    active = mix_.SoftFunctions[static_cast<std::size_t>(f - 127)];
  } else {
    switch (f) {
      case 136:
        active = anyMic(Live);
        break;
      case 137:
        active = anyMic([](const InputSource& s) { return Live(s) || s.Pfl; });
        break;
      case 138:
        active = anyMic([](const InputSource& s) { return Live(s) && InControlRoom(s); });
        break;
      case 139:
        active =
            anyMic([](const InputSource& s) { return (Live(s) || s.Pfl) && InControlRoom(s); });
        break;
      case 140:
        active = anyMic([](const InputSource& s) { return Live(s) && !InControlRoom(s); });
        break;
      case 141:
        active =
            anyMic([](const InputSource& s) { return (Live(s) || s.Pfl) && !InControlRoom(s); });
        break;
      case 142:
        active = std::any_of(mix_.Inputs.begin(), mix_.Inputs.end(),
                             [](const InputSource& s) { return s.Pfl; });
        break;
      case 143:
        active = mix_.SoftFunctions[MPU_SOFTFUNC_DTX_ACTIVE];
        break;
      case 144:
        active = mix_.SoftFunctions[MPU_SOFTFUNC_CTA_LIVELOG];
        break;
      case 145:
        active = anyOtb();
        break;
      default:
        if (f >= 147 && f <= 154) active = Live(mix_.Inputs[f - 146]);  // MIC n video cam tally
        break;
    }
  }
  r.Active = WireBool(active);
  return r;
}

}  // namespace mpu::sim
