// Payload records of the system opcodes (192..255) and the other records
// that concern the unit rather than the mix: session, mass update,
// configuration store, consoles, board tags, power, markers, audio-board
// access, clock, camera interface, health, firmware information, transfer
// and programming. Offsets are inside the frame's payload.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/wire.h"

namespace mpu {

using wire::Chars;

struct TMPUSessionMessage {
  static constexpr std::size_t kSize = 9;
  std::uint8_t Active = 0;  // 1 begin or renew, 0 end; answer: 1 granted
  std::int64_t Key = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Active", r.Active);
    v(1, "Key", r.Key);
  }
};

struct TMPUMassUpdateMessage {
  static constexpr std::size_t kSize = 2;
  std::uint8_t Active = 0;
  std::uint8_t Silent = 0;  // suppress change notifications

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Active", r.Active);
    v(1, "Silent", r.Silent);
  }
};

struct TMPUConfigStoreMessage {
  static constexpr std::size_t kSize = 4;
  std::uint16_t ControlFlags = 0;  // 0 report, 1 rewrite, 3 default
  std::uint16_t Version = 0;       // answer: high byte major, low byte minor

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ControlFlags", r.ControlFlags);
    v(2, "Version", r.Version);
  }
};

// One console of the console list.
struct TMPUConsoleEntry {
  static constexpr std::size_t kSize = 12;
  std::uint8_t ConsoleId = 0;   // position in the list, 0-based
  std::uint8_t StripCount = 0;
  std::uint8_t Location = 0;    // TMPU_LOCATION_TYPE
  std::uint8_t Interface = 0;   // TMPU_CONSOLE_INTERFACE
  std::uint16_t PortNumber = 0;
  std::uint8_t ConsoleType = 0; // TMPU_CONSOLE_TYPE
  std::uint8_t Reserved1 = 0;
  std::uint8_t Brightness = 0;  // 0..7
  std::array<std::uint8_t, 3> Reserved2{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ConsoleId", r.ConsoleId);
    v(1, "StripCount", r.StripCount);
    v(2, "Location", r.Location);
    v(3, "Interface", r.Interface);
    v(4, "PortNumber", r.PortNumber);
    v(6, "ConsoleType", r.ConsoleType);
    v(7, "Reserved1", r.Reserved1);
    v(8, "Brightness", r.Brightness);
    v(9, "Reserved2", r.Reserved2);
  }
};

struct TMPUConsoleListMessage {
  static constexpr std::size_t kSize = 104;
  static constexpr std::size_t kMaxEntries = 8;
  std::uint8_t ConsoleCount = 0;
  std::uint8_t MaxConsoles = 0;
  std::uint8_t StripCount = 0;
  std::uint8_t MaxStrips = 0;
  std::array<std::uint8_t, 4> Reserved{};
  std::array<TMPUConsoleEntry, kMaxEntries> Consoles{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ConsoleCount", r.ConsoleCount);
    v(1, "MaxConsoles", r.MaxConsoles);
    v(2, "StripCount", r.StripCount);
    v(3, "MaxStrips", r.MaxStrips);
    v(4, "Reserved", r.Reserved);
    v(8, "Consoles", r.Consoles);
  }
};

struct TMPUConsoleBrightnessMessage {
  static constexpr std::size_t kSize = 2;
  std::uint8_t ConsoleId = 0;
  std::uint8_t Brightness = 0;  // 0..7

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ConsoleId", r.ConsoleId);
    v(1, "Brightness", r.Brightness);
  }
};

// Local date and time.
struct TMPUTimestampTag {
  static constexpr std::size_t kSize = 8;
  std::uint16_t Year = 0;
  std::uint8_t Month = 0;  // 1..12
  std::uint8_t Day = 0;
  std::uint8_t Hour = 0;
  std::uint8_t Minute = 0;
  std::uint8_t Second = 0;
  std::uint8_t Reserved = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Year", r.Year);
    v(2, "Month", r.Month);
    v(3, "Day", r.Day);
    v(4, "Hour", r.Hour);
    v(5, "Minute", r.Minute);
    v(6, "Second", r.Second);
    v(7, "Reserved", r.Reserved);
  }
};

// Board identification tag. Text fields are ISO 8859-1, NUL-terminated.
struct TMPUBoardTagMessage {
  static constexpr std::size_t kSize = 123;
  static constexpr std::size_t kSerialNoChars = 36;
  static constexpr std::size_t kRevisionChars = 16;
  static constexpr std::size_t kBatchChars = 20;
  static constexpr std::size_t kManufacturerChars = 16;
  static constexpr std::size_t kQualityCheckChars = 20;
  std::uint8_t BoardId = 0;
  Chars<37> SerialNo{};
  Chars<17> Revision{};
  Chars<21> Batch{};
  Chars<17> Manufacturer{};
  Chars<21> QualityCheck{};
  TMPUTimestampTag TimeStamp{};
  std::uint8_t DeviceId = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "BoardId", r.BoardId);
    v(1, "SerialNo", r.SerialNo);
    v(38, "Revision", r.Revision);
    v(55, "Batch", r.Batch);
    v(76, "Manufacturer", r.Manufacturer);
    v(93, "QualityCheck", r.QualityCheck);
    v(114, "TimeStamp", r.TimeStamp);
    v(122, "DeviceId", r.DeviceId);
  }
};

struct TMPUWriteUnlockMessage {
  static constexpr std::size_t kSize = 4;
  std::uint32_t Key = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Key", r.Key);
  }
};

struct TMPUPowerControlMessage {
  static constexpr std::size_t kSize = 3;
  std::uint8_t ModuleId = 0;  // power supply 0..2
  std::uint8_t RailId = 0;    // 0 +3.3 V, 1 +12 V, 2 -12 V, 3 24 V input
  std::uint8_t Active = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ModuleId", r.ModuleId);
    v(1, "RailId", r.RailId);
    v(2, "Active", r.Active);
  }
};

struct TMPUMarkerMessage {
  static constexpr std::size_t kSize = 12;
  std::uint32_t MarkerId = 0;
  std::uint32_t Param1 = 0;
  std::uint32_t Param2 = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "MarkerId", r.MarkerId);
    v(4, "Param1", r.Param1);
    v(8, "Param2", r.Param2);
  }
};

// Audio-board register access.
struct TMPUABDirectMessage {
  static constexpr std::size_t kSize = 67;
  std::uint16_t Address = 0;  // bits 0..13 address, 14 multi-HAM, 15 write
  std::uint8_t Count = 0;     // 1..32 values
  std::array<std::uint16_t, 32> Values{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Address", r.Address);
    v(2, "Count", r.Count);
    v(3, "Values", r.Values);
  }
};

// The frame announces PayloadLen 18 for this one-byte record.
struct TMPUClockSourceMessage {
  static constexpr std::size_t kSize = 1;
  std::uint8_t ClockSourceId = 0;  // 0 internal, 1 external

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ClockSourceId", r.ClockSourceId);
  }
};

struct TMPUCamInterfaceMessage {
  static constexpr std::size_t kSize = 7;
  std::uint16_t InSourceID = 0;
  std::uint16_t OutSourceId = 0;
  std::uint8_t Active = 0;
  bool MapLeftChannel = false;
  bool MapRightChannel = false;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "InSourceID", r.InSourceID);
    v(2, "OutSourceId", r.OutSourceId);
    v(4, "Active", r.Active);
    v(5, "MapLeftChannel", r.MapLeftChannel);
    v(6, "MapRightChannel", r.MapRightChannel);
  }
};

// One power supply of the health report.
struct TMPUPowerSupplyInfo {
  static constexpr std::size_t kSize = 10;
  std::uint8_t Reserved0 = 0;
  std::uint8_t Kind = 0;          // 0 not present; >= 2 reports temperature and humidity
  std::uint16_t RailHealth = 0;   // kPsuGood* bits
  std::uint8_t RailSwitches = 0;  // bit n = PowerRail n switched on
  std::int16_t Temperature = 0;   // tenths of a degree Celsius
  std::uint16_t Humidity = 0;     // tenths of a percent
  std::uint8_t Reserved9 = 0;

  constexpr bool Present() const { return Kind != 0; }
  constexpr bool HasEnvironment() const { return Kind >= 2; }

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Reserved0", r.Reserved0);
    v(1, "Kind", r.Kind);
    v(2, "RailHealth", r.RailHealth);
    v(4, "RailSwitches", r.RailSwitches);
    v(5, "Temperature", r.Temperature);
    v(7, "Humidity", r.Humidity);
    v(9, "Reserved9", r.Reserved9);
  }
};

// Answer of MPU_OP_HEALTH_INFO.
struct TMPUHealthInfo {
  static constexpr std::size_t kSize = 57;
  std::uint16_t Host_VDD120 = 0;  // millivolts
  std::uint16_t Host_VDD50 = 0;
  std::uint16_t Host_VDD33 = 0;
  std::uint16_t Host_Temp = 0;    // tenths of a degree Celsius
  std::uint16_t XMOS_VDD10 = 0;
  std::uint16_t XMOS_VDD18 = 0;
  std::uint8_t XMOS_ModId = 0;    // 0 = not present
  std::uint8_t XMOS_RunStatus = 0;
  std::uint8_t Host_GPIO_Ok = 0;
  std::uint8_t FCS1_Pwr_Status = 0;
  std::uint8_t FCS2_Pwr_Status = 0;
  std::uint32_t Host_TestFailures = 0;  // bit set = self-test failed
  std::uint8_t AB_Present = 0;
  std::uint8_t AB_RunStatus = 0;
  std::uint16_t AB_PSUStatus = 0;
  std::array<TMPUPowerSupplyInfo, 3> PSU_Info{};
  std::uint8_t TemperatureStatus = 0;
  std::uint8_t HumidityStatus = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Host_VDD120", r.Host_VDD120);
    v(2, "Host_VDD50", r.Host_VDD50);
    v(4, "Host_VDD33", r.Host_VDD33);
    v(6, "Host_Temp", r.Host_Temp);
    v(8, "XMOS_VDD10", r.XMOS_VDD10);
    v(10, "XMOS_VDD18", r.XMOS_VDD18);
    v(12, "XMOS_ModId", r.XMOS_ModId);
    v(13, "XMOS_RunStatus", r.XMOS_RunStatus);
    v(14, "Host_GPIO_Ok", r.Host_GPIO_Ok);
    v(15, "FCS1_Pwr_Status", r.FCS1_Pwr_Status);
    v(16, "FCS2_Pwr_Status", r.FCS2_Pwr_Status);
    v(17, "Host_TestFailures", r.Host_TestFailures);
    v(21, "AB_Present", r.AB_Present);
    v(22, "AB_RunStatus", r.AB_RunStatus);
    v(23, "AB_PSUStatus", r.AB_PSUStatus);
    v(25, "PSU_Info", r.PSU_Info);
    v(55, "TemperatureStatus", r.TemperatureStatus);
    v(56, "HumidityStatus", r.HumidityStatus);
  }
};

// One firmware of the unit's firmware list.
struct TMPUFirmwareInfo {
  static constexpr std::size_t kSize = 8;
  std::uint8_t FirmwareId = 0;
  std::uint8_t VersionMajor = 0;
  std::uint8_t VersionMinor = 0;
  std::uint16_t VersionBuild = 0;
  std::uint8_t DeviceId = 0;
  std::array<std::uint8_t, 2> Reserved{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "FirmwareId", r.FirmwareId);
    v(1, "VersionMajor", r.VersionMajor);
    v(2, "VersionMinor", r.VersionMinor);
    v(3, "VersionBuild", r.VersionBuild);
    v(5, "DeviceId", r.DeviceId);
    v(6, "Reserved", r.Reserved);
  }
};

// Answer of MPU_OP_FIRMWARE_INFO: the connection handshake.
struct TMPUFirmwareInfoMsg {
  static constexpr std::size_t kSize = 94;
  static constexpr std::size_t kMaxFirmwares = 10;
  static constexpr std::array<std::uint8_t, 8> kSignature = {'@', '4', 'L', 'D', 'R', '4', 'N', '3'};
  std::array<std::uint8_t, 8> Signature{};
  std::uint8_t PacketPageSize = 0;     // bytes per page
  std::uint8_t ControlPacketSize = 0;  // pages
  std::uint8_t DataPacketSize = 0;     // pages
  std::uint8_t AuxPacketSize = 0;      // pages
  std::uint8_t AuxFunction = 0;
  std::uint8_t FirmwareCount = 0;      // valid entries, at most 10
  std::array<TMPUFirmwareInfo, kMaxFirmwares> Firmwares{};

  constexpr bool SignatureValid() const { return Signature == kSignature; }
  // Packet sizes in bytes.
  constexpr std::size_t ControlPacketBytes() const { return std::size_t{ControlPacketSize} * PacketPageSize; }
  constexpr std::size_t DataPacketBytes() const { return std::size_t{DataPacketSize} * PacketPageSize; }
  constexpr std::size_t AuxPacketBytes() const { return std::size_t{AuxPacketSize} * PacketPageSize; }
  // Number of usable list entries: FirmwareCount, limited to the array.
  constexpr std::size_t ValidFirmwareCount() const {
    return FirmwareCount < kMaxFirmwares ? FirmwareCount : kMaxFirmwares;
  }

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Signature", r.Signature);
    v(8, "PacketPageSize", r.PacketPageSize);
    v(9, "ControlPacketSize", r.ControlPacketSize);
    v(10, "DataPacketSize", r.DataPacketSize);
    v(11, "AuxPacketSize", r.AuxPacketSize);
    v(12, "AuxFunction", r.AuxFunction);
    v(13, "FirmwareCount", r.FirmwareCount);
    v(14, "Firmwares", r.Firmwares);
  }
};

// Request of MPU_OP_FIRMWARE_UPLOAD and MPU_OP_FIRMWARE_DOWNLOAD.
struct TMPUFirmwareXferRequest {
  static constexpr std::size_t kSize = 4;
  std::uint8_t FirmwareId = 0;
  std::uint8_t SourceId = 0;  // 0 flash, 128 staging buffer
  std::uint8_t SubRequest = 0;
  std::uint8_t ChecksumType = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "FirmwareId", r.FirmwareId);
    v(1, "SourceId", r.SourceId);
    v(2, "SubRequest", r.SubRequest);
    v(3, "ChecksumType", r.ChecksumType);
  }
};

// Request of MPU_OP_FIRMWARE_PROGRAM, sent with frame revision 2.
struct TMPUFirmwareProgRequest {
  static constexpr std::size_t kSize = 12;
  static constexpr std::uint8_t kRevision = 2;
  std::uint8_t FirmwareId = 0;
  std::uint8_t SourceId = 0;
  std::uint8_t SubRequest = 0;
  TMPUTimestampTag Timestamp{};
  std::uint8_t DeviceId = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "FirmwareId", r.FirmwareId);
    v(1, "SourceId", r.SourceId);
    v(2, "SubRequest", r.SubRequest);
    v(3, "Timestamp", r.Timestamp);
    v(11, "DeviceId", r.DeviceId);
  }
};

// Answer of a transfer step; also the header of every firmware data packet.
struct TMPUFirmwareXferInfo {
  static constexpr std::size_t kSize = 48;
  std::uint8_t ErrorId = 0;
  std::uint8_t FirmwareId = 0;
  std::uint8_t SourceId = 0;
  std::uint8_t SubRequest = 0;
  TMPUFirmwareInfo VersionInfo{};
  std::uint16_t BlockSize = 0;
  std::uint32_t BlockCount = 0;
  std::uint32_t BlockId = 0;
  std::uint8_t ChecksumType = 0;
  std::uint8_t ChecksumSize = 0;
  std::array<std::uint8_t, 8> Reserved{};
  std::array<std::uint8_t, 16> CheckSum{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ErrorId", r.ErrorId);
    v(1, "FirmwareId", r.FirmwareId);
    v(2, "SourceId", r.SourceId);
    v(3, "SubRequest", r.SubRequest);
    v(4, "VersionInfo", r.VersionInfo);
    v(12, "BlockSize", r.BlockSize);
    v(14, "BlockCount", r.BlockCount);
    v(18, "BlockId", r.BlockId);
    v(22, "ChecksumType", r.ChecksumType);
    v(23, "ChecksumSize", r.ChecksumSize);
    v(24, "Reserved", r.Reserved);
    v(32, "CheckSum", r.CheckSum);
  }
};

// Answer of a programming step.
struct TMPUFirmwareProgInfo {
  static constexpr std::size_t kSize = 12;
  std::uint8_t ErrorId = 0;
  std::uint8_t FirmwareId = 0;
  std::uint8_t SourceId = 0;
  std::uint8_t SubRequest = 0;
  std::uint32_t BlockCount = 0;
  std::uint32_t BlockId = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ErrorId", r.ErrorId);
    v(1, "FirmwareId", r.FirmwareId);
    v(2, "SourceId", r.SourceId);
    v(3, "SubRequest", r.SubRequest);
    v(4, "BlockCount", r.BlockCount);
    v(8, "BlockId", r.BlockId);
  }
};

static_assert(wire::IsContiguous<TMPUSessionMessage>());
static_assert(wire::IsContiguous<TMPUMassUpdateMessage>());
static_assert(wire::IsContiguous<TMPUConfigStoreMessage>());
static_assert(wire::IsContiguous<TMPUConsoleEntry>());
static_assert(wire::IsContiguous<TMPUConsoleListMessage>());
static_assert(wire::IsContiguous<TMPUConsoleBrightnessMessage>());
static_assert(wire::IsContiguous<TMPUTimestampTag>());
static_assert(wire::IsContiguous<TMPUBoardTagMessage>());
static_assert(wire::IsContiguous<TMPUWriteUnlockMessage>());
static_assert(wire::IsContiguous<TMPUPowerControlMessage>());
static_assert(wire::IsContiguous<TMPUMarkerMessage>());
static_assert(wire::IsContiguous<TMPUABDirectMessage>());
static_assert(wire::IsContiguous<TMPUClockSourceMessage>());
static_assert(wire::IsContiguous<TMPUCamInterfaceMessage>());
static_assert(wire::IsContiguous<TMPUPowerSupplyInfo>());
static_assert(wire::IsContiguous<TMPUHealthInfo>());
static_assert(wire::IsContiguous<TMPUFirmwareInfo>());
static_assert(wire::IsContiguous<TMPUFirmwareInfoMsg>());
static_assert(wire::IsContiguous<TMPUFirmwareXferRequest>());
static_assert(wire::IsContiguous<TMPUFirmwareProgRequest>());
static_assert(wire::IsContiguous<TMPUFirmwareXferInfo>());
static_assert(wire::IsContiguous<TMPUFirmwareProgInfo>());

}  // namespace mpu
