// MPU opcodes and their catalogue.
//
// One numbering serves both directions. Six numbers (80, 84, 85, 90, 98, 99)
// mean one thing host-to-MPU and another MPU-to-host and carry two names.
// The opcode's range decides how a received control frame is routed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace mpu {

inline constexpr std::uint8_t MPU_OP_INSRC_LABEL = 0x01;  // 1
inline constexpr std::uint8_t MPU_OP_INSRC_SYSTEM_GAIN = 0x02;  // 2
inline constexpr std::uint8_t MPU_OP_INSRC_CALIBRATION = 0x03;  // 3
inline constexpr std::uint8_t MPU_OP_INSRC_CHANNEL_MODE = 0x04;  // 4
inline constexpr std::uint8_t MPU_OP_INSRC_PHANTOM = 0x05;  // 5
inline constexpr std::uint8_t MPU_OP_INSRC_LOCATION = 0x06;  // 6
inline constexpr std::uint8_t MPU_OP_INSRC_FILTER = 0x07;  // 7
inline constexpr std::uint8_t MPU_OP_INSRC_ROUTING_TRIGGER = 0x08;  // 8
inline constexpr std::uint8_t MPU_OP_INSRC_FADER = 0x09;  // 9
inline constexpr std::uint8_t MPU_OP_INSRC_GAIN_TRIM = 0x0A;  // 10
inline constexpr std::uint8_t MPU_OP_INSRC_PAN = 0x0B;  // 11
inline constexpr std::uint8_t MPU_OP_INSRC_AUX_SEND = 0x0C;  // 12
inline constexpr std::uint8_t MPU_OP_INSRC_BUS_ROUTING = 0x0D;  // 13
inline constexpr std::uint8_t MPU_OP_INSRC_ROUTING_MASK = 0x0E;  // 14
inline constexpr std::uint8_t MPU_OP_INSRC_ON = 0x0F;  // 15
inline constexpr std::uint8_t MPU_OP_INSRC_CONTROL_OPTIONS = 0x10;  // 16
inline constexpr std::uint8_t MPU_OP_INSRC_LIMITER = 0x11;  // 17
inline constexpr std::uint8_t MPU_OP_INSRC_COMPRESSOR = 0x12;  // 18
inline constexpr std::uint8_t MPU_OP_INSRC_INDICATOR = 0x13;  // 19
inline constexpr std::uint8_t MPU_OP_INSRC_SOURCE_MODE = 0x14;  // 20
inline constexpr std::uint8_t MPU_OP_INSRC_VIRTUAL_CONTROL = 0x15;  // 21
inline constexpr std::uint8_t MPU_OP_INSRC_STANDARD_PARAMS = 0x20;  // 32
inline constexpr std::uint8_t MPU_OP_INSRC_PROCESSING_PARAMS = 0x21;  // 33
inline constexpr std::uint8_t MPU_OP_INSRC_STRIP_ID = 0x22;  // 34
inline constexpr std::uint8_t MPU_OP_OUTSRC_GAIN = 0x30;  // 48
inline constexpr std::uint8_t MPU_OP_OUTSRC_CALIBRATION = 0x31;  // 49
inline constexpr std::uint8_t MPU_OP_OUTSRC_SEND_SOURCE = 0x32;  // 50
inline constexpr std::uint8_t MPU_OP_OUTSRC_FORMAT_OPTIONS = 0x33;  // 51
inline constexpr std::uint8_t MPU_OP_OUTSRC_STANDARD_PARAMS = 0x34;  // 52
inline constexpr std::uint8_t MPU_OP_TALKBACK_CONFIG = 0x40;  // 64
inline constexpr std::uint8_t MPU_OP_OTB_CONTROL = 0x41;  // 65
inline constexpr std::uint8_t MPU_OP_MONITOR_TB_CONFIG = 0x42;  // 66
inline constexpr std::uint8_t MPU_OP_MONITOR_VOLUME = 0x43;  // 67
inline constexpr std::uint8_t MPU_OP_MONITOR_VOLUME_ADJUST = 0x44;  // 68
inline constexpr std::uint8_t MPU_OP_MONITOR_SEND_SOURCE = 0x45;  // 69
inline constexpr std::uint8_t MPU_OP_MONITOR_GRCU_GROUP = 0x46;  // 70
inline constexpr std::uint8_t MPU_OP_CR_MONITOR_SELECT = 0x47;  // 71
inline constexpr std::uint8_t MPU_OP_CR_MONITOR_APF = 0x48;  // 72
inline constexpr std::uint8_t MPU_OP_CR_MONITOR_SPLIT = 0x49;  // 73
inline constexpr std::uint8_t MPU_OP_CR_MONITOR_PREVIEW = 0x4A;  // 74
inline constexpr std::uint8_t MPU_OP_CR_PRESET_SOURCE = 0x4B;  // 75
inline constexpr std::uint8_t MPU_OP_MIXBUS_LIMITER = 0x4C;  // 76
inline constexpr std::uint8_t MPU_OP_MIXBUS_CONFIG = 0x4E;  // 78
inline constexpr std::uint8_t MPU_OP_MIXBUS_PARAMS = 0x4F;  // 79
inline constexpr std::uint8_t MPU_OP_MCS_TALLY = 0x50;  // 80
inline constexpr std::uint8_t MPU_OP_STRIP_EDIT_KEY = 0x50;  // 80
inline constexpr std::uint8_t MPU_OP_STRIP_EDIT_MODE = 0x51;  // 81
inline constexpr std::uint8_t MPU_OP_STRIP_ASSIGN_SOURCE = 0x52;  // 82
inline constexpr std::uint8_t MPU_OP_STRIP_PARAMS = 0x53;  // 83
inline constexpr std::uint8_t MPU_OP_GET_TALKBACK_CONFIG = 0x54;  // 84
inline constexpr std::uint8_t MPU_OP_MCS_KEY = 0x54;  // 84
inline constexpr std::uint8_t MPU_OP_GET_OTB_STATUS = 0x55;  // 85
inline constexpr std::uint8_t MPU_OP_MCS_ENCODER = 0x55;  // 85
inline constexpr std::uint8_t MPU_OP_MIXER_STATS = 0x56;  // 86
inline constexpr std::uint8_t MPU_OP_MONITOR_PARAMS = 0x57;  // 87
inline constexpr std::uint8_t MPU_OP_GET_MONITOR_TB_CONFIG = 0x58;  // 88
inline constexpr std::uint8_t MPU_OP_MIXER_SETTINGS = 0x59;  // 89
inline constexpr std::uint8_t MPU_OP_GET_MIXER_SETTINGS = 0x5A;  // 90
inline constexpr std::uint8_t MPU_OP_CR_PRESET_EDIT = 0x5A;  // 90
inline constexpr std::uint8_t MPU_OP_MIXER_CLOCK_SOURCE = 0x5B;  // 91
inline constexpr std::uint8_t MPU_OP_GPI_CONFIG = 0x60;  // 96
inline constexpr std::uint8_t MPU_OP_GPO_CONFIG = 0x61;  // 97
inline constexpr std::uint8_t MPU_OP_GET_GPI_CONFIG = 0x62;  // 98
inline constexpr std::uint8_t MPU_OP_SOFTFUNC_IN_STATUS = 0x62;  // 98
inline constexpr std::uint8_t MPU_OP_GET_GPO_CONFIG = 0x63;  // 99
inline constexpr std::uint8_t MPU_OP_SOFTFUNC_OUT_STATUS = 0x63;  // 99
inline constexpr std::uint8_t MPU_OP_SOFTFUNC_CONTROL = 0x64;  // 100
inline constexpr std::uint8_t MPU_OP_GET_SOFTFUNC_IN_STATUS = 0x65;  // 101
inline constexpr std::uint8_t MPU_OP_GET_SOFTFUNC_OUT_STATUS = 0x66;  // 102
inline constexpr std::uint8_t MPU_OP_FIRMWARE_INFO = 0xC1;  // 193
inline constexpr std::uint8_t MPU_OP_HEALTH_INFO = 0xC2;  // 194
inline constexpr std::uint8_t MPU_OP_SESSION = 0xC5;  // 197
inline constexpr std::uint8_t MPU_OP_HOST_READY = 0xC7;  // 199
inline constexpr std::uint8_t MPU_OP_MARKER = 0xCA;  // 202
inline constexpr std::uint8_t MPU_OP_CONFIG_STORE = 0xCB;  // 203
inline constexpr std::uint8_t MPU_OP_MASS_UPDATE = 0xCC;  // 204
inline constexpr std::uint8_t MPU_OP_CONSOLE_LIST = 0xCD;  // 205
inline constexpr std::uint8_t MPU_OP_CONSOLE_LIST_WRITE = 0xCE;  // 206
inline constexpr std::uint8_t MPU_OP_CONSOLE_BRIGHTNESS = 0xCF;  // 207
inline constexpr std::uint8_t MPU_OP_POWER_CONTROL = 0xD0;  // 208
inline constexpr std::uint8_t MPU_OP_FIRMWARE_UPLOAD = 0xE1;  // 225
inline constexpr std::uint8_t MPU_OP_FIRMWARE_DOWNLOAD = 0xE4;  // 228
inline constexpr std::uint8_t MPU_OP_FIRMWARE_PROGRAM = 0xE8;  // 232
inline constexpr std::uint8_t MPU_OP_BOARD_TAG_READ = 0xEA;  // 234
inline constexpr std::uint8_t MPU_OP_BOARD_TAG_WRITE = 0xEB;  // 235
inline constexpr std::uint8_t MPU_OP_WRITE_UNLOCK = 0xF0;  // 240
inline constexpr std::uint8_t MPU_OP_AB_DIRECT_WRITE = 0xF8;  // 248
inline constexpr std::uint8_t MPU_OP_AB_DIRECT_READ = 0xF9;  // 249

// Direction of an opcode: H = host to MPU, M = MPU to host.
enum class Direction : std::uint8_t { HostToMpu = 1, MpuToHost = 2, Both = 3 };

constexpr bool SentByHost(Direction d) { return d == Direction::HostToMpu || d == Direction::Both; }
constexpr bool SentByMpu(Direction d) { return d == Direction::MpuToHost || d == Direction::Both; }

// One row of the catalogue.
struct OpcodeInfo {
  std::uint8_t Number;
  std::string_view Name;
  Direction Dir;
  int PayloadLen;          // the value a sender puts in the header; -1 when the host never sends it
  std::uint8_t Revision;   // frame revision a sender uses
  std::string_view PayloadRecord;
  std::string_view Sender;
  std::string_view OnReceipt;
};

// The whole catalogue, ordered by number (M-only twins follow their H row).
std::span<const OpcodeInfo> OpcodeCatalogue();

// The row a host sends for this number (H or H,M), or null.
const OpcodeInfo* FindCommandOpcode(std::uint8_t opcode);
// The row the MPU sends for this number (M or H,M), or null.
const OpcodeInfo* FindReportOpcode(std::uint8_t opcode);

// Name for logs: the command name, else the report name, else "0x%02X".
std::string_view CommandOpcodeName(std::uint8_t opcode);
std::string_view ReportOpcodeName(std::uint8_t opcode);

// How a received control frame is routed, by opcode range.
enum class OpcodeClass : std::uint8_t {
  Dropped,  // 0
  Source,   // 1..63: input sources 1..47, output sources 48..63
  Mixer,    // 64..127
  Reserved, // 128..191, discarded
  System,   // 192..255, decoded by the device component
};

constexpr OpcodeClass ClassifyOpcode(std::uint8_t opcode) {
  if (opcode == 0) return OpcodeClass::Dropped;
  switch (opcode >> 6) {
    case 0: return OpcodeClass::Source;
    case 1: return OpcodeClass::Mixer;
    case 2: return OpcodeClass::Reserved;
    default: return OpcodeClass::System;
  }
}

// Minimum PayloadLen of a system answer the device component decodes
// (0 where it checks none).
constexpr std::uint16_t MinAnswerPayloadLen(std::uint8_t opcode) {
  switch (opcode) {
    case MPU_OP_FIRMWARE_INFO: return 94;
    case MPU_OP_HEALTH_INFO: return 57;
    case MPU_OP_CONFIG_STORE: return 4;
    case MPU_OP_MASS_UPDATE: return 2;
    case MPU_OP_CONSOLE_LIST: return 104;
    case MPU_OP_CONSOLE_BRIGHTNESS: return 2;
    default: return 0;
  }
}

// The opcode that answers a request, for the requests that have one.
// (MPU_OP_CONFIG_STORE answers only with ControlFlags 0.)
std::optional<std::uint8_t> AnswerOpcodeFor(std::uint8_t request);

}  // namespace mpu
