// Identifier spaces of the MPU and the fixed tables that name them: source
// ids and their labels, the send-source list, output ids, GPIO circuits and
// their functions, monitor, firmware and board ids.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace mpu {

// ---------------------------------------------------------------------------
// Source ids (0..161): inputs, buses and send sources share one space.

inline constexpr std::uint16_t kSrcNone = 0;
inline constexpr std::uint16_t kSrcMic1 = 1;      // MIC 1..16 processed: 1..16
inline constexpr std::uint16_t kSrcRevTB = 17;
inline constexpr std::uint16_t kSrcTBMic = 18;
inline constexpr std::uint16_t kSrcTBUA = 19;
inline constexpr std::uint16_t kSrcTBUB = 20;
inline constexpr std::uint16_t kSrcLine1 = 21;    // LINE 1..13: 21..33
inline constexpr std::uint16_t kSrcExtMon = 34;
inline constexpr std::uint16_t kSrcUSB1 = 35;     // USB 1..8: 35..42
inline constexpr std::uint16_t kSrcAES1 = 43;     // AES 1..4: 43..46
inline constexpr std::uint16_t kSrcAoIP1 = 47;    // AoIP 1..8: 47..54
inline constexpr std::uint16_t kSrcPC1 = 55;      // PC 1..8: 55..62
inline constexpr std::uint16_t kSrcPGM1Proc = 112;
inline constexpr std::uint16_t kSrcPGM2Proc = 113;
inline constexpr std::uint16_t kSrcRECProc = 114;
inline constexpr std::uint16_t kSrcAUXProc = 115;
inline constexpr std::uint16_t kSrcSilence = 124;
inline constexpr std::uint16_t kSrcTone1 = 125;
inline constexpr std::uint16_t kSrcPGM1 = 128;
inline constexpr std::uint16_t kSrcPGM2 = 129;
inline constexpr std::uint16_t kSrcREC = 130;
inline constexpr std::uint16_t kSrcAUX = 131;
inline constexpr std::uint16_t kSrcCFA = 132;
inline constexpr std::uint16_t kSrcCFB = 133;
inline constexpr std::uint16_t kSrcCF1 = 134;     // CF/LINE 1..6: 134..139
inline constexpr std::uint16_t kSrcPrefade = 140;
inline constexpr std::uint16_t kSrcTBUAIn = 144;  // TBU A, B unprocessed: 144, 145
inline constexpr std::uint16_t kSrcTBUBIn = 145;
inline constexpr std::uint16_t kSrcMic1In = 146;  // MIC 1..8 unprocessed: 146..153
inline constexpr std::uint16_t kSrcMonFollow = 160;
inline constexpr std::uint16_t kSrcMonPflFollow = 161;

inline constexpr int kMicCount = 16;
inline constexpr int kLineCount = 13;
inline constexpr int kUsbInCount = 8;
inline constexpr int kAesInCount = 4;
inline constexpr int kAoIPInCount = 8;
inline constexpr int kPcInCount = 8;

// The source table: 162 names, "- ? -" for ids without one.
inline constexpr std::size_t kSourceLabelCount = 162;
extern const std::array<std::string_view, kSourceLabelCount> MPU_SOURCE_LABELS;

// Name of a source id; "- ? -" for ids without a name and outside the table.
std::string_view SourceLabel(unsigned id);

// ---------------------------------------------------------------------------
// Send sources: the fixed 73-item list the pages offer, item i -> source id.

struct SendSourceItem {
  std::uint16_t Id;
  std::string_view Caption;
};

inline constexpr std::size_t kSendSourceCount = 73;
extern const std::array<SendSourceItem, kSendSourceCount> kSendSources;
// The LINE output lists append these two (items 73 and 74).
extern const std::array<SendSourceItem, 2> kLineSendSourceExtras;
// The id a send-source list gives for an index that selects nothing.
inline constexpr std::uint16_t kSendSourceDefault = kSrcREC;

// Source id of item `index` of a send-source list (items 73, 74 exist in the
// LINE lists only); kSendSourceDefault for any other index.
std::uint16_t SendSourceFromIndex(int index);
// Index of the first item carrying `id` (0..74), or -1.
int SendSourceIndex(std::uint16_t id);

// ---------------------------------------------------------------------------
// Output ids (0..39), a space of their own.

inline constexpr std::uint8_t kOutPGM1Mono = 0;
inline constexpr std::uint8_t kOutCFA = 1;
inline constexpr std::uint8_t kOutCFB = 2;
inline constexpr std::uint8_t kOutTalkback = 3;
inline constexpr std::uint8_t kOutLine1 = 4;   // LINE1/CF1 .. LINE6/CF6: 4..9
inline constexpr std::uint8_t kOutPGM1 = 10;
inline constexpr std::uint8_t kOutPGM2 = 11;
inline constexpr std::uint8_t kOutAUX = 12;
inline constexpr std::uint8_t kOutREC = 13;
inline constexpr std::uint8_t kOutMeters1 = 14;
inline constexpr std::uint8_t kOutMeters2 = 15;
inline constexpr std::uint8_t kOutUSB1 = 16;   // 16..23
inline constexpr std::uint8_t kOutAES1 = 24;   // 24..31
inline constexpr std::uint8_t kOutAoIP1 = 32;  // 32..39
inline constexpr std::uint8_t kOutputCount = 40;
inline constexpr std::uint8_t kNoOutput = 255;  // nothing selected, never sent

// Short name of an output id ("PGM1 (mono)", "LINE1/CF1", "USB 3", ...), or
// "- ? -".
std::string_view OutputName(unsigned id);

// ---------------------------------------------------------------------------
// GPIO: two circuits per connector, each with an input and an output side.

inline constexpr std::uint8_t kGpioCircuitCount = 44;
inline constexpr std::uint8_t kNoCircuit = 255;

struct GpioConnector {
  std::string_view Name;
  std::uint16_t SourceId;      // source the connector belongs to; 0 for PROG and AUX
  std::uint8_t FirstCircuit;   // circuits FirstCircuit and FirstCircuit + 1
};

// LINE1..6, USB1..4, AES1..4, PROG1..4, AUX1, AUX2, TBU A, TBU B.
extern const std::array<GpioConnector, 22> kGpioConnectors;

// Circuit id of source S's first (second = false) or second circuit:
// LINE1..6, USB1..4, AES1..4, TBU A/B have circuits; any other source 255.
std::uint8_t GpioCircuitForSource(std::uint16_t sourceId, bool second);

struct FunctionCaption {
  std::uint16_t Id;
  std::string_view Caption;
};

// GPI functions 0..10 and 128..135; GPO functions 0..6 and 128..154.
extern const std::array<FunctionCaption, 19> kGpiFunctions;
extern const std::array<FunctionCaption, 34> kGpoFunctions;
// Caption of a function id, or an empty view for an unknown id.
std::string_view GpiFunctionCaption(std::uint16_t id);
std::string_view GpoFunctionCaption(std::uint16_t id);
inline constexpr std::uint16_t kGpioFirstAuxFunction = 128;  // functions without a source

// ---------------------------------------------------------------------------
// Monitors, buses, firmware and boards.

// Monitor names: "CRHP", "CRLS", "STLS", "CUELS", "GRCU1".."GRCU16", "HPA", "HPB".
std::string_view MonitorName(unsigned id);
// Mix bus names by bus id: "PGM1" .. "CF6", "PFL" (12); "- ? -" otherwise.
std::string_view MixBusName(unsigned id);

struct FirmwareKind {
  std::uint8_t FirmwareId;
  std::string_view Name;
  int TagBoardId;  // board id of its board tag, -1 when it has none
};
extern const std::array<FirmwareKind, 7> kFirmwareKinds;
const FirmwareKind* FindFirmwareKind(std::uint8_t firmwareId);

// Description of a board id of the board tags, as the tag dialog shows it.
std::string_view BoardName(unsigned boardId);

}  // namespace mpu
