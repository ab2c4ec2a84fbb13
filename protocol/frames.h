// The MPU command frame (512 bytes, host to MPU) and response frame
// (128 bytes, MPU to host). Both start with Opcode (byte 0), Revision
// (byte 1) and PayloadLen (Word at 2), followed by one payload record chosen
// by the opcode. Bytes a sender does not set are zero.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/mixer_records.h"
#include "protocol/mixer_types.h"
#include "protocol/opcodes.h"
#include "protocol/source_records.h"
#include "protocol/system_records.h"
#include "protocol/wire.h"

namespace mpu {

inline constexpr std::size_t kFrameHeaderSize = 4;

template <std::size_t N>
class MPUFrame {
 public:
  static constexpr std::size_t kSize = N;
  static constexpr std::size_t kPayloadSize = N - kFrameHeaderSize;

  std::uint8_t Opcode() const { return Bytes_[0]; }
  std::uint8_t Revision() const { return Bytes_[1]; }
  std::uint16_t PayloadLen() const { return wire::GetLE<std::uint16_t>(&Bytes_[2]); }
  void SetOpcode(std::uint8_t v) { Bytes_[0] = v; }
  void SetRevision(std::uint8_t v) { Bytes_[1] = v; }
  void SetPayloadLen(std::uint16_t v) { wire::PutLE<std::uint16_t>(&Bytes_[2], v); }

  // All bytes zero.
  void Clear() { Bytes_.fill(0); }

  std::span<std::uint8_t, N> Bytes() { return Bytes_; }
  std::span<const std::uint8_t, N> Bytes() const { return Bytes_; }
  std::span<std::uint8_t, kPayloadSize> Payload() { return std::span(Bytes_).template subspan<kFrameHeaderSize>(); }
  std::span<const std::uint8_t, kPayloadSize> Payload() const {
    return std::span(Bytes_).template subspan<kFrameHeaderSize>();
  }

  // The payload seen as record R. Every record fits every frame's payload.
  template <wire::Record R>
  R View() const {
    static_assert(R::kSize <= kPayloadSize);
    return *wire::Decode<R>(Payload());
  }

  // Writes record R at the start of the payload; the rest stays as it is.
  template <wire::Record R>
  void SetView(const R& record) {
    static_assert(R::kSize <= kPayloadSize);
    wire::Encode(record, Payload());
  }

  friend bool operator==(const MPUFrame&, const MPUFrame&) = default;

 protected:
  std::array<std::uint8_t, N> Bytes_{};
};

// Named views of the payload: Name() decodes, SetName(record) encodes.
#define MPU_FRAME_VIEW(Name, Type)                             \
  Type Name() const { return View<Type>(); }                   \
  void Set##Name(const Type& record) { SetView<Type>(record); }

// Host to MPU, 512 bytes. The transmit queue writes only the first
// control-packet-size bytes of it to the pipe.
class TMPUCommandMsg : public MPUFrame<512> {
 public:
  // Clears the frame and sets the header from the catalogue's row for the
  // opcode (Revision and PayloadLen). An opcode the host never sends gets
  // Revision 1 and PayloadLen 0, and the call returns false.
  bool Prepare(std::uint8_t opcode) {
    Clear();
    SetOpcode(opcode);
    const OpcodeInfo* info = FindCommandOpcode(opcode);
    SetRevision(info ? info->Revision : 1);
    SetPayloadLen(info && info->PayloadLen > 0 ? static_cast<std::uint16_t>(info->PayloadLen) : 0);
    return info != nullptr;
  }

  // Prepare, then write the payload record.
  template <wire::Record R>
  bool Prepare(std::uint8_t opcode, const R& payload) {
    const bool known = Prepare(opcode);
    SetView(payload);
    return known;
  }

  template <wire::Record R>
  static TMPUCommandMsg Make(std::uint8_t opcode, const R& payload) {
    TMPUCommandMsg msg;
    msg.Prepare(opcode, payload);
    return msg;
  }
  static TMPUCommandMsg Make(std::uint8_t opcode) {
    TMPUCommandMsg msg;
    msg.Prepare(opcode);
    return msg;
  }

  MPU_FRAME_VIEW(FirmwareXfer, TMPUFirmwareXferRequest)
  MPU_FRAME_VIEW(FirmwareProg, TMPUFirmwareProgRequest)
  MPU_FRAME_VIEW(ABDirectMsg, TMPUABDirectMessage)
  MPU_FRAME_VIEW(InSourceSysLabel, TMPUSourceLabelMessage)
  MPU_FRAME_VIEW(SourceSysGain, TMPUSourceSystemGainMessage)
  MPU_FRAME_VIEW(InSourceMode, TMPUInSourceModeMessage)
  MPU_FRAME_VIEW(InSourceControl, TMPUSourceControlMessage)
  MPU_FRAME_VIEW(InSourceFilter, TMPUInSourceFilterParamsMessage)
  MPU_FRAME_VIEW(LimiterParams, TMPULimiterParamsMessage)
  MPU_FRAME_VIEW(CompressorParams, TMPUCompressorParamsMessage)
  MPU_FRAME_VIEW(InSourceGain, TMPUInSourceGainMessage)
  MPU_FRAME_VIEW(InSourceAuxSend, TMPUInSourceAuxSendMessage)
  MPU_FRAME_VIEW(InSourceRouting, TMPUInSourceBusRoutingMessage)
  MPU_FRAME_VIEW(InSourceRoutingTrigger, TMPUInSourceRoutingTriggerMessage)
  MPU_FRAME_VIEW(OutSourceSendSource, TMPUSendSourceMessage)
  MPU_FRAME_VIEW(OutSourceControl, TMPUSourceControlMessage)
  MPU_FRAME_VIEW(TalkbackConfig, TMPUTalkbackConfigMessage)
  MPU_FRAME_VIEW(OTBControl, TMPUOTBControlMessage)
  MPU_FRAME_VIEW(MonitorVolume, TMPUMonitorGainMessage)
  MPU_FRAME_VIEW(MonitorControl, TMPUMonitorControlMessage)
  MPU_FRAME_VIEW(MonitorTBConfig, TMPUMonitorTBConfigMessage)
  MPU_FRAME_VIEW(CRMonitorPreset, TMPUCRMonitorPresetMessage)
  MPU_FRAME_VIEW(MixBusConfig, TMPUMixBusConfigMessage)
  MPU_FRAME_VIEW(GPInputCircuitConfig, TMPUGPInputConfigMessage)
  MPU_FRAME_VIEW(GPOutputCircuitConfig, TMPUGPOutputConfigMessage)
  MPU_FRAME_VIEW(SoftFunctionControl, TMPUSoftFunctionControlMessage)
  MPU_FRAME_VIEW(TallyControl, TMPUTallyControlMessage)
  MPU_FRAME_VIEW(StripControl, TMPUStripControlMessage)
  MPU_FRAME_VIEW(Marker, TMPUMarkerMessage)
  MPU_FRAME_VIEW(MixerConfigStore, TMPUConfigStoreMessage)
  MPU_FRAME_VIEW(MassUpdateControl, TMPUMassUpdateMessage)
  MPU_FRAME_VIEW(SessionControl, TMPUSessionMessage)
  MPU_FRAME_VIEW(ConsoleList, TMPUConsoleListMessage)
  MPU_FRAME_VIEW(ConsoleBrightness, TMPUConsoleBrightnessMessage)
  MPU_FRAME_VIEW(InSourceStripId, TMPUInSourceStripChangeMessage)
  MPU_FRAME_VIEW(MixerProperties, TMPUMixerSettingsMessage)
  MPU_FRAME_VIEW(PowerControl, TMPUPowerControlMessage)
  MPU_FRAME_VIEW(BoardInfoTag, TMPUBoardTagMessage)
  MPU_FRAME_VIEW(WriteUnlock, TMPUWriteUnlockMessage)
  MPU_FRAME_VIEW(CamInterfaceConfig, TMPUCamInterfaceMessage)
  MPU_FRAME_VIEW(MixerClockSource, TMPUClockSourceMessage)
};

// MPU to host, 128 bytes.
class TMPUResponseMsg : public MPUFrame<128> {
 public:
  // Takes a control packet read from the pipe: its first bytes up to the
  // frame size, the rest zero. Fails when the packet cannot hold the header.
  static std::optional<TMPUResponseMsg> FromPacket(wire::Bytes packet) {
    if (packet.size() < kFrameHeaderSize) return std::nullopt;
    TMPUResponseMsg msg;
    const std::size_t n = packet.size() < kSize ? packet.size() : kSize;
    std::copy_n(packet.data(), n, msg.Bytes_.data());
    return msg;
  }

  // Builds a response (for the simulated unit and for tests): the header and
  // the record, PayloadLen = the record's size unless given.
  template <wire::Record R>
  static TMPUResponseMsg Make(std::uint8_t opcode, const R& payload, std::uint8_t revision = 1,
                              std::optional<std::uint16_t> payloadLen = std::nullopt) {
    TMPUResponseMsg msg;
    msg.SetOpcode(opcode);
    msg.SetRevision(revision);
    msg.SetPayloadLen(payloadLen.value_or(static_cast<std::uint16_t>(R::kSize)));
    msg.SetView(payload);
    return msg;
  }

  MPU_FRAME_VIEW(FirmwareInfo, TMPUFirmwareInfoMsg)
  MPU_FRAME_VIEW(FirmwareXfer, TMPUFirmwareXferInfo)
  MPU_FRAME_VIEW(FirmwareProg, TMPUFirmwareProgInfo)
  MPU_FRAME_VIEW(ABDirectMsg, TMPUABDirectMessage)
  MPU_FRAME_VIEW(HealthMsg, TMPUHealthInfo)
  MPU_FRAME_VIEW(InSourceSysLabel, TMPUSourceLabelMessage)
  MPU_FRAME_VIEW(SourceSysGain, TMPUSourceSystemGainMessage)
  MPU_FRAME_VIEW(InSourceChannelMode, TMPUInSourceModeMessage)
  MPU_FRAME_VIEW(InSourceControl, TMPUSourceControlMessage)
  MPU_FRAME_VIEW(InSourceFilter, TMPUInSourceFilterParamsMessage)
  MPU_FRAME_VIEW(LimiterParams, TMPULimiterParamsMessage)
  MPU_FRAME_VIEW(CompressorParams, TMPUCompressorParamsMessage)
  MPU_FRAME_VIEW(InSourceGain, TMPUInSourceGainMessage)
  MPU_FRAME_VIEW(InSourceAuxSend, TMPUInSourceAuxSendMessage)
  MPU_FRAME_VIEW(InSourceRouting, TMPUInSourceBusRoutingMessage)
  MPU_FRAME_VIEW(InSourceRoutingTrigger, TMPUInSourceRoutingTriggerMessage)
  MPU_FRAME_VIEW(OutSourceSendSource, TMPUSendSourceMessage)
  MPU_FRAME_VIEW(OutSourceControl, TMPUSourceControlMessage)
  MPU_FRAME_VIEW(TalkbackConfig, TMPUTalkbackConfigMessage)
  MPU_FRAME_VIEW(OTBControl, TMPUOTBControlMessage)
  MPU_FRAME_VIEW(MonitorParams, TMPUMonitorParamsMessage)
  MPU_FRAME_VIEW(MonitorVolume, TMPUMonitorGainMessage)
  MPU_FRAME_VIEW(MonitorControl, TMPUMonitorControlMessage)
  MPU_FRAME_VIEW(MonitorTBConfig, TMPUMonitorTBConfigMessage)
  MPU_FRAME_VIEW(CRMonitorPreset, TMPUCRMonitorPresetMessage)
  MPU_FRAME_VIEW(MixBusConfig, TMPUMixBusConfigMessage)
  MPU_FRAME_VIEW(GPInputCircuitConfig, TMPUGPInputConfigMessage)
  MPU_FRAME_VIEW(GPOutputCircuitConfig, TMPUGPOutputConfigMessage)
  MPU_FRAME_VIEW(ControlStatus, TMPUControlStatusMessage)
  MPU_FRAME_VIEW(InSourceStandardParams, TMPUInsourceStandardParamsMessage)
  MPU_FRAME_VIEW(InSourceProcessingParams, TMPUInsourceProcessingParamsMessage)
  MPU_FRAME_VIEW(OutSourceStandardParams, TMPUOutsourceStandardParamsMessage)
  MPU_FRAME_VIEW(MixBusParams, TMPUMixBusParamsMessage)
  MPU_FRAME_VIEW(StripControl, TMPUStripControlMessage)
  MPU_FRAME_VIEW(StripParams, TMPUStripParamsMessage)
  MPU_FRAME_VIEW(MixerStats, TMPUMixerStatsMessage)
  MPU_FRAME_VIEW(InSourceVirtualControl, TMPUInSourceVControlMessage)
  MPU_FRAME_VIEW(Marker, TMPUMarkerMessage)
  MPU_FRAME_VIEW(SoftFunctionTrigger, TMPUSoftFunctionControlMessage)
  MPU_FRAME_VIEW(MixerConfig, TMPUConfigStoreMessage)
  MPU_FRAME_VIEW(MassUpdateControl, TMPUMassUpdateMessage)
  MPU_FRAME_VIEW(SessionControl, TMPUSessionMessage)
  MPU_FRAME_VIEW(ConsoleList, TMPUConsoleListMessage)
  MPU_FRAME_VIEW(ConsoleBrightness, TMPUConsoleBrightnessMessage)
  MPU_FRAME_VIEW(InSourceStripChange, TMPUInSourceStripChangeMessage)
  MPU_FRAME_VIEW(MixerProperties, TMPUMixerSettingsMessage)
  MPU_FRAME_VIEW(BoardInfoTag, TMPUBoardTagMessage)
  MPU_FRAME_VIEW(CamInterfaceConfig, TMPUCamInterfaceMessage)
  // MCS keys and encoder steps arrive in the tally record's two bytes.
  MPU_FRAME_VIEW(TallyControl, TMPUTallyControlMessage)
};

#undef MPU_FRAME_VIEW

static_assert(TMPUCommandMsg::kSize == 512 && TMPUCommandMsg::kPayloadSize == 508);
static_assert(TMPUResponseMsg::kSize == 128 && TMPUResponseMsg::kPayloadSize == 124);
static_assert(sizeof(TMPUCommandMsg) == 512);
static_assert(sizeof(TMPUResponseMsg) == 128);
// The largest response record must fit the response payload.
static_assert(TMPUInsourceStandardParamsMessage::kSize == 114);
static_assert(TMPUBoardTagMessage::kSize <= TMPUResponseMsg::kPayloadSize);

}  // namespace mpu
