// State enumerations and error codes of the device component.
#pragma once

#include <cstdint>

namespace mpu {

enum TMPUConnectionStatus : std::uint8_t { csClosed = 0, csOpening = 1, csOpened = 2 };
enum TMPUSessionStatus : std::uint8_t { ssLoggedOff = 0, ssInitializing = 1, ssLoggedOn = 2 };
enum TMPUDeviceSpeed : std::uint8_t { dsUnknown = 0, dsLow = 1, dsFull = 2, dsHigh = 3, dsSuper = 4 };

// LastError codes of the device component. Other values are errno codes.
inline constexpr std::uint32_t MPU_ERR_LIBRARY_MISSING = 0x20000001;
inline constexpr std::uint32_t MPU_ERR_LIBRARY_VERSION = 0x20000002;
inline constexpr std::uint32_t MPU_ERR_DEVICE_LIST = 0x20000003;
inline constexpr std::uint32_t MPU_ERR_IMAGE_TOO_LARGE = 0x20000004;
inline constexpr std::uint32_t MPU_ERR_NOT_OPEN = 0x20000005;
inline constexpr std::uint32_t MPU_ERR_NOT_ACTIVE = 0x20000006;
inline constexpr std::uint32_t MPU_ERR_FIRMWARE_ID = 0x20000007;
inline constexpr std::uint32_t MPU_ERR_TRANSFER_RUNNING = 0x20000008;
inline constexpr std::uint32_t MPU_ERR_NO_TRANSFER = 0x20000009;
inline constexpr std::uint32_t MPU_ERR_PROGRAMMING_RUNNING = 0x2000000A;
inline constexpr std::uint32_t MPU_ERR_PARAMETER = 0x2000000B;
inline constexpr std::uint32_t MPU_ERR_NOT_PRESENT = 0x2000000C;
inline constexpr std::uint32_t MPU_ERR_OPEN_FAILED = 0x2000000D;

// Messages of the component's notification window (WM_USER + 221 .. 224).
inline constexpr unsigned WM_USER = 0x400;
inline constexpr unsigned WM_MPU_DATA_XFER = WM_USER + 221;
inline constexpr unsigned WM_MPU_METERING = WM_USER + 222;
inline constexpr unsigned WM_MPU_CONTROL_MSG = WM_USER + 223;
inline constexpr unsigned WM_MPU_RX_ERROR = WM_USER + 224;

}  // namespace mpu
