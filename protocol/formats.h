// Texts and number formats of the MPU's values: versions, firmware errors,
// health status codes and health readings. All formatting is independent of
// the process locale (always '.' as the decimal separator).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/system_records.h"

namespace mpu {

// "%d.%2.2d.%4.4d" of major, minor and build, e.g. "1.40.0012".
std::string FormatFirmwareVersion(unsigned major, unsigned minor, unsigned build);
std::string FormatFirmwareVersion(const TMPUFirmwareInfo& info);

// "%d.%2.2d" of the high and the low byte, e.g. 0x0102 -> "1.02".
std::string FormatConfigVersion(std::uint16_t version);

// The text of a firmware error code; "Unknown error type" for codes outside
// the table. Code 0x94 names `blockId`, the current programming block.
std::string FirmwareErrorText(std::uint8_t code, std::uint32_t blockId = 0);

// "Firmware Transfer/Program Error: " + the code as two hex digits + CR LF +
// the text.
std::string FirmwareErrorMessage(std::uint8_t code, std::uint32_t blockId = 0);

// Fixed-point decimal of `value` with `decimals` digits, e.g. (12.0456, 3) -> "12.046".
std::string FormatFixed(double value, int decimals);

// Health readings: "%.3f volt" of millivolts / 1000, "%.1f °C" of tenths of
// a degree / 10, "%.1f %" of tenths of a percent / 10 (UTF-8).
std::string FormatMillivolts(int millivolts);
std::string FormatTenthsCelsius(int tenths);
std::string FormatTenthsPercent(int tenths);

// Status texts of the health report (as the unit's documentation spells them).
std::string_view XmosRunStatusText(std::uint8_t code);
std::string_view AudioBoardRunStatusText(std::uint8_t code);
std::string_view SupplyStateText(std::uint8_t code);    // "Off", "On", "Fault", "???"
std::string_view EnvStatusText(std::uint8_t code);      // "GOOD" .. "CRITICAL", "???"
std::string_view SourceStatusText(std::uint8_t code);   // "RESERVED", "NOT INSTALLED", ...

}  // namespace mpu
