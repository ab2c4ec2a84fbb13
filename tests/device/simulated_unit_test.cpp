// The device component against the simulated unit through the simulated
// USB driver: the paths the program takes every day.
#include <algorithm>
#include <numeric>

#include "fixtures/event_loop.h"
#include "protocol/data_packets.h"
#include "simulator/simulated_mpu.h"
#include "usb/simulated_driver.h"
#include "device/aldrane_mpu.h"

#include <gtest/gtest.h>

namespace mpu::test {
namespace {

sim::SimulatorConfig FastUnit() {
  sim::SimulatorConfig c;
  c.RebootDelay = std::chrono::milliseconds(50);
  c.ProgramEraseTime = std::chrono::milliseconds(0);
  c.ProgramBlockTime = std::chrono::milliseconds(0);
  return c;
}

class SimulatedUnit : public ::testing::Test {
 protected:
  void Make(sim::SimulatorConfig config = FastUnit()) {
    unit = std::make_shared<sim::SimulatedMpu>(config);
    driver = std::make_shared<usb::SimulatedDriver>(unit);
    mpu = std::make_unique<TAldraneMPU>(driver);
    mpu->OnConnectionStatusChange = [this](TAldraneMPU&, TMPUConnectionStatus s) {
      log.push_back("connection " + std::to_string(s));
    };
    mpu->OnSessionStatusChange = [this](TAldraneMPU&, TMPUSessionStatus s) {
      log.push_back("session " + std::to_string(s));
    };
    mpu->OnConfigInfo = [this](TAldraneMPU&, std::uint16_t v) { log.push_back("config " + std::to_string(v)); };
    mpu->OnConsoleListChange = [this](TAldraneMPU&) { log.push_back("consoles"); };
    mpu->OnBeforeOpen = [this](TAldraneMPU&) { ++opens; };
    auto fw = [this](const char* what) { return [this, what](TAldraneMPU&) { log.push_back(what); }; };
    mpu->OnFirmwareDownloadBegin = fw("download begin");
    mpu->OnFirmwareDownloadEnd = fw("download end");
    mpu->OnFirmwareUploadBegin = fw("upload begin");
    mpu->OnFirmwareUploadEnd = fw("upload end");
    mpu->OnFirmwareProgramBegin = fw("program begin");
    mpu->OnFirmwareProgramErase = fw("program erase");
    mpu->OnFirmwareProgramEnd = fw("program end");
    mpu->OnFirmwareDownloadProgress = [this](TAldraneMPU&, std::uint32_t b) { lastBlock = b; };
    mpu->OnFirmwareProgramProgress = [this](TAldraneMPU&, std::uint32_t b) { lastProgrammed = b; };
    mpu->OnFirmwareTransferError = [this](TAldraneMPU&, int e) { log.push_back("error " + std::to_string(e)); };
    mpu->OnFirmwareProgramError = [this](TAldraneMPU&, int e) {
      log.push_back("program error " + std::to_string(e));
    };
    mpu->SetActive(true);
  }

  void SetUp() override { Make(); }

  void TearDown() override {
    mpu.reset();
    driver.reset();
    unit.reset();
  }

  void Open() {
    ASSERT_TRUE(mpu->Connect()) << std::hex << mpu->LastError();
    ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csOpened; }));
  }

  bool Saw(const std::string& what) { return std::find(log.begin(), log.end(), what) != log.end(); }

  std::shared_ptr<sim::SimulatedMpu> unit;
  std::shared_ptr<usb::SimulatedDriver> driver;
  std::unique_ptr<TAldraneMPU> mpu;
  std::vector<std::string> log;
  int opens = 0;
  std::uint32_t lastBlock = 0, lastProgrammed = 0;
};

TEST_F(SimulatedUnit, ConnectsAndFillsWhatTheHostAsksForFirst) {
  Open();
  ASSERT_TRUE(WaitFor([&] { return Saw("consoles") && mpu->ConfigVersion() != 0; }));
  EXPECT_EQ(log[0], "connection 1");
  EXPECT_EQ(log[1], "connection 2");
  EXPECT_EQ(mpu->ControlPacketSize(), 128u);
  EXPECT_EQ(mpu->DataPacketSize(), 320u);
  EXPECT_GE(mpu->FirmwareCount(), 5u);
  EXPECT_GE(mpu->ConsoleCount(), 1);
  EXPECT_EQ(mpu->DeviceSpeed(), dsHigh);
  unit->Sync();
  const sim::SimulatorStatus status = unit->Status();
  EXPECT_TRUE(status.HandshakeDone);
  EXPECT_TRUE(status.HostReady);
  EXPECT_EQ(status.ConfigVersion, mpu->ConfigVersion());
}

TEST_F(SimulatedUnit, ACommandIsReportedBackAndMetersFlow) {
  Open();
  std::vector<TMPUSourceControlMessage> reports;
  mpu->OnReceiveSourceMessage = [&](TAldraneMPU&, const TMPUResponseMsg& m) {
    if (m.Opcode() == MPU_OP_INSRC_ON) reports.push_back(m.InSourceControl());
  };
  int meterBlocks = 0, meterSize = 0;
  mpu->OnMeteringData = [&](TAldraneMPU&, std::span<const std::int8_t, 256>, int size) {
    ++meterBlocks;
    meterSize = size;
  };
  ASSERT_TRUE(mpu->SendControlMessage(TMPUCommandMsg::Make(MPU_OP_INSRC_ON, TMPUSourceControlMessage{3, 1})));
  ASSERT_TRUE(WaitFor([&] { return !reports.empty() && meterBlocks >= 2; }));
  EXPECT_EQ(reports[0].SourceID, 3);
  EXPECT_EQ(reports[0].Value, 1);
  EXPECT_GT(meterSize, 0);
  EXPECT_LE(meterSize, 256);
}

TEST_F(SimulatedUnit, SessionGrantedAndRefused) {
  Open();
  ASSERT_TRUE(mpu->BeginSession(0));
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOn; }));
  EXPECT_TRUE(mpu->EndSession());
  unit->SetRefuseSessions(true);
  ASSERT_TRUE(mpu->BeginSession(0));
  ASSERT_TRUE(WaitFor([&] { return Saw("session 0") && mpu->SessionStatus() == ssLoggedOff; }));
}

TEST_F(SimulatedUnit, DownloadWithARepeatedBlockThenProgramming) {
  Open();
  std::vector<std::uint8_t> image(3000);
  std::iota(image.begin(), image.end(), std::uint8_t{7});
  unit->RequestBlockRepeat();
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, MPU_FW_SOURCE_STAGING, csNone, 3, 6, 1, image));
  ASSERT_TRUE(WaitFor([&] { return Saw("download end") || Saw("error 136"); }, 5000));
  ASSERT_TRUE(Saw("download begin"));
  EXPECT_EQ(lastBlock, 12u);  // 3000 bytes in 256-byte blocks
  // The unit holds whole blocks: the image, then 0xFF fill.
  auto imageThenFill = [&](const std::vector<std::uint8_t>& held) {
    if (held.size() != 12 * 256) return false;
    return std::equal(image.begin(), image.end(), held.begin()) &&
           std::all_of(held.begin() + 3000, held.end(), [](std::uint8_t b) { return b == 0xFF; });
  };
  unit->Sync();
  EXPECT_TRUE(imageThenFill(unit->StagedImage(33)));

  mpu->RequestFirmwareProgramming(33, 0, MPU_FW_SOURCE_STAGING);
  ASSERT_TRUE(WaitFor([&] { return Saw("program end") || Saw("program error 149"); }, 5000));
  EXPECT_TRUE(Saw("program begin"));
  EXPECT_TRUE(Saw("program erase"));
  EXPECT_GT(lastProgrammed, 0u);
  unit->Sync();
  EXPECT_TRUE(imageThenFill(unit->FirmwareImage(33)));
}

TEST_F(SimulatedUnit, ProgrammingIsRefusedWhileASessionRuns) {
  Open();
  ASSERT_TRUE(mpu->BeginSession(0));
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOn; }));
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, MPU_FW_SOURCE_STAGING, csNone, 1, 0, 0,
                                           std::vector<std::uint8_t>(500, 0x5A)));
  ASSERT_TRUE(WaitFor([&] { return Saw("error 149") || Saw("download end"); }));
  EXPECT_TRUE(Saw("error 149"));
}

TEST_F(SimulatedUnit, AnImageWithMoreBlocksThanTheTargetTakes) {
  sim::SimulatorConfig config = FastUnit();
  config.MaxDownloadBlocks = 4;
  Make(config);
  Open();
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, MPU_FW_SOURCE_STAGING, csNone, 1, 0, 0,
                                           std::vector<std::uint8_t>(1500, 1)));
  ASSERT_TRUE(WaitFor([&] { return Saw("error 136"); }));
  // The unit confirms the abort; a new transfer is possible afterwards.
  ASSERT_TRUE(WaitFor([&] { return !mpu->FirmwareDownloadControl().Initialized; }));
  EXPECT_TRUE(mpu->RequestFirmwareUpload(33, MPU_FW_SOURCE_FLASH, csNone));
}

TEST_F(SimulatedUnit, UploadOfTheProgrammedImage) {
  Open();
  ASSERT_TRUE(mpu->RequestFirmwareUpload(17, MPU_FW_SOURCE_FLASH, csNone));
  ASSERT_TRUE(WaitFor([&] { return Saw("upload end"); }, 10000));
  unit->Sync();
  const std::vector<std::uint8_t> flash = unit->FirmwareImage(17);
  ASSERT_FALSE(flash.empty());
  const auto data = mpu->FirmwareUploadData();
  ASSERT_GE(data.size(), flash.size());
  EXPECT_TRUE(std::equal(flash.begin(), flash.end(), data.begin()));
  EXPECT_TRUE(Saw("upload begin"));
}

TEST_F(SimulatedUnit, UnplugWhileLoggedOnThenReconnect) {
  Open();
  mpu->SetAutoReconnectInterval(1);
  ASSERT_TRUE(mpu->BeginSession(0));
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOn; }));
  log.clear();
  unit->Unplug();
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csClosed; }));
  EXPECT_EQ(log, (std::vector<std::string>{"session 0", "connection 0"}));
  EXPECT_TRUE(mpu->ConnectionLost());
  const int before = opens;
  ASSERT_TRUE(WaitFor([&] { return opens > before; }, 3000));  // a retry while unplugged
  unit->Replug();
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csOpened; }, 4000));
  EXPECT_FALSE(mpu->ConnectionLost());
}

TEST_F(SimulatedUnit, DefaultConfigurationRebootsTheUnit) {
  Open();
  mpu->SetAutoReconnectInterval(1);
  ASSERT_TRUE(mpu->RewriteConfig(true));
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csClosed && mpu->ConnectionLost(); }));
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csOpened; }, 4000));
}

TEST_F(SimulatedUnit, ABadHandshakeLeavesTheConnectionOpening) {
  unit->SetHandshakeMode(sim::HandshakeMode::BadSignature);
  ASSERT_TRUE(mpu->Connect());
  Pump(300);
  EXPECT_EQ(mpu->ConnectionStatus(), csOpening);
  EXPECT_TRUE(mpu->Disconnect());
  EXPECT_EQ(mpu->ConnectionStatus(), csClosed);
}

}  // namespace
}  // namespace mpu::test
