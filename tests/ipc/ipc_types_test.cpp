#include "ipc/aldrane_ipc_server_types.h"

#include <gtest/gtest.h>

#include <map>

#include "ipc/byte_stream.h"
#include "ipc/pipe_client.h"
#include "tests/ipc/ipc_test_support.h"

namespace mpu::ipc {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class R>
Bytes Encoded(const R& r) {
  const auto a = wire::EncodeToArray(r);
  return Bytes(a.begin(), a.end());
}

Bytes Utf16Le(std::u16string_view s) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

// `expected` appears at `offset` of `bytes`.
::testing::AssertionResult BytesAt(const Bytes& bytes, std::size_t offset, const Bytes& expected) {
  if (offset + expected.size() > bytes.size())
    return ::testing::AssertionFailure() << "past the end";
  if (!std::equal(expected.begin(), expected.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(offset)))
    return ::testing::AssertionFailure() << "different bytes at " << offset;
  return ::testing::AssertionSuccess();
}

TEST(IPCTypes, TextFieldsAreCutNulTerminatedAndZeroFilled) {
  struct Case {
    std::u16string text;
    std::u16string stored;
  };
  const Case cases[] = {
      {u"", u""},
      {u"PGM 1", u"PGM 1"},
      {u"exactly twenty chars", u"exactly twenty chars"},
      {u"twenty-one characters", u"twenty-one character"},
      {u"nineteen characters\U0001F3B5", u"nineteen characters"},  // no half pair at the end
      {u"eighteen character\U0001F3B5", u"eighteen character\U0001F3B5"},
  };
  for (const Case& c : cases) {
    TAldraneServerMonitorSource src;
    src.Name.fill(u'#');
    SetWideText(src.Name, c.text);
    EXPECT_EQ(WideText(src.Name), c.stored);
    EXPECT_TRUE(std::all_of(src.Name.begin() + static_cast<std::ptrdiff_t>(c.stored.size()),
                            src.Name.end(), [](char16_t u) { return u == 0; }));
  }
  // A received field without a NUL reads to its end.
  WideChars<3> full = {u'a', u'b', u'c'};
  EXPECT_EQ(WideText(full), u"abc");
}

TEST(IPCTypes, RecordsPutEveryFieldAtItsOffset) {
  TAldraneServerMixerHealthMsg health;
  health.FirmwareCount = 2;
  health.Firmwares[1].FirmwareId = 0x21;
  health.Firmwares[1].VersionBuild = 0x1234;
  health.USBAudioInstalled = 7;
  health.MIC58Installded = 1;
  health.EnvironmentStatus = 3;
  SetWideText(health.EnvironmentHint, u"Hot");
  health.PowerStatus = 2;
  SetWideText(health.PowerHint, u"PSU");

  TAldraneServerMonitorParamsMsg params;
  params.PresetId = 0x0102;
  params.SendSources[pmoHeadphonesB].Id = 0x0A0B;
  SetWideText(params.SendSources[pmoHeadphonesB].Name, u"HP");

  TAldraneServerSoftMenuButton button;
  button.Color = 0x00112233;
  SetWideText(button.ShortLabel, u"S");
  SetWideText(button.Caption, u"C");
  SetWideText(button.Hint, u"H");

  TAldraneServerAliasControlMsg alias;
  SetWideText(alias.AliasName, u"X");
  alias.AliasType = 1;
  alias.Param3 = -2;

  TAldraneServerRecordPresetMsg record;
  record.Param3 = 5;
  SetWideText(record.StrParam1, u"R");

  struct Case {
    const char* field;
    Bytes record;
    std::size_t offset;
    Bytes expected;
  };
  const Case cases[] = {
      {"health FirmwareCount", Encoded(health), 0, {2, 0, 0, 0}},
      {"health Firmwares[1]", Encoded(health), 12, {0x21, 0, 0, 0x34, 0x12}},
      {"health USBAudioInstalled", Encoded(health), 84, {7, 0, 0, 0}},
      {"health MIC58Installded", Encoded(health), 88, {1, 0, 0, 0}},
      {"health EnvironmentStatus", Encoded(health), 100, {3, 0, 0, 0}},
      {"health EnvironmentHint", Encoded(health), 104, Utf16Le(std::u16string(u"Hot\0", 4))},
      {"health PowerStatus", Encoded(health), 618, {2, 0, 0, 0}},
      {"health PowerHint", Encoded(health), 622, Utf16Le(std::u16string(u"PSU\0", 4))},
      {"monitor params PresetId", Encoded(params), 4, {2, 1}},
      {"monitor params SendSources[7]",
       Encoded(params),
       6 + 7 * 46,
       {0x0B, 0x0A, 0, 0, 'H', 0, 'P', 0, 0, 0}},
      {"button Color", Encoded(button), 32, {0x33, 0x22, 0x11, 0}},
      {"button ShortLabel", Encoded(button), 36, {'S', 0, 0, 0}},
      {"button Caption", Encoded(button), 58, {'C', 0, 0, 0}},
      {"button Hint", Encoded(button), 120, {'H', 0, 0, 0}},
      {"alias AliasName", Encoded(alias), 0, {'X', 0, 0, 0}},
      {"alias AliasType", Encoded(alias), 202, {1, 0, 0, 0}},
      {"alias Param3", Encoded(alias), 214, {0xFE, 0xFF, 0xFF, 0xFF}},
      {"record preset Param3", Encoded(record), 28, {5, 0, 0, 0}},
      {"record preset StrParam1", Encoded(record), 32, {'R', 0, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_TRUE(BytesAt(c.record, c.offset, c.expected)) << c.field;

  // And back.
  EXPECT_EQ(WideText(wire::Decode<TAldraneServerMixerHealthMsg>(Encoded(health))->PowerHint),
            u"PSU");
  EXPECT_EQ(wire::Decode<TAldraneServerMonitorParamsMsg>(Encoded(params))->SendSources[7].Id,
            0x0A0B);
}

TEST(IPCTypes, InitServerMessageWritesSignatureAndRevision) {
  TAldraneIPCServerMsg msg;
  msg.Bytes()[100] = 0xEE;
  msg.Bytes()[4000] = 0xEE;
  InitServerMessage(msg, 200);
  const Bytes head(msg.Bytes().begin(), msg.Bytes().begin() + 18);
  const Bytes expected = {'$', 'A', 'L', 'D', 'R', '_', 'I', 'P', 'C',
                          'M', 'S', 'G', '$', 0,   0,   0,   1,   0};
  EXPECT_EQ(head, expected);
  EXPECT_EQ(msg.Bytes()[100], 0);      // cleared
  EXPECT_EQ(msg.Bytes()[4000], 0xEE);  // beyond MessageSize: untouched
  InitServerMessage(msg);
  EXPECT_EQ(msg.Bytes()[4000], 0);
  EXPECT_EQ(msg.WireSize(), 32u);
}

TEST(IPCTypes, ReceivedFramesAreValidated) {
  const auto frame = [](std::uint16_t payloadLen, std::size_t size) {
    TAldraneIPCServerMsg m = MakeServerMessage(IPC_MSG_MIXER_STATS);
    m.SetPayloadLen(payloadLen);
    Bytes b(m.Bytes().begin(), m.Bytes().end());
    b.resize(size, 0x5A);
    return b;
  };
  const auto withSignature = [&](std::string_view sig) {
    Bytes b = frame(0, 32);
    std::fill_n(b.begin(), 16, 0);
    std::copy(sig.begin(), sig.end(), b.begin());
    return b;
  };
  Bytes oddHeader = frame(0, 32);
  oddHeader[16] = 7;     // Revision
  oddHeader[24] = 0xFF;  // ErrorCode
  oddHeader[28] = 5;     // Reserved
  struct Case {
    const char* name;
    Bytes message;
    bool accepted;
  };
  const Case cases[] = {
      {"empty", {}, false},
      {"31 bytes", frame(0, 31), false},
      {"32 bytes, no payload", frame(0, 32), true},
      {"40 bytes claiming 24 payload bytes", frame(24, 40), false},
      {"56 bytes with 24 payload bytes", frame(24, 56), true},
      {"signature and more characters", withSignature("$ALDR_IPCMSG$XY"), false},
      {"sixteen characters, no NUL", withSignature("$ALDR_IPCMSG$ABC"), false},
      {"signature, NUL, then anything", withSignature(std::string_view("$ALDR_IPCMSG$\0AB", 16)),
       true},
      {"another signature", withSignature("$ALDR_IPCMSG#"), false},
      {"a shorter signature", withSignature("$ALDR_IPC"), false},
      {"longer than a frame, payload fits", frame(4064, 5000), true},
      {"payload claimed beyond the frame", frame(4065, 5000), false},
      {"revision, error code, reserved not checked", oddHeader, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto msg = ReadServerMessage(c.message);
    ASSERT_EQ(msg.has_value(), c.accepted);
    if (!msg) continue;
    EXPECT_EQ(msg->Opcode(), IPC_MSG_MIXER_STATS);
    // Cut to 4096 bytes; what was not received reads as zero.
    const std::size_t kept = std::min<std::size_t>(c.message.size(), 4096);
    EXPECT_TRUE(std::equal(c.message.begin(), c.message.begin() + static_cast<std::ptrdiff_t>(kept),
                           msg->Bytes().begin()));
    EXPECT_TRUE(std::all_of(msg->Bytes().begin() + static_cast<std::ptrdiff_t>(kept),
                            msg->Bytes().end(), [](std::uint8_t b) { return b == 0; }));
  }

  TFastMemStream stream;
  stream.Write(frame(4064, 9000));
  stream.Seek(0);
  const auto fromStream = ReadServerMessage(stream);
  ASSERT_TRUE(fromStream);
  EXPECT_EQ(stream.Position(), 4096u);  // reads no more than a frame
}

TEST(IPCTypes, FramesTravelAsHeaderPlusPayloadLen) {
  TAldraneServerSoftMenuMsg menu;
  menu.ButtonCount = 3;
  TAldraneIPCServerMsg menuFrame = MakeServerMessage(IPC_MSG_ENTER_SOFT_MENU, menu);
  menuFrame.SetPayloadLen(TAldraneServerSoftMenuMsg::PayloadLenFor(menu.ButtonCount));

  struct Case {
    const char* name;
    TAldraneIPCServerMsg frame;
    std::size_t size;
  };
  const Case cases[] = {
      {"log-on answer", MakeServerMessage(IPC_MSG_LOGON, TAldraneServerLogOnOffMsg{}), 56},
      {"connection status",
       MakeServerMessage(IPC_MSG_CONNECTION_STATUS, TAldraneServerConnectionMsg{pcsMPUSession}),
       36},
      {"health", MakeServerMessage(IPC_MSG_MIXER_HEALTH, TAldraneServerMixerHealthMsg{}), 1168},
      {"monitor parameters",
       MakeServerMessage(IPC_MSG_CR_MONITOR_PARAMS, TAldraneServerMonitorParamsMsg{}), 406},
      {"server shutdown", MakeServerMessage(IPC_MSG_SERVER_SHUTDOWN), 32},
      {"soft menu with three buttons", menuFrame, 32 + 16 + 3 * 484},
  };
  test::TRecordingServer s;
  s.Start();
  auto client = s.Connect();
  const HPIPE pipe = s.WaitClient();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(s.server().Write(pipe, c.frame.WireBytes()));
    const auto wire = test::WhileProcessingEvents([&] { return client.ReceiveRaw(); });
    ASSERT_TRUE(wire);
    EXPECT_EQ(wire->size(), c.size);
    const auto back = ReadServerMessage(*wire);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Opcode(), c.frame.Opcode());
    EXPECT_EQ(*back, c.frame);  // the unsent tail was zero anyway
  }

  // A frame from the client arrives as the same bytes.
  ASSERT_TRUE(client.SendFrame(
      MakeServerMessage(IPC_MSG_LOGON, TAldraneServerLogOnOffMsg{pctOnAirPro, 0, 1})));
  ASSERT_TRUE(s.WaitCount(test::TRecordedEvent::Message, 1));
  const auto logon = ReadServerMessage(s.Messages()[0]);
  ASSERT_TRUE(logon);
  EXPECT_EQ(s.Messages()[0].size(), 56u);
  EXPECT_EQ(logon->View<TAldraneServerLogOnOffMsg>().ClientType, pctOnAirPro);
  EXPECT_EQ(logon->View<TAldraneServerLogOnOffMsg>().BroadcastId, 1u);
}

TEST(IPCTypes, OpcodeCatalogueReusesOnly103And104) {
  std::map<std::uint32_t, int> uses;
  for (const TIPCOpcodeInfo& info : IPCOpcodeCatalogue()) ++uses[info.Opcode];
  for (const auto& [opcode, n] : uses)
    EXPECT_EQ(n, opcode == 103 || opcode == 104 ? 2 : 1) << opcode;

  struct Case {
    std::uint32_t opcode;
    TIPCDirection sentBy;
    const char* name;
    std::int32_t payloadLen;
  };
  const auto C = TIPCDirection::ClientToServer, S = TIPCDirection::ServerToClient;
  const Case cases[] = {
      {103, C, "IPC_MSG_REQUEST_ONAIR_STATUS", 0},
      {103, S, "IPC_MSG_CR_MONITOR_SELECT", 50},
      {104, C, "IPC_MSG_REQUEST_STRIP_ID", 8},
      {104, S, "IPC_MSG_MONITOR_SOURCE", 50},
      {1, C, "IPC_MSG_LOGON", 24},
      {1, S, "IPC_MSG_LOGON", 24},  // the answer
      {112, S, "IPC_MSG_MIXER_HEALTH", 1136},
      {1000, S, "IPC_MSG_SERVER_SHUTDOWN", 0},
  };
  for (const Case& c : cases) {
    const TIPCOpcodeInfo* info = FindIPCOpcode(c.opcode, c.sentBy);
    ASSERT_NE(info, nullptr) << c.name;
    EXPECT_EQ(info->Name, c.name);
    EXPECT_EQ(c.sentBy == C ? info->ClientPayloadLen : info->ServerPayloadLen, c.payloadLen)
        << c.name;
  }
  EXPECT_EQ(FindIPCOpcode(112, C), nullptr);  // only the server sends health
  EXPECT_EQ(FindIPCOpcode(6, S), nullptr);    // health setup has no answer
  EXPECT_EQ(FindIPCOpcode(108, C), nullptr);
  EXPECT_EQ(FindIPCOpcode(108, S), nullptr);
}

TEST(IPCTypes, ClientTypeNamesAndSoftMenuLengths) {
  EXPECT_EQ(ClientTypeName(pctUnknown), "Unknown");
  EXPECT_EQ(ClientTypeName(pctOnAirEnt), "OnAir Enterprise");
  EXPECT_EQ(ClientTypeName(pctOnAirPro), "OnAir Professional");
  EXPECT_EQ(ClientTypeName(pctSchedulingEnt), "Scheduling Enterprise");
  EXPECT_EQ(ClientTypeName(pctSchedulingPro), "Scheduling Professional");
  EXPECT_EQ(ClientTypeName(5), "");

  EXPECT_EQ(TAldraneServerSoftMenuMsg::PayloadLenFor(0), 16);
  EXPECT_EQ(TAldraneServerSoftMenuMsg::PayloadLenFor(8), 3888);
  EXPECT_EQ(TAldraneServerSoftMenuMsg::PayloadLenFor(-1), 16);  // a count from the wire is limited
  EXPECT_EQ(TAldraneServerSoftMenuMsg::PayloadLenFor(99), 3888);
}

}  // namespace
}  // namespace mpu::ipc
