// The state of one firmware transfer (upload, download or programming).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/mixer_types.h"

namespace mpu {

// Largest image a download takes.
inline constexpr std::uint32_t kMaxFirmwareImageSize = 0x400000;  // 4 MiB
inline constexpr std::uint32_t kMaxFirmwareId = 65;
inline constexpr std::uint32_t kMaxFirmwareSourceId = 128;

struct TMPUFirmwareXferControl {
  bool Initialized = false;
  bool Finalized = false;
  bool Terminated = false;
  std::uint8_t FirmwareId = 0;
  std::uint8_t FirmwareMajor = 0;
  std::uint8_t FirmwareMinor = 0;
  std::uint16_t FirmwareBuild = 0;
  std::uint8_t SourceId = 0;
  std::uint8_t DeviceId = 0;
  std::uint16_t BlockSize = 0;
  std::uint32_t BlockCount = 0;
  std::uint32_t BlockId = 0;
  TMPUDataChecksumType ChecksumType = csNone;
  std::uint8_t ChecksumSize = 0;
  std::array<std::uint8_t, 18> CheckSum{};
  std::uint32_t ImageSize = 0;
  std::vector<std::uint8_t> Buffer;
  std::uint32_t BufferPointer = 0;
};

}  // namespace mpu
