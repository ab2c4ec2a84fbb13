// The simulated MPU seen through the USB driver interface only, as the
// device component sees it: device list, open, the handshake bytes, the
// answers to every request, command reports, sessions, firmware transfers,
// metering, aborts, unplugging and reboots.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "protocol/data_packets.h"
#include "protocol/frames.h"
#include "protocol/id_tables.h"
#include "usb/simulated_driver.h"

namespace mpu::usb {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr auto kWait = 5s;  // bound of every wait for something that must come

// Reads one IN pipe on its own thread into a queue, as the device
// component's readers do.
class PipeReader {
 public:
  PipeReader(UsbDevice& device, std::uint8_t pipe) : device_(device), pipe_(pipe) {
    thread_ = std::thread([this] { Run(); });
  }
  ~PipeReader() { Stop(); }

  void Stop() {
    stop_ = true;
    std::unique_lock lock(mutex_);
    while (!done_) {  // an abort may come before the read starts: repeat it
      device_.AbortPipe(pipe_);
      changed_.wait_for(lock, 2ms);
    }
    lock.unlock();
    if (thread_.joinable()) thread_.join();
  }

  // The next packet, or nullopt when none came within the bound.
  std::optional<Bytes> Next(std::chrono::milliseconds bound = kWait) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, bound, [this] { return !packets_.empty(); })) return std::nullopt;
    Bytes p = std::move(packets_.front());
    packets_.pop_front();
    return p;
  }

  // The next packet whose first byte is `type`; others are skipped.
  std::optional<Bytes> NextOfType(std::uint8_t type, std::chrono::milliseconds bound = kWait) {
    const auto until = std::chrono::steady_clock::now() + bound;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left <= 0ms) return std::nullopt;
      std::optional<Bytes> p = Next(left);
      if (!p || (!p->empty() && (*p)[0] == type)) return p;
    }
  }

  // The error that ended the reader, once it ended.
  std::optional<std::uint32_t> WaitError(std::chrono::milliseconds bound = kWait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, bound, [this] { return done_; });
    return error_;
  }

 private:
  void Run() {
    Bytes buffer(512);
    for (;;) {
      const TransferResult r = device_.ReadPipe(pipe_, buffer);
      if (stop_) break;
      if (!r.Ok) {
        std::lock_guard lock(mutex_);
        error_ = r.ErrorCode;
        break;
      }
      std::lock_guard lock(mutex_);
      packets_.emplace_back(buffer.begin(), buffer.begin() + static_cast<long>(r.Transferred));
      changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    done_ = true;
    changed_.notify_all();
  }

  UsbDevice& device_;
  const std::uint8_t pipe_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Bytes> packets_;
  std::optional<std::uint32_t> error_;
  bool done_ = false;
  std::thread thread_;
};

sim::SimulatorConfig TestConfig() {
  sim::SimulatorConfig c;
  c.MeteringInterval = 0ms;  // quiet data pipe unless a test wants meters
  c.RebootDelay = 50ms;
  c.ProgramEraseTime = 0ms;
  c.ProgramBlockTime = 0ms;
  return c;
}

Bytes FrameBytes(const TMPUResponseMsg& msg) {
  return Bytes(msg.Bytes().begin(), msg.Bytes().end());
}

template <wire::Record R>
Bytes Expected(std::uint8_t opcode, const R& record, std::uint8_t revision = 1) {
  return FrameBytes(TMPUResponseMsg::Make(opcode, record, revision));
}

template <std::size_t N>
wire::Chars<N> Text(const char* s) {
  wire::Chars<N> out{};
  std::memcpy(out.data(), s, std::strlen(s));
  return out;
}

class SimulatedMpuTest : public ::testing::Test {
 protected:
  void Start(sim::SimulatorConfig config = TestConfig()) {
    unit_ = std::make_shared<sim::SimulatedMpu>(config);
    driver_ = std::make_unique<SimulatedDriver>(unit_);
    controlSize_ = 128;
  }

  void OpenDevice() {
    const auto list = driver_->ListDevices();
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 1u);
    device_ = driver_->Open(list->front());
    ASSERT_NE(device_, nullptr) << driver_->LastOpenProblem();
    control_ = std::make_unique<PipeReader>(*device_, kPipeControlIn);
    data_ = std::make_unique<PipeReader>(*device_, kPipeDataIn);
  }

  void CloseDevice() {
    data_.reset();
    control_.reset();
    device_.reset();
  }

  void TearDown() override { CloseDevice(); }

  // Writes the first control-packet-size bytes of a command frame.
  void Send(const TMPUCommandMsg& msg, std::size_t size = 0) {
    const std::size_t n = size ? size : controlSize_;
    Bytes packet(n, 0);
    std::copy_n(msg.Bytes().begin(), std::min<std::size_t>(n, TMPUCommandMsg::kSize),
                packet.begin());
    const TransferResult r = device_->WritePipe(kPipeControlOut, packet);
    ASSERT_TRUE(r.Ok) << r.ErrorCode;
    ASSERT_EQ(r.Transferred, n);
  }

  // The next control packet as a frame (the first 128 bytes of the packet).
  Bytes NextFrame() {
    const std::optional<Bytes> p = control_->Next();
    if (!p) {
      ADD_FAILURE() << "no control packet";
      return {};
    }
    EXPECT_EQ(p->size(), controlSize_);
    Bytes frame(TMPUResponseMsg::kSize, 0);
    std::copy_n(p->begin(), std::min(p->size(), frame.size()), frame.begin());
    return frame;
  }

  std::optional<TMPUResponseMsg> NextResponse() {
    const Bytes frame = NextFrame();
    return TMPUResponseMsg::FromPacket(frame);
  }

  void Handshake() {
    Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO), 128);
    const std::optional<Bytes> p = control_->Next();
    ASSERT_TRUE(p.has_value());
    ASSERT_EQ(p->size(), 128u);
    ASSERT_EQ((*p)[0], MPU_OP_FIRMWARE_INFO);
    const TMPUFirmwareInfoMsg info = TMPUResponseMsg::FromPacket(*p)->FirmwareInfo();
    ASSERT_TRUE(info.SignatureValid());
    controlSize_ = info.ControlPacketBytes();
    dataSize_ = info.DataPacketBytes();
  }

  void StartAndConnect(sim::SimulatorConfig config = TestConfig()) {
    Start(config);
    OpenDevice();
    Handshake();
  }

  // A marker's echo proves that every frame sent before it was handled.
  void ExpectNothingBeforeMarker(std::uint32_t id) {
    Send(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{id, 1, 2}));
    EXPECT_EQ(NextFrame(), Expected(MPU_OP_MARKER, TMPUMarkerMessage{id, 1, 2}));
  }

  void SendData(const Bytes& packet) {
    const TransferResult r = device_->WritePipe(kPipeDataOut, packet);
    ASSERT_TRUE(r.Ok) << r.ErrorCode;
  }

  std::shared_ptr<sim::SimulatedMpu> unit_;
  std::unique_ptr<SimulatedDriver> driver_;
  std::unique_ptr<UsbDevice> device_;
  std::unique_ptr<PipeReader> control_;
  std::unique_ptr<PipeReader> data_;
  std::size_t controlSize_ = 128;
  std::size_t dataSize_ = 320;
};

// ---------------------------------------------------------------------------
// The device list and the open device.

TEST_F(SimulatedMpuTest, ListsOneConnectedHighSpeedUnitWithFourBulkPipes) {
  Start();
  EXPECT_TRUE(driver_->Loaded());
  ASSERT_TRUE(driver_->GetVersion().has_value());
  EXPECT_EQ(driver_->GetVersion()->Major, 1);
  EXPECT_EQ(driver_->ExpectedMajorVersion(), 1);

  const auto list = driver_->ListDevices();
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->size(), 1u);
  const DeviceListEntry& e = list->front();
  EXPECT_EQ(e.VendorId, MPU_USB_VENDOR_ID);
  EXPECT_EQ(e.ProductId, 0x2002);
  EXPECT_TRUE(e.Connected);
  EXPECT_EQ(e.Description, "Simulated MPU");
  EXPECT_EQ(e.Service, "simulator");
  EXPECT_FALSE(e.SerialNumber.empty());
  EXPECT_FALSE(e.DevicePath.empty());
  EXPECT_EQ(e.Owner, static_cast<const UsbDriver*>(driver_.get()));

  OpenDevice();
  EXPECT_EQ(device_->QueryDeviceSpeed(), kSpeedHigh);
  EXPECT_TRUE(device_->SetCurrentAlternateSetting(0));
  EXPECT_FALSE(device_->SetCurrentAlternateSetting(1));
  const std::uint8_t pipes[] = {0x01, 0x81, 0x02, 0x82};
  for (std::uint8_t i = 0; i < 4; ++i) {
    const std::optional<PipeInfo> p = device_->QueryPipe(0, i);
    ASSERT_TRUE(p.has_value()) << int(i);
    EXPECT_EQ(p->PipeId, pipes[i]);
    EXPECT_EQ(p->Type, PipeType::Bulk);
    EXPECT_EQ(p->MaximumPacketSize, 512);
  }
  EXPECT_FALSE(device_->QueryPipe(0, 4).has_value());
  EXPECT_FALSE(device_->QueryPipe(1, 0).has_value());
  EXPECT_TRUE(device_->SetPipeTransferTimeout(0x01, 20000));
  EXPECT_TRUE(device_->SetPipeTransferTimeout(0x02, 20000));
  EXPECT_TRUE(device_->FlushPipe(0x81));
  EXPECT_FALSE(device_->FlushPipe(0x83));
}

TEST_F(SimulatedMpuTest, ListsTheConfiguredIdsAndOpensOnlyOnce) {
  unit_ = std::make_shared<sim::SimulatedMpu>(TestConfig());
  driver_ = std::make_unique<SimulatedDriver>(unit_, 0x1234, 0x2002);
  const auto list = driver_->ListDevices();
  ASSERT_EQ(list->size(), 1u);
  EXPECT_EQ(list->front().VendorId, 0x1234);
  auto first = driver_->Open(list->front());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(driver_->Open(list->front()), nullptr);
  EXPECT_THAT(driver_->LastOpenProblem(), ::testing::HasSubstr("already open"));
  first.reset();
  EXPECT_NE(driver_->Open(list->front()), nullptr);  // closed: free again

  DeviceListEntry foreign = list->front();
  foreign.Owner = nullptr;
  EXPECT_EQ(driver_->Open(foreign), nullptr);
}

// ---------------------------------------------------------------------------
// Handshake.

TEST_F(SimulatedMpuTest, AnswersTheHandshakeWithSignaturePacketSizesAndFirmwareList) {
  Start();
  OpenDevice();
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO), 128);
  const std::optional<Bytes> p = control_->Next();
  ASSERT_TRUE(p.has_value());
  Bytes expected(128, 0);
  const Bytes head = {0xC1, 0x01, 94,  0x00, '@', '4', 'L', 'D', 'R',
                      '4',  'N',  '3', 64,   2,   5,   2,   0,   6};
  std::copy(head.begin(), head.end(), expected.begin());
  const Bytes list[6] = {{1, 1, 42, 31, 0, 0},  {2, 1, 7, 12, 0, 0},   {17, 2, 11, 104, 0, 0},
                         {33, 3, 5, 220, 0, 0}, {65, 1, 18, 42, 0, 0}, {65, 1, 18, 42, 0, 1}};
  for (std::size_t i = 0; i < 6; ++i)
    std::copy(list[i].begin(), list[i].end(), expected.begin() + 18 + 8 * static_cast<long>(i));
  EXPECT_EQ(*p, expected);
}

TEST_F(SimulatedMpuTest, WorksWithTheAnnouncedSizesAndIgnoresOthers) {
  sim::SimulatorConfig config = TestConfig();
  config.ControlPages = 4;  // 256-byte control packets after the handshake
  Start(config);
  OpenDevice();
  // Before the handshake only 128-byte packets count.
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO), 64);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO), 128);
  const std::optional<Bytes> answer = control_->Next();
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->size(), 128u);
  EXPECT_EQ((*answer)[13], 4);  // ControlPacketSize in pages
  controlSize_ = 256;

  Send(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{1, 0, 0}), 128);  // old size: ignored
  Send(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{2, 0, 0}), 512);  // ignored
  Send(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{3, 0, 0}));
  const std::optional<Bytes> echo = control_->Next();
  ASSERT_TRUE(echo.has_value());
  ASSERT_EQ(echo->size(), 256u);
  EXPECT_EQ(Bytes(echo->begin(), echo->begin() + 128),
            Expected(MPU_OP_MARKER, TMPUMarkerMessage{3, 0, 0}));
  EXPECT_TRUE(std::all_of(echo->begin() + 128, echo->end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(SimulatedMpuTest, AnswersNothingButTheHandshakeBeforeIt) {
  Start();
  OpenDevice();
  Send(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{7, 0, 0}), 128);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO), 128);
  const std::optional<Bytes> p = control_->Next();
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ((*p)[0], MPU_OP_FIRMWARE_INFO);
}

TEST_F(SimulatedMpuTest, CanAnswerTheHandshakeWithABadSignatureOrNotAtAll) {
  Start();
  OpenDevice();
  unit_->SetHandshakeMode(sim::HandshakeMode::Silent);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO), 128);
  unit_->SetHandshakeMode(sim::HandshakeMode::BadSignature);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO), 128);
  const std::optional<Bytes> bad = control_->Next();
  ASSERT_TRUE(bad.has_value());
  EXPECT_EQ((*bad)[0], MPU_OP_FIRMWARE_INFO);
  EXPECT_FALSE(TMPUResponseMsg::FromPacket(*bad)->FirmwareInfo().SignatureValid());
  unit_->SetHandshakeMode(sim::HandshakeMode::Normal);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO), 128);
  const std::optional<Bytes> good = control_->Next();  // the silent request had no answer
  ASSERT_TRUE(good.has_value());
  EXPECT_TRUE(TMPUResponseMsg::FromPacket(*good)->FirmwareInfo().SignatureValid());
}

// ---------------------------------------------------------------------------
// Every request and the record it returns.

struct RequestCase {
  const char* What;
  TMPUCommandMsg Request;
  std::vector<Bytes> Answers;
};

TEST_F(SimulatedMpuTest, AnswersEveryRequestWithItsRecord) {
  StartAndConnect();

  TMPUInsourceStandardParamsMessage mic1;
  mic1.SourceID = 1;
  mic1.SourceClass = 1;
  mic1.SourceType = 1;
  mic1.SourceFormat = 1;
  mic1.SourceProcessing = 1;
  mic1.SourceStatus = 2;
  mic1.SourceMode = 3;
  mic1.ShortLabel = Text<9>("MIC1");
  mic1.LongLabel.LongLabelA = Text<34>("Microphone 1");
  mic1.InputGainLeft = 40;
  mic1.PhantomPower = 1;
  mic1.ControlOptions = kCtrlCancelPFL;
  mic1.StripNo = 0;
  for (std::uint8_t m = 0; m < 3; ++m) mic1.BusTriggers[m] = {1, m, 0, 0, 0, 0, 0, 0, 0, 0};
  mic1.BusRouting = 0x0005;
  mic1.AuxGain = -50;
  mic1.FaderPos = 218;
  mic1.FaderGain = 0;
  mic1.ControlStatus = 1;

  TMPUInsourceProcessingParamsMessage mic2;
  mic2.SourceID = 2;
  mic2.SourceClass = mic2.SourceType = mic2.SourceFormat = mic2.SourceProc = 1;
  mic2.SourceStatus = 2;
  mic2.SourceMode = 3;
  mic2.FilterBands = {{{2, 0, 1, 0, 80, 10},
                       {2, 1, 0, 0, 120, 10},
                       {2, 2, 0, 0, 1200, 10},
                       {2, 3, 0, 0, 8000, 10}}};
  mic2.Limiter = {2, 20, 3, 0};
  mic2.Compressor = {2, 10, 4, 6, 2, 2, 0};

  TMPUInsourceStandardParamsMessage pc1;  // no input behind id 55
  pc1.SourceID = 55;
  pc1.StripNo = 255;
  for (std::uint8_t m = 0; m < 3; ++m) pc1.BusTriggers[m] = {55, m, 0, 0, 0, 0, 0, 0, 0, 0};

  TMPUOutsourceStandardParamsMessage aes1{
      24, 2, 3, 2, 2, 0, 0, 0, 0, 0, 128, 128, kFormatAesProfessional};

  TMPUMixBusParamsMessage pgm1;
  pgm1.MixBusId = 0;
  pgm1.MasterBusId = kNoMixBus;
  pgm1.Limiter = {0, 6, 2, 1};

  TMPUMonitorParamsMessage monitors;
  monitors.APFActive = 1;
  monitors.GRCUGroups = 0x0003;
  monitors.SendSources = {128, 129, 130, 131, 134, 160, 128, 129};

  TMPUConsoleListMessage consoles;
  consoles.ConsoleCount = 2;
  consoles.MaxConsoles = 4;
  consoles.StripCount = 24;
  consoles.MaxStrips = 32;
  consoles.Consoles[0] = {0, 16, 0, 0, 1, 2, 0, 5, {}};
  consoles.Consoles[1] = {1, 8, 1, 1, 5004, 1, 0, 4, {}};

  TMPUBoardTagMessage audioBoard;
  audioBoard.BoardId = 32;
  audioBoard.SerialNo = Text<37>("MPU-AB-0211-9020");
  audioBoard.Revision = Text<17>("D");
  audioBoard.Batch = Text<21>("2023-12");
  audioBoard.Manufacturer = Text<17>("Aldrane");
  audioBoard.QualityCheck = Text<21>("QC M.K.");
  audioBoard.TimeStamp = {2023, 3, 28, 9, 15, 0, 0};
  TMPUBoardTagMessage mic58;  // a board without a tag
  mic58.BoardId = 48;

  TMPUFirmwareInfoMsg firmware;
  firmware.Signature = TMPUFirmwareInfoMsg::kSignature;
  firmware.PacketPageSize = 64;
  firmware.ControlPacketSize = 2;
  firmware.DataPacketSize = 5;
  firmware.AuxPacketSize = 2;
  firmware.FirmwareCount = 6;
  firmware.Firmwares[0] = {1, 1, 42, 31, 0, {}};
  firmware.Firmwares[1] = {2, 1, 7, 12, 0, {}};
  firmware.Firmwares[2] = {17, 2, 11, 104, 0, {}};
  firmware.Firmwares[3] = {33, 3, 5, 220, 0, {}};
  firmware.Firmwares[4] = {65, 1, 18, 42, 0, {}};
  firmware.Firmwares[5] = {65, 1, 18, 42, 1, {}};

  TMPUABDirectMessage abRead;
  abRead.Address = 0;
  abRead.Count = 2;
  TMPUABDirectMessage abValues = abRead;
  abValues.Values[0] = 0xAB01;
  abValues.Values[1] = 0x0305;
  TMPUABDirectMessage clockRead;
  clockRead.Address = kABClockSpeedAddress;
  clockRead.Count = 1;
  TMPUABDirectMessage clockValue = clockRead;
  clockValue.Values[0] = 480;

  using M = TMPUCommandMsg;
  const std::vector<RequestCase> cases = {
      {"input standard parameters",
       M::Make(MPU_OP_INSRC_STANDARD_PARAMS, TMPUSourceControlMessage{1, 0}),
       {Expected(MPU_OP_INSRC_STANDARD_PARAMS, mic1)}},
      {"standard parameters of an id without input",
       M::Make(MPU_OP_INSRC_STANDARD_PARAMS, TMPUSourceControlMessage{55, 0}),
       {Expected(MPU_OP_INSRC_STANDARD_PARAMS, pc1)}},
      {"input processing parameters",
       M::Make(MPU_OP_INSRC_PROCESSING_PARAMS, TMPUSourceControlMessage{2, 0}),
       {Expected(MPU_OP_INSRC_PROCESSING_PARAMS, mic2)}},
      {"strip of a source",
       M::Make(MPU_OP_INSRC_STRIP_ID, TMPUSourceControlMessage{3, 0}),
       {Expected(MPU_OP_INSRC_STRIP_ID, TMPUInSourceStripChangeMessage{3, 2})}},
      {"strip of a source on no strip",
       M::Make(MPU_OP_INSRC_STRIP_ID, TMPUSourceControlMessage{30, 0}),
       {Expected(MPU_OP_INSRC_STRIP_ID, TMPUInSourceStripChangeMessage{30, 255})}},
      {"output standard parameters",
       M::Make(MPU_OP_OUTSRC_STANDARD_PARAMS, TMPUSourceControlMessage{24, 0}),
       {Expected(MPU_OP_OUTSRC_STANDARD_PARAMS, aes1)}},
      {"mix bus parameters",
       M::Make(MPU_OP_MIXBUS_PARAMS, TMPUMixBusConfigMessage{0, 0, 0, 0, 0}),
       {Expected(MPU_OP_MIXBUS_PARAMS, pgm1)}},
      {"strip on the studio desk",
       M::Make(MPU_OP_STRIP_PARAMS, TMPUStripControlMessage{16, 0}),
       {Expected(MPU_OP_STRIP_PARAMS, TMPUStripParamsMessage{16, 1, 1, MPU_LOCATION_ST1, 5, 0})}},
      {"strip that is not present",
       M::Make(MPU_OP_STRIP_PARAMS, TMPUStripControlMessage{200, 0}),
       {Expected(MPU_OP_STRIP_PARAMS, TMPUStripParamsMessage{200, 0, 255, 0, 0, 0})}},
      {"talkback configuration",
       M::Make(MPU_OP_GET_TALKBACK_CONFIG),
       {Expected(MPU_OP_TALKBACK_CONFIG, TMPUTalkbackConfigMessage{18, -10, -20, 6, 0x2FF, 0, 0})}},
      {"OTB status of a bus",
       M::Make(MPU_OP_GET_OTB_STATUS, TMPUOTBControlMessage{2, 1, 0}),
       {Expected(MPU_OP_OTB_CONTROL, TMPUOTBControlMessage{2, 1, 0})}},
      {"mixer statistics: the presenter is live in the control room",
       M::Make(MPU_OP_MIXER_STATS),
       {Expected(MPU_OP_MIXER_STATS, TMPUMixerStatsMessage{0, 0, 0, 1, 0, 0})}},
      {"monitor parameters",
       M::Make(MPU_OP_MONITOR_PARAMS),
       {Expected(MPU_OP_MONITOR_PARAMS, monitors)}},
      {"monitor talkback volume",
       M::Make(MPU_OP_GET_MONITOR_TB_CONFIG, TMPUMonitorTBConfigMessage{2, 0, 0, 0}),
       {Expected(MPU_OP_MONITOR_TB_CONFIG, TMPUMonitorTBConfigMessage{2, -10, -40, 1})}},
      {"mixer settings, revision 3",
       M::Make(MPU_OP_GET_MIXER_SETTINGS),
       {Expected(MPU_OP_MIXER_SETTINGS,
                 TMPUMixerSettingsMessage{-40, 36, 10, 5, -3, 1, 450, 550, 650, 800, 1, 0}, 3)}},
      {"GPI of LINE4",
       M::Make(MPU_OP_GET_GPI_CONFIG, TMPUGPInputConfigMessage{.CircuitId = 6}),
       {Expected(MPU_OP_GPI_CONFIG, TMPUGPInputConfigMessage{6, 24, 5, 0, 1, 0, 0})}},
      {"GPO of PROG1, lit by the live microphone",
       M::Make(MPU_OP_GET_GPO_CONFIG, TMPUGPOutputConfigMessage{.CircuitId = 28}),
       {Expected(MPU_OP_GPO_CONFIG, TMPUGPOutputConfigMessage{28, 0, 136, 100, 0, 0, 0, 1})}},
      {"soft function input status",
       M::Make(MPU_OP_GET_SOFTFUNC_IN_STATUS, TMPUSoftFunctionControlMessage{11, 0}),
       {Expected(MPU_OP_SOFTFUNC_IN_STATUS, TMPUSoftFunctionControlMessage{11, 0})}},
      {"soft function output status",
       M::Make(MPU_OP_GET_SOFTFUNC_OUT_STATUS, TMPUSoftFunctionControlMessage{9, 0}),
       {Expected(MPU_OP_SOFTFUNC_OUT_STATUS, TMPUSoftFunctionControlMessage{9, 0})}},
      {"firmware list", M::Make(MPU_OP_FIRMWARE_INFO), {Expected(MPU_OP_FIRMWARE_INFO, firmware)}},
      {"configuration version",
       M::Make(MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{0, 0}),
       {Expected(MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{0, 0x0203})}},
      {"console list", M::Make(MPU_OP_CONSOLE_LIST), {Expected(MPU_OP_CONSOLE_LIST, consoles)}},
      {"board tag",
       M::Make(MPU_OP_BOARD_TAG_READ, TMPUBoardTagMessage{.BoardId = 32}),
       {Expected(MPU_OP_BOARD_TAG_READ, audioBoard)}},
      {"board tag of a board without one",
       M::Make(MPU_OP_BOARD_TAG_READ, TMPUBoardTagMessage{.BoardId = 48}),
       {Expected(MPU_OP_BOARD_TAG_READ, mic58)}},
      {"audio-board registers",
       M::Make(MPU_OP_AB_DIRECT_READ, abRead),
       {Expected(MPU_OP_AB_DIRECT_READ, abValues)}},
      {"audio-board clock speed",
       M::Make(MPU_OP_AB_DIRECT_READ, clockRead),
       {Expected(MPU_OP_AB_DIRECT_READ, clockValue)}},
  };

  // Every request of the catalogue is in the table.
  std::set<std::uint8_t> covered;
  for (const RequestCase& c : cases) covered.insert(c.Request.Opcode());
  for (const OpcodeInfo& info : OpcodeCatalogue()) {
    if (!SentByHost(info.Dir) || !AnswerOpcodeFor(info.Number)) continue;
    if (info.Number == MPU_OP_HEALTH_INFO) continue;  // drifting readings: below
    EXPECT_TRUE(covered.count(info.Number)) << info.Name << " has no case";
  }

  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.What);
    Send(c.Request);
    for (const Bytes& answer : c.Answers) EXPECT_EQ(NextFrame(), answer);
  }
  ExpectNothingBeforeMarker(99);  // and nothing more than the table says
}

TEST_F(SimulatedMpuTest, AnswersAllStripsAtOnce) {
  StartAndConnect();
  Send(TMPUCommandMsg::Make(MPU_OP_STRIP_PARAMS, TMPUStripControlMessage{kAllStrips, 0}));
  for (std::uint8_t i = 0; i < 32; ++i) {
    const std::optional<TMPUResponseMsg> r = NextResponse();
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->Opcode(), MPU_OP_STRIP_PARAMS);
    const TMPUStripParamsMessage strip = r->StripParams();
    EXPECT_EQ(strip.StripId, i);
    EXPECT_EQ(strip.ConsoleId, i < 16 ? 0 : i < 24 ? 1 : 255);
    EXPECT_EQ(strip.Active, i < 24 ? 1 : 0);
  }
  ExpectNothingBeforeMarker(1);
}

TEST_F(SimulatedMpuTest, ReportsPlausibleHealthThatDriftsALittle) {
  StartAndConnect();
  std::vector<TMPUHealthInfo> reports;
  for (int i = 0; i < 5; ++i) {
    Send(TMPUCommandMsg::Make(MPU_OP_HEALTH_INFO));
    const std::optional<TMPUResponseMsg> r = NextResponse();
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->Opcode(), MPU_OP_HEALTH_INFO);
    EXPECT_EQ(r->PayloadLen(), TMPUHealthInfo::kSize);
    reports.push_back(r->HealthMsg());
  }
  bool moved = false;
  for (const TMPUHealthInfo& h : reports) {
    EXPECT_NEAR(h.Host_VDD120, 12050, 100);
    EXPECT_NEAR(h.Host_VDD50, 5010, 50);
    EXPECT_NEAR(h.Host_VDD33, 3305, 30);
    EXPECT_NEAR(h.Host_Temp, 385, 40);
    EXPECT_EQ(h.Host_TestFailures, 0u);
    EXPECT_EQ(h.AB_RunStatus, 3);
    EXPECT_EQ(h.PSU_Info[0].Kind, 2);
    EXPECT_EQ(h.PSU_Info[0].RailSwitches, 0x0F);
    EXPECT_EQ(h.PSU_Info[0].RailHealth, kPsuGood3V3 | kPsuGood12V | kPsuGood24VIn | kPsuGood48V |
                                            kPsuGoodNeg12V | kPsuGood24V);
    EXPECT_EQ(h.PSU_Info[2].Kind, 0);
    EXPECT_EQ(h.TemperatureStatus, 0);
    moved = moved || h.Host_VDD120 != reports[0].Host_VDD120 || h.Host_Temp != reports[0].Host_Temp;
  }
  EXPECT_TRUE(moved);
}

TEST_F(SimulatedMpuTest, RailsFollowPowerControlAndTemperatureStatusTheThresholds) {
  StartAndConnect();
  Send(TMPUCommandMsg::Make(MPU_OP_POWER_CONTROL,
                            TMPUPowerControlMessage{1, 1, 0}));  // PSU 2, +12 V off
  TMPUMixerSettingsMessage settings{-40, 36,  10,  5,   -3, 1,
                                    100, 200, 900, 800, 1,  0};  // elevated from 10 °C
  Send(TMPUCommandMsg::Make(MPU_OP_MIXER_SETTINGS, settings));
  EXPECT_EQ(NextResponse()->Opcode(), MPU_OP_MIXER_SETTINGS);
  Send(TMPUCommandMsg::Make(MPU_OP_HEALTH_INFO));
  const TMPUHealthInfo h = NextResponse()->HealthMsg();
  EXPECT_EQ(h.PSU_Info[1].RailSwitches, 0x0D);
  EXPECT_EQ(h.PSU_Info[1].RailHealth & kPsuGood12V, 0);
  EXPECT_NE(h.PSU_Info[1].RailHealth & kPsuGood3V3, 0);
  EXPECT_EQ(h.TemperatureStatus, static_cast<std::uint8_t>(EnvStatus::Warning));
  EXPECT_EQ(unit_->Status().RailSwitches[1], 0x0D);
}

// ---------------------------------------------------------------------------
// Commands and their reports.

struct CommandCase {
  const char* What;
  TMPUCommandMsg Command;
  std::vector<Bytes> Reports;
};

TMPUCommandMsg WithRevision(TMPUCommandMsg msg, std::uint8_t revision) {
  msg.SetRevision(revision);
  return msg;
}

TEST_F(SimulatedMpuTest, AppliesCommandsAndReportsTheNewState) {
  StartAndConnect();
  using M = TMPUCommandMsg;
  const TMPUMixerSettingsMessage settings{-30, 30, 12, 6, -6, 3, 400, 500, 600, 700, 7, 1};
  TMPUMixerSettingsMessage rev1 = settings;  // a revision-1 frame whose tail would clear both
  rev1.SignalOnThreshold = -20;
  rev1.VideoTallyOptions = 0;
  rev1.ClockSource = 0;
  TMPUMixerSettingsMessage rev1Kept = rev1;  // the tail is not taken from it
  rev1Kept.VideoTallyOptions = 7;
  rev1Kept.ClockSource = 1;
  TMPUMixerSettingsMessage clockInternal = rev1Kept;
  clockInternal.ClockSource = 0;

  const std::vector<CommandCase> cases = {
      {"fader",
       M::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{3, -12, 0}),
       {Expected(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{3, -12, 174})}},
      {"fader below its end",
       M::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{4, -100, 0}),
       {Expected(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{4, -60, 0})}},
      {"channel on",
       M::Make(MPU_OP_INSRC_ON, TMPUSourceControlMessage{2, 1}),
       {Expected(MPU_OP_INSRC_ON, TMPUSourceControlMessage{2, 1})}},
      {"one bus: reported as the routing mask",
       M::Make(MPU_OP_INSRC_BUS_ROUTING, TMPUInSourceBusRoutingMessage{21, 3, 1}),
       {Expected(MPU_OP_INSRC_ROUTING_MASK, TMPUInSourceBusRoutingMessage{21, 0, 0x000D})}},
      {"prefade: reported in the channel state",
       M::Make(MPU_OP_INSRC_BUS_ROUTING, TMPUInSourceBusRoutingMessage{5, 12, 1}),
       {Expected(MPU_OP_INSRC_ON, TMPUSourceControlMessage{5, 2})}},
      {"starting a channel cancels its prefade",
       M::Make(MPU_OP_INSRC_ON, TMPUSourceControlMessage{5, 1}),
       {Expected(MPU_OP_INSRC_ON, TMPUSourceControlMessage{5, 1})}},
      {"routing mask",
       M::Make(MPU_OP_INSRC_ROUTING_MASK, TMPUInSourceBusRoutingMessage{22, 0, 0xFFFF}),
       {Expected(MPU_OP_INSRC_ROUTING_MASK, TMPUInSourceBusRoutingMessage{22, 0, 0x0FFF})}},
      {"input gain",
       M::Make(MPU_OP_INSRC_SYSTEM_GAIN, TMPUSourceSystemGainMessage{22, 10, 10}),
       {Expected(MPU_OP_INSRC_SYSTEM_GAIN, TMPUSourceSystemGainMessage{22, 10, 10})}},
      {"calibration",
       M::Make(MPU_OP_INSRC_CALIBRATION, TMPUSourceSystemGainMessage{21, -25, 70}),
       {Expected(MPU_OP_INSRC_CALIBRATION, TMPUSourceSystemGainMessage{21, -25, 40})}},
      {"equaliser band without bandpass",
       M::Make(MPU_OP_INSRC_FILTER, TMPUInSourceFilterParamsMessage{1, 2, 3, 4, 2500, 15}),
       {Expected(MPU_OP_INSRC_FILTER, TMPUInSourceFilterParamsMessage{1, 2, 1, 4, 2500, 15})}},
      {"routing trigger",
       M::Make(MPU_OP_INSRC_ROUTING_TRIGGER,
               TMPUInSourceRoutingTriggerMessage{6, 2, 1, 0x0003, 0, 0, 2, 0x0005, 0, 0}),
       {Expected(MPU_OP_INSRC_ROUTING_TRIGGER,
                 TMPUInSourceRoutingTriggerMessage{6, 2, 1, 0x0003, 0, 0, 2, 0x0005, 0, 0})}},
      {"compressor",
       M::Make(MPU_OP_INSRC_COMPRESSOR, TMPUCompressorParamsMessage{7, -6, 3, 9, 20, 4, 1}),
       {Expected(MPU_OP_INSRC_COMPRESSOR, TMPUCompressorParamsMessage{7, -6, 3, 9, 15, 4, 1})}},
      {"phantom supply on a line input stays off",
       M::Make(MPU_OP_INSRC_PHANTOM, TMPUSourceControlMessage{23, 1}),
       {Expected(MPU_OP_INSRC_PHANTOM, TMPUSourceControlMessage{23, 0})}},
      {"output send source",
       M::Make(MPU_OP_OUTSRC_SEND_SOURCE, TMPUSendSourceMessage{4, 129, 130}),
       {Expected(MPU_OP_OUTSRC_SEND_SOURCE, TMPUSendSourceMessage{4, 129, 130})}},
      {"headphone send source",
       M::Make(MPU_OP_MONITOR_SEND_SOURCE, TMPUMonitorControlMessage{20, 131}),
       {Expected(MPU_OP_MONITOR_SEND_SOURCE, TMPUMonitorControlMessage{20, 131})}},
      {"control-room preset: reported with its source",
       M::Make(MPU_OP_CR_MONITOR_SELECT, TMPUCRMonitorPresetMessage{2, 0}),
       {Expected(MPU_OP_CR_MONITOR_SELECT, TMPUCRMonitorPresetMessage{2, 130})}},
      {"split",
       M::Make(MPU_OP_CR_MONITOR_SPLIT, TMPUMonitorControlMessage{0, 1}),
       {Expected(MPU_OP_CR_MONITOR_SPLIT, TMPUMonitorControlMessage{0, 1})}},
      {"OTB of an output",
       M::Make(MPU_OP_OTB_CONTROL, TMPUOTBControlMessage{1, 7, 1}),
       {Expected(MPU_OP_OTB_CONTROL, TMPUOTBControlMessage{1, 7, 1})}},
      {"main limiter",
       M::Make(MPU_OP_MIXBUS_LIMITER, TMPULimiterParamsMessage{1, 55, 9, 1}),
       {Expected(MPU_OP_MIXBUS_LIMITER, TMPULimiterParamsMessage{1, 40, 7, 1})}},
      {"mixer settings, revision 3",
       M::Make(MPU_OP_MIXER_SETTINGS, settings),
       {Expected(MPU_OP_MIXER_SETTINGS, settings, 3)}},
      {"mixer settings of revision 1 keep the tail",
       WithRevision(M::Make(MPU_OP_MIXER_SETTINGS, rev1), 1),
       {Expected(MPU_OP_MIXER_SETTINGS, rev1Kept, 3)}},
      {"clock source: reported in the settings",
       M::Make(MPU_OP_MIXER_CLOCK_SOURCE, TMPUClockSourceMessage{0}),
       {Expected(MPU_OP_MIXER_SETTINGS, clockInternal, 3)}},
      {"GPO: its state is the unit's",
       M::Make(MPU_OP_GPO_CONFIG, TMPUGPOutputConfigMessage{30, 0, 128, 50, 1, 0, 0, 1}),
       {Expected(MPU_OP_GPO_CONFIG, TMPUGPOutputConfigMessage{30, 0, 128, 50, 1, 0, 0, 0})}},
      {"soft trigger: both sides report",
       M::Make(MPU_OP_SOFTFUNC_CONTROL, TMPUSoftFunctionControlMessage{1, 1}),
       {Expected(MPU_OP_SOFTFUNC_IN_STATUS, TMPUSoftFunctionControlMessage{1, 1}),
        Expected(MPU_OP_SOFTFUNC_OUT_STATUS, TMPUSoftFunctionControlMessage{1, 1})}},
      {"the GPO of soft trigger 1 is now lit",
       M::Make(MPU_OP_GET_GPO_CONFIG, TMPUGPOutputConfigMessage{.CircuitId = 30}),
       {Expected(MPU_OP_GPO_CONFIG, TMPUGPOutputConfigMessage{30, 0, 128, 50, 1, 0, 0, 1})}},
      {"a source moves to another strip",
       M::Make(MPU_OP_STRIP_ASSIGN_SOURCE, TMPUStripControlMessage{20, 1}),
       {Expected(MPU_OP_STRIP_ASSIGN_SOURCE, TMPUStripControlMessage{0, 0}),
        Expected(MPU_OP_STRIP_ASSIGN_SOURCE, TMPUStripControlMessage{20, 1}),
        Expected(MPU_OP_INSRC_STRIP_ID, TMPUInSourceStripChangeMessage{9, 255}),
        Expected(MPU_OP_INSRC_STRIP_ID, TMPUInSourceStripChangeMessage{1, 20})}},
      {"one strip edits at a time (1)",
       M::Make(MPU_OP_STRIP_EDIT_MODE, TMPUStripControlMessage{3, 1}),
       {Expected(MPU_OP_STRIP_EDIT_MODE, TMPUStripControlMessage{3, 1})}},
      {"one strip edits at a time (2)",
       M::Make(MPU_OP_STRIP_EDIT_MODE, TMPUStripControlMessage{4, 1}),
       {Expected(MPU_OP_STRIP_EDIT_MODE, TMPUStripControlMessage{3, 0}),
        Expected(MPU_OP_STRIP_EDIT_MODE, TMPUStripControlMessage{4, 1})}},
      {"console brightness",
       M::Make(MPU_OP_CONSOLE_BRIGHTNESS, TMPUConsoleBrightnessMessage{1, 9}),
       {Expected(MPU_OP_CONSOLE_BRIGHTNESS, TMPUConsoleBrightnessMessage{1, 7})}},
      {"brightness of a console that is not there",
       M::Make(MPU_OP_CONSOLE_BRIGHTNESS, TMPUConsoleBrightnessMessage{3, 1}),
       {}},
      {"tally lamp: nothing back",
       M::Make(MPU_OP_MCS_TALLY, TMPUTallyControlMessage{4, MPU_TALLY_BLINK}),
       {}},
      {"label: nothing back",
       M::Make(MPU_OP_INSRC_LABEL, TMPUSourceLabelMessage{2, Text<9>("GUEST"), 0, {}}),
       {}},
      {"unknown opcode: ignored", M::Make(0x99), {}},
      {"source id outside the table: ignored",
       M::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{300, 0, 0}),
       {}},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.What);
    Send(c.Command);
    for (const Bytes& report : c.Reports) EXPECT_EQ(NextFrame(), report);
    ExpectNothingBeforeMarker(42);
  }

  // The state behind the reports.
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_STANDARD_PARAMS, TMPUSourceControlMessage{2, 0}));
  const TMPUInsourceStandardParamsMessage mic2 = NextResponse()->InSourceStandardParams();
  EXPECT_EQ(wire::CharsToLatin1(mic2.ShortLabel), "GUEST");
  EXPECT_EQ(mic2.ControlStatus, 1);
  EXPECT_EQ(unit_->Status().TallyModes[4], MPU_TALLY_BLINK);
}

TEST_F(SimulatedMpuTest, SilentMassUpdateHoldsBackReports) {
  StartAndConnect();
  Send(TMPUCommandMsg::Make(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 1}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 1}));
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{3, -20, 0}));
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_ON, TMPUSourceControlMessage{3, 1}));
  // Answers to requests still come.
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_STRIP_ID, TMPUSourceControlMessage{3, 0}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_INSRC_STRIP_ID, TMPUInSourceStripChangeMessage{3, 2}));
  ExpectNothingBeforeMarker(5);
  EXPECT_EQ(unit_->Status().ReportsSuppressed, 2u);

  Send(TMPUCommandMsg::Make(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{0, 0}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{0, 0}));
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{3, -10, 0}));
  EXPECT_EQ(NextFrame()[0], MPU_OP_INSRC_FADER);

  // A mass update that is not silent reports as usual.
  Send(TMPUCommandMsg::Make(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 0}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 0}));
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{3, -5, 0}));
  EXPECT_EQ(NextFrame()[0], MPU_OP_INSRC_FADER);
}

TEST_F(SimulatedMpuTest, MassUpdateEndsWhenItsLeaseRunsOut) {
  sim::SimulatorConfig config = TestConfig();
  config.MassUpdateLease = 100ms;
  StartAndConnect(config);
  Send(TMPUCommandMsg::Make(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 1}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 1}));
  // Not renewed: the unit ends it itself and says so.
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{0, 0}));
  EXPECT_FALSE(unit_->Status().MassUpdateActive);
}

// ---------------------------------------------------------------------------
// Sessions, the configuration store, board tags.

TEST_F(SimulatedMpuTest, SessionRules) {
  StartAndConnect();
  auto session = [this](std::uint8_t active, std::int64_t key) {
    Send(TMPUCommandMsg::Make(MPU_OP_SESSION, TMPUSessionMessage{active, key}));
    const std::optional<TMPUResponseMsg> r = NextResponse();
    EXPECT_TRUE(r.has_value());
    EXPECT_EQ(r->Opcode(), MPU_OP_SESSION);
    return r ? r->SessionControl() : TMPUSessionMessage{};
  };
  auto is = [](const TMPUSessionMessage& m, std::uint8_t active, std::int64_t key) {
    return m.Active == active && m.Key == key;
  };
  const std::int64_t k1 = 4'614'200'123'456LL, k2 = k1 + 100'000;
  EXPECT_TRUE(is(session(1, k1), 1, k1));  // granted
  EXPECT_TRUE(unit_->Status().SessionActive);
  EXPECT_TRUE(is(session(1, k1), 1, k1));  // renewed
  EXPECT_TRUE(is(session(1, k2), 0, k1));  // foreign key: refused, with the key it holds
  EXPECT_TRUE(is(session(0, k2), 0, k1));  // a foreign key cannot end it
  EXPECT_TRUE(is(session(0, k1), 0, 0));   // ended
  EXPECT_TRUE(is(session(1, k2), 1, k2));  // free again
  EXPECT_TRUE(is(session(0, k2), 0, 0));

  unit_->SetRefuseSessions(true);
  EXPECT_TRUE(is(session(1, k1), 0, 0));
  unit_->SetRefuseSessions(false);
  EXPECT_TRUE(is(session(1, k1), 1, k1));

  // The session ends with the host's connection.
  CloseDevice();
  OpenDevice();
  controlSize_ = 128;
  Handshake();
  EXPECT_TRUE(is(session(1, k2), 1, k2));
}

TEST_F(SimulatedMpuTest, BoardTagWritesCountOnlyAfterTheUnlockCode) {
  StartAndConnect();
  TMPUBoardTagMessage tag;
  tag.BoardId = 64;
  tag.DeviceId = 1;
  tag.SerialNo = Text<37>("NEW-SERIAL");
  tag.TimeStamp = {2026, 12, 11, 9, 0, 0, 0};
  Send(TMPUCommandMsg::Make(MPU_OP_BOARD_TAG_WRITE, tag));  // locked
  Send(TMPUCommandMsg::Make(MPU_OP_WRITE_UNLOCK, TMPUWriteUnlockMessage{0x12345678}));
  Send(TMPUCommandMsg::Make(MPU_OP_BOARD_TAG_WRITE, tag));  // wrong code
  Send(TMPUCommandMsg::Make(MPU_OP_BOARD_TAG_READ,
                            TMPUBoardTagMessage{.BoardId = 64, .DeviceId = 1}));
  EXPECT_EQ(wire::CharsToLatin1(NextResponse()->BoardInfoTag().SerialNo), "FCS-08-2203-0117");

  Send(TMPUCommandMsg::Make(MPU_OP_WRITE_UNLOCK, TMPUWriteUnlockMessage{MPU_WRITE_UNLOCK_KEY}));
  Send(TMPUCommandMsg::Make(MPU_OP_BOARD_TAG_WRITE, tag));
  Send(TMPUCommandMsg::Make(MPU_OP_BOARD_TAG_READ,
                            TMPUBoardTagMessage{.BoardId = 64, .DeviceId = 1}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_BOARD_TAG_READ, tag));

  // The unlock is used up by the write.
  TMPUBoardTagMessage second = tag;
  second.SerialNo = Text<37>("SECOND");
  Send(TMPUCommandMsg::Make(MPU_OP_BOARD_TAG_WRITE, second));
  Send(TMPUCommandMsg::Make(MPU_OP_BOARD_TAG_READ,
                            TMPUBoardTagMessage{.BoardId = 64, .DeviceId = 1}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_BOARD_TAG_READ, tag));
}

TEST_F(SimulatedMpuTest, AudioBoardRegistersKeepWhatIsWritten) {
  StartAndConnect();
  TMPUABDirectMessage write;
  write.Address = kABWrite | kABMultiHAM | 0x0120;
  write.Count = 3;
  write.Values[0] = 0x1111;
  write.Values[1] = 0x2222;
  write.Values[2] = 0x3333;
  Send(TMPUCommandMsg::Make(MPU_OP_AB_DIRECT_WRITE, write));
  TMPUABDirectMessage clock;  // the clock speed frame: address 0x0FFF without the write bit
  clock.Address = kABClockSpeedAddress;
  clock.Count = 1;
  clock.Values[0] = 441;
  Send(TMPUCommandMsg::Make(MPU_OP_AB_DIRECT_WRITE, clock));
  TMPUABDirectMessage read;
  read.Address = 0x0121;
  read.Count = 2;
  Send(TMPUCommandMsg::Make(MPU_OP_AB_DIRECT_READ, read));
  TMPUABDirectMessage expected = read;
  expected.Values[0] = 0x2222;
  expected.Values[1] = 0x3333;
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_AB_DIRECT_READ, expected));
  unit_->Sync();
  EXPECT_EQ(unit_->Status().AudioBoardClockSpeed, 441);
}

TEST_F(SimulatedMpuTest, DefaultConfigurationRebootsTheUnit) {
  StartAndConnect();
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{3, -7, 0}));
  ASSERT_EQ(NextFrame()[0], MPU_OP_INSRC_FADER);
  Send(TMPUCommandMsg::Make(MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{kConfigDefault, 0}));
  // The pipes fail: the unit left the bus.
  EXPECT_EQ(control_->WaitError(), std::optional<std::uint32_t>(ENODEV));
  EXPECT_EQ(data_->WaitError(), std::optional<std::uint32_t>(ENODEV));
  EXPECT_EQ(device_->WritePipe(kPipeControlOut, Bytes(128)).ErrorCode,
            static_cast<std::uint32_t>(ENODEV));

  // It comes back after the reboot delay, with the default configuration.
  const auto until = std::chrono::steady_clock::now() + kWait;
  while (!unit_->Attached() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  ASSERT_TRUE(unit_->Attached());
  EXPECT_EQ(unit_->Status().Reboots, 1u);
  CloseDevice();
  OpenDevice();
  controlSize_ = 128;
  Handshake();
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_STANDARD_PARAMS, TMPUSourceControlMessage{3, 0}));
  EXPECT_EQ(NextResponse()->InSourceStandardParams().FaderGain, -60);
}

TEST_F(SimulatedMpuTest, RewrittenConfigurationSurvivesAConsoleListWrite) {
  StartAndConnect();
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{3, -7, 0}));
  ASSERT_EQ(NextFrame()[0], MPU_OP_INSRC_FADER);
  Send(TMPUCommandMsg::Make(MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{kConfigRewrite, 0}));
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{4, -9, 0}));  // not stored
  ASSERT_EQ(NextFrame()[0], MPU_OP_INSRC_FADER);
  TMPUConsoleListMessage list;
  list.ConsoleCount = 1;
  list.Consoles[0] = {0, 12, MPU_LOCATION_CR2, MPU_CONSOLE_INTF_USB, 2, MPU_CONSOLE_TYPE_FENDRAL, 0,
                      6, {}};
  Send(TMPUCommandMsg::Make(MPU_OP_CONSOLE_LIST_WRITE, list));
  EXPECT_EQ(control_->WaitError(), std::optional<std::uint32_t>(ENODEV));  // reboots

  const auto until = std::chrono::steady_clock::now() + kWait;
  while (!unit_->Attached() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  CloseDevice();
  OpenDevice();
  controlSize_ = 128;
  Handshake();
  Send(TMPUCommandMsg::Make(MPU_OP_CONSOLE_LIST));
  const TMPUConsoleListMessage got = NextResponse()->ConsoleList();
  EXPECT_EQ(got.ConsoleCount, 1);
  EXPECT_EQ(got.StripCount, 12);
  EXPECT_EQ(got.Consoles[0].Location, MPU_LOCATION_CR2);
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_STANDARD_PARAMS, TMPUSourceControlMessage{3, 0}));
  EXPECT_EQ(NextResponse()->InSourceStandardParams().FaderGain, -7);
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_STANDARD_PARAMS, TMPUSourceControlMessage{4, 0}));
  EXPECT_EQ(NextResponse()->InSourceStandardParams().FaderGain, -60);
}

// ---------------------------------------------------------------------------
// Firmware.

// Sends one firmware block as the host's download engine does.
Bytes BlockPacket(std::size_t packetSize, std::uint8_t firmwareId, std::uint8_t sub,
                  std::uint32_t blockId, std::uint32_t blockCount, const Bytes& image,
                  std::uint32_t dataBlock) {
  constexpr std::uint16_t kBlock = 256;
  Bytes data(kBlock, 0xFF);
  const std::size_t begin = std::size_t{dataBlock} * kBlock;
  if (begin < image.size())
    std::copy_n(image.begin() + static_cast<long>(begin),
                std::min<std::size_t>(kBlock, image.size() - begin), data.begin());
  TMPUFirmwareXferInfo info;
  info.FirmwareId = firmwareId;
  info.SourceId = MPU_FW_SOURCE_STAGING;
  info.SubRequest = sub;
  info.VersionInfo = {0, 3, 6, 1, 0, {}};
  info.BlockSize = kBlock;
  info.BlockCount = blockCount;
  info.BlockId = blockId;
  Bytes packet(packetSize);
  EXPECT_TRUE(EncodeFirmwareDataPacket(packet, info, data));
  return packet;
}

TEST_F(SimulatedMpuTest, DownloadsProgramsAndUploadsAnImage) {
  sim::SimulatorConfig config = TestConfig();
  config.MeteringInterval = 40ms;  // meters run alongside
  StartAndConnect(config);
  Bytes image(1500);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const std::uint8_t fw = static_cast<std::uint8_t>(FirmwareId::AudioBoard);

  // Download into the staging buffer.
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD,
                            TMPUFirmwareXferRequest{fw, 128, MPU_FW_SUB_START, csNone}));
  TMPUFirmwareXferInfo start = NextResponse()->FirmwareXfer();
  EXPECT_EQ(start.ErrorId, 0);
  EXPECT_EQ(start.SubRequest, MPU_FW_SUB_START);
  EXPECT_EQ(start.BlockSize, 256);
  EXPECT_EQ(start.BlockCount, 512u);
  for (std::uint32_t b = 0; b < 6; ++b) {
    SendData(BlockPacket(dataSize_, fw, MPU_FW_SUB_NEXT_BLOCK, b, 6, image, b));
    const TMPUFirmwareXferInfo a = NextResponse()->FirmwareXfer();
    EXPECT_EQ(a.ErrorId, 0);
    EXPECT_EQ(a.SubRequest, MPU_FW_SUB_NEXT_BLOCK);
    EXPECT_EQ(a.BlockId, b);
  }
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD,
                            TMPUFirmwareXferRequest{fw, 128, MPU_FW_SUB_FINISH, csNone}));
  const TMPUFirmwareXferInfo finish = NextResponse()->FirmwareXfer();
  EXPECT_EQ(finish.ErrorId, 0);
  EXPECT_EQ(finish.SubRequest, MPU_FW_SUB_FINISH);
  Bytes padded = image;
  padded.resize(1536, 0xFF);
  EXPECT_EQ(unit_->StagedImage(fw), padded);

  // Programming: start, erase, one progress per block, finish.
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_PROGRAM,
                            TMPUFirmwareProgRequest{fw, 128, MPU_FW_SUB_START, {}, 0}));
  std::vector<Bytes> expected = {
      Expected(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgInfo{0, fw, 128, 1, 6, 0}, 2),
      Expected(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgInfo{0, fw, 128, 6, 6, 0}, 2)};
  for (std::uint32_t b = 0; b < 6; ++b)
    expected.push_back(
        Expected(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgInfo{0, fw, 128, 7, 6, b}, 2));
  expected.push_back(
      Expected(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgInfo{0, fw, 128, 4, 6, 6}, 2));
  for (const Bytes& e : expected) EXPECT_EQ(NextFrame(), e);
  EXPECT_EQ(unit_->FirmwareImage(fw), padded);

  // The firmware list carries the new version.
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_INFO));
  const TMPUFirmwareInfoMsg list = NextResponse()->FirmwareInfo();
  EXPECT_EQ(list.Firmwares[3].FirmwareId, fw);
  EXPECT_EQ(list.Firmwares[3].VersionMajor, 3);
  EXPECT_EQ(list.Firmwares[3].VersionMinor, 6);
  EXPECT_EQ(list.Firmwares[3].VersionBuild, 1);

  // Upload from flash: one data packet per request.
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD,
                            TMPUFirmwareXferRequest{fw, 0, MPU_FW_SUB_START, csNone}));
  const TMPUFirmwareXferInfo up = NextResponse()->FirmwareXfer();
  ASSERT_EQ(up.ErrorId, 0);
  EXPECT_EQ(up.BlockSize, 256);
  ASSERT_EQ(up.BlockCount, 6u);
  EXPECT_EQ(up.VersionInfo.VersionMinor, 6);
  Bytes uploaded;
  for (std::uint32_t b = 0; b < up.BlockCount; ++b) {
    Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD,
                              TMPUFirmwareXferRequest{fw, 0, MPU_FW_SUB_NEXT_BLOCK, csNone}));
    const std::optional<Bytes> packet = data_->NextOfType(MPU_PKT_FIRMWARE_DATA);
    ASSERT_TRUE(packet.has_value());
    ASSERT_EQ(packet->size(), dataSize_);
    const auto view = DecodeFirmwareDataPacket(*packet);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->Info.FirmwareId, fw);
    EXPECT_EQ(view->Info.BlockId, b);
    uploaded.insert(uploaded.end(), view->Data.begin(), view->Data.end());
  }
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD,
                            TMPUFirmwareXferRequest{fw, 0, MPU_FW_SUB_FINISH, csNone}));
  const TMPUFirmwareXferInfo done = NextResponse()->FirmwareXfer();
  EXPECT_EQ(done.ErrorId, 0);
  EXPECT_EQ(done.SubRequest, MPU_FW_SUB_FINISH);
  EXPECT_EQ(uploaded, padded);
}

TEST_F(SimulatedMpuTest, UploadsTheDefaultImagePaddedWithErasedFlash) {
  StartAndConnect();
  const std::uint8_t fw = static_cast<std::uint8_t>(FirmwareId::UsbAudio);
  const Bytes flash = unit_->FirmwareImage(fw);
  ASSERT_GT(flash.size(), 10'000u);
  ASSERT_LT(flash.size(), 200'000u);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD,
                            TMPUFirmwareXferRequest{fw, 0, MPU_FW_SUB_START, csCRC32}));
  const TMPUFirmwareXferInfo up = NextResponse()->FirmwareXfer();
  ASSERT_EQ(up.ErrorId, 0);
  EXPECT_EQ(up.ChecksumSize, 4);
  EXPECT_EQ(up.BlockCount, (flash.size() + 255) / 256);
  Bytes uploaded;
  for (std::uint32_t b = 0; b < up.BlockCount; ++b) {
    Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD,
                              TMPUFirmwareXferRequest{fw, 0, MPU_FW_SUB_NEXT_BLOCK, csCRC32}));
    const auto packet = data_->NextOfType(MPU_PKT_FIRMWARE_DATA);
    ASSERT_TRUE(packet.has_value());
    const auto view = DecodeFirmwareDataPacket(*packet);
    ASSERT_TRUE(view.has_value());
    uploaded.insert(uploaded.end(), view->Data.begin(), view->Data.end());
  }
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD,
                            TMPUFirmwareXferRequest{fw, 0, MPU_FW_SUB_NEXT_BLOCK, csCRC32}));
  EXPECT_EQ(NextResponse()->FirmwareXfer().ErrorId, 0x87);  // past the end
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD,
                            TMPUFirmwareXferRequest{fw, 0, MPU_FW_SUB_FINISH, csCRC32}));
  EXPECT_EQ(NextResponse()->FirmwareXfer().ErrorId, 0);
  // Stripping the erased tail gives the image back.
  while (!uploaded.empty() && uploaded.back() == 0xFF) uploaded.pop_back();
  EXPECT_EQ(uploaded, flash);
}

TEST_F(SimulatedMpuTest, FirmwareErrorCodes) {
  sim::SimulatorConfig config = TestConfig();
  config.MaxDownloadBlocks = 4;
  StartAndConnect(config);
  const std::uint8_t fw = static_cast<std::uint8_t>(FirmwareId::AudioBoard);
  auto download = [this](TMPUFirmwareXferRequest r) {
    Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, r));
    return NextResponse()->FirmwareXfer();
  };

  EXPECT_EQ(download({49, 128, MPU_FW_SUB_START, csNone}).ErrorId, 0x82);  // no MIC58 board
  EXPECT_EQ(download({fw, 0, MPU_FW_SUB_START, csNone}).ErrorId, 0x83);    // not into flash
  EXPECT_EQ(download({fw, 128, MPU_FW_SUB_START, 7}).ErrorId, 0x85);
  EXPECT_EQ(download({fw, 128, MPU_FW_SUB_FINISH, csNone}).ErrorId, 0x81);  // nothing running

  Send(TMPUCommandMsg::Make(MPU_OP_SESSION, TMPUSessionMessage{1, 77}));
  ASSERT_EQ(NextResponse()->SessionControl().Active, 1);
  EXPECT_EQ(download({fw, 128, MPU_FW_SUB_START, csNone}).ErrorId, 0x95);  // session active
  Send(TMPUCommandMsg::Make(MPU_OP_SESSION, TMPUSessionMessage{0, 77}));
  ASSERT_EQ(NextResponse()->SessionControl().Active, 0);

  // The target takes four blocks: a fifth is too much.
  const TMPUFirmwareXferInfo start = download({fw, 128, MPU_FW_SUB_START, csNone});
  ASSERT_EQ(start.ErrorId, 0);
  EXPECT_EQ(start.BlockCount, 4u);
  const Bytes image(2000, 0x42);
  SendData(BlockPacket(dataSize_, fw, MPU_FW_SUB_NEXT_BLOCK, 4, 8, image, 4));
  TMPUFirmwareXferInfo a = NextResponse()->FirmwareXfer();
  EXPECT_EQ(a.ErrorId, 0x88);
  EXPECT_EQ(a.BlockId, 4u);
  EXPECT_EQ(download({fw, 128, MPU_FW_SUB_START, csNone}).ErrorId, 0x84);  // busy
  // An abort ends the transfer like a finish.
  a = download({fw, 128, MPU_FW_SUB_ABORT, csNone});
  EXPECT_EQ(a.ErrorId, 0);
  EXPECT_EQ(a.SubRequest, MPU_FW_SUB_FINISH);

  // Programming without a staged image, and an injected failure.
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgRequest{fw, 128, 1, {}, 0}));
  EXPECT_EQ(NextResponse()->FirmwareProg().ErrorId, 0x90);
  unit_->FailFirmwareStep(MPU_OP_FIRMWARE_DOWNLOAD, MPU_FW_SUB_START, 0x92);
  EXPECT_EQ(download({fw, 128, MPU_FW_SUB_START, csNone}).ErrorId, 0x92);
  EXPECT_EQ(download({fw, 128, MPU_FW_SUB_START, csNone}).ErrorId, 0);  // used up
}

TEST_F(SimulatedMpuTest, AsksForABlockAgainAndTakesTheRepeat) {
  StartAndConnect();
  const std::uint8_t fw = static_cast<std::uint8_t>(FirmwareId::UsbAudio);
  Bytes image(700);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, TMPUFirmwareXferRequest{fw, 128, 1, csNone}));
  ASSERT_EQ(NextResponse()->FirmwareXfer().ErrorId, 0);
  SendData(BlockPacket(dataSize_, fw, 2, 0, 3, image, 0));
  EXPECT_EQ(NextResponse()->FirmwareXfer().SubRequest, MPU_FW_SUB_NEXT_BLOCK);
  unit_->RequestBlockRepeat();
  SendData(BlockPacket(dataSize_, fw, 2, 1, 3, Bytes(700, 0xEE), 1));  // arrives damaged
  TMPUFirmwareXferInfo a = NextResponse()->FirmwareXfer();
  EXPECT_EQ(a.SubRequest, MPU_FW_SUB_REPEAT_BLOCK);
  // The host repeats block 1 with the number of blocks sent so far (2) in BlockId.
  SendData(BlockPacket(dataSize_, fw, 3, 2, 3, image, 1));
  a = NextResponse()->FirmwareXfer();
  EXPECT_EQ(a.SubRequest, MPU_FW_SUB_NEXT_BLOCK);
  EXPECT_EQ(a.BlockId, 1u);
  SendData(BlockPacket(dataSize_, fw, 2, 2, 3, image, 2));
  EXPECT_EQ(NextResponse()->FirmwareXfer().BlockId, 2u);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_DOWNLOAD, TMPUFirmwareXferRequest{fw, 128, 4, csNone}));
  EXPECT_EQ(NextResponse()->FirmwareXfer().ErrorId, 0);
  Bytes padded = image;
  padded.resize(768, 0xFF);
  EXPECT_EQ(unit_->StagedImage(fw), padded);

  // Programming fails in block 1 when told to.
  unit_->FailFirmwareStep(MPU_OP_FIRMWARE_PROGRAM, MPU_FW_SUB_PROGRESS, 0x94);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgRequest{fw, 128, 1, {}, 0}));
  EXPECT_EQ(NextResponse()->FirmwareProg().SubRequest, MPU_FW_SUB_START);
  EXPECT_EQ(NextResponse()->FirmwareProg().SubRequest, MPU_FW_SUB_ERASE);
  const TMPUFirmwareProgInfo failed = NextResponse()->FirmwareProg();
  EXPECT_EQ(failed.ErrorId, 0x94);
  EXPECT_EQ(failed.SubRequest, MPU_FW_SUB_PROGRESS);
  EXPECT_EQ(failed.BlockId, 0u);
  EXPECT_NE(unit_->FirmwareImage(fw), padded);  // flash unchanged
}

// ---------------------------------------------------------------------------
// Metering.

TEST_F(SimulatedMpuTest, StreamsMeteringThatFollowsTheMix) {
  sim::SimulatorConfig config = TestConfig();
  config.MeteringInterval = 40ms;
  StartAndConnect(config);
  const auto first = std::chrono::steady_clock::now();
  std::optional<Bytes> packet;
  for (int i = 0; i < 10; ++i) {
    packet = data_->NextOfType(MPU_PKT_METERING);
    ASSERT_TRUE(packet.has_value());
  }
  // Ten packets at 25 a second take at least a few hundred milliseconds.
  EXPECT_GE(std::chrono::steady_clock::now() - first, 250ms);
  ASSERT_EQ(packet->size(), 320u);
  const auto view = DecodeMeteringPacket(*packet);
  ASSERT_TRUE(view.has_value());
  ASSERT_EQ(view->AnnouncedLength, 256);
  auto level = [&view](int index) {
    return static_cast<std::int8_t>(view->Block[static_cast<std::size_t>(index)]);
  };
  // The presenter's microphone is on, routed to PGM1 and REC, faded up.
  EXPECT_GT(level(MicPreMeterIndex(1)), -60);
  EXPECT_GT(level(MicPostMeterIndex(1)), -60);
  EXPECT_GT(level(BusMeterIndex(BusId::PGM1, false)), -40);
  EXPECT_GT(level(BusMeterIndex(BusId::REC, true)), -40);
  // Microphone 2 has signal but is off.
  EXPECT_GT(level(MicPreMeterIndex(2)), -60);
  EXPECT_EQ(view->Block[static_cast<std::size_t>(MicPostMeterIndex(2))], kMeterNoData);
  EXPECT_EQ(view->Block[static_cast<std::size_t>(BusMeterIndex(BusId::PFL, false))], kMeterNoData);
  EXPECT_EQ(view->Block[static_cast<std::size_t>(LineMeterIndex(13, false))],
            kMeterNoData);  // nothing plugged in

  // Microphone 2 on prefade: the PFL bus shows it.
  Send(TMPUCommandMsg::Make(MPU_OP_INSRC_BUS_ROUTING, TMPUInSourceBusRoutingMessage{2, 12, 1}));
  ASSERT_EQ(NextFrame()[0], MPU_OP_INSRC_ON);
  const auto pflLeft = static_cast<std::size_t>(BusMeterIndex(BusId::PFL, false));
  bool pflShows = false;
  for (int i = 0; i < 50 && !pflShows;
       ++i) {  // blocks made before the change may still be on their way
    const auto p = data_->NextOfType(MPU_PKT_METERING);
    ASSERT_TRUE(p.has_value());
    pflShows = static_cast<std::int8_t>(DecodeMeteringPacket(*p)->Block[pflLeft]) > -60;
  }
  EXPECT_TRUE(pflShows);

  unit_->SetMeteringEnabled(false);
  unit_->Sync();
  EXPECT_FALSE(unit_->Status().MeteringEnabled);
}

TEST_F(SimulatedMpuTest, MetersNobodyReadsAreDroppedButFirmwareBlocksAreNot) {
  sim::SimulatorConfig config = TestConfig();
  config.MeteringInterval = 1ms;
  StartAndConnect(config);
  data_.reset();  // nobody reads the data pipe for a while
  const std::uint64_t before = unit_->Status().MeteringPacketsSent;
  const std::size_t many = 3 * SimulatedDriver::kDataQueuePackets;
  for (auto until = std::chrono::steady_clock::now() + kWait;
       unit_->Status().MeteringPacketsSent < before + many &&
       std::chrono::steady_clock::now() < until;)
    std::this_thread::yield();
  ASSERT_GE(unit_->Status().MeteringPacketsSent, before + many);

  const std::uint8_t fw = static_cast<std::uint8_t>(FirmwareId::HostSub);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD, TMPUFirmwareXferRequest{fw, 0, 1, csNone}));
  ASSERT_EQ(NextResponse()->FirmwareXfer().ErrorId, 0);
  Send(TMPUCommandMsg::Make(MPU_OP_FIRMWARE_UPLOAD, TMPUFirmwareXferRequest{fw, 0, 2, csNone}));
  // The queue held at most its size in meters, and the block is behind them.
  Bytes buffer(512);
  std::size_t meters = 0;
  for (;;) {
    const TransferResult r = device_->ReadPipe(kPipeDataIn, buffer);
    ASSERT_TRUE(r.Ok);
    if (buffer[0] == MPU_PKT_FIRMWARE_DATA) break;
    ASSERT_EQ(buffer[0], MPU_PKT_METERING);
    ASSERT_LE(++meters, SimulatedDriver::kDataQueuePackets + 8);  // a few more may come meanwhile
  }
  EXPECT_EQ(DecodeFirmwareDataPacket(std::span(buffer.data(), dataSize_))->Info.BlockId, 0u);
}

// ---------------------------------------------------------------------------
// The unit's own events.

TEST_F(SimulatedMpuTest, ReportsConsoleKeysEncodersFadersAndPresetEdits) {
  StartAndConnect();
  unit_->PressMcsKey(MPU_MCSTALLY_INTRO, true);
  unit_->PressMcsKey(MPU_MCSTALLY_INTRO, false);
  unit_->StepEncoder(1, true);
  unit_->StepEncoder(1, false);
  unit_->PressStripEditKey(5, true);
  unit_->MoveVirtualFader(kSrcUSB1 + 2, -17);
  unit_->RequestPresetEdit(4);
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_MCS_KEY, TMPUTallyControlMessage{4, 1}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_MCS_KEY, TMPUTallyControlMessage{4, 0}));
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_MCS_ENCODER, TMPUTallyControlMessage{1, 1}));
  const Bytes back = NextFrame();
  EXPECT_EQ(back[0], MPU_OP_MCS_ENCODER);
  EXPECT_EQ(back[4], 1);
  EXPECT_NE(back[5], 1);  // one step back
  EXPECT_EQ(NextFrame(), Expected(MPU_OP_STRIP_EDIT_KEY, TMPUStripControlMessage{5, 1}));
  EXPECT_EQ(NextFrame(),
            Expected(MPU_OP_INSRC_VIRTUAL_CONTROL, TMPUInSourceVControlMessage{37, 0, -17}));
  Bytes edit(128, 0);
  edit[0] = MPU_OP_CR_PRESET_EDIT;
  edit[1] = 1;
  edit[2] = 1;  // PayloadLen 1
  edit[4] = 4;
  EXPECT_EQ(NextFrame(), edit);
}

// ---------------------------------------------------------------------------
// The pipes.

TEST_F(SimulatedMpuTest, AbortReleasesABlockedRead) {
  StartAndConnect();
  control_.reset();  // read the control pipe here
  auto read = std::async(std::launch::async, [this] {
    Bytes buffer(128);
    return device_->ReadPipe(kPipeControlIn, buffer);
  });
  EXPECT_EQ(read.wait_for(50ms), std::future_status::timeout);  // nothing to read: it blocks
  TransferResult r{};
  for (auto until = std::chrono::steady_clock::now() + kWait;
       std::chrono::steady_clock::now() < until;) {
    EXPECT_TRUE(device_->AbortPipe(kPipeControlIn));
    if (read.wait_for(5ms) == std::future_status::ready) break;
  }
  ASSERT_EQ(read.wait_for(0ms), std::future_status::ready);
  r = read.get();
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorCode, static_cast<std::uint32_t>(ECANCELED));

  // The pipe works on after an abort.
  Send(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{8, 0, 0}));
  Bytes buffer(128);
  r = device_->ReadPipe(kPipeControlIn, buffer);
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(buffer, Expected(MPU_OP_MARKER, TMPUMarkerMessage{8, 0, 0}));
}

TEST_F(SimulatedMpuTest, ReadsFailWithOverflowWhenTheBufferIsTooSmall) {
  StartAndConnect();
  control_.reset();
  Send(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{1, 0, 0}));
  Send(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{2, 0, 0}));
  Bytes small(64);
  TransferResult r = device_->ReadPipe(kPipeControlIn, small);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorCode, static_cast<std::uint32_t>(EOVERFLOW));
  Bytes large(512);  // a shorter packet than the buffer comes back short
  r = device_->ReadPipe(kPipeControlIn, large);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Transferred, 128u);
  EXPECT_EQ(large[4], 2);  // the first packet was lost with the overflow
}

TEST_F(SimulatedMpuTest, UnplugFailsEveryTransferAndTheDeviceStaysDead) {
  StartAndConnect();
  const auto before = driver_->ListDevices();
  unit_->Unplug();
  EXPECT_EQ(control_->WaitError(), std::optional<std::uint32_t>(ENODEV));
  EXPECT_EQ(data_->WaitError(), std::optional<std::uint32_t>(ENODEV));
  Bytes buffer(128);
  EXPECT_EQ(device_->ReadPipe(kPipeControlIn, buffer).ErrorCode,
            static_cast<std::uint32_t>(ENODEV));
  EXPECT_EQ(device_->WritePipe(kPipeControlOut, Bytes(128)).ErrorCode,
            static_cast<std::uint32_t>(ENODEV));
  EXPECT_FALSE(unit_->Attached());
  EXPECT_TRUE(driver_->ListDevices()->empty());
  EXPECT_EQ(driver_->Open(before->front()), nullptr);

  unit_->Replug();
  EXPECT_EQ(device_->ReadPipe(kPipeControlIn, buffer).ErrorCode,
            static_cast<std::uint32_t>(ENODEV));
  EXPECT_EQ(driver_->Open(before->front()), nullptr);  // listed before the pull
  const auto after = driver_->ListDevices();
  ASSERT_EQ(after->size(), 1u);
  EXPECT_NE(after->front().DeviceAddress, before->front().DeviceAddress);
  CloseDevice();
  OpenDevice();
  controlSize_ = 128;
  Handshake();
}

TEST_F(SimulatedMpuTest, SurvivesAnyBytesTheHostWrites) {
  sim::SimulatorConfig config = TestConfig();
  config.MassUpdateLease = 0ms;  // no report may come late, after the check below
  StartAndConnect(config);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 3000; ++i) {
    const std::size_t sizes[] = {0, 1, 3, 4, 64, 127, 128, 129, 320, 512};
    Bytes packet(sizes[static_cast<std::size_t>(byte(rng)) % std::size(sizes)]);
    for (auto& b : packet) b = static_cast<std::uint8_t>(byte(rng));
    if (i % 3 == 0 && packet.size() == 128)
      packet[0] = static_cast<std::uint8_t>(0xC0 | (packet[0] & 0x3F));
    // Never a configuration default, a console list write (reboots) or a handshake.
    if (packet.size() == 128 &&
        (packet[0] == MPU_OP_CONFIG_STORE || packet[0] == MPU_OP_CONSOLE_LIST_WRITE))
      packet[0] = 0;
    const std::uint8_t pipe = (i % 4 == 0) ? kPipeDataOut : kPipeControlOut;
    EXPECT_TRUE(device_->WritePipe(pipe, packet).Ok);
  }
  // Whatever the answers were, the unit still works.
  for (auto p = control_->Next(200ms); p; p = control_->Next(200ms)) {
  }
  unit_->Sync();
  EXPECT_TRUE(unit_->Attached());
  ExpectNothingBeforeMarker(1234);
}

}  // namespace
}  // namespace mpu::usb
