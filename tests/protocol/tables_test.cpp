// The id tables: source labels, send-source list, outputs, GPIO.
#include <gtest/gtest.h>

#include <set>

#include "protocol/id_tables.h"

namespace mpu {
namespace {

TEST(SourceLabels, EndsNamedRangesAndGaps) {
  ASSERT_EQ(MPU_SOURCE_LABELS.size(), 162u);
  const std::pair<unsigned, std::string_view> cases[] = {
      {0, "NONE"},          {1, "MIC1"},         {16, "MIC16"},         {17, "REV TB"},     {18, "TB MIC"},
      {19, "TBU A"},        {20, "TBU B"},       {21, "LINE1"},         {33, "LINE13"},     {34, "EXT MON"},
      {35, "USB1"},         {42, "USB8"},        {43, "AES1"},          {46, "AES4"},       {47, "AOIP1"},
      {54, "AOIP8"},        {55, "PC1"},         {62, "PC8"},           {63, "- ? -"},      {111, "- ? -"},
      {112, "PGM1 PROC"},   {115, "AUX PROC"},   {116, "- ? -"},        {124, "SILENCE"},   {125, "TONE1"},
      {126, "- ? -"},       {128, "PGM1"},       {131, "AUX"},          {132, "CFA"},       {133, "CFB"},
      {134, "CF/LINE1"},    {139, "CF/LINE6"},   {140, "PREFADE"},      {144, "- ? -"},     {150, "- ? -"},
      {159, "- ? -"},       {160, "MON. FOLLOW"}, {161, "MON+PFL FOLLOW"}, {162, "- ? -"},   {65535, "- ? -"},
  };
  for (const auto& [id, name] : cases) EXPECT_EQ(SourceLabel(id), name) << id;
}

TEST(SendSources, OrderAndIds) {
  ASSERT_EQ(kSendSources.size(), 73u);
  const std::pair<int, std::uint16_t> cases[] = {
      {0, 128},  {1, 112},  {5, 114},  {6, 131}, {8, 140},  {9, 134},  {14, 139}, {15, 132}, {16, 133},
      {17, 21},  {29, 33},  {30, 34},  {31, 146}, {32, 1},  {33, 147}, {45, 153}, {46, 8},   {47, 144},
      {48, 19},  {49, 145}, {50, 20},  {51, 35}, {58, 42},  {59, 43},  {62, 46},  {63, 47},  {70, 54},
      {71, 125}, {72, 124}, {73, 160}, {74, 161}, {75, 130}, {-1, 130},
  };
  for (const auto& [index, id] : cases) EXPECT_EQ(SendSourceFromIndex(index), id) << index;
  EXPECT_EQ(kSendSources[6].Caption, "AUX bus ");
  EXPECT_EQ(kSendSources[28].Caption, "Line 12 in (front minijack 2)");
  EXPECT_EQ(kSendSources[72].Caption, "Mute (no source)");

  std::set<std::uint16_t> ids;
  for (const SendSourceItem& item : kSendSources) EXPECT_TRUE(ids.insert(item.Id).second) << item.Id;
  for (int i = 0; i < 75; ++i) EXPECT_EQ(SendSourceIndex(SendSourceFromIndex(i)), i);
  EXPECT_EQ(SendSourceIndex(0), -1);
}

TEST(Outputs, Names) {
  EXPECT_EQ(OutputName(kOutPGM1Mono), "PGM1 (mono)");
  EXPECT_EQ(OutputName(kOutLine1 + 5), "LINE6/CF6");
  EXPECT_EQ(OutputName(kOutAUX), "AUX");
  EXPECT_EQ(OutputName(kOutREC), "REC");
  EXPECT_EQ(OutputName(kOutAoIP1 + 7), "AoIP 8");
  EXPECT_EQ(OutputName(kOutputCount), "- ? -");
}

TEST(Gpio, CircuitsPerConnectorAndSource) {
  std::set<int> circuits;
  for (const GpioConnector& c : kGpioConnectors) {
    EXPECT_TRUE(circuits.insert(c.FirstCircuit).second);
    EXPECT_TRUE(circuits.insert(c.FirstCircuit + 1).second);
  }
  EXPECT_EQ(circuits.size(), kGpioCircuitCount);
  EXPECT_EQ(*circuits.rbegin(), 43);

  struct Case {
    std::uint16_t Source;
    std::uint8_t First, Second;
  };
  const Case cases[] = {
      {kSrcLine1, 0, 1},      {kSrcLine1 + 5, 10, 11}, {kSrcUSB1, 12, 13},   {kSrcUSB1 + 3, 18, 19},
      {kSrcAES1, 20, 21},     {kSrcAES1 + 3, 26, 27},  {kSrcTBUA, 40, 41},   {kSrcTBUB, 42, 43},
      {kSrcLine1 + 6, 255, 255}, {kSrcUSB1 + 4, 255, 255}, {kSrcMic1, 255, 255}, {0, 255, 255},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GpioCircuitForSource(c.Source, false), c.First) << c.Source;
    EXPECT_EQ(GpioCircuitForSource(c.Source, true), c.Second) << c.Source;
  }
  // AUX2's second circuit is 39 and belongs to no source.
  EXPECT_EQ(kGpioConnectors[19].Name, "AUX2");
  EXPECT_EQ(kGpioConnectors[19].FirstCircuit + 1, 39);
  EXPECT_EQ(kGpioConnectors[19].SourceId, 0);
}

TEST(Gpio, FunctionCaptions) {
  EXPECT_EQ(GpiFunctionCaption(0), "<none>");
  EXPECT_EQ(GpiFunctionCaption(9), "Rev. TB Control ");  // the trailing blank is the unit's
  EXPECT_EQ(GpiFunctionCaption(135), "Soft Trigger 8");
  EXPECT_EQ(GpiFunctionCaption(11), "");
  EXPECT_EQ(GpiFunctionCaption(136), "");
  EXPECT_EQ(GpoFunctionCaption(6), "Prefade/Start Tally");
  EXPECT_EQ(GpoFunctionCaption(136), "Any Mic Live Tally");
  EXPECT_EQ(GpoFunctionCaption(154), "MIC8 Video Cam Tally");
  EXPECT_EQ(GpoFunctionCaption(155), "");
}

TEST(Ids, MonitorsBusesFirmwareBoards) {
  EXPECT_EQ(MonitorName(0), "CRHP");
  EXPECT_EQ(MonitorName(19), "GRCU16");
  EXPECT_EQ(MonitorName(21), "HPB");
  EXPECT_EQ(MonitorName(22), "- ? -");
  EXPECT_EQ(MixBusName(11), "CF6");
  EXPECT_EQ(MixBusName(12), "PFL");
  ASSERT_NE(FindFirmwareKind(65), nullptr);
  EXPECT_EQ(FindFirmwareKind(65)->TagBoardId, 64);
  EXPECT_EQ(FindFirmwareKind(81)->TagBoardId, -1);
  EXPECT_EQ(FindFirmwareKind(3), nullptr);
  EXPECT_EQ(BoardName(32), "Audio Processing Board");
  EXPECT_EQ(BoardName(1), "Unknow board/module type");
}

}  // namespace
}  // namespace mpu
