#include "protocol/data_packets.h"

#include <algorithm>
#include <array>
#include <string>

#include "protocol/id_tables.h"

namespace mpu {

std::optional<std::uint8_t> DataPacketType(wire::Bytes packet) {
  if (packet.empty()) return std::nullopt;
  return packet[0];
}

std::optional<MeteringPacketView> DecodeMeteringPacket(wire::Bytes packet) {
  if (packet.size() < kMeteringHeaderSize || packet[0] != MPU_PKT_METERING) return std::nullopt;
  MeteringPacketView view;
  view.AnnouncedLength = wire::GetLE<std::uint16_t>(packet.data() + 2);
  const std::size_t present = packet.size() - kMeteringHeaderSize;
  view.Block = packet.subspan(kMeteringHeaderSize, std::min<std::size_t>(view.AnnouncedLength, present));
  return view;
}

std::size_t EncodeMeteringPacket(wire::MutableBytes packet, wire::Bytes block) {
  if (block.size() > 0xFFFF || packet.size() < kMeteringHeaderSize + block.size()) return 0;
  std::fill(packet.begin(), packet.end(), std::uint8_t{0});
  packet[0] = MPU_PKT_METERING;
  wire::PutLE<std::uint16_t>(packet.data() + 2, static_cast<std::uint16_t>(block.size()));
  std::copy(block.begin(), block.end(), packet.begin() + kMeteringHeaderSize);
  return kMeteringHeaderSize + block.size();
}

namespace {

int Stereo(int left, bool right) { return left + (right ? 1 : 0); }

bool InRange(int n, int first, int last) { return n >= first && n <= last; }

}  // namespace

int BusMeterIndex(BusId bus, bool right) {
  switch (bus) {
    case BusId::PGM1: return Stereo(0, right);
    case BusId::PGM2: return Stereo(2, right);
    case BusId::REC: return Stereo(4, right);
    case BusId::AUX: return Stereo(6, right);
    case BusId::CFA: return 8;
    case BusId::CFB: return 9;
    case BusId::PFL: return Stereo(22, right);
    default: {
      const int cf = static_cast<int>(bus) - static_cast<int>(BusId::CF1);  // CF1..CF6 -> 0..5
      return InRange(cf, 0, 5) ? Stereo(10 + 2 * cf, right) : -1;
    }
  }
}

int MicPreMeterIndex(int mic) { return InRange(mic, 1, 12) ? 39 + mic : -1; }
int MicPostMeterIndex(int mic) { return InRange(mic, 1, 12) ? 171 + mic : -1; }
int TbuPreMeterIndex(int tbu) { return InRange(tbu, 0, 1) ? 62 + tbu : -1; }
int TbuPostMeterIndex(int tbu) { return InRange(tbu, 0, 1) ? 206 + tbu : -1; }
int LineMeterIndex(int line, bool right) { return InRange(line, 1, 13) ? Stereo(62 + 2 * line, right) : -1; }
int UsbInMeterIndex(int usb, bool right) { return InRange(usb, 1, 8) ? Stereo(90 + 2 * usb, right) : -1; }
int AesInMeterIndex(int aes, bool right) { return InRange(aes, 1, 4) ? Stereo(106 + 2 * aes, right) : -1; }
int AoIPInMeterIndex(int aoip, bool right) { return InRange(aoip, 1, 8) ? Stereo(114 + 2 * aoip, right) : -1; }

int SourceMeterIndex(std::uint16_t id, bool right) {
  const int s = id;
  if (InRange(s, kSrcMic1, kSrcMic1 + 11)) return MicPreMeterIndex(s - kSrcMic1 + 1);
  if (s == kSrcRevTB) return kMeterRevTB;
  if (s == kSrcTBMic) return kMeterTBMic;
  if (s == kSrcTBUA || s == kSrcTBUB) return TbuPreMeterIndex(s - kSrcTBUA);
  if (InRange(s, kSrcLine1, kSrcLine1 + kLineCount - 1)) return LineMeterIndex(s - kSrcLine1 + 1, right);
  if (s == kSrcExtMon) return right ? kMeterExtMonR : kMeterExtMonL;
  if (InRange(s, kSrcUSB1, kSrcUSB1 + kUsbInCount - 1)) return UsbInMeterIndex(s - kSrcUSB1 + 1, right);
  if (InRange(s, kSrcAES1, kSrcAES1 + kAesInCount - 1)) return AesInMeterIndex(s - kSrcAES1 + 1, right);
  if (InRange(s, kSrcAoIP1, kSrcAoIP1 + kAoIPInCount - 1)) return AoIPInMeterIndex(s - kSrcAoIP1 + 1, right);
  return -1;
}

namespace {

// Names of every byte the program shows, built once.
struct MeterNames {
  std::array<std::string, kMeteringStoreSize> names;

  void Stereo(int left, const std::string& base) {
    names[static_cast<std::size_t>(left)] = base + " L";
    names[static_cast<std::size_t>(left + 1)] = base + " R";
  }

  MeterNames() {
    static constexpr std::array<std::string_view, 12> kBuses = {"PGM1", "PGM2", "REC", "AUX", "CFA", "CFB",
                                                                "CF1",  "CF2",  "CF3", "CF4", "CF5", "CF6"};
    for (int b = 0; b < 12; ++b) {
      const auto bus = static_cast<BusId>(b);
      const int l = BusMeterIndex(bus, false), r = BusMeterIndex(bus, true);
      if (l == r) names[static_cast<std::size_t>(l)] = std::string(kBuses[static_cast<std::size_t>(b)]);
      else Stereo(l, std::string(kBuses[static_cast<std::size_t>(b)]));
    }
    Stereo(BusMeterIndex(BusId::PFL, false), "PFL");
    for (int m = 1; m <= 12; ++m) {
      names[static_cast<std::size_t>(MicPreMeterIndex(m))] = "MIC " + std::to_string(m) + " pre";
      names[static_cast<std::size_t>(MicPostMeterIndex(m))] = "MIC " + std::to_string(m) + " post";
    }
    names[kMeterRevTB] = "REV TB";
    names[kMeterTBMic] = "TB MIC";
    for (int t = 0; t < 2; ++t) {
      const std::string tbu = t == 0 ? "TBU A" : "TBU B";
      names[static_cast<std::size_t>(TbuPreMeterIndex(t))] = tbu + " pre";
      names[static_cast<std::size_t>(TbuPostMeterIndex(t))] = tbu + " post";
    }
    for (int n = 1; n <= 13; ++n) Stereo(LineMeterIndex(n, false), "LINE " + std::to_string(n));
    Stereo(kMeterExtMonL, "EXT MON");
    for (int n = 1; n <= 8; ++n) Stereo(UsbInMeterIndex(n, false), "USB " + std::to_string(n));
    for (int n = 1; n <= 4; ++n) Stereo(AesInMeterIndex(n, false), "AES " + std::to_string(n));
    for (int n = 1; n <= 8; ++n) Stereo(AoIPInMeterIndex(n, false), "AoIP " + std::to_string(n));
  }
};

}  // namespace

std::string_view MeterName(int index) {
  static const MeterNames table;
  if (index < 0 || index >= static_cast<int>(kMeteringStoreSize)) return {};
  return table.names[static_cast<std::size_t>(index)];
}

std::optional<FirmwareDataPacketView> DecodeFirmwareDataPacket(wire::Bytes packet) {
  if (packet.size() < kFirmwareDataOffset || packet[0] != MPU_PKT_FIRMWARE_DATA) return std::nullopt;
  FirmwareDataPacketView view;
  view.Info = *wire::Decode<TMPUFirmwareXferInfo>(packet.subspan(kFirmwareInfoOffset));
  if (view.Info.BlockSize > packet.size() - kFirmwareDataOffset) return std::nullopt;
  view.Data = packet.subspan(kFirmwareDataOffset, view.Info.BlockSize);
  return view;
}

bool EncodeFirmwareDataPacket(wire::MutableBytes packet, const TMPUFirmwareXferInfo& info, wire::Bytes data) {
  if (data.size() != info.BlockSize || packet.size() < kFirmwareDataOffset + data.size()) return false;
  std::fill(packet.begin(), packet.end(), std::uint8_t{0});
  packet[0] = MPU_PKT_FIRMWARE_DATA;
  packet[1] = 1;
  wire::Encode(info, packet.subspan(kFirmwareInfoOffset));
  std::copy(data.begin(), data.end(), packet.begin() + kFirmwareDataOffset);
  return true;
}

}  // namespace mpu

