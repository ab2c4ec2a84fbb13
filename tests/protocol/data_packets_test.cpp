// Data-pipe packets: metering blocks, the meter index map, firmware blocks.
#include <gtest/gtest.h>

#include <numeric>
#include <set>
#include <vector>

#include "protocol/data_packets.h"
#include "protocol/id_tables.h"

namespace mpu {
namespace {

using ByteVec = std::vector<std::uint8_t>;

TEST(MeteringPacket, DecodeTakesOnlyTheBytesPresent) {
  ByteVec packet(320, 0);
  packet[0] = MPU_PKT_METERING;
  packet[1] = 0x99;
  packet[2] = 208;
  packet[3] = 0;
  packet[4] = 0xF8;
  const auto view = DecodeMeteringPacket(packet);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->AnnouncedLength, 208);
  EXPECT_EQ(view->Block.size(), 208u);
  EXPECT_EQ(view->Block[0], 0xF8);

  // A length beyond the packet gives the bytes that are there, nothing more.
  packet[2] = 0x00;
  packet[3] = 0x04;  // 1024
  const auto clipped = DecodeMeteringPacket(packet);
  ASSERT_TRUE(clipped);
  EXPECT_EQ(clipped->AnnouncedLength, 1024);
  EXPECT_EQ(clipped->Block.size(), 316u);

  EXPECT_FALSE(DecodeMeteringPacket(wire::Bytes(packet).first(3)));
  packet[0] = MPU_PKT_FIRMWARE_DATA;
  EXPECT_FALSE(DecodeMeteringPacket(packet));
  EXPECT_FALSE(DataPacketType({}));
  EXPECT_EQ(DataPacketType(packet), MPU_PKT_FIRMWARE_DATA);
}

TEST(MeteringPacket, EncodeRoundTrip) {
  ByteVec block(208);
  std::iota(block.begin(), block.end(), 0);
  ByteVec packet(320, 0xEE);
  EXPECT_EQ(EncodeMeteringPacket(packet, block), 212u);
  EXPECT_EQ((ByteVec{packet[0], packet[1], packet[2], packet[3]}), (ByteVec{0x55, 0x00, 0xD0, 0x00}));
  EXPECT_EQ(packet[319], 0);
  const auto view = DecodeMeteringPacket(packet);
  ASSERT_TRUE(view);
  EXPECT_EQ(ByteVec(view->Block.begin(), view->Block.end()), block);
  ByteVec small(100);
  EXPECT_EQ(EncodeMeteringPacket(small, block), 0u);
}

TEST(MeterMap, Indexes) {
  struct Case {
    const char* What;
    int Actual, Expected;
  };
  const Case cases[] = {
      {"PGM1 L", BusMeterIndex(BusId::PGM1, false), 0},
      {"AUX R", BusMeterIndex(BusId::AUX, true), 7},
      {"CFA mono", BusMeterIndex(BusId::CFA, true), 8},
      {"CFB mono", BusMeterIndex(BusId::CFB, false), 9},
      {"CF1 L", BusMeterIndex(BusId::CF1, false), 10},
      {"CF6 R", BusMeterIndex(BusId::CF6, true), 21},
      {"PFL R", BusMeterIndex(BusId::PFL, true), 23},
      {"MIC 1 pre", MicPreMeterIndex(1), 40},
      {"MIC 3 pre", MicPreMeterIndex(3), 42},
      {"MIC 3 post", MicPostMeterIndex(3), 174},
      {"MIC 12 post", MicPostMeterIndex(12), 183},
      {"MIC 13 has none", MicPreMeterIndex(13), -1},
      {"TBU B pre", TbuPreMeterIndex(1), 63},
      {"TBU A post", TbuPostMeterIndex(0), 206},
      {"LINE 1 L", LineMeterIndex(1, false), 64},
      {"LINE 13 L", LineMeterIndex(13, false), 88},
      {"LINE 13 R", LineMeterIndex(13, true), 89},
      {"USB 1 L", UsbInMeterIndex(1, false), 92},
      {"USB 1 R", UsbInMeterIndex(1, true), 93},
      {"USB 8 R", UsbInMeterIndex(8, true), 107},
      {"AES 1 L", AesInMeterIndex(1, false), 108},
      {"AES 4 R", AesInMeterIndex(4, true), 115},
      {"AoIP 1 L", AoIPInMeterIndex(1, false), 116},
      {"AoIP 8 R", AoIPInMeterIndex(8, true), 131},
      {"AoIP 9", AoIPInMeterIndex(9, false), -1},
      {"source REV TB", SourceMeterIndex(kSrcRevTB, true), 60},
      {"source TB MIC", SourceMeterIndex(kSrcTBMic, false), 61},
      {"source EXT MON R", SourceMeterIndex(kSrcExtMon, true), 91},
      {"source LINE 13 R", SourceMeterIndex(kSrcLine1 + 12, true), 89},
      {"source MIC 5", SourceMeterIndex(5, false), 44},
      {"source PGM1 bus has no input meter", SourceMeterIndex(kSrcPGM1, false), -1},
      {"source PC1 has none", SourceMeterIndex(kSrcPC1, false), -1},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Actual, c.Expected) << c.What;
}

TEST(MeterMap, NamesCoverExactlyTheShownBytes) {
  std::set<int> named;
  for (int i = 0; i < 256; ++i)
    if (!MeterName(i).empty()) named.insert(i);
  auto range = [](int a, int b) {
    std::set<int> s;
    for (int i = a; i <= b; ++i) s.insert(i);
    return s;
  };
  std::set<int> expected;
  for (const auto& r : {range(0, 23), range(40, 51), range(60, 131), range(172, 183), range(206, 207)})
    expected.insert(r.begin(), r.end());
  EXPECT_EQ(named, expected);
  EXPECT_EQ(MeterName(8), "CFA");
  EXPECT_EQ(MeterName(42), "MIC 3 pre");
  EXPECT_EQ(MeterName(89), "LINE 13 R");
  EXPECT_EQ(MeterName(-1), "");
  EXPECT_EQ(MeterName(256), "");
}

TEST(FirmwareDataPacket, ByteOffsetsInsideThePacket) {
  TMPUFirmwareXferInfo info;
  info.FirmwareId = 33;
  info.SourceId = 128;
  info.SubRequest = MPU_FW_SUB_REPEAT_BLOCK;
  info.VersionInfo.VersionMajor = 2;
  info.VersionInfo.VersionMinor = 7;
  info.VersionInfo.VersionBuild = 0x0102;
  info.BlockSize = 4;
  info.BlockCount = 0x0304;
  info.BlockId = 0x0506;
  info.ChecksumType = csNone;
  info.ChecksumSize = 0;
  const ByteVec data = {0xA1, 0xA2, 0xA3, 0xA4};
  ByteVec packet(320, 0xEE);
  ASSERT_TRUE(EncodeFirmwareDataPacket(packet, info, data));

  ByteVec expected(320, 0);
  expected[0] = 0xAA;
  expected[1] = 1;
  expected[3] = 33;
  expected[4] = 128;
  expected[5] = 3;
  expected[7] = 2;
  expected[8] = 7;
  expected[9] = 0x02;
  expected[10] = 0x01;
  expected[14] = 4;
  expected[16] = 0x04;
  expected[17] = 0x03;
  expected[20] = 0x06;
  expected[21] = 0x05;
  std::copy(data.begin(), data.end(), expected.begin() + 64);
  EXPECT_EQ(packet, expected);

  const auto view = DecodeFirmwareDataPacket(packet);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->Info.BlockId, 0x0506u);
  EXPECT_EQ(ByteVec(view->Data.begin(), view->Data.end()), data);
}

TEST(FirmwareDataPacket, RefusesBlocksThatDoNotFit) {
  EXPECT_EQ(MaxFirmwareBlockSize(320), 256u);
  EXPECT_EQ(MaxFirmwareBlockSize(64), 0u);
  TMPUFirmwareXferInfo info;
  info.BlockSize = 257;
  ByteVec data(257, 1), packet(320, 0);
  EXPECT_FALSE(EncodeFirmwareDataPacket(packet, info, data));
  info.BlockSize = 8;
  EXPECT_FALSE(EncodeFirmwareDataPacket(packet, info, ByteVec(7)));  // size must match BlockSize

  // A received packet whose BlockSize reaches past it is refused.
  packet[0] = MPU_PKT_FIRMWARE_DATA;
  packet[14] = 0x01;
  packet[15] = 0x01;  // 257
  EXPECT_FALSE(DecodeFirmwareDataPacket(packet));
  packet[14] = 0x00;  // 256 fits exactly
  EXPECT_TRUE(DecodeFirmwareDataPacket(packet));
  EXPECT_FALSE(DecodeFirmwareDataPacket(wire::Bytes(packet).first(63)));
}

}  // namespace
}  // namespace mpu
