// Layout of every payload record: each field's name, offset and size as the
// wire defines them, and byte-exact encodings of representative records.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "protocol/frames.h"

namespace mpu {
namespace {

struct Field {
  const char* Name;
  std::size_t Offset;
  std::size_t Size;
};

template <wire::Record R>
void ExpectLayout(std::size_t size, std::initializer_list<Field> expected) {
  SCOPED_TRACE(::testing::Message() << "record of " << size << " bytes");
  EXPECT_EQ(R::kSize, size);
  const std::vector<wire::FieldInfo> actual = wire::FieldsOf<R>();
  ASSERT_EQ(actual.size(), expected.size());
  std::size_t i = 0;
  for (const Field& e : expected) {
    EXPECT_STREQ(actual[i].Name, e.Name);
    EXPECT_EQ(actual[i].Offset, e.Offset) << e.Name;
    EXPECT_EQ(actual[i].Size, e.Size) << e.Name;
    ++i;
  }
}

TEST(RecordLayout, SourceRecords) {
  ExpectLayout<TMPUSourceControlMessage>(4, {{"SourceID", 0, 2}, {"Value", 2, 2}});
  ExpectLayout<TMPUSourceSystemGainMessage>(6, {{"SourceID", 0, 2}, {"GainLeft", 2, 2}, {"GainRight", 4, 2}});
  ExpectLayout<TMPUInSourceModeMessage>(
      6, {{"SourceID", 0, 2}, {"ChannelMode", 2, 2}, {"PhaseLeft", 4, 1}, {"PhaseRight", 5, 1}});
  ExpectLayout<TMPUInSourceFilterParamsMessage>(10, {{"SourceID", 0, 2},
                                                     {"FilterId", 2, 1},
                                                     {"Options", 3, 1},
                                                     {"Gain", 4, 2},
                                                     {"Frequency", 6, 2},
                                                     {"Quality", 8, 2}});
  ExpectLayout<TMPULimiterParamsMessage>(
      6, {{"SourceID", 0, 2}, {"Threshold", 2, 2}, {"Decay", 4, 1}, {"Active", 5, 1}});
  ExpectLayout<TMPUCompressorParamsMessage>(9, {{"SourceID", 0, 2},
                                                {"Threshold", 2, 2},
                                                {"Attack", 4, 1},
                                                {"Decay", 5, 1},
                                                {"Ratio", 6, 1},
                                                {"PostGain", 7, 1},
                                                {"Active", 8, 1}});
  ExpectLayout<TMPUInSourceGainMessage>(5, {{"SourceID", 0, 2}, {"Value", 2, 2}, {"Pos", 4, 1}});
  ExpectLayout<TMPUInSourceAuxSendMessage>(6, {{"SourceID", 0, 2}, {"Gain", 2, 2}, {"Mode", 4, 2}});
  ExpectLayout<TMPUInSourceBusRoutingMessage>(6, {{"SourceID", 0, 2}, {"BusId", 2, 2}, {"Routing", 4, 2}});
  ExpectLayout<TMPUInSourceRoutingTriggerMessage>(13, {{"InSourceID", 0, 2},
                                                       {"MasterId", 2, 1},
                                                       {"TriggerActionOff", 3, 1},
                                                       {"RoutingOff", 4, 2},
                                                       {"OptionsOff", 6, 1},
                                                       {"AuxGainOff", 7, 1},
                                                       {"TriggerActionOn", 8, 1},
                                                       {"RoutingOn", 9, 2},
                                                       {"OptionsOn", 11, 1},
                                                       {"AuxGainOn", 12, 1}});
  ExpectLayout<TMPUInSourceVControlMessage>(6, {{"SourceID", 0, 2}, {"ControlId", 2, 2}, {"Value", 4, 2}});
  ExpectLayout<TMPUInSourceStripChangeMessage>(4, {{"SourceID", 0, 2}, {"StripID", 2, 2}});
  ExpectLayout<TMPUSendSourceMessage>(
      6, {{"SourceID", 0, 2}, {"SendSourceLeft", 2, 2}, {"SendSourceRight", 4, 2}});
  ExpectLayout<TMPULongLabel>(34, {{"LongLabelA", 0, 34}});
  ExpectLayout<TMPUSourceLabelMessage>(
      46, {{"SourceID", 0, 2}, {"ShortLabel", 2, 9}, {"LongEnc", 11, 1}, {"LongLabel", 12, 34}});
}

TEST(RecordLayout, SourceParameterAnswers) {
  ExpectLayout<TMPUInsourceStandardParamsMessage>(114, {{"SourceID", 0, 2},
                                                        {"SourceClass", 2, 1},
                                                        {"SourceType", 3, 1},
                                                        {"SourceFormat", 4, 1},
                                                        {"SourceProcessing", 5, 1},
                                                        {"SourceStatus", 6, 1},
                                                        {"SourceMode", 7, 1},
                                                        {"ShortLabel", 8, 9},
                                                        {"LongLabelEncoding", 17, 1},
                                                        {"LongLabel", 18, 34},
                                                        {"InputGainLeft", 52, 1},
                                                        {"InputGainRight", 53, 1},
                                                        {"InputCalLeft", 54, 1},
                                                        {"InputCalRight", 55, 1},
                                                        {"ChannelMode", 56, 1},
                                                        {"PhaseReversal", 57, 1},
                                                        {"Location", 58, 1},
                                                        {"PhantomPower", 59, 1},
                                                        {"IndicatorMode", 60, 1},
                                                        {"ControlOptions", 61, 2},
                                                        {"StripNo", 63, 1},
                                                        {"BusTriggers", 64, 39},
                                                        {"BusRouting", 103, 2},
                                                        {"GainTrim", 105, 1},
                                                        {"Panning", 106, 1},
                                                        {"AuxMode", 107, 1},
                                                        {"AuxGain", 108, 1},
                                                        {"FaderPos", 109, 1},
                                                        {"FaderGain", 110, 2},
                                                        {"ControlStatus", 112, 2}});
  ExpectLayout<TMPUInsourceProcessingParamsMessage>(63, {{"SourceID", 0, 2},
                                                         {"SourceClass", 2, 1},
                                                         {"SourceType", 3, 1},
                                                         {"SourceFormat", 4, 1},
                                                         {"SourceProc", 5, 1},
                                                         {"SourceStatus", 6, 1},
                                                         {"SourceMode", 7, 1},
                                                         {"FilterBands", 8, 40},
                                                         {"Limiter", 48, 6},
                                                         {"Compressor", 54, 9}});
  ExpectLayout<TMPUOutsourceStandardParamsMessage>(17, {{"SourceID", 0, 2},
                                                        {"SourceClass", 2, 1},
                                                        {"SourceType", 3, 1},
                                                        {"SourceFormat", 4, 1},
                                                        {"SourceStatus", 5, 1},
                                                        {"SourceMode", 6, 1},
                                                        {"outputGainLeft", 7, 1},
                                                        {"OutputGainRight", 8, 1},
                                                        {"OutputCalLeft", 9, 1},
                                                        {"OutputCalRight", 10, 1},
                                                        {"SendSourceLeft", 11, 2},
                                                        {"SendSourceRight", 13, 2},
                                                        {"FormatOptions", 15, 2}});
}

TEST(RecordLayout, MixerRecords) {
  ExpectLayout<TMPUMixBusConfigMessage>(10, {{"MixBusId", 0, 2},
                                             {"Mode", 2, 2},
                                             {"MasterBusId", 4, 2},
                                             {"SendSourceLeft", 6, 2},
                                             {"SendSourceRight", 8, 2}});
  ExpectLayout<TMPUMixBusParamsMessage>(22, {{"MixBusId", 0, 2},
                                             {"ProcOptions", 2, 2},
                                             {"Mode", 4, 2},
                                             {"MasterBusId", 6, 2},
                                             {"SendSourceLeft", 8, 2},
                                             {"SendSourceRight", 10, 2},
                                             {"OTBActive", 12, 1},
                                             {"Reserved", 13, 3},
                                             {"Limiter", 16, 6}});
  ExpectLayout<TMPUTalkbackConfigMessage>(15, {{"SendSourceID", 0, 2},
                                               {"MixBusGain", 2, 2},
                                               {"RTBThreshold", 4, 2},
                                               {"RTBGain", 6, 2},
                                               {"RTBMask", 8, 4},
                                               {"SWTBOn", 12, 1},
                                               {"OTBGain", 13, 2}});
  ExpectLayout<TMPUOTBControlMessage>(5, {{"TargetType", 0, 2}, {"TargetID", 2, 2}, {"Active", 4, 1}});
  ExpectLayout<TMPUMonitorGainMessage>(4, {{"MonitorID", 0, 2}, {"Gain", 2, 2}});
  ExpectLayout<TMPUMonitorControlMessage>(4, {{"MonitorID", 0, 2}, {"Value", 2, 2}});
  ExpectLayout<TMPUCRMonitorPresetMessage>(4, {{"PresetID", 0, 2}, {"Value", 2, 2}});
  ExpectLayout<TMPUMonitorTBConfigMessage>(
      7, {{"MonitorID", 0, 2}, {"MaxGain", 2, 2}, {"MinGain", 4, 2}, {"Ducked", 6, 1}});
  ExpectLayout<TMPUMonitorParamsMessage>(64, {{"PrefadeActive", 0, 1},
                                              {"PreviewActive", 1, 1},
                                              {"APFActive", 2, 1},
                                              {"SplitActive", 3, 1},
                                              {"CRPresetId", 4, 2},
                                              {"GRCUGroups", 6, 2},
                                              {"SendSources", 8, 16},
                                              {"VolumeAdj", 24, 40}});
  ExpectLayout<TMPUGPInputConfigMessage>(11, {{"CircuitId", 0, 2},
                                              {"InSourceId", 2, 2},
                                              {"FunctionId", 4, 2},
                                              {"Interval", 6, 2},
                                              {"Momentary", 8, 1},
                                              {"NormallyClosed", 9, 1},
                                              {"Active", 10, 1}});
  ExpectLayout<TMPUGPOutputConfigMessage>(12, {{"CircuitId", 0, 2},
                                               {"InSourceId", 2, 2},
                                               {"FunctionId", 4, 2},
                                               {"Interval", 6, 2},
                                               {"Momentary", 8, 1},
                                               {"Repeating", 9, 1},
                                               {"NormallyClosed", 10, 1},
                                               {"Active", 11, 1}});
  ExpectLayout<TMPUSoftFunctionControlMessage>(3, {{"FunctionId", 0, 2}, {"Active", 2, 1}});
  ExpectLayout<TMPUTallyControlMessage>(2, {{"TallyId", 0, 1}, {"Value", 1, 1}});
  ExpectLayout<TMPUStripControlMessage>(4, {{"StripId", 0, 2}, {"Value", 2, 2}});
  ExpectLayout<TMPUStripParamsMessage>(7, {{"StripId", 0, 1},
                                           {"Active", 1, 1},
                                           {"ConsoleId", 2, 1},
                                           {"ConsoleLoc", 3, 1},
                                           {"SourceId", 4, 2},
                                           {"EditStatus", 6, 1}});
  ExpectLayout<TMPUMixerStatsMessage>(12, {{"Reserved", 0, 2},
                                           {"InSourcePFcount", 2, 2},
                                           {"CRMicPFCount", 4, 2},
                                           {"CRMicLiveCount", 6, 2},
                                           {"STMicPFCount", 8, 2},
                                           {"STMicLiveCount", 10, 2}});
  ExpectLayout<TMPUMixerSettingsMessage>(18, {{"SignalOnThreshold", 0, 1},
                                              {"SignalOvlThreshold", 1, 1},
                                              {"FaderStartThreshold", 2, 1},
                                              {"FaderStopThreshold", 3, 1},
                                              {"SummingGain", 4, 2},
                                              {"DTXProtectBuses", 6, 2},
                                              {"TempElevated", 8, 2},
                                              {"TempWarning", 10, 2},
                                              {"TempCritical", 12, 2},
                                              {"HumWarning", 14, 2},
                                              {"VideoTallyOptions", 16, 1},
                                              {"ClockSource", 17, 1}});
  ExpectLayout<TMPUControlStatusMessage>(2, {{"ControlId", 0, 1}, {"Value", 1, 1}});
}

TEST(RecordLayout, SystemRecords) {
  ExpectLayout<TMPUSessionMessage>(9, {{"Active", 0, 1}, {"Key", 1, 8}});
  ExpectLayout<TMPUMassUpdateMessage>(2, {{"Active", 0, 1}, {"Silent", 1, 1}});
  ExpectLayout<TMPUConfigStoreMessage>(4, {{"ControlFlags", 0, 2}, {"Version", 2, 2}});
  ExpectLayout<TMPUConsoleEntry>(12, {{"ConsoleId", 0, 1},
                                      {"StripCount", 1, 1},
                                      {"Location", 2, 1},
                                      {"Interface", 3, 1},
                                      {"PortNumber", 4, 2},
                                      {"ConsoleType", 6, 1},
                                      {"Reserved1", 7, 1},
                                      {"Brightness", 8, 1},
                                      {"Reserved2", 9, 3}});
  ExpectLayout<TMPUConsoleListMessage>(104, {{"ConsoleCount", 0, 1},
                                             {"MaxConsoles", 1, 1},
                                             {"StripCount", 2, 1},
                                             {"MaxStrips", 3, 1},
                                             {"Reserved", 4, 4},
                                             {"Consoles", 8, 96}});
  ExpectLayout<TMPUConsoleBrightnessMessage>(2, {{"ConsoleId", 0, 1}, {"Brightness", 1, 1}});
  ExpectLayout<TMPUBoardTagMessage>(123, {{"BoardId", 0, 1},
                                          {"SerialNo", 1, 37},
                                          {"Revision", 38, 17},
                                          {"Batch", 55, 21},
                                          {"Manufacturer", 76, 17},
                                          {"QualityCheck", 93, 21},
                                          {"TimeStamp", 114, 8},
                                          {"DeviceId", 122, 1}});
  ExpectLayout<TMPUTimestampTag>(8, {{"Year", 0, 2},
                                     {"Month", 2, 1},
                                     {"Day", 3, 1},
                                     {"Hour", 4, 1},
                                     {"Minute", 5, 1},
                                     {"Second", 6, 1},
                                     {"Reserved", 7, 1}});
  ExpectLayout<TMPUWriteUnlockMessage>(4, {{"Key", 0, 4}});
  ExpectLayout<TMPUPowerControlMessage>(3, {{"ModuleId", 0, 1}, {"RailId", 1, 1}, {"Active", 2, 1}});
  ExpectLayout<TMPUMarkerMessage>(12, {{"MarkerId", 0, 4}, {"Param1", 4, 4}, {"Param2", 8, 4}});
  ExpectLayout<TMPUABDirectMessage>(67, {{"Address", 0, 2}, {"Count", 2, 1}, {"Values", 3, 64}});
  ExpectLayout<TMPUClockSourceMessage>(1, {{"ClockSourceId", 0, 1}});
  ExpectLayout<TMPUCamInterfaceMessage>(7, {{"InSourceID", 0, 2},
                                            {"OutSourceId", 2, 2},
                                            {"Active", 4, 1},
                                            {"MapLeftChannel", 5, 1},
                                            {"MapRightChannel", 6, 1}});
}

TEST(RecordLayout, HealthAndFirmwareRecords) {
  ExpectLayout<TMPUHealthInfo>(57, {{"Host_VDD120", 0, 2},
                                    {"Host_VDD50", 2, 2},
                                    {"Host_VDD33", 4, 2},
                                    {"Host_Temp", 6, 2},
                                    {"XMOS_VDD10", 8, 2},
                                    {"XMOS_VDD18", 10, 2},
                                    {"XMOS_ModId", 12, 1},
                                    {"XMOS_RunStatus", 13, 1},
                                    {"Host_GPIO_Ok", 14, 1},
                                    {"FCS1_Pwr_Status", 15, 1},
                                    {"FCS2_Pwr_Status", 16, 1},
                                    {"Host_TestFailures", 17, 4},
                                    {"AB_Present", 21, 1},
                                    {"AB_RunStatus", 22, 1},
                                    {"AB_PSUStatus", 23, 2},
                                    {"PSU_Info", 25, 30},
                                    {"TemperatureStatus", 55, 1},
                                    {"HumidityStatus", 56, 1}});
  ExpectLayout<TMPUPowerSupplyInfo>(10, {{"Reserved0", 0, 1},
                                         {"Kind", 1, 1},
                                         {"RailHealth", 2, 2},
                                         {"RailSwitches", 4, 1},
                                         {"Temperature", 5, 2},
                                         {"Humidity", 7, 2},
                                         {"Reserved9", 9, 1}});
  ExpectLayout<TMPUFirmwareInfo>(8, {{"FirmwareId", 0, 1},
                                     {"VersionMajor", 1, 1},
                                     {"VersionMinor", 2, 1},
                                     {"VersionBuild", 3, 2},
                                     {"DeviceId", 5, 1},
                                     {"Reserved", 6, 2}});
  ExpectLayout<TMPUFirmwareInfoMsg>(94, {{"Signature", 0, 8},
                                         {"PacketPageSize", 8, 1},
                                         {"ControlPacketSize", 9, 1},
                                         {"DataPacketSize", 10, 1},
                                         {"AuxPacketSize", 11, 1},
                                         {"AuxFunction", 12, 1},
                                         {"FirmwareCount", 13, 1},
                                         {"Firmwares", 14, 80}});
  ExpectLayout<TMPUFirmwareXferRequest>(
      4, {{"FirmwareId", 0, 1}, {"SourceId", 1, 1}, {"SubRequest", 2, 1}, {"ChecksumType", 3, 1}});
  ExpectLayout<TMPUFirmwareProgRequest>(12, {{"FirmwareId", 0, 1},
                                             {"SourceId", 1, 1},
                                             {"SubRequest", 2, 1},
                                             {"Timestamp", 3, 8},
                                             {"DeviceId", 11, 1}});
  ExpectLayout<TMPUFirmwareXferInfo>(48, {{"ErrorId", 0, 1},
                                          {"FirmwareId", 1, 1},
                                          {"SourceId", 2, 1},
                                          {"SubRequest", 3, 1},
                                          {"VersionInfo", 4, 8},
                                          {"BlockSize", 12, 2},
                                          {"BlockCount", 14, 4},
                                          {"BlockId", 18, 4},
                                          {"ChecksumType", 22, 1},
                                          {"ChecksumSize", 23, 1},
                                          {"Reserved", 24, 8},
                                          {"CheckSum", 32, 16}});
  ExpectLayout<TMPUFirmwareProgInfo>(12, {{"ErrorId", 0, 1},
                                          {"FirmwareId", 1, 1},
                                          {"SourceId", 2, 1},
                                          {"SubRequest", 3, 1},
                                          {"BlockCount", 4, 4},
                                          {"BlockId", 8, 4}});
}

// ---------------------------------------------------------------------------
// Byte-exact encodings: values chosen so that every byte of every field is
// distinct, signed fields negative, multi-byte fields at odd offsets.

using ByteVec = std::vector<std::uint8_t>;

template <wire::Record R>
ByteVec Encoded(const R& r) {
  const auto a = wire::EncodeToArray(r);
  return ByteVec(a.begin(), a.end());
}

TEST(RecordBytes, TalkbackConfigHasWordsAtOddOffsets) {
  TMPUTalkbackConfigMessage m;
  m.SendSourceID = 18;
  m.MixBusGain = -6;
  m.RTBThreshold = -30;
  m.RTBGain = 12;
  m.RTBMask = 0x000006FF;
  m.SWTBOn = 1;
  m.OTBGain = -15;
  EXPECT_EQ(Encoded(m), (ByteVec{0x12, 0x00, 0xFA, 0xFF, 0xE2, 0xFF, 0x0C, 0x00, 0xFF, 0x06, 0x00, 0x00, 0x01,
                                 0xF1, 0xFF}));
}

TEST(RecordBytes, RoutingTrigger) {
  TMPUInSourceRoutingTriggerMessage m;
  m.InSourceID = 0x0105;
  m.MasterId = 2;
  m.TriggerActionOff = 1;
  m.RoutingOff = 0x0A0B;
  m.OptionsOff = 0x11;
  m.AuxGainOff = -2;
  m.TriggerActionOn = 2;
  m.RoutingOn = 0x0C0D;
  m.OptionsOn = 0x22;
  m.AuxGainOn = -3;
  EXPECT_EQ(Encoded(m), (ByteVec{0x05, 0x01, 0x02, 0x01, 0x0B, 0x0A, 0x11, 0xFE, 0x02, 0x0D, 0x0C, 0x22, 0xFD}));
}

TEST(RecordBytes, SessionKeyIsSixtyFourBitsAtOffsetOne) {
  TMPUSessionMessage m{1, 0x0102030405060708};
  EXPECT_EQ(Encoded(m), (ByteVec{0x01, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
  m.Key = -2;
  EXPECT_EQ(Encoded(m), (ByteVec{0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(RecordBytes, FirmwareXferInfoNestedVersion) {
  TMPUFirmwareXferInfo m;
  m.ErrorId = 0x88;
  m.FirmwareId = 33;
  m.SourceId = 128;
  m.SubRequest = 1;
  m.VersionInfo = {33, 2, 7, 0x0123, 1, {}};
  m.BlockSize = 256;
  m.BlockCount = 0x00010203;
  m.BlockId = 0x0A0B0C0D;
  m.ChecksumType = csCRC32;
  m.ChecksumSize = 4;
  m.CheckSum = {0xDE, 0xAD, 0xBE, 0xEF};
  ByteVec expected(48, 0);
  const ByteVec head = {0x88, 33, 128, 1, 33, 2, 7, 0x23, 0x01, 1, 0, 0, 0x00, 0x01, 0x03, 0x02,
                        0x01, 0x00, 0x0D, 0x0C, 0x0B, 0x0A, 1, 4};
  std::copy(head.begin(), head.end(), expected.begin());
  expected[32] = 0xDE;
  expected[33] = 0xAD;
  expected[34] = 0xBE;
  expected[35] = 0xEF;
  EXPECT_EQ(Encoded(m), expected);
}

TEST(RecordBytes, HealthInfoPowerSupplyEntries) {
  TMPUHealthInfo h;
  h.Host_VDD120 = 12034;
  h.Host_TestFailures = 0x00008001;
  h.AB_PSUStatus = 0x008D;
  h.PSU_Info[1] = {0x00, 2, 0x0010, 0x0A, -15, 455, 0x00};
  h.HumidityStatus = 3;
  const ByteVec b = Encoded(h);
  EXPECT_EQ(b[0], 0x02);
  EXPECT_EQ(b[1], 0x2F);  // 12034 = 0x2F02
  EXPECT_EQ((ByteVec{b[17], b[18], b[19], b[20]}), (ByteVec{0x01, 0x80, 0x00, 0x00}));
  EXPECT_EQ((ByteVec{b[23], b[24]}), (ByteVec{0x8D, 0x00}));
  // Supply 2 starts at 25 + 10.
  EXPECT_EQ((ByteVec(b.begin() + 35, b.begin() + 45)),
            (ByteVec{0x00, 0x02, 0x10, 0x00, 0x0A, 0xF1, 0xFF, 0xC7, 0x01, 0x00}));
  EXPECT_EQ(b[56], 3);
}

TEST(RecordBytes, BooleansTravelAsOneAndReadAnyNonZero) {
  TMPUCamInterfaceMessage m;
  m.InSourceID = 3;
  m.OutSourceId = 32;
  m.Active = 1;
  m.MapLeftChannel = true;
  EXPECT_EQ(Encoded(m), (ByteVec{3, 0, 32, 0, 1, 1, 0}));
  const ByteVec in = {3, 0, 32, 0, 1, 0x7F, 0};
  const auto d = wire::Decode<TMPUCamInterfaceMessage>(in);
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->MapLeftChannel);
  EXPECT_FALSE(d->MapRightChannel);
}

TEST(RecordDecode, ShortBufferFailsAndExactSizeSucceeds) {
  const ByteVec bytes(TMPUHealthInfo::kSize, 0x11);
  EXPECT_FALSE(wire::Decode<TMPUHealthInfo>(wire::Bytes(bytes).first(56)));
  EXPECT_TRUE(wire::Decode<TMPUHealthInfo>(bytes));
  EXPECT_FALSE(wire::Decode<TMPUSourceControlMessage>(wire::Bytes()));
}

TEST(RecordDecode, EncodeRefusesSmallOutputAndLeavesItUntouched) {
  ByteVec out(5, 0xAB);
  EXPECT_FALSE(wire::Encode(TMPULimiterParamsMessage{}, out));
  EXPECT_EQ(out, ByteVec(5, 0xAB));
}

TEST(RecordDecode, RoundTripOfNestedRecords) {
  TMPUInsourceStandardParamsMessage m;
  m.SourceID = 5;
  m.SourceType = 1;
  m.ShortLabel = {'M', 'I', 'C', ' ', '5'};
  m.LongLabel.LongLabelA = {'P', 'r', 'e', 's', 'e', 'n', 't', 'e', 'r'};
  m.InputCalLeft = -25;
  m.ControlOptions = 0x0021;
  m.StripNo = 255;
  m.BusTriggers[2].MasterId = 2;
  m.BusTriggers[2].RoutingOn = 0x0FFF;
  m.BusTriggers[2].AuxGainOn = -50;
  m.FaderGain = -60;
  m.ControlStatus = 1;
  const auto bytes = wire::EncodeToArray(m);
  EXPECT_EQ(bytes[64 + 26 + 9], 0xFF);  // third trigger's RoutingOn low byte
  EXPECT_EQ(bytes[64 + 26 + 10], 0x0F);
  const auto back = wire::Decode<TMPUInsourceStandardParamsMessage>(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(wire::EncodeToArray(*back), bytes);
  EXPECT_EQ(back->LongLabel.TextA(), "Presenter");
  EXPECT_EQ(wire::CharsToLatin1(back->ShortLabel), "MIC 5");
}

TEST(RecordDecode, LongLabelUtf16View) {
  TMPULongLabel l;
  l.LongLabelA = {'A', 0, 0xD6, 0, 0xAC, 0x20, 0, 0};  // "AÖ€"
  EXPECT_EQ(l.TextW(), u"A\u00D6\u20AC");
  EXPECT_EQ(l.TextA(), "A");
}

}  // namespace
}  // namespace mpu
