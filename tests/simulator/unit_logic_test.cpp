// The unit's logic driven directly, with a clock the test moves: timers
// (metering, programming, leases), firmware corner cases and robustness
// against any bytes.
#include <gtest/gtest.h>

#include <random>

#include "protocol/data_packets.h"
#include "protocol/frames.h"
#include "simulator/unit_logic.h"

namespace mpu::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class Unit {
 public:
  explicit Unit(SimulatorConfig config = {}) : logic(config) {}

  void Connect() {
    logic.HostOpened();
    Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO));
    const std::vector<OutPacket> out = logic.TakeOutput();
    ASSERT_EQ(out.size(), 1u);
    ASSERT_EQ(out[0].Bytes[0], MPU_OP_FIRMWARE_INFO);
  }

  void Send(const TMPUCommandMsg& msg) {
    const std::size_t n = logic.Status().ControlPacketSize;
    logic.Receive(0x01, std::span(msg.Bytes().data(), n), now);
  }

  void SendData(const Bytes& packet) { logic.Receive(0x02, packet, now); }

  // The control answers produced so far.
  std::vector<TMPUResponseMsg> Answers() {
    std::vector<TMPUResponseMsg> out;
    for (const OutPacket& p : logic.TakeOutput())
      if (p.Pipe == 0x81) out.push_back(*TMPUResponseMsg::FromPacket(p.Bytes));
    return out;
  }

  void Advance(std::chrono::milliseconds d) {
    now += d;
    logic.Tick(now);
  }

  Clock::time_point now = Clock::time_point{} + 1h;
  UnitLogic logic;
};

SimulatorConfig Quiet() {
  SimulatorConfig c;
  c.MeteringInterval = 0ms;
  return c;
}

TEST(UnitLogic, MeteringKeepsItsPaceAndSkipsWhatItMissed) {
  SimulatorConfig c;
  c.MeteringInterval = 40ms;
  Unit u(c);
  u.Connect();
  ASSERT_EQ(u.logic.NextDeadline(), u.now + 40ms);
  u.Advance(39ms);
  EXPECT_TRUE(u.logic.TakeOutput().empty());
  u.Advance(1ms);
  std::vector<OutPacket> out = u.logic.TakeOutput();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Pipe, 0x82);
  EXPECT_EQ(out[0].Bytes.size(), 320u);
  EXPECT_EQ(out[0].Bytes[0], MPU_PKT_METERING);
  // A long stall gives one packet, not a burst.
  u.Advance(1000ms);
  EXPECT_EQ(u.logic.TakeOutput().size(), 1u);
  EXPECT_EQ(u.logic.NextDeadline(), u.now + 40ms);
  // Switched off, then on again.
  u.logic.SetMeteringEnabled(false, u.now);
  EXPECT_FALSE(u.logic.NextDeadline().has_value());
  u.logic.SetMeteringEnabled(true, u.now);
  u.Advance(0ms);
  EXPECT_EQ(u.logic.TakeOutput().size(), 1u);
  // Nothing while no host has the unit open.
  u.logic.HostClosed();
  u.Advance(100ms);
  EXPECT_TRUE(u.logic.TakeOutput().empty());
}

TEST(UnitLogic, ProgrammingIsPacedByEraseAndBlockTimes) {
  SimulatorConfig c = Quiet();
  c.ProgramEraseTime = 100ms;
  c.ProgramBlockTime = 10ms;
  Unit u(c);
  u.Connect();
  const std::uint8_t fw = 33;
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, TMPUFirmwareXferRequest{fw, 128, 1, 0}));
  ASSERT_EQ(u.Answers().at(0).FirmwareXfer().ErrorId, 0);
  for (std::uint32_t b = 0; b < 3; ++b) {
    TMPUFirmwareXferInfo info;
    info.FirmwareId = fw;
    info.SourceId = 128;
    info.SubRequest = 2;
    info.BlockSize = 256;
    info.BlockId = b;
    Bytes packet(320);
    ASSERT_TRUE(EncodeFirmwareDataPacket(packet, info, Bytes(256, static_cast<std::uint8_t>(b))));
    u.SendData(packet);
  }
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, TMPUFirmwareXferRequest{fw, 128, 4, 0}));
  ASSERT_EQ(u.Answers().size(), 4u);

  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgRequest{fw, 128, 1, {}, 0}));
  std::vector<TMPUResponseMsg> a = u.Answers();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].FirmwareProg().SubRequest, MPU_FW_SUB_START);
  EXPECT_EQ(a[0].FirmwareProg().BlockCount, 3u);
  EXPECT_EQ(a[1].FirmwareProg().SubRequest, MPU_FW_SUB_ERASE);
  EXPECT_TRUE(u.logic.Status().Programming);
  u.Advance(99ms);
  EXPECT_TRUE(u.Answers().empty());  // still erasing
  u.Advance(1ms);
  a = u.Answers();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].FirmwareProg().SubRequest, MPU_FW_SUB_PROGRESS);
  EXPECT_EQ(a[0].FirmwareProg().BlockId, 0u);
  u.Advance(25ms);
  a = u.Answers();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[1].FirmwareProg().BlockId, 2u);
  u.Advance(10ms);
  a = u.Answers();
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].FirmwareProg().SubRequest, MPU_FW_SUB_FINISH);
  EXPECT_EQ(a[0].FirmwareProg().ErrorId, 0);
  EXPECT_FALSE(u.logic.Status().Programming);
  EXPECT_EQ(u.logic.FirmwareImageOf(fw).size(), 768u);
}

TEST(UnitLogic, AnIncompleteDownloadIsNotStaged) {
  Unit u(Quiet());
  u.Connect();
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, TMPUFirmwareXferRequest{17, 128, 1, 0}));
  u.Answers();
  TMPUFirmwareXferInfo info;
  info.FirmwareId = 17;
  info.SourceId = 128;
  info.SubRequest = 2;
  info.BlockSize = 256;
  info.BlockId = 1;  // block 0 never comes
  Bytes packet(320);
  ASSERT_TRUE(EncodeFirmwareDataPacket(packet, info, Bytes(256, 1)));
  u.SendData(packet);
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, TMPUFirmwareXferRequest{17, 128, 4, 0}));
  const std::vector<TMPUResponseMsg> a = u.Answers();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[1].FirmwareXfer().ErrorId, 0x90);
  EXPECT_TRUE(u.logic.StagedImageOf(17).empty());
}

TEST(UnitLogic, UploadRepeatsTheLastBlockWhenAsked) {
  Unit u(Quiet());
  u.Connect();
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD, TMPUFirmwareXferRequest{2, 0, 1, 0}));
  ASSERT_EQ(u.Answers().at(0).FirmwareXfer().ErrorId, 0);
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD, TMPUFirmwareXferRequest{2, 0, 2, 0}));
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD, TMPUFirmwareXferRequest{2, 0, 3, 0}));
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD, TMPUFirmwareXferRequest{2, 0, 2, 0}));
  const std::vector<OutPacket> out = u.logic.TakeOutput();
  ASSERT_EQ(out.size(), 3u);
  const auto b0 = DecodeFirmwareDataPacket(out[0].Bytes);
  const auto again = DecodeFirmwareDataPacket(out[1].Bytes);
  const auto b1 = DecodeFirmwareDataPacket(out[2].Bytes);
  ASSERT_TRUE(b0 && again && b1);
  EXPECT_EQ(b0->Info.BlockId, 0u);
  EXPECT_EQ(again->Info.BlockId, 0u);
  EXPECT_EQ(again->Info.SubRequest, MPU_FW_SUB_REPEAT_BLOCK);
  EXPECT_TRUE(std::equal(b0->Data.begin(), b0->Data.end(), again->Data.begin(), again->Data.end()));
  EXPECT_EQ(b1->Info.BlockId, 1u);
}

TEST(UnitLogic, ConsoleFirmwareGoesToAListedConsole) {
  Unit u(Quiet());
  u.Connect();
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, TMPUFirmwareXferRequest{65, 128, 1, 0}));
  u.Answers();
  TMPUFirmwareXferInfo info;
  info.FirmwareId = 65;
  info.SourceId = 128;
  info.SubRequest = 2;
  info.VersionInfo = {65, 1, 19, 50, 0, {}};
  info.BlockSize = 256;
  Bytes packet(320);
  ASSERT_TRUE(EncodeFirmwareDataPacket(packet, info, Bytes(256, 9)));
  u.SendData(packet);
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, TMPUFirmwareXferRequest{65, 128, 4, 0}));
  u.Answers();
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgRequest{65, 128, 1, {}, 2}));
  EXPECT_EQ(u.Answers().at(0).FirmwareProg().ErrorId, 0x91);  // only two consoles
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgRequest{65, 128, 1, {}, 1}));
  u.Advance(1s);
  EXPECT_EQ(u.Answers().back().FirmwareProg().SubRequest, MPU_FW_SUB_FINISH);
  u.Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO));
  const TMPUFirmwareInfoMsg list = u.Answers().at(0).FirmwareInfo();
  ASSERT_EQ(list.FirmwareCount, 6);
  EXPECT_EQ(list.Firmwares[4].VersionMinor, 18);  // console 0 as it was
  EXPECT_EQ(list.Firmwares[5].DeviceId, 1);
  EXPECT_EQ(list.Firmwares[5].VersionMinor, 19);
  EXPECT_EQ(list.Firmwares[5].VersionBuild, 50);
}

TEST(UnitLogic, ClosingTheHostDropsADownloadAndTheSession) {
  Unit u(Quiet());
  u.Connect();
  u.Send(TMPUCommandMsg::Make(MPU_OP_SESSION, TMPUSessionMessage{1, 5}));
  u.Send(TMPUCommandMsg::Make(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 1}));
  u.Send(TMPUCommandMsg::Make(MPU_OP_WRITE_UNLOCK, TMPUWriteUnlockMessage{MPU_WRITE_UNLOCK_KEY}));
  EXPECT_TRUE(u.logic.Status().SessionActive);
  EXPECT_TRUE(u.logic.Status().WriteUnlocked);
  u.logic.HostClosed();
  const SimulatorStatus s = u.logic.Status();
  EXPECT_FALSE(s.SessionActive);
  EXPECT_FALSE(s.MassUpdateActive);
  EXPECT_FALSE(s.WriteUnlocked);
  EXPECT_FALSE(s.HandshakeDone);
  EXPECT_EQ(s.ControlPacketSize, 128u);
}

TEST(UnitLogic, SessionsExpireWhenNotRenewed) {
  SimulatorConfig c = Quiet();
  c.SessionLease = 1000ms;
  Unit u(c);
  u.Connect();
  u.Send(TMPUCommandMsg::Make(MPU_OP_SESSION, TMPUSessionMessage{1, 5}));
  u.Advance(900ms);
  u.Send(TMPUCommandMsg::Make(MPU_OP_SESSION, TMPUSessionMessage{1, 5}));  // renewed
  u.Advance(900ms);
  EXPECT_TRUE(u.logic.Status().SessionActive);
  u.Advance(200ms);
  EXPECT_FALSE(u.logic.Status().SessionActive);
  u.Answers();
  u.Send(TMPUCommandMsg::Make(MPU_OP_SESSION,
                              TMPUSessionMessage{1, 6}));  // another host may log on now
  EXPECT_EQ(u.Answers().at(0).SessionControl().Active, 1);
}

TEST(UnitLogic, CountsWhatItIgnores) {
  Unit u(Quiet());
  u.logic.Receive(0x01, Bytes(128), u.now);  // no host yet
  u.Connect();
  const std::uint64_t before = u.logic.Status().PacketsIgnored;
  u.logic.Receive(0x01, Bytes(127), u.now);
  u.logic.Receive(0x02, Bytes(320, 0x33), u.now);  // neither metering nor firmware
  u.logic.Receive(0x05, Bytes(128), u.now);
  EXPECT_EQ(u.logic.Status().PacketsIgnored, before + 3);
  EXPECT_TRUE(u.logic.TakeOutput().empty());
}

TEST(UnitLogic, RebootLoadsTheStoredConfiguration) {
  Unit u(Quiet());
  u.Connect();
  u.Send(TMPUCommandMsg::Make(MPU_OP_INSRC_PAN, TMPUInSourceGainMessage{kSrcMic1, 7, 0}));
  u.Send(TMPUCommandMsg::Make(MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{kConfigRewrite, 0}));
  u.Send(TMPUCommandMsg::Make(MPU_OP_INSRC_PAN, TMPUInSourceGainMessage{kSrcMic1, -3, 0}));
  u.Send(TMPUCommandMsg::Make(MPU_OP_POWER_CONTROL, TMPUPowerControlMessage{0, 3, 0}));
  EXPECT_FALSE(u.logic.TakeRebootRequest());
  u.Send(TMPUCommandMsg::Make(MPU_OP_CONSOLE_LIST_WRITE, u.logic.Mix().Consoles));
  EXPECT_TRUE(u.logic.TakeRebootRequest());
  u.logic.Reboot();
  EXPECT_EQ(u.logic.Mix().Inputs[kSrcMic1].Pan, 7);
  EXPECT_EQ(u.logic.Status().RailSwitches[0], 0x0F);  // power-on state
  EXPECT_EQ(u.logic.Status().Reboots, 1u);
  EXPECT_FALSE(u.logic.Status().HostOpen);
}

// Any bytes, any sizes, any opcode, any PayloadLen: no crash, no read
// outside a packet (run under the sanitizers), and every packet the unit
// sends has the size it announced.
TEST(UnitLogic, SurvivesRandomPackets) {
  SimulatorConfig c;
  c.MeteringInterval = 40ms;
  c.ProgramBlockTime = 0ms;
  c.ProgramEraseTime = 0ms;
  Unit u(c);
  u.Connect();
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> pick(0, 99);
  for (int i = 0; i < 200000; ++i) {
    const SimulatorStatus s = u.logic.Status();
    const bool data = pick(rng) < 25;
    std::size_t size = data ? s.DataPacketSize : s.ControlPacketSize;
    if (pick(rng) < 10) size = static_cast<std::size_t>(byte(rng)) * 2;
    Bytes packet(size);
    for (auto& b : packet) b = static_cast<std::uint8_t>(byte(rng));
    if (!packet.empty() && data && pick(rng) < 60) packet[0] = MPU_PKT_FIRMWARE_DATA;
    if (packet.size() >= 4 && !data && pick(rng) < 50) {
      // A known opcode with a random payload and PayloadLen.
      const auto& catalogue = OpcodeCatalogue();
      packet[0] = catalogue[static_cast<std::size_t>(byte(rng)) % catalogue.size()].Number;
    }
    u.logic.Receive(data ? 0x02 : 0x01, packet, u.now);
    if (pick(rng) < 5) u.Advance(std::chrono::milliseconds(byte(rng)));
    const SimulatorStatus now = u.logic.Status();
    for (const OutPacket& p : u.logic.TakeOutput())
      ASSERT_EQ(p.Bytes.size(), p.Pipe == 0x81 ? now.ControlPacketSize : now.DataPacketSize);
    if (u.logic.TakeRebootRequest() || pick(rng) == 0) {
      u.logic.Reboot();
      u.Connect();
    }
  }
}

}  // namespace
}  // namespace mpu::sim
