// The firmware engines driven by scripted answers: blocks on the wire,
// repeats, limits and the guards of malformed answers.
#include <numeric>

#include "device_fixture.h"
#include "protocol/data_packets.h"

namespace mpu::test {
namespace {

using namespace std::chrono_literals;

class Firmware : public DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    auto log = [this](const std::string& e) { fw.push_back(e); };
    mpu->OnFirmwareDownloadBegin = [log](TAldraneMPU&) { log("download begin"); };
    mpu->OnFirmwareDownloadProgress = [log](TAldraneMPU&, std::uint32_t b) { log("download " + std::to_string(b)); };
    mpu->OnFirmwareDownloadEnd = [log](TAldraneMPU&) { log("download end"); };
    mpu->OnFirmwareUploadBegin = [log](TAldraneMPU&) { log("upload begin"); };
    mpu->OnFirmwareUploadProgress = [log](TAldraneMPU&, std::uint32_t b) { log("upload " + std::to_string(b)); };
    mpu->OnFirmwareUploadEnd = [log](TAldraneMPU&) { log("upload end"); };
    mpu->OnFirmwareTransferError = [log](TAldraneMPU&, int e) { log("error " + std::to_string(e)); };
    mpu->OnFirmwareProgramBegin = [log](TAldraneMPU&) { log("program begin"); };
    mpu->OnFirmwareProgramErase = [log](TAldraneMPU&) { log("program erase"); };
    mpu->OnFirmwareProgramProgress = [log](TAldraneMPU&, std::uint32_t b) { log("program " + std::to_string(b)); };
    mpu->OnFirmwareProgramEnd = [log](TAldraneMPU&) { log("program end"); };
    mpu->OnFirmwareProgramError = [log](TAldraneMPU&, int e) { log("program error " + std::to_string(e)); };
    Open();
  }

  TMPUFirmwareXferInfo Info(std::uint8_t sub, std::uint8_t error = 0) {
    TMPUFirmwareXferInfo i;
    i.ErrorId = error;
    i.FirmwareId = 33;
    i.SourceId = 128;
    i.SubRequest = sub;
    return i;
  }

  void AnswerDownload(TMPUFirmwareXferInfo i) { Answer(MPU_OP_FIRMWARE_DOWNLOAD, i); }

  // Waits for `n` events in total and returns them.
  std::vector<std::string> Events(std::size_t n) {
    EXPECT_TRUE(WaitFor([&] { return fw.size() >= n; })) << "got " << fw.size();
    Pump(20);
    return fw;
  }

  std::vector<Packet> DataPackets() { return Unit().Written(0x02); }

  // SubRequest bytes of the transfer frames the host wrote for `opcode`.
  std::vector<int> XferRequests(std::uint8_t opcode) {
    std::vector<int> subs;
    for (const Packet& p : Unit().Written(0x01))
      if (p[0] == opcode) subs.push_back(p[6]);
    return subs;
  }

  std::vector<std::uint8_t> Image(std::size_t n) {
    std::vector<std::uint8_t> img(n);
    std::iota(img.begin(), img.end(), std::uint8_t{1});
    return img;
  }

  std::vector<std::string> fw;
};

TEST_F(Firmware, DownloadSendsBlocksPaddedWithFF) {
  const auto image = Image(1500);
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, 128, csNone, 2, 7, 300, image));
  TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
  start.BlockSize = 256;
  start.BlockCount = 10;
  start.ChecksumSize = 4;
  AnswerDownload(start);
  for (int block = 1; block < 6; ++block) {
    ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == static_cast<std::size_t>(block); }));
    AnswerDownload(Info(MPU_FW_SUB_NEXT_BLOCK));
  }
  ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == 6; }));
  AnswerDownload(Info(MPU_FW_SUB_NEXT_BLOCK));
  ASSERT_TRUE(WaitFor([&] { return XferRequests(MPU_OP_FIRMWARE_DOWNLOAD).size() == 2; }));
  AnswerDownload(Info(MPU_FW_SUB_FINISH));
  EXPECT_EQ(Events(8), (std::vector<std::string>{"download begin", "download 1", "download 2", "download 3",
                                                 "download 4", "download 5", "download 6", "download end"}));
  EXPECT_EQ(XferRequests(MPU_OP_FIRMWARE_DOWNLOAD), (std::vector<int>{MPU_FW_SUB_START, MPU_FW_SUB_FINISH}));

  const auto packets = DataPackets();
  ASSERT_EQ(packets.size(), 6u);
  for (std::size_t b = 0; b < packets.size(); ++b) {
    SCOPED_TRACE(b);
    const Packet& p = packets[b];
    ASSERT_EQ(p.size(), 320u);
    const auto view = DecodeFirmwareDataPacket(p);
    ASSERT_TRUE(view);
    EXPECT_EQ(p[1], 1);
    EXPECT_EQ(view->Info.SubRequest, MPU_FW_SUB_NEXT_BLOCK);
    EXPECT_EQ(view->Info.BlockId, b);
    EXPECT_EQ(view->Info.BlockCount, 6u);
    EXPECT_EQ(view->Info.BlockSize, 256);
    EXPECT_EQ(view->Info.ChecksumSize, 4);
    EXPECT_EQ(view->Info.VersionInfo.VersionMajor, 2);
    EXPECT_EQ(view->Info.VersionInfo.VersionMinor, 7);
    EXPECT_EQ(view->Info.VersionInfo.VersionBuild, 300);
    for (std::size_t i = 0; i < 256; ++i) {
      const std::size_t at = b * 256 + i;
      ASSERT_EQ(view->Data[i], at < image.size() ? image[at] : 0xFF) << "byte " << at;
    }
  }
}

TEST_F(Firmware, DownloadTooLargeForTheTarget) {
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, 128, csNone, 1, 0, 0, Image(1500)));
  TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
  start.BlockSize = 256;
  start.BlockCount = 5;
  AnswerDownload(start);
  EXPECT_EQ(Events(1), (std::vector<std::string>{"error 136"}));
  EXPECT_EQ(XferRequests(MPU_OP_FIRMWARE_DOWNLOAD), (std::vector<int>{MPU_FW_SUB_START, MPU_FW_SUB_ABORT}));
  EXPECT_TRUE(DataPackets().empty());
}

TEST_F(Firmware, RepeatResendsTheLastBlock) {
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, 128, csNone, 1, 0, 0, Image(2000)));
  TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
  start.BlockSize = 256;
  start.BlockCount = 100;
  AnswerDownload(start);
  for (int sent = 1; sent < 4; ++sent) {
    ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == static_cast<std::size_t>(sent); }));
    AnswerDownload(Info(MPU_FW_SUB_NEXT_BLOCK));
  }
  ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == 4; }));  // blocks 0..3 sent
  AnswerDownload(Info(MPU_FW_SUB_REPEAT_BLOCK));
  ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == 5; }));
  AnswerDownload(Info(MPU_FW_SUB_NEXT_BLOCK));
  ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == 6; }));

  const auto packets = DataPackets();
  const auto repeat = DecodeFirmwareDataPacket(packets[4]);
  ASSERT_TRUE(repeat);
  EXPECT_EQ(repeat->Info.SubRequest, MPU_FW_SUB_REPEAT_BLOCK);
  EXPECT_EQ(repeat->Info.BlockId, 4u);
  EXPECT_EQ(Packet(repeat->Data.begin(), repeat->Data.end()),
            Packet(packets[3].begin() + 64, packets[3].begin() + 320));
  const auto next = DecodeFirmwareDataPacket(packets[5]);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Info.SubRequest, MPU_FW_SUB_NEXT_BLOCK);
  EXPECT_EQ(next->Info.BlockId, 4u);
  EXPECT_EQ(next->Data[0], static_cast<std::uint8_t>(4 * 256 + 1));
}

TEST_F(Firmware, MalformedStartAnswersAreRefused) {
  for (std::uint16_t blockSize : {std::uint16_t{0}, std::uint16_t{257}}) {
    SCOPED_TRACE(blockSize);
    fw.clear();
    ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, 128, csNone, 1, 0, 0, Image(600)));
    TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
    start.BlockSize = blockSize;
    start.BlockCount = 1000;
    AnswerDownload(start);
    EXPECT_EQ(Events(1), (std::vector<std::string>{"error 136"}));
    EXPECT_TRUE(DataPackets().empty());
    EXPECT_FALSE(mpu->FirmwareDownloadControl().Initialized);
  }
}

TEST_F(Firmware, AnAbortedDownloadSendsNoMoreBlocks) {
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, 128, csNone, 1, 0, 0, Image(2000)));
  TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
  start.BlockSize = 256;
  start.BlockCount = 100;
  AnswerDownload(start);
  ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == 1; }));
  ASSERT_TRUE(mpu->AbortFirmwareDownload());
  AnswerDownload(Info(MPU_FW_SUB_NEXT_BLOCK));
  AnswerDownload(Info(MPU_FW_SUB_REPEAT_BLOCK));
  Pump(100);
  EXPECT_EQ(DataPackets().size(), 1u);
  // Still running until the unit confirms: a new transfer is refused.
  EXPECT_FALSE(mpu->RequestFirmwareUpload(17, 0, csNone));
  EXPECT_EQ(mpu->LastError(), MPU_ERR_TRANSFER_RUNNING);
  AnswerDownload(Info(MPU_FW_SUB_FINISH));
  ASSERT_TRUE(WaitFor([&] { return !mpu->FirmwareDownloadControl().Initialized; }));
  EXPECT_TRUE(mpu->RequestFirmwareUpload(17, 0, csNone));
}

TEST_F(Firmware, RequestGuards) {
  struct Case {
    const char* What;
    std::function<bool()> Call;
    std::uint32_t Error;
  };
  const std::vector<std::uint8_t> max(kMaxFirmwareImageSize), tooBig(kMaxFirmwareImageSize + 1);
  const Case cases[] = {
      {"firmware id 0", [&] { return mpu->RequestFirmwareUpload(0, 0, csNone); }, MPU_ERR_FIRMWARE_ID},
      {"firmware id 66", [&] { return mpu->RequestFirmwareUpload(66, 0, csNone); }, MPU_ERR_FIRMWARE_ID},
      {"source id 129", [&] { return mpu->RequestFirmwareUpload(17, 129, csNone); }, MPU_ERR_FIRMWARE_ID},
      {"image above 4 MiB", [&] { return mpu->RequestFirmwareDownload(0, 33, 128, csNone, 1, 0, 0, tooBig); },
       MPU_ERR_IMAGE_TOO_LARGE},
      {"abort without a download", [&] { return mpu->AbortFirmwareDownload(); }, MPU_ERR_NO_TRANSFER},
      {"abort without an upload", [&] { return mpu->AbortFirmwareUpload(); }, MPU_ERR_NO_TRANSFER},
      {"image of exactly 4 MiB", [&] { return mpu->RequestFirmwareDownload(0, 33, 128, csNone, 1, 0, 0, max); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(c.Call(), c.Error == 0);
    EXPECT_EQ(mpu->LastError(), c.Error);
  }
  mpu->Disconnect();
  EXPECT_FALSE(mpu->RequestFirmwareUpload(17, 0, csNone));
  EXPECT_EQ(mpu->LastError(), MPU_ERR_NOT_OPEN);
}

TEST_F(Firmware, UploadCollectsTheBlocks) {
  ASSERT_TRUE(mpu->RequestFirmwareUpload(33, 0, csNone));
  TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
  start.SourceId = 0;
  start.VersionInfo = {33, 3, 1, 77, 0, {}};
  start.BlockSize = 256;
  start.BlockCount = 3;
  Answer(MPU_OP_FIRMWARE_UPLOAD, start);
  ASSERT_TRUE(WaitFor([&] { return XferRequests(MPU_OP_FIRMWARE_UPLOAD).size() == 2; }));
  for (std::uint32_t block = 0; block < 3; ++block) {
    TMPUFirmwareXferInfo info = Info(MPU_FW_SUB_NEXT_BLOCK);
    info.SourceId = 0;
    info.BlockSize = 256;
    info.BlockCount = 3;
    info.BlockId = block;
    Packet packet(320, 0);
    ASSERT_TRUE(EncodeFirmwareDataPacket(packet, info, Packet(256, static_cast<std::uint8_t>(0x10 + block))));
    Unit().Push(0x82, packet);
    ASSERT_TRUE(WaitFor([&] { return XferRequests(MPU_OP_FIRMWARE_UPLOAD).size() == 3 + block; }));
  }
  EXPECT_EQ(XferRequests(MPU_OP_FIRMWARE_UPLOAD),
            (std::vector<int>{MPU_FW_SUB_START, MPU_FW_SUB_NEXT_BLOCK, MPU_FW_SUB_NEXT_BLOCK, MPU_FW_SUB_NEXT_BLOCK,
                              MPU_FW_SUB_FINISH}));
  TMPUFirmwareXferInfo finish = Info(MPU_FW_SUB_FINISH);
  finish.SourceId = 0;
  Answer(MPU_OP_FIRMWARE_UPLOAD, finish);
  EXPECT_EQ(Events(5), (std::vector<std::string>{"upload begin", "upload 1", "upload 2", "upload 3", "upload end"}));
  ASSERT_EQ(mpu->FirmwareUploadSize(), 768u);
  const auto data = mpu->FirmwareUploadData();
  EXPECT_EQ(data[0], 0x10);
  EXPECT_EQ(data[511], 0x11);
  EXPECT_EQ(data[767], 0x12);
  EXPECT_EQ(mpu->FirmwareUploadVerMinor(), 1);
  EXPECT_EQ(mpu->FirmwareUploadVerBuild(), 77);
}

TEST_F(Firmware, UploadOfAnEmptyOrOversizedImage) {
  ASSERT_TRUE(mpu->RequestFirmwareUpload(33, 0, csNone));
  TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
  start.SourceId = 0;
  start.BlockSize = 256;
  start.BlockCount = 0;
  Answer(MPU_OP_FIRMWARE_UPLOAD, start);
  Pump(100);
  EXPECT_TRUE(fw.empty());
  EXPECT_FALSE(mpu->FirmwareUploadControl().Initialized);

  start.BlockCount = 0x00FFFFFF;  // 4 GiB: never allocated
  Answer(MPU_OP_FIRMWARE_UPLOAD, start);
  EXPECT_EQ(Events(1), (std::vector<std::string>{"error 136"}));
  EXPECT_FALSE(mpu->FirmwareUploadControl().Initialized);
  EXPECT_EQ(XferRequests(MPU_OP_FIRMWARE_UPLOAD).back(), MPU_FW_SUB_ABORT);
}

TEST_F(Firmware, ProgrammingFollowsTheDownload) {
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, 128, csNone, 1, 0, 0, Image(100)));
  TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
  start.BlockSize = 256;
  start.BlockCount = 10;
  AnswerDownload(start);
  ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == 1; }));
  EXPECT_FALSE(mpu->RequestFirmwareProgramming(33, 0, 128));  // refused: a download runs
  EXPECT_EQ(mpu->LastError(), MPU_ERR_TRANSFER_RUNNING);
  AnswerDownload(Info(MPU_FW_SUB_NEXT_BLOCK));
  AnswerDownload(Info(MPU_FW_SUB_FINISH));
  ASSERT_TRUE(WaitFor([&] { return !mpu->FirmwareDownloadControl().Initialized; }));

  EXPECT_FALSE(mpu->RequestFirmwareProgramming(33, 0, 128));  // always false; the frame is queued
  EXPECT_EQ(mpu->LastError(), 0u);
  ASSERT_TRUE(WaitFor([&] { return Unit().Written(0x01).back()[0] == MPU_OP_FIRMWARE_PROGRAM; }));
  const Packet req = LastWritten();
  EXPECT_EQ((Packet(req.begin(), req.begin() + 7)), (Packet{0xE8, 2, 12, 0, 33, 128, 1}));

  auto prog = [](std::uint8_t sub, std::uint32_t count, std::uint32_t block, std::uint8_t error = 0) {
    return TMPUFirmwareProgInfo{error, 33, 128, sub, count, block};
  };
  Answer(MPU_OP_FIRMWARE_PROGRAM, prog(MPU_FW_SUB_START, 2, 0));
  Answer(MPU_OP_FIRMWARE_PROGRAM, prog(MPU_FW_SUB_ERASE, 0, 0));
  Answer(MPU_OP_FIRMWARE_PROGRAM, TMPUFirmwareProgInfo{0, 17, 128, MPU_FW_SUB_PROGRESS, 0, 9});  // another image
  Answer(MPU_OP_FIRMWARE_PROGRAM, prog(MPU_FW_SUB_PROGRESS, 0, 1));
  Answer(MPU_OP_FIRMWARE_PROGRAM, prog(MPU_FW_SUB_PROGRESS, 0, 2));
  Answer(MPU_OP_FIRMWARE_PROGRAM, prog(MPU_FW_SUB_FINISH, 0, 0));
  const auto seen = Events(8);
  EXPECT_EQ(std::vector<std::string>(seen.begin() + 3, seen.end()),
            (std::vector<std::string>{"program begin", "program erase", "program 1", "program 2", "program end"}));
  EXPECT_EQ(mpu->FirmwareProgramBlockCount(), 2u);

  // An error while programming ends it.
  fw.clear();
  Answer(MPU_OP_FIRMWARE_PROGRAM, prog(MPU_FW_SUB_START, 2, 0));
  Answer(MPU_OP_FIRMWARE_PROGRAM, prog(MPU_FW_SUB_PROGRESS, 0, 1, 0x94));
  Answer(MPU_OP_FIRMWARE_PROGRAM, prog(MPU_FW_SUB_PROGRESS, 0, 2));
  Pump(50);
  EXPECT_EQ(Events(2), (std::vector<std::string>{"program begin", "program error 148"}));
}

TEST_F(Firmware, HandlerExceptionsAreDiscardedWhereTheEngineGuardsThem) {
  mpu->OnFirmwareDownloadBegin = [](TAldraneMPU&) { throw std::runtime_error("begin"); };
  mpu->OnFirmwareDownloadProgress = [](TAldraneMPU&, std::uint32_t) { throw std::runtime_error("progress"); };
  std::vector<std::string> reported;
  mpu->OnHandlerException = [&](TAldraneMPU&, const char* what) { reported.emplace_back(what); };
  ASSERT_TRUE(mpu->RequestFirmwareDownload(0, 33, 128, csNone, 1, 0, 0, Image(300)));
  TMPUFirmwareXferInfo start = Info(MPU_FW_SUB_START);
  start.BlockSize = 256;
  start.BlockCount = 10;
  AnswerDownload(start);
  ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == 1; }));
  AnswerDownload(Info(MPU_FW_SUB_NEXT_BLOCK));
  ASSERT_TRUE(WaitFor([&] { return DataPackets().size() == 2; }));
  EXPECT_TRUE(reported.empty());
}

}  // namespace
}  // namespace mpu::test
