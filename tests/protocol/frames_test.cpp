// Command and response frames, the opcode catalogue and routing classes.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "protocol/frames.h"

namespace mpu {
namespace {

using ByteVec = std::vector<std::uint8_t>;

// The first bytes of a frame; every byte after them must be zero.
void ExpectFrame(const TMPUCommandMsg& msg, const ByteVec& head) {
  const auto bytes = msg.Bytes();
  ASSERT_LE(head.size(), bytes.size());
  EXPECT_EQ(ByteVec(bytes.begin(), bytes.begin() + static_cast<long>(head.size())), head);
  for (std::size_t i = head.size(); i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

struct FrameCase {
  const char* What;
  TMPUCommandMsg Msg;
  ByteVec Head;
};

TEST(CommandFrame, BuiltFromTheCatalogue) {
  TMPUInSourceFilterParamsMessage hpf;
  hpf.SourceID = 3;
  hpf.Options = kFilterActive;
  hpf.Frequency = 80;
  hpf.Quality = 10;
  TMPUSourceLabelMessage label;
  label.SourceID = 21;
  label.ShortLabel = {'L', 'I', 'N', 'E'};
  const std::vector<FrameCase> cases = {
      {"console list request", TMPUCommandMsg::Make(MPU_OP_CONSOLE_LIST), {0xCD, 0x01, 0x00, 0x00}},
      {"mixer settings with revision 3", TMPUCommandMsg::Make(MPU_OP_MIXER_SETTINGS), {0x59, 0x03, 0x12, 0x00}},
      {"GPI request for circuit 6",
       TMPUCommandMsg::Make(MPU_OP_GET_GPI_CONFIG, TMPUGPInputConfigMessage{.CircuitId = 6}),
       {0x62, 0x01, 0x0B, 0x00, 0x06, 0x00}},
      {"board tag read announces 123 and fills two bytes",
       TMPUCommandMsg::Make(MPU_OP_BOARD_TAG_READ, [] {
         TMPUBoardTagMessage t;
         t.BoardId = 64;
         t.DeviceId = 2;
         return t;
       }()),
       [] {
         ByteVec head(127, 0);  // BoardId at frame byte 4, DeviceId at 4 + 122
         head[0] = 0xEA;
         head[1] = 0x01;
         head[2] = 0x7B;
         head[4] = 64;
         head[126] = 2;
         return head;
       }()},
      {"firmware programming with revision 2",
       TMPUCommandMsg::Make(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgRequest{33, 128, 1, {2026, 12, 11, 9, 5, 7, 0}, 0}),
       {0xE8, 0x02, 0x0C, 0x00, 33, 128, 1, 0xEA, 0x07, 12, 11, 9, 5, 7, 0, 0}},
      {"clock source announces 18 for a one-byte record",
       TMPUCommandMsg::Make(MPU_OP_MIXER_CLOCK_SOURCE, TMPUClockSourceMessage{1}), {0x5B, 0x01, 0x12, 0x00, 0x01}},
      {"high-pass filter", TMPUCommandMsg::Make(MPU_OP_INSRC_FILTER, hpf),
       {0x07, 0x01, 0x0A, 0x00, 3, 0, 0, 1, 0, 0, 80, 0, 10, 0}},
      {"routing mask with every bus", TMPUCommandMsg::Make(MPU_OP_INSRC_ROUTING_MASK,
                                                           TMPUInSourceBusRoutingMessage{7, 0, kAllBusesMask}),
       {0x0E, 0x01, 0x06, 0x00, 7, 0, 0, 0, 0xFF, 0x0F}},
      {"PFL on for source 5", TMPUCommandMsg::Make(MPU_OP_INSRC_BUS_ROUTING, TMPUInSourceBusRoutingMessage{5, 12, 1}),
       {0x0D, 0x01, 0x06, 0x00, 5, 0, 12, 0, 1, 0}},
      {"source label", TMPUCommandMsg::Make(MPU_OP_INSRC_LABEL, label),
       {0x01, 0x01, 0x2E, 0x00, 21, 0, 'L', 'I', 'N', 'E'}},
      {"write unlock", TMPUCommandMsg::Make(MPU_OP_WRITE_UNLOCK, TMPUWriteUnlockMessage{MPU_WRITE_UNLOCK_KEY}),
       {0xF0, 0x01, 0x04, 0x00, 0x60, 0xC2, 0x94, 0x3E}},
      {"host ready", TMPUCommandMsg::Make(MPU_OP_HOST_READY), {0xC7, 0x01, 0x00, 0x00}},
      {"MCS tally is the host's meaning of 80", TMPUCommandMsg::Make(MPU_OP_MCS_TALLY, TMPUTallyControlMessage{3, 2}),
       {0x50, 0x01, 0x02, 0x00, 3, 2}},
  };
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.What);
    ExpectFrame(c.Msg, c.Head);
  }
}

TEST(CommandFrame, PrepareClearsEverythingTheLastFrameLeft) {
  TMPUCommandMsg msg;
  msg.Bytes()[300] = 0x77;
  msg.Prepare(MPU_OP_INSRC_ON, TMPUSourceControlMessage{9, 1});
  ExpectFrame(msg, {0x0F, 0x01, 0x04, 0x00, 9, 0, 1, 0});
}

TEST(CommandFrame, OpcodeTheHostNeverSendsIsReported) {
  TMPUCommandMsg msg;
  EXPECT_FALSE(msg.Prepare(MPU_OP_INSRC_VIRTUAL_CONTROL));
  ExpectFrame(msg, {MPU_OP_INSRC_VIRTUAL_CONTROL, 0x01, 0x00, 0x00});
  EXPECT_FALSE(msg.Prepare(150));
  EXPECT_TRUE(msg.Prepare(MPU_OP_SESSION));
}

TEST(CommandFrame, NamedViewsReadWhatWasWritten) {
  TMPUCommandMsg msg;
  msg.SetSessionControl({1, 123456789012345});
  EXPECT_EQ(msg.SessionControl().Key, 123456789012345);
  EXPECT_EQ(msg.Payload()[0], 1);
  msg.SetPayloadLen(0x1234);
  EXPECT_EQ(msg.Bytes()[2], 0x34);
  EXPECT_EQ(msg.Bytes()[3], 0x12);
}

TEST(ResponseFrame, FromPacketKeepsTheFirstBytes) {
  ByteVec packet(320, 0xEE);
  packet[0] = MPU_OP_HEALTH_INFO;
  packet[1] = 1;
  packet[2] = 57;
  packet[3] = 0;
  const auto full = TMPUResponseMsg::FromPacket(packet);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->Opcode(), MPU_OP_HEALTH_INFO);
  EXPECT_EQ(full->PayloadLen(), 57);
  EXPECT_EQ(full->Bytes()[127], 0xEE);

  const auto shortPacket = TMPUResponseMsg::FromPacket(wire::Bytes(packet).first(64));
  ASSERT_TRUE(shortPacket);
  EXPECT_EQ(shortPacket->Bytes()[63], 0xEE);
  EXPECT_EQ(shortPacket->Bytes()[64], 0x00);  // nothing invented beyond the packet

  EXPECT_FALSE(TMPUResponseMsg::FromPacket(wire::Bytes(packet).first(3)));
}

TEST(ResponseFrame, MakeSetsHeaderAndRecord) {
  TMPUConfigStoreMessage cfg{0, 0x0102};
  const auto msg = TMPUResponseMsg::Make(MPU_OP_CONFIG_STORE, cfg);
  const ByteVec head(msg.Bytes().begin(), msg.Bytes().begin() + 8);
  EXPECT_EQ(head, (ByteVec{0xCB, 1, 4, 0, 0, 0, 0x02, 0x01}));
  EXPECT_EQ(msg.MixerConfig().Version, 0x0102);
}

TEST(Catalogue, HoldsEveryNumberWithBothNamesWhereItHasTwo) {
  const auto cat = OpcodeCatalogue();
  EXPECT_EQ(cat.size(), 88u);
  std::set<std::string_view> names;
  for (const OpcodeInfo& info : cat) EXPECT_TRUE(names.insert(info.Name).second) << info.Name;

  struct Twin {
    std::uint8_t Number;
    const char* Host;
    const char* Mpu;
  };
  const Twin twins[] = {
      {80, "MPU_OP_MCS_TALLY", "MPU_OP_STRIP_EDIT_KEY"},
      {84, "MPU_OP_GET_TALKBACK_CONFIG", "MPU_OP_MCS_KEY"},
      {85, "MPU_OP_GET_OTB_STATUS", "MPU_OP_MCS_ENCODER"},
      {90, "MPU_OP_GET_MIXER_SETTINGS", "MPU_OP_CR_PRESET_EDIT"},
      {98, "MPU_OP_GET_GPI_CONFIG", "MPU_OP_SOFTFUNC_IN_STATUS"},
      {99, "MPU_OP_GET_GPO_CONFIG", "MPU_OP_SOFTFUNC_OUT_STATUS"},
  };
  for (const Twin& t : twins) {
    ASSERT_NE(FindCommandOpcode(t.Number), nullptr);
    ASSERT_NE(FindReportOpcode(t.Number), nullptr);
    EXPECT_EQ(FindCommandOpcode(t.Number)->Name, t.Host);
    EXPECT_EQ(FindReportOpcode(t.Number)->Name, t.Mpu);
  }
  // A received 84 is an MCS key, a received 98 a soft-function input status.
  EXPECT_EQ(ReportOpcodeName(84), "MPU_OP_MCS_KEY");
  EXPECT_EQ(ReportOpcodeName(98), "MPU_OP_SOFTFUNC_IN_STATUS");
  EXPECT_EQ(CommandOpcodeName(98), "MPU_OP_GET_GPI_CONFIG");
  EXPECT_EQ(ReportOpcodeName(150), "0x96");
}

TEST(Catalogue, RowsAgreeWithTheirRecords) {
  struct Row {
    std::uint8_t Opcode;
    Direction Dir;
    int PayloadLen;
    std::uint8_t Revision;
  };
  const Row rows[] = {
      {MPU_OP_INSRC_LABEL, Direction::HostToMpu, int(TMPUSourceLabelMessage::kSize), 1},
      {MPU_OP_INSRC_ROUTING_TRIGGER, Direction::Both, int(TMPUInSourceRoutingTriggerMessage::kSize), 1},
      {MPU_OP_INSRC_COMPRESSOR, Direction::Both, int(TMPUCompressorParamsMessage::kSize), 1},
      {MPU_OP_INSRC_VIRTUAL_CONTROL, Direction::MpuToHost, -1, 1},
      {MPU_OP_TALKBACK_CONFIG, Direction::Both, int(TMPUTalkbackConfigMessage::kSize), 1},
      {MPU_OP_MONITOR_VOLUME, Direction::HostToMpu, 4, 1},
      {MPU_OP_MIXBUS_PARAMS, Direction::Both, int(TMPUMixBusConfigMessage::kSize), 1},
      {MPU_OP_MIXER_SETTINGS, Direction::Both, int(TMPUMixerSettingsMessage::kSize), 3},
      {MPU_OP_GET_GPO_CONFIG, Direction::HostToMpu, int(TMPUGPOutputConfigMessage::kSize), 1},
      {MPU_OP_SESSION, Direction::Both, int(TMPUSessionMessage::kSize), 1},
      {MPU_OP_CONSOLE_LIST_WRITE, Direction::HostToMpu, int(TMPUConsoleListMessage::kSize), 1},
      {MPU_OP_FIRMWARE_PROGRAM, Direction::Both, int(TMPUFirmwareProgRequest::kSize), 2},
      {MPU_OP_BOARD_TAG_WRITE, Direction::HostToMpu, int(TMPUBoardTagMessage::kSize), 1},
      {MPU_OP_AB_DIRECT_READ, Direction::Both, int(TMPUABDirectMessage::kSize), 1},
      {MPU_OP_FIRMWARE_INFO, Direction::Both, 0, 1},
  };
  for (const Row& r : rows) {
    const OpcodeInfo* info = r.Dir == Direction::MpuToHost ? FindReportOpcode(r.Opcode) : FindCommandOpcode(r.Opcode);
    ASSERT_NE(info, nullptr) << int(r.Opcode);
    EXPECT_EQ(info->Dir, r.Dir) << info->Name;
    EXPECT_EQ(info->PayloadLen, r.PayloadLen) << info->Name;
    EXPECT_EQ(info->Revision, r.Revision) << info->Name;
  }
  // Every command the host sends announces a length; only the unit's own
  // messages have none.
  for (const OpcodeInfo& info : OpcodeCatalogue())
    EXPECT_EQ(info.PayloadLen < 0, info.Dir == Direction::MpuToHost) << info.Name;
}

TEST(Catalogue, RoutingClassByRange) {
  const std::pair<int, OpcodeClass> cases[] = {
      {0, OpcodeClass::Dropped},   {1, OpcodeClass::Source},    {63, OpcodeClass::Source},
      {64, OpcodeClass::Mixer},    {127, OpcodeClass::Mixer},   {128, OpcodeClass::Reserved},
      {150, OpcodeClass::Reserved}, {191, OpcodeClass::Reserved}, {192, OpcodeClass::System},
      {255, OpcodeClass::System},
  };
  for (const auto& [op, cls] : cases) EXPECT_EQ(ClassifyOpcode(static_cast<std::uint8_t>(op)), cls) << op;
  for (const OpcodeInfo& info : OpcodeCatalogue()) EXPECT_NE(ClassifyOpcode(info.Number), OpcodeClass::Reserved);
}

TEST(Catalogue, AnswersAndMinimumLengths) {
  EXPECT_EQ(AnswerOpcodeFor(MPU_OP_GET_GPI_CONFIG), MPU_OP_GPI_CONFIG);
  EXPECT_EQ(AnswerOpcodeFor(MPU_OP_GET_OTB_STATUS), MPU_OP_OTB_CONTROL);
  EXPECT_EQ(AnswerOpcodeFor(MPU_OP_STRIP_PARAMS), MPU_OP_STRIP_PARAMS);
  EXPECT_EQ(AnswerOpcodeFor(MPU_OP_INSRC_FADER), std::nullopt);
  EXPECT_EQ(MinAnswerPayloadLen(MPU_OP_HEALTH_INFO), TMPUHealthInfo::kSize);
  EXPECT_EQ(MinAnswerPayloadLen(MPU_OP_FIRMWARE_INFO), TMPUFirmwareInfoMsg::kSize);
  EXPECT_EQ(MinAnswerPayloadLen(MPU_OP_CONSOLE_LIST), TMPUConsoleListMessage::kSize);
  EXPECT_EQ(MinAnswerPayloadLen(MPU_OP_SESSION), 0);
}

}  // namespace
}  // namespace mpu
