// Packets of the data pipes (0x02 OUT, 0x82 IN): metering blocks from the
// MPU and firmware image blocks in either direction. Byte 0 gives the type.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/mixer_types.h"
#include "protocol/system_records.h"
#include "protocol/wire.h"

namespace mpu {

// Type byte of a data packet, or nullopt for an empty packet.
std::optional<std::uint8_t> DataPacketType(wire::Bytes packet);

// ---------------------------------------------------------------------------
// Metering packet: 0x55, one byte not interpreted, block length n (Word at
// 2), the metering block from byte 4.

inline constexpr std::size_t kMeteringHeaderSize = 4;
// The receiver's metering store holds this many meters.
inline constexpr std::size_t kMeteringStoreSize = 256;
// A meter with no data (-64 dB).
inline constexpr std::uint8_t kMeterNoData = 0x80;

struct MeteringPacketView {
  std::uint16_t AnnouncedLength = 0;  // n as the packet states it
  wire::Bytes Block;                  // the bytes present, at most n
};

// Reads a metering packet. Fails for a packet shorter than its header or of
// another type. The block never reaches past the packet: a length larger
// than the bytes present gives only the bytes present.
std::optional<MeteringPacketView> DecodeMeteringPacket(wire::Bytes packet);

// Writes a metering packet (cleared first) carrying `block`. Returns the
// bytes used, or 0 when the packet cannot hold the header and the block.
std::size_t EncodeMeteringPacket(wire::MutableBytes packet, wire::Bytes block);

// ---------------------------------------------------------------------------
// Meter index map: byte i of the block is meter i, a signed level in half-dB
// steps. -1 means the meter does not exist.

// Bus meters: PGM1, PGM2, REC, AUX, CF1..CF6 and PFL are stereo; CFA and CFB
// are mono (the same byte for both sides).
int BusMeterIndex(BusId bus, bool right);
// Microphones 1..12: pre meter at 39 + n, post meter at 171 + n.
int MicPreMeterIndex(int mic);
int MicPostMeterIndex(int mic);
// Talkback units 0 (A) and 1 (B): pre 62, 63; post 206, 207.
int TbuPreMeterIndex(int tbu);
int TbuPostMeterIndex(int tbu);
// Stereo inputs numbered from 1: line 1..13, USB 1..8, AES 1..4, AoIP 1..8.
int LineMeterIndex(int line, bool right);
int UsbInMeterIndex(int usb, bool right);
int AesInMeterIndex(int aes, bool right);
int AoIPInMeterIndex(int aoip, bool right);
inline constexpr int kMeterRevTB = 60;
inline constexpr int kMeterTBMic = 61;
inline constexpr int kMeterExtMonL = 90;
inline constexpr int kMeterExtMonR = 91;

// The (pre) meter of an input source id, -1 when it has none. Mono sources
// give the same byte for both sides.
int SourceMeterIndex(std::uint16_t sourceId, bool right);

// Name of the meter at a block index ("PGM1 L", "MIC 3 pre", "LINE 13 R",
// ...), or an empty view for bytes the program does not show.
std::string_view MeterName(int index);

// ---------------------------------------------------------------------------
// Firmware data packet: 0xAA, 1, a TMPUFirmwareXferInfo at 2, zeros to 63,
// the block's image bytes from 64.

inline constexpr std::size_t kFirmwareInfoOffset = 2;
inline constexpr std::size_t kFirmwareDataOffset = 64;

// Largest block a data packet of `packetSize` bytes can carry.
constexpr std::size_t MaxFirmwareBlockSize(std::size_t packetSize) {
  return packetSize > kFirmwareDataOffset ? packetSize - kFirmwareDataOffset : 0;
}

struct FirmwareDataPacketView {
  TMPUFirmwareXferInfo Info;
  wire::Bytes Data;  // Info.BlockSize bytes
};

// Reads a firmware data packet. Fails for another type, a packet shorter
// than 64 bytes, or a BlockSize that reaches past the packet.
std::optional<FirmwareDataPacketView> DecodeFirmwareDataPacket(wire::Bytes packet);

// Writes a firmware data packet (cleared first): the record with its
// BlockSize and the data. Returns false, writing nothing, when the data does
// not fit the packet or is not BlockSize bytes long.
bool EncodeFirmwareDataPacket(wire::MutableBytes packet, const TMPUFirmwareXferInfo& info, wire::Bytes data);

}  // namespace mpu
