#include "protocol/opcodes.h"

#include <algorithm>
#include <array>

namespace mpu {
namespace {

constexpr OpcodeInfo kCatalogue[] = {
    {MPU_OP_INSRC_LABEL, "MPU_OP_INSRC_LABEL", Direction::HostToMpu, 46, 1,
     "TMPUSourceLabelMessage",
     "main window", "not handled when received"},
    {MPU_OP_INSRC_SYSTEM_GAIN, "MPU_OP_INSRC_SYSTEM_GAIN", Direction::Both, 6, 1,
     "TMPUSourceSystemGainMessage",
     "main window", "shown on the input page"},
    {MPU_OP_INSRC_CALIBRATION, "MPU_OP_INSRC_CALIBRATION", Direction::Both, 6, 1,
     "TMPUSourceSystemGainMessage layout (left, right calibration)",
     "main window", "shown on the input page"},
    {MPU_OP_INSRC_CHANNEL_MODE, "MPU_OP_INSRC_CHANNEL_MODE", Direction::Both, 6, 1,
     "TMPUInSourceModeMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_PHANTOM, "MPU_OP_INSRC_PHANTOM", Direction::Both, 4, 1,
     "TMPUSourceControlMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_LOCATION, "MPU_OP_INSRC_LOCATION", Direction::Both, 4, 1,
     "TMPUSourceControlMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_FILTER, "MPU_OP_INSRC_FILTER", Direction::Both, 10, 1,
     "TMPUInSourceFilterParamsMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_ROUTING_TRIGGER, "MPU_OP_INSRC_ROUTING_TRIGGER", Direction::Both, 13, 1,
     "TMPUInSourceRoutingTriggerMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_FADER, "MPU_OP_INSRC_FADER", Direction::Both, 5, 1,
     "TMPUInSourceGainMessage",
     "main window, IPC server", "shown"},
    {MPU_OP_INSRC_GAIN_TRIM, "MPU_OP_INSRC_GAIN_TRIM", Direction::Both, 5, 1,
     "TMPUInSourceGainMessage",
     "main window, IPC server", "shown"},
    {MPU_OP_INSRC_PAN, "MPU_OP_INSRC_PAN", Direction::Both, 5, 1,
     "TMPUInSourceGainMessage",
     "main window, IPC server", "shown"},
    {MPU_OP_INSRC_AUX_SEND, "MPU_OP_INSRC_AUX_SEND", Direction::Both, 6, 1,
     "TMPUInSourceAuxSendMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_BUS_ROUTING, "MPU_OP_INSRC_BUS_ROUTING", Direction::HostToMpu, 6, 1,
     "TMPUInSourceBusRoutingMessage",
     "main window, IPC server", "not handled when received"},
    {MPU_OP_INSRC_ROUTING_MASK, "MPU_OP_INSRC_ROUTING_MASK", Direction::Both, 6, 1,
     "TMPUInSourceBusRoutingMessage (BusId 0, Routing = mask)",
     "main window", "shown"},
    {MPU_OP_INSRC_ON, "MPU_OP_INSRC_ON", Direction::Both, 4, 1,
     "TMPUSourceControlMessage",
     "main window, IPC server", "shown; IPC server notifies clients"},
    {MPU_OP_INSRC_CONTROL_OPTIONS, "MPU_OP_INSRC_CONTROL_OPTIONS", Direction::Both, 4, 1,
     "TMPUSourceControlMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_LIMITER, "MPU_OP_INSRC_LIMITER", Direction::Both, 6, 1,
     "TMPULimiterParamsMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_COMPRESSOR, "MPU_OP_INSRC_COMPRESSOR", Direction::Both, 9, 1,
     "TMPUCompressorParamsMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_INDICATOR, "MPU_OP_INSRC_INDICATOR", Direction::Both, 4, 1,
     "TMPUSourceControlMessage",
     "main window", "shown"},
    {MPU_OP_INSRC_SOURCE_MODE, "MPU_OP_INSRC_SOURCE_MODE", Direction::Both, 4, 1,
     "TMPUSourceControlMessage",
     "main window, IPC server", "shown"},
    {MPU_OP_INSRC_VIRTUAL_CONTROL, "MPU_OP_INSRC_VIRTUAL_CONTROL", Direction::MpuToHost, -1, 1,
     "TMPUInSourceVControlMessage",
     "MPU", "shown; IPC server forwards to the client holding the source"},
    {MPU_OP_INSRC_STANDARD_PARAMS, "MPU_OP_INSRC_STANDARD_PARAMS", Direction::Both, 4, 1,
     "request: TMPUSourceControlMessage with SourceID only; answer: TMPUInsourceStandardParamsMessage",
     "device component", "answer with the same opcode; shown"},
    {MPU_OP_INSRC_PROCESSING_PARAMS, "MPU_OP_INSRC_PROCESSING_PARAMS", Direction::Both, 4, 1,
     "request: SourceID only; answer: TMPUInsourceProcessingParamsMessage",
     "device component", "answer with the same opcode; shown"},
    {MPU_OP_INSRC_STRIP_ID, "MPU_OP_INSRC_STRIP_ID", Direction::Both, 4, 1,
     "request: SourceID only; answer: TMPUInSourceStripChangeMessage",
     "device component", "answer with the same opcode; shown; IPC server notifies clients"},
    {MPU_OP_OUTSRC_GAIN, "MPU_OP_OUTSRC_GAIN", Direction::Both, 6, 1,
     "TMPUSourceSystemGainMessage layout (left, right gain)",
     "main window", "shown on the output page"},
    {MPU_OP_OUTSRC_CALIBRATION, "MPU_OP_OUTSRC_CALIBRATION", Direction::Both, 6, 1,
     "TMPUSourceSystemGainMessage layout (left, right calibration)",
     "main window", "shown"},
    {MPU_OP_OUTSRC_SEND_SOURCE, "MPU_OP_OUTSRC_SEND_SOURCE", Direction::Both, 6, 1,
     "TMPUSendSourceMessage",
     "main window, IPC server", "shown"},
    {MPU_OP_OUTSRC_FORMAT_OPTIONS, "MPU_OP_OUTSRC_FORMAT_OPTIONS", Direction::Both, 4, 1,
     "TMPUSourceControlMessage",
     "main window", "shown"},
    {MPU_OP_OUTSRC_STANDARD_PARAMS, "MPU_OP_OUTSRC_STANDARD_PARAMS", Direction::Both, 4, 1,
     "request: SourceID only; answer: TMPUOutsourceStandardParamsMessage",
     "device component", "answer with the same opcode; shown"},
    {MPU_OP_TALKBACK_CONFIG, "MPU_OP_TALKBACK_CONFIG", Direction::Both, 15, 1,
     "TMPUTalkbackConfigMessage",
     "main window", "shown"},
    {MPU_OP_OTB_CONTROL, "MPU_OP_OTB_CONTROL", Direction::Both, 5, 1,
     "TMPUOTBControlMessage",
     "main window", "shown"},
    {MPU_OP_MONITOR_TB_CONFIG, "MPU_OP_MONITOR_TB_CONFIG", Direction::Both, 7, 1,
     "TMPUMonitorTBConfigMessage",
     "main window", "shown"},
    {MPU_OP_MONITOR_VOLUME, "MPU_OP_MONITOR_VOLUME", Direction::HostToMpu, 4, 1,
     "TMPUMonitorGainMessage",
     "main window", "not handled when received"},
    {MPU_OP_MONITOR_VOLUME_ADJUST, "MPU_OP_MONITOR_VOLUME_ADJUST", Direction::Both, 4, 1,
     "TMPUMonitorGainMessage",
     "main window", "shown"},
    {MPU_OP_MONITOR_SEND_SOURCE, "MPU_OP_MONITOR_SEND_SOURCE", Direction::Both, 4, 1,
     "TMPUMonitorControlMessage",
     "main window", "shown; IPC server notifies clients"},
    {MPU_OP_MONITOR_GRCU_GROUP, "MPU_OP_MONITOR_GRCU_GROUP", Direction::Both, 4, 1,
     "TMPUMonitorControlMessage",
     "main window", "shown"},
    {MPU_OP_CR_MONITOR_SELECT, "MPU_OP_CR_MONITOR_SELECT", Direction::Both, 4, 1,
     "TMPUCRMonitorPresetMessage",
     "main window", "shown; IPC server notifies clients"},
    {MPU_OP_CR_MONITOR_APF, "MPU_OP_CR_MONITOR_APF", Direction::Both, 4, 1,
     "TMPUMonitorControlMessage (MonitorID 1)",
     "main window", "shown"},
    {MPU_OP_CR_MONITOR_SPLIT, "MPU_OP_CR_MONITOR_SPLIT", Direction::Both, 4, 1,
     "TMPUMonitorControlMessage (MonitorID 0)",
     "main window", "shown"},
    {MPU_OP_CR_MONITOR_PREVIEW, "MPU_OP_CR_MONITOR_PREVIEW", Direction::Both, 4, 1,
     "TMPUMonitorControlMessage (MonitorID 0)",
     "main window, device component (SetPreviewMonitor)", "shown; IPC server notifies clients"},
    {MPU_OP_CR_PRESET_SOURCE, "MPU_OP_CR_PRESET_SOURCE", Direction::Both, 4, 1,
     "TMPUCRMonitorPresetMessage",
     "main window", "shown; IPC server notifies clients"},
    {MPU_OP_MIXBUS_LIMITER, "MPU_OP_MIXBUS_LIMITER", Direction::Both, 6, 1,
     "TMPULimiterParamsMessage (SourceID = mix bus id)",
     "main window", "shown"},
    {MPU_OP_MIXBUS_CONFIG, "MPU_OP_MIXBUS_CONFIG", Direction::Both, 10, 1,
     "TMPUMixBusConfigMessage",
     "main window", "shown"},
    {MPU_OP_MIXBUS_PARAMS, "MPU_OP_MIXBUS_PARAMS", Direction::Both, 10, 1,
     "request: MixBusId word only; answer: TMPUMixBusParamsMessage",
     "device component", "answer with the same opcode; shown"},
    {MPU_OP_MCS_TALLY, "MPU_OP_MCS_TALLY", Direction::HostToMpu, 2, 1,
     "TMPUTallyControlMessage",
     "device component (SetMCSTally)", "-"},
    {MPU_OP_STRIP_EDIT_KEY, "MPU_OP_STRIP_EDIT_KEY", Direction::MpuToHost, -1, 1,
     "TMPUStripControlMessage (Value 0 released, non-zero pressed)",
     "MPU", "toggles the strip's edit mode"},
    {MPU_OP_STRIP_EDIT_MODE, "MPU_OP_STRIP_EDIT_MODE", Direction::Both, 4, 1,
     "TMPUStripControlMessage",
     "main window", "shown"},
    {MPU_OP_STRIP_ASSIGN_SOURCE, "MPU_OP_STRIP_ASSIGN_SOURCE", Direction::Both, 4, 1,
     "TMPUStripControlMessage",
     "main window", "shown"},
    {MPU_OP_STRIP_PARAMS, "MPU_OP_STRIP_PARAMS", Direction::Both, 4, 1,
     "request: StripId word only (255 = all strips); answer: TMPUStripParamsMessage",
     "device component", "answer with the same opcode; shown"},
    {MPU_OP_GET_TALKBACK_CONFIG, "MPU_OP_GET_TALKBACK_CONFIG", Direction::HostToMpu, 0, 1,
     "none",
     "device component", "answered by MPU_OP_TALKBACK_CONFIG"},
    {MPU_OP_MCS_KEY, "MPU_OP_MCS_KEY", Direction::MpuToHost, -1, 1,
     "TMPUTallyControlMessage layout (key id, state)",
     "MPU", "mirrored on the MCS page; IPC server may take it"},
    {MPU_OP_GET_OTB_STATUS, "MPU_OP_GET_OTB_STATUS", Direction::HostToMpu, 4, 1,
     "TargetType word, TargetID word (first two fields of TMPUOTBControlMessage)",
     "device component", "answered by MPU_OP_OTB_CONTROL"},
    {MPU_OP_MCS_ENCODER, "MPU_OP_MCS_ENCODER", Direction::MpuToHost, -1, 1,
     "encoder id byte, direction byte",
     "MPU", "counts on the MCS page"},
    {MPU_OP_MIXER_STATS, "MPU_OP_MIXER_STATS", Direction::Both, 0, 1,
     "request: none; answer: TMPUMixerStatsMessage",
     "device component", "answer with the same opcode; used by the IPC server only"},
    {MPU_OP_MONITOR_PARAMS, "MPU_OP_MONITOR_PARAMS", Direction::Both, 0, 1,
     "request: none; answer: TMPUMonitorParamsMessage",
     "device component", "answer with the same opcode; shown; IPC server notifies clients"},
    {MPU_OP_GET_MONITOR_TB_CONFIG, "MPU_OP_GET_MONITOR_TB_CONFIG", Direction::HostToMpu, 7, 1,
     "MonitorID word",
     "device component", "answered by MPU_OP_MONITOR_TB_CONFIG"},
    {MPU_OP_MIXER_SETTINGS, "MPU_OP_MIXER_SETTINGS", Direction::Both, 18, 3,
     "TMPUMixerSettingsMessage, Revision 3",
     "main window", "shown"},
    {MPU_OP_GET_MIXER_SETTINGS, "MPU_OP_GET_MIXER_SETTINGS", Direction::HostToMpu, 0, 1,
     "none",
     "device component", "answered by MPU_OP_MIXER_SETTINGS"},
    {MPU_OP_CR_PRESET_EDIT, "MPU_OP_CR_PRESET_EDIT", Direction::MpuToHost, -1, 1,
     "preset-source item byte (0..4)",
     "MPU", "brings the window forward on the preset-source controls"},
    {MPU_OP_MIXER_CLOCK_SOURCE, "MPU_OP_MIXER_CLOCK_SOURCE", Direction::HostToMpu, 18, 1,
     "TMPUClockSourceMessage",
     "main window", "-"},
    {MPU_OP_GPI_CONFIG, "MPU_OP_GPI_CONFIG", Direction::Both, 11, 1,
     "TMPUGPInputConfigMessage",
     "main window", "shown"},
    {MPU_OP_GPO_CONFIG, "MPU_OP_GPO_CONFIG", Direction::Both, 12, 1,
     "TMPUGPOutputConfigMessage",
     "main window", "shown"},
    {MPU_OP_GET_GPI_CONFIG, "MPU_OP_GET_GPI_CONFIG", Direction::HostToMpu, 11, 1,
     "CircuitId word",
     "device component", "answered by MPU_OP_GPI_CONFIG"},
    {MPU_OP_SOFTFUNC_IN_STATUS, "MPU_OP_SOFTFUNC_IN_STATUS", Direction::MpuToHost, -1, 1,
     "TMPUSoftFunctionControlMessage",
     "MPU", "shown"},
    {MPU_OP_GET_GPO_CONFIG, "MPU_OP_GET_GPO_CONFIG", Direction::HostToMpu, 12, 1,
     "CircuitId word",
     "device component", "answered by MPU_OP_GPO_CONFIG"},
    {MPU_OP_SOFTFUNC_OUT_STATUS, "MPU_OP_SOFTFUNC_OUT_STATUS", Direction::MpuToHost, -1, 1,
     "TMPUSoftFunctionControlMessage",
     "MPU", "shown"},
    {MPU_OP_SOFTFUNC_CONTROL, "MPU_OP_SOFTFUNC_CONTROL", Direction::HostToMpu, 3, 1,
     "TMPUSoftFunctionControlMessage",
     "main window", "-"},
    {MPU_OP_GET_SOFTFUNC_IN_STATUS, "MPU_OP_GET_SOFTFUNC_IN_STATUS", Direction::HostToMpu, 3, 1,
     "FunctionId word",
     "device component", "answered by MPU_OP_SOFTFUNC_IN_STATUS"},
    {MPU_OP_GET_SOFTFUNC_OUT_STATUS, "MPU_OP_GET_SOFTFUNC_OUT_STATUS", Direction::HostToMpu, 3, 1,
     "FunctionId word",
     "device component", "answered by MPU_OP_SOFTFUNC_OUT_STATUS"},
    {MPU_OP_FIRMWARE_INFO, "MPU_OP_FIRMWARE_INFO", Direction::Both, 0, 1,
     "request: none; answer: TMPUFirmwareInfoMsg",
     "device component", "connection handshake; firmware list"},
    {MPU_OP_HEALTH_INFO, "MPU_OP_HEALTH_INFO", Direction::Both, 0, 1,
     "request: none; answer: TMPUHealthInfo",
     "device component", "health event"},
    {MPU_OP_SESSION, "MPU_OP_SESSION", Direction::Both, 9, 1,
     "TMPUSessionMessage",
     "device component", "session state"},
    {MPU_OP_HOST_READY, "MPU_OP_HOST_READY", Direction::HostToMpu, 0, 1,
     "none",
     "device component", "-"},
    {MPU_OP_MARKER, "MPU_OP_MARKER", Direction::Both, 12, 1,
     "TMPUMarkerMessage",
     "device component (SendMarker)", "the MPU echoes it; echoes with MarkerId 512 and above are raised as mixer messages"},
    {MPU_OP_CONFIG_STORE, "MPU_OP_CONFIG_STORE", Direction::Both, 4, 1,
     "TMPUConfigStoreMessage",
     "device component", "configuration version event"},
    {MPU_OP_MASS_UPDATE, "MPU_OP_MASS_UPDATE", Direction::Both, 2, 1,
     "TMPUMassUpdateMessage",
     "device component", "mass-update event"},
    {MPU_OP_CONSOLE_LIST, "MPU_OP_CONSOLE_LIST", Direction::Both, 0, 1,
     "request: none; answer: TMPUConsoleListMessage",
     "device component", "console list rebuilt"},
    {MPU_OP_CONSOLE_LIST_WRITE, "MPU_OP_CONSOLE_LIST_WRITE", Direction::HostToMpu, 104, 1,
     "TMPUConsoleListMessage",
     "device component", "-"},
    {MPU_OP_CONSOLE_BRIGHTNESS, "MPU_OP_CONSOLE_BRIGHTNESS", Direction::Both, 2, 1,
     "TMPUConsoleBrightnessMessage",
     "device component", "console brightness updated"},
    {MPU_OP_POWER_CONTROL, "MPU_OP_POWER_CONTROL", Direction::HostToMpu, 3, 1,
     "TMPUPowerControlMessage",
     "main window", "-"},
    {MPU_OP_FIRMWARE_UPLOAD, "MPU_OP_FIRMWARE_UPLOAD", Direction::Both, 4, 1,
     "H: TMPUFirmwareXferRequest; M: TMPUFirmwareXferInfo",
     "device component", "transfer MPU to PC"},
    {MPU_OP_FIRMWARE_DOWNLOAD, "MPU_OP_FIRMWARE_DOWNLOAD", Direction::Both, 4, 1,
     "H: TMPUFirmwareXferRequest; M: TMPUFirmwareXferInfo",
     "device component", "transfer PC to MPU"},
    {MPU_OP_FIRMWARE_PROGRAM, "MPU_OP_FIRMWARE_PROGRAM", Direction::Both, 12, 2,
     "H: TMPUFirmwareProgRequest, Revision 2; M: TMPUFirmwareProgInfo",
     "device component", "programming"},
    {MPU_OP_BOARD_TAG_READ, "MPU_OP_BOARD_TAG_READ", Direction::Both, 123, 1,
     "TMPUBoardTagMessage (request: BoardId and DeviceId only)",
     "device component", "board-tag event"},
    {MPU_OP_BOARD_TAG_WRITE, "MPU_OP_BOARD_TAG_WRITE", Direction::HostToMpu, 123, 1,
     "TMPUBoardTagMessage",
     "device component", "-"},
    {MPU_OP_WRITE_UNLOCK, "MPU_OP_WRITE_UNLOCK", Direction::HostToMpu, 4, 1,
     "TMPUWriteUnlockMessage",
     "device component", "-"},
    {MPU_OP_AB_DIRECT_WRITE, "MPU_OP_AB_DIRECT_WRITE", Direction::HostToMpu, 67, 1,
     "TMPUABDirectMessage",
     "main window", "-"},
    {MPU_OP_AB_DIRECT_READ, "MPU_OP_AB_DIRECT_READ", Direction::Both, 67, 1,
     "TMPUABDirectMessage (request: Address and Count only)",
     "device component, main window", "audio-board read event when Count is non-zero"},
};

// "0x00" .. "0xFF" for opcodes without a name.
struct HexNames {
  std::array<std::array<char, 5>, 256> text{};
  HexNames() {
    constexpr char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 256; ++i) text[i] = {'0', 'x', digits[i >> 4], digits[i & 15], '\0'};
  }
  std::string_view operator[](std::uint8_t i) const { return {text[i].data(), 4}; }
};

const HexNames& Hex() {
  static const HexNames names;
  return names;
}

template <class Pred>
const OpcodeInfo* Find(std::uint8_t opcode, Pred pred) {
  for (const OpcodeInfo& info : kCatalogue)
    if (info.Number == opcode && pred(info.Dir)) return &info;
  return nullptr;
}

}  // namespace

std::span<const OpcodeInfo> OpcodeCatalogue() { return kCatalogue; }

const OpcodeInfo* FindCommandOpcode(std::uint8_t opcode) { return Find(opcode, SentByHost); }

const OpcodeInfo* FindReportOpcode(std::uint8_t opcode) { return Find(opcode, SentByMpu); }

std::string_view CommandOpcodeName(std::uint8_t opcode) {
  if (const OpcodeInfo* info = FindCommandOpcode(opcode)) return info->Name;
  if (const OpcodeInfo* info = FindReportOpcode(opcode)) return info->Name;
  return Hex()[opcode];
}

std::string_view ReportOpcodeName(std::uint8_t opcode) {
  if (const OpcodeInfo* info = FindReportOpcode(opcode)) return info->Name;
  if (const OpcodeInfo* info = FindCommandOpcode(opcode)) return info->Name;
  return Hex()[opcode];
}

std::optional<std::uint8_t> AnswerOpcodeFor(std::uint8_t request) {
  switch (request) {
    case MPU_OP_INSRC_STANDARD_PARAMS:
    case MPU_OP_INSRC_PROCESSING_PARAMS:
    case MPU_OP_INSRC_STRIP_ID:
    case MPU_OP_OUTSRC_STANDARD_PARAMS:
    case MPU_OP_MIXBUS_PARAMS:
    case MPU_OP_STRIP_PARAMS:
    case MPU_OP_MIXER_STATS:
    case MPU_OP_MONITOR_PARAMS:
    case MPU_OP_FIRMWARE_INFO:
    case MPU_OP_HEALTH_INFO:
    case MPU_OP_CONSOLE_LIST:
    case MPU_OP_BOARD_TAG_READ:
    case MPU_OP_AB_DIRECT_READ:
    case MPU_OP_CONFIG_STORE:
      return request;
    case MPU_OP_GET_TALKBACK_CONFIG: return MPU_OP_TALKBACK_CONFIG;
    case MPU_OP_GET_OTB_STATUS: return MPU_OP_OTB_CONTROL;
    case MPU_OP_GET_MONITOR_TB_CONFIG: return MPU_OP_MONITOR_TB_CONFIG;
    case MPU_OP_GET_MIXER_SETTINGS: return MPU_OP_MIXER_SETTINGS;
    case MPU_OP_GET_GPI_CONFIG: return MPU_OP_GPI_CONFIG;
    case MPU_OP_GET_GPO_CONFIG: return MPU_OP_GPO_CONFIG;
    case MPU_OP_GET_SOFTFUNC_IN_STATUS: return MPU_OP_SOFTFUNC_IN_STATUS;
    case MPU_OP_GET_SOFTFUNC_OUT_STATUS: return MPU_OP_SOFTFUNC_OUT_STATUS;
    default: return std::nullopt;
  }
}

}  // namespace mpu
