#include "protocol/id_tables.h"

#include <algorithm>

namespace mpu {

const std::array<std::string_view, kSourceLabelCount> MPU_SOURCE_LABELS = {
    "NONE", "MIC1", "MIC2", "MIC3", "MIC4", "MIC5",  // 0..5
    "MIC6", "MIC7", "MIC8", "MIC9", "MIC10", "MIC11",  // 6..11
    "MIC12", "MIC13", "MIC14", "MIC15", "MIC16", "REV TB",  // 12..17
    "TB MIC", "TBU A", "TBU B", "LINE1", "LINE2", "LINE3",  // 18..23
    "LINE4", "LINE5", "LINE6", "LINE7", "LINE8", "LINE9",  // 24..29
    "LINE10", "LINE11", "LINE12", "LINE13", "EXT MON", "USB1",  // 30..35
    "USB2", "USB3", "USB4", "USB5", "USB6", "USB7",  // 36..41
    "USB8", "AES1", "AES2", "AES3", "AES4", "AOIP1",  // 42..47
    "AOIP2", "AOIP3", "AOIP4", "AOIP5", "AOIP6", "AOIP7",  // 48..53
    "AOIP8", "PC1", "PC2", "PC3", "PC4", "PC5",  // 54..59
    "PC6", "PC7", "PC8", "- ? -", "- ? -", "- ? -",  // 60..65
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 66..71
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 72..77
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 78..83
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 84..89
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 90..95
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 96..101
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 102..107
    "- ? -", "- ? -", "- ? -", "- ? -", "PGM1 PROC", "PGM2 PROC",  // 108..113
    "REC PROC", "AUX PROC", "- ? -", "- ? -", "- ? -", "- ? -",  // 114..119
    "- ? -", "- ? -", "- ? -", "- ? -", "SILENCE", "TONE1",  // 120..125
    "- ? -", "- ? -", "PGM1", "PGM2", "REC", "AUX",  // 126..131
    "CFA", "CFB", "CF/LINE1", "CF/LINE2", "CF/LINE3", "CF/LINE4",  // 132..137
    "CF/LINE5", "CF/LINE6", "PREFADE", "- ? -", "- ? -", "- ? -",  // 138..143
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 144..149
    "- ? -", "- ? -", "- ? -", "- ? -", "- ? -", "- ? -",  // 150..155
    "- ? -", "- ? -", "- ? -", "- ? -", "MON. FOLLOW", "MON+PFL FOLLOW",  // 156..161
};

std::string_view SourceLabel(unsigned id) {
  return id < MPU_SOURCE_LABELS.size() ? MPU_SOURCE_LABELS[id] : std::string_view("- ? -");
}

const std::array<SendSourceItem, kSendSourceCount> kSendSources = {{
    {128, "PGM1 bus"},
    {112, "PGM1 bus (processed)"},
    {129, "PGM2 bus"},
    {113, "PGM2 bus (processed)"},
    {130, "REC bus"},
    {114, "REC (processed)"},
    {131, "AUX bus "},
    {115, "AUX bus (processed)"},
    {140, "PFL bus"},
    {134, "CF1 bus"},
    {135, "CF2 bus"},
    {136, "CF3 bus"},
    {137, "CF4 bus"},
    {138, "CF5 bus"},
    {139, "CF6 bus"},
    {132, "CFA bus"},
    {133, "CFB bus"},
    {21, "Line 1 in"},
    {22, "Line 2 in"},
    {23, "Line 3 in"},
    {24, "Line 4 in"},
    {25, "Line 5 in"},
    {26, "Line 6 in"},
    {27, "Line 7 in (HUB 1)"},
    {28, "Line 8 in (HUB 1)"},
    {29, "Line 9 in (HUB 3)"},
    {30, "Line 10 in (HUB 4)"},
    {31, "Line 11 in (front minijack 1)"},
    {32, "Line 12 in (front minijack 2)"},
    {33, "Line 13 in (front jack 3)"},
    {34, "External Monitor in"},
    {146, "MIC 1 in"},
    {1, "MIC 1 in (processed)"},
    {147, "MIC 2 in"},
    {2, "MIC 2 in (processed)"},
    {148, "MIC 3 in"},
    {3, "MIC 3 in (processed)"},
    {149, "MIC 4 in"},
    {4, "MIC 4 in (processed)"},
    {150, "MIC 5 in"},
    {5, "MIC 5 in (processed)"},
    {151, "MIC 6 in"},
    {6, "MIC 6 in (processed)"},
    {152, "MIC 7 in"},
    {7, "MIC 7 in (processed)"},
    {153, "MIC 8 in"},
    {8, "MIC 8 in (processed)"},
    {144, "TBU 1 in"},
    {19, "TBU 1 in (processed)"},
    {145, "TBU 2 in"},
    {20, "TBU 2 in (processed)"},
    {35, "USB 1 in"},
    {36, "USB 2 in"},
    {37, "USB 3 in"},
    {38, "USB 4 in"},
    {39, "USB 5 in"},
    {40, "USB 6 in"},
    {41, "USB 7 in"},
    {42, "USB 8 in"},
    {43, "AES 1 in"},
    {44, "AES 2 in"},
    {45, "AES 3 in"},
    {46, "AES 4 in"},
    {47, "AoIP 1 in"},
    {48, "AoIP 2 in"},
    {49, "AoIP 3 in"},
    {50, "AoIP 4 in"},
    {51, "AoIP 5 in"},
    {52, "AoIP 6 in"},
    {53, "AoIP 7 in"},
    {54, "AoIP 8 in"},
    {125, "Test Tone 1"},
    {124, "Mute (no source)"},
}};

const std::array<SendSourceItem, 2> kLineSendSourceExtras = {{
    {160, "CR Monitor Follow"},
    {161, "CR Monitor + PFL Follow"},
}};

std::uint16_t SendSourceFromIndex(int index) {
  if (index >= 0 && index < static_cast<int>(kSendSourceCount)) return kSendSources[index].Id;
  const int extra = index - static_cast<int>(kSendSourceCount);
  if (extra >= 0 && extra < static_cast<int>(kLineSendSourceExtras.size()))
    return kLineSendSourceExtras[extra].Id;
  return kSendSourceDefault;
}

int SendSourceIndex(std::uint16_t id) {
  for (std::size_t i = 0; i < kSendSources.size(); ++i)
    if (kSendSources[i].Id == id) return static_cast<int>(i);
  for (std::size_t i = 0; i < kLineSendSourceExtras.size(); ++i)
    if (kLineSendSourceExtras[i].Id == id) return static_cast<int>(kSendSourceCount + i);
  return -1;
}

namespace {

constexpr std::array<std::string_view, kOutputCount> kOutputNames = {
    "PGM1 (mono)", "CFA",       "CFB",       "TB OUT",    "LINE1/CF1", "LINE2/CF2", "LINE3/CF3",
    "LINE4/CF4",   "LINE5/CF5", "LINE6/CF6", "PGM1",      "PGM2",      "AUX",       "REC",
    "METERS1",     "METERS2",   "USB 1",     "USB 2",     "USB 3",     "USB 4",     "USB 5",
    "USB 6",       "USB 7",     "USB 8",     "AES 1",     "AES 2",     "AES 3",     "AES 4",
    "AES 5",       "AES 6",     "AES 7",     "AES 8",     "AoIP 1",    "AoIP 2",    "AoIP 3",
    "AoIP 4",      "AoIP 5",    "AoIP 6",    "AoIP 7",    "AoIP 8",
};

constexpr std::array<std::string_view, 22> kMonitorNames = {
    "CRHP",   "CRLS",   "STLS",   "CUELS",  "GRCU1",  "GRCU2",  "GRCU3",  "GRCU4",
    "GRCU5",  "GRCU6",  "GRCU7",  "GRCU8",  "GRCU9",  "GRCU10", "GRCU11", "GRCU12",
    "GRCU13", "GRCU14", "GRCU15", "GRCU16", "HPA",    "HPB",
};

constexpr std::array<std::string_view, 13> kMixBusNames = {
    "PGM1", "PGM2", "REC", "AUX", "CFA", "CFB", "CF1", "CF2", "CF3", "CF4", "CF5", "CF6", "PFL",
};

std::string_view FindCaption(std::span<const FunctionCaption> table, std::uint16_t id) {
  auto it = std::find_if(table.begin(), table.end(), [id](const FunctionCaption& f) { return f.Id == id; });
  return it == table.end() ? std::string_view() : it->Caption;
}

}  // namespace

std::string_view OutputName(unsigned id) {
  return id < kOutputNames.size() ? kOutputNames[id] : std::string_view("- ? -");
}

const std::array<GpioConnector, 22> kGpioConnectors = {{
    {"LINE1", 21, 0},  {"LINE2", 22, 2},  {"LINE3", 23, 4},  {"LINE4", 24, 6},
    {"LINE5", 25, 8},  {"LINE6", 26, 10}, {"USB1", 35, 12},  {"USB2", 36, 14},
    {"USB3", 37, 16},  {"USB4", 38, 18},  {"AES1", 43, 20},  {"AES2", 44, 22},
    {"AES3", 45, 24},  {"AES4", 46, 26},  {"PROG1", 0, 28},  {"PROG2", 0, 30},
    {"PROG3", 0, 32},  {"PROG4", 0, 34},  {"AUX1", 0, 36},   {"AUX2", 0, 38},
    {"TBU A", 19, 40}, {"TBU B", 20, 42},
}};

std::uint8_t GpioCircuitForSource(std::uint16_t sourceId, bool second) {
  if (sourceId == 0) return kNoCircuit;
  for (const GpioConnector& c : kGpioConnectors)
    if (c.SourceId == sourceId) return static_cast<std::uint8_t>(c.FirstCircuit + (second ? 1 : 0));
  return kNoCircuit;
}

const std::array<FunctionCaption, 19> kGpiFunctions = {{
    {0, "<none>"},
    {1, "Start Tally"},
    {2, "Stop Tally"},
    {3, "Start/Stop Tally"},
    {4, "EOM Tally"},
    {5, "Start Control"},
    {6, "Stop Control"},
    {7, "Start/Stop Control"},
    {8, "Prefade Control"},
    {9, "Rev. TB Control "},
    {10, "Mute Control"},
    {128, "Soft Trigger 1"},
    {129, "Soft Trigger 2"},
    {130, "Soft Trigger 3"},
    {131, "Soft Trigger 4"},
    {132, "Soft Trigger 5"},
    {133, "Soft Trigger 6"},
    {134, "Soft Trigger 7"},
    {135, "Soft Trigger 8"},
}};

const std::array<FunctionCaption, 34> kGpoFunctions = {{
    {0, "<none>"},
    {1, "Start Tally"},
    {2, "Stop Tally"},
    {3, "Start/Stop Tally"},
    {4, "Prefade Tally"},
    {5, "Talkback Out Tally"},
    {6, "Prefade/Start Tally"},
    {128, "Soft Trigger 1"},
    {129, "Soft Trigger 2"},
    {130, "Soft Trigger 3"},
    {131, "Soft Trigger 4"},
    {132, "Soft Trigger 5"},
    {133, "Soft Trigger 6"},
    {134, "Soft Trigger 7"},
    {135, "Soft Trigger 8"},
    {136, "Any Mic Live Tally"},
    {137, "Any Mic Live/Prefaded Tally"},
    {138, "CR Mic Live Tally"},
    {139, "CR Mic Live/Prefaded Tally"},
    {140, "Studio Mic Live Tally"},
    {141, "Studio Mic Live/Prefaded Tally"},
    {142, "Any Source Prefaded Tally"},
    {143, "DTX Tally"},
    {144, "CTA Live Log Tally"},
    {145, "Switched OTB Tally"},
    {146, "AUX Talkback Tally"},
    {147, "MIC1 Video Cam Tally"},
    {148, "MIC2 Video Cam Tally"},
    {149, "MIC3 Video Cam Tally"},
    {150, "MIC4 Video Cam Tally"},
    {151, "MIC5 Video Cam Tally"},
    {152, "MIC6 Video Cam Tally"},
    {153, "MIC7 Video Cam Tally"},
    {154, "MIC8 Video Cam Tally"},
}};

std::string_view GpiFunctionCaption(std::uint16_t id) { return FindCaption(kGpiFunctions, id); }
std::string_view GpoFunctionCaption(std::uint16_t id) { return FindCaption(kGpoFunctions, id); }

std::string_view MonitorName(unsigned id) {
  return id < kMonitorNames.size() ? kMonitorNames[id] : std::string_view("- ? -");
}

std::string_view MixBusName(unsigned id) {
  return id < kMixBusNames.size() ? kMixBusNames[id] : std::string_view("- ? -");
}

const std::array<FirmwareKind, 7> kFirmwareKinds = {{
    {1, "Host main firmware", 0},
    {2, "Host sub firmware", 0},
    {17, "USB audio (XMOS) firmware", 16},
    {33, "Audio board main firmware", 32},
    {49, "MIC58 board firmware", -1},
    {65, "Console firmware", 64},
    {81, "Audio-over-IP firmware", -1},
}};

const FirmwareKind* FindFirmwareKind(std::uint8_t firmwareId) {
  for (const FirmwareKind& k : kFirmwareKinds)
    if (k.FirmwareId == firmwareId) return &k;
  return nullptr;
}

std::string_view BoardName(unsigned boardId) {
  switch (boardId) {
    case 0: return "Host Controller Board";
    case 16: return "USB 2.0 Audio Module";
    case 32: return "Audio Processing Board";
    case 48: return "MIC58 Expansion Module";
    case 64: return "Control Surface Main Board";
    default: return "Unknow board/module type";
  }
}

}  // namespace mpu
