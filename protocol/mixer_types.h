// Enumerations and bit fields of the MPU protocol: the closed sets of values
// that the payload records carry. The records keep the raw wire integer;
// these give the values their names.
#pragma once

#include <cstdint>

namespace mpu {

// Source mode of an input source.
enum TMPU_INSOURCE_MODE : std::uint8_t {
  MPU_ISRC_MODE_SYSTEM = 0,
  MPU_ISRC_MODE_STEALTH = 1,
  MPU_ISRC_MODE_STEALTH_PFL = 2,
  MPU_ISRC_MODE_NORMAL = 3,
  MPU_ISRC_MODE_VESTREL = 4,
  MPU_ISRC_MODE_COUNT = 5,
};

// Where a source or console sits.
enum TMPU_LOCATION_TYPE : std::uint8_t {
  MPU_LOCATION_CR1 = 0,
  MPU_LOCATION_ST1 = 1,
  MPU_LOCATION_CR2 = 2,
  MPU_LOCATION_ST2 = 3,
};

enum TMPU_MONITOR_ID : std::uint8_t {
  MPU_MONITOR_CRHP = 0,
  MPU_MONITOR_CRLS = 1,
  MPU_MONITOR_STLS = 2,
  MPU_MONITOR_CUELS = 3,
  MPU_MONITOR_GRCU1 = 4,
  MPU_MONITOR_GRCU2,
  MPU_MONITOR_GRCU3,
  MPU_MONITOR_GRCU4,
  MPU_MONITOR_GRCU5,
  MPU_MONITOR_GRCU6,
  MPU_MONITOR_GRCU7,
  MPU_MONITOR_GRCU8,
  MPU_MONITOR_GRCU9,
  MPU_MONITOR_GRCU10,
  MPU_MONITOR_GRCU11,
  MPU_MONITOR_GRCU12,
  MPU_MONITOR_GRCU13,
  MPU_MONITOR_GRCU14,
  MPU_MONITOR_GRCU15,
  MPU_MONITOR_GRCU16 = 19,
  MPU_MONITOR_HPA = 20,
  MPU_MONITOR_HPB = 21,
  MPU_MONITOR_COUNT = 22,
};

enum TMPU_SOFT_FUNCTION_ID : std::uint8_t {
  MPU_SOFTFUNC_NONE = 0,
  MPU_SOFTFUNC_TRIG1 = 1,
  MPU_SOFTFUNC_TRIG2,
  MPU_SOFTFUNC_TRIG3,
  MPU_SOFTFUNC_TRIG4,
  MPU_SOFTFUNC_TRIG5,
  MPU_SOFTFUNC_TRIG6,
  MPU_SOFTFUNC_TRIG7,
  MPU_SOFTFUNC_TRIG8 = 8,
  MPU_SOFTFUNC_DTX_ACTIVE = 9,
  MPU_SOFTFUNC_CTA_LIVELOG = 10,
  MPU_SOFTFUNC_CTA_ONAIR = 11,
  MC_SOFTFUNC_COUNT = 12,
};

// Tally lamps of the media control surface; also the ids of their keys.
enum TMPU_MCSTALLY_ID : std::uint8_t {
  MPU_MCSTALLY_RED = 0,
  MPU_MCSTALLY_GREEN = 1,
  MPU_MCSTALLY_YELLOW = 2,
  MPU_MCSTALLY_BLUE = 3,
  MPU_MCSTALLY_INTRO = 4,
  MPU_MCSTALLY_OUTRO = 5,
  MPU_MCSTALLY_LINK = 6,
  MPU_MCSTALLY_REWIND = 7,
  MPU_MCSTALLY_FORWARD = 8,
  MPU_MCSTALLY_CUE = 9,
  MPU_MCSTALLY_PLAY = 10,
  MPU_MCSTALLY_COUNT = 11,
};

enum TMPU_TALLY_MODE : std::uint8_t {
  MPU_TALLY_OFF = 0,
  MPU_TALLY_ON = 1,
  MPU_TALLY_BLINK = 2,
};

enum TMPU_CONSOLE_INTERFACE : std::uint8_t {
  MPU_CONSOLE_INTF_SERIAL = 0,
  MPU_CONSOLE_INTF_LAN = 1,
  MPU_CONSOLE_INTF_USB = 2,
};

enum TMPU_CONSOLE_TYPE : std::uint8_t {
  MPU_CONSOLE_TYPE_NONE = 0,
  MPU_CONSOLE_TYPE_VESTREL = 1,
  MPU_CONSOLE_TYPE_FENDRAL = 2,
};

// Checksum of a firmware transfer.
enum TMPUDataChecksumType : std::uint8_t {
  csNone = 0,
  csCRC32 = 1,
};

// Steps of a firmware transfer or programming run (SubRequest).
enum TMPU_FW_SUBREQUEST : std::uint8_t {
  MPU_FW_SUB_START = 1,
  MPU_FW_SUB_NEXT_BLOCK = 2,
  MPU_FW_SUB_REPEAT_BLOCK = 3,
  MPU_FW_SUB_FINISH = 4,
  MPU_FW_SUB_ABORT = 5,
  MPU_FW_SUB_ERASE = 6,
  MPU_FW_SUB_PROGRESS = 7,
};

// Firmware image locations (SourceId of transfer requests).
inline constexpr std::uint8_t MPU_FW_SOURCE_FLASH = 0;
inline constexpr std::uint8_t MPU_FW_SOURCE_STAGING = 128;

// Channel mode of a stereo input (TMPUInSourceModeMessage.ChannelMode).
enum class ChannelMode : std::uint16_t {
  Normal = 0,    // "L / R (normal)"
  Reversed = 1,  // "R / L (reversed)"
  Summed = 2,    // "L + R (summed)"
  LeftOnly = 3,  // "L + L (left only)"
  RightOnly = 4, // "R + R (right only)"
};

// Phase reversal bits (TMPUInsourceStandardParamsMessage.PhaseReversal).
inline constexpr std::uint8_t kPhaseLeft = 0x01;
inline constexpr std::uint8_t kPhaseRight = 0x02;

// Filter bands (TMPUInSourceFilterParamsMessage.FilterId).
enum class FilterBand : std::uint8_t { HighPass = 0, LF = 1, MF = 2, HF = 3 };
inline constexpr int kFilterBandCount = 4;

// Filter option bits.
inline constexpr std::uint8_t kFilterActive = 0x01;
inline constexpr std::uint8_t kFilterBandpass = 0x02;  // LF and HF only

// Control option bits of an input source.
inline constexpr std::uint16_t kCtrlFaderStart = 0x0001;
inline constexpr std::uint16_t kCtrlPrime = 0x0002;
inline constexpr std::uint16_t kCtrlCancelPFL = 0x0004;
inline constexpr std::uint16_t kCtrlRestartStop = 0x0008;
inline constexpr std::uint16_t kCtrlExtTallies = 0x0010;
inline constexpr std::uint16_t kCtrlDTXProtect = 0x0020;

// Mix bus ids. The bus routing mask has bit n for bus id n (0..11); PFL is
// routed with bus id 12 and has no mask bit.
enum class BusId : std::uint16_t {
  PGM1 = 0,
  PGM2 = 1,
  REC = 2,
  AUX = 3,
  CFA = 4,
  CFB = 5,
  CF1 = 6,
  CF2 = 7,
  CF3 = 8,
  CF4 = 9,
  CF5 = 10,
  CF6 = 11,
  PFL = 12,
};
inline constexpr std::uint16_t kMixBusCount = 12;      // ids 0..11
inline constexpr std::uint16_t kNoMixBus = 256;        // "no bus"
inline constexpr std::uint16_t kAllBusesMask = 0x0FFF; // bits 0..11
constexpr std::uint16_t BusMaskBit(BusId bus) { return static_cast<std::uint16_t>(1u << static_cast<unsigned>(bus)); }

// Mix bus mode (TMPUMixBusConfigMessage.Mode): used for buses 4..11.
enum class MixBusMode : std::uint16_t { Normal = 0, CleanFeed = 1 };

// Routing trigger masters and actions.
enum class TriggerMaster : std::uint8_t { PGM1 = 0, PGM2 = 1, REC = 2 };
inline constexpr int kTriggerMasterCount = 3;
enum class TriggerAction : std::uint8_t { None = 0, Follow = 1, Preset = 2 };

// Output format option bits.
inline constexpr std::uint16_t kFormatAesProfessional = 0x0001;
inline constexpr std::uint16_t kFormatAes20Bit = 0x0002;

// Aux send mode.
enum class AuxMode : std::uint16_t { PreFader = 0, PostFader = 1 };

// Control-room preset ids.
enum class CRPreset : std::uint16_t { PGM1 = 0, PGM2 = 1, REC = 2, AUX = 3, USER = 4 };
inline constexpr int kCRPresetCount = 5;

// OTB (output talkback) target types.
enum class OTBTarget : std::uint16_t { OutputSource = 1, MixBus = 2, Monitor = 3 };

// Talkback reverse-talkback mask bits (TMPUTalkbackConfigMessage.RTBMask).
inline constexpr std::uint32_t kRTBMaskCleanFeeds = 0x000000FF;  // all eight set together
inline constexpr std::uint32_t kRTBMaskRevTBInput = 0x00000100;
inline constexpr std::uint32_t kRTBMaskHeadphonesA = 0x00000200;
inline constexpr std::uint32_t kRTBMaskHeadphonesB = 0x00000400;

// MCS key ids beyond the tally keys 0..10.
inline constexpr std::uint8_t MCS_KEY_SHIFT = 11;
inline constexpr std::uint8_t MCS_KEY_ESC = 12;
inline constexpr std::uint8_t MCS_KEY_ENTER = 13;
inline constexpr std::uint8_t MCS_KEY_ENCODER_PUSH_FIRST = 14;  // 14..17 push of encoders 0..3
inline constexpr std::uint8_t MCS_KEY_COUNT = 18;

// MCS encoders.
enum class MCSEncoder : std::uint8_t { Red = 0, Green = 1, Yellow = 2, Blue = 3 };
inline constexpr int kMCSEncoderCount = 4;

// Channel strips.
inline constexpr std::uint16_t kAllStrips = 255;  // request: all strips
inline constexpr std::uint8_t kNoStrip = 255;     // source not on a strip
inline constexpr std::uint8_t kStripNotPresent = 255;  // TMPUStripParamsMessage.ConsoleId

// Mixer settings bits.
inline constexpr std::uint16_t kDTXProtectPGM1 = 0x0001;
inline constexpr std::uint16_t kDTXProtectPGM2 = 0x0002;
inline constexpr std::uint8_t kVideoTallyInactiveWhenMuted = 0x01;
inline constexpr std::uint8_t kVideoTallyActiveWhenPrefaded = 0x02;
inline constexpr std::uint8_t kVideoTallyOnPGM1Only = 0x04;

// Clock source.
enum class ClockSource : std::uint8_t { Internal = 0, External = 1 };

// Configuration store control flags.
inline constexpr std::uint16_t kConfigReportVersion = 0;
inline constexpr std::uint16_t kConfigRewrite = 1;
inline constexpr std::uint16_t kConfigDefault = 3;

// Audio-board direct access address bits.
inline constexpr std::uint16_t kABAddressMask = 0x3FFF;
inline constexpr std::uint16_t kABMultiHAM = 0x4000;
inline constexpr std::uint16_t kABWrite = 0x8000;
inline constexpr std::uint16_t kABClockSpeedAddress = 0x0FFF;
inline constexpr std::uint8_t kABMaxCount = 32;

// Board ids of board tags.
enum class BoardId : std::uint8_t { Host = 0, UsbAudio = 16, AudioBoard = 32, Console = 64 };
inline constexpr std::uint8_t kMaxBoardId = 64;

// Firmware ids.
enum class FirmwareId : std::uint8_t {
  HostMain = 1,
  HostSub = 2,
  UsbAudio = 17,
  AudioBoard = 33,
  Mic58Board = 49,
  Console = 65,
  AoIP = 81,
};

// Power supply rails (TMPUPowerControlMessage.RailId; bit n of the switch states).
enum class PowerRail : std::uint8_t { V3_3 = 0, V12 = 1, VNeg12 = 2, V24In = 3 };
inline constexpr int kPowerModuleCount = 3;
inline constexpr int kPowerRailCount = 4;

// Health report rail-health bits of a power supply entry (1 = good).
inline constexpr std::uint16_t kPsuGood3V3 = 0x0004;
inline constexpr std::uint16_t kPsuGood12V = 0x0008;
inline constexpr std::uint16_t kPsuGood24VIn = 0x0010;
inline constexpr std::uint16_t kPsuGood48V = 0x0020;
inline constexpr std::uint16_t kPsuGoodNeg12V = 0x0040;
inline constexpr std::uint16_t kPsuGood24V = 0x0080;

// Audio-board supply bits of the health report (valid while running).
inline constexpr std::uint16_t kABPsuNeg12VIn = 0x0001;
inline constexpr std::uint16_t kABPsu6V5 = 0x0004;
inline constexpr std::uint16_t kABPsu12VIn = 0x0008;
inline constexpr std::uint16_t kABLinkLK5 = 0x0010;  // shown checked when 0
inline constexpr std::uint16_t kABLinkLK6 = 0x0020;  // shown checked when 0
inline constexpr std::uint16_t kABPsu5V = 0x0080;

// Temperature and humidity status codes of the health report.
enum class EnvStatus : std::uint8_t { Good = 0, Elevated = 1, Warning = 2, Critical = 3 };

// Source status of the parameter records.
enum class SourceStatus : std::uint8_t { Reserved = 0, NotInstalled = 1, Available = 2 };

// Input source types (TMPUInsourceStandardParamsMessage.SourceType).
enum class InSourceType : std::uint8_t {
  System = 0,
  Mic = 1,
  TBU = 2,
  Line = 3,
  AES = 4,
  USB = 5,
  AoIP = 8,
};

// Output source types (TMPUOutsourceStandardParamsMessage.SourceType).
enum class OutSourceType : std::uint8_t { Line1 = 1, Line2 = 2, AES = 3, USB = 4, AoIP = 5 };

// Data pipe packet types.
inline constexpr std::uint8_t MPU_PKT_METERING = 0x55;
inline constexpr std::uint8_t MPU_PKT_FIRMWARE_DATA = 0xAA;

// Board tag write unlock code.
inline constexpr std::uint32_t MPU_WRITE_UNLOCK_KEY = 0x3E94C260;

// Markers from this id upward belong to the IPC server and are raised as
// mixer messages when echoed.
inline constexpr std::uint32_t kFirstServerMarkerId = 512;

}  // namespace mpu
