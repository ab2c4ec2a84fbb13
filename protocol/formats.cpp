#include "protocol/formats.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace mpu {
namespace {

std::string ZeroPadded(unsigned value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

}  // namespace

std::string FormatFirmwareVersion(unsigned major, unsigned minor, unsigned build) {
  return std::to_string(major) + "." + ZeroPadded(minor, 2) + "." + ZeroPadded(build, 4);
}

std::string FormatFirmwareVersion(const TMPUFirmwareInfo& info) {
  return FormatFirmwareVersion(info.VersionMajor, info.VersionMinor, info.VersionBuild);
}

std::string FormatConfigVersion(std::uint16_t version) {
  return std::to_string(version >> 8) + "." + ZeroPadded(version & 0xFFu, 2);
}

std::string FirmwareErrorText(std::uint8_t code, std::uint32_t blockId) {
  switch (code) {
    case 0x81: return "Transfer process not initialized";
    case 0x82: return "Unsupported firmware type";
    case 0x83: return "Unsupported/unavailable firmware location";
    case 0x84: return "Firmware source currently busy";
    case 0x85: return "Unsupported checksum type";
    case 0x86: return "Transfer pointer at beginning of firmware image";
    case 0x87: return "Transfer pointer at end of firmware image";
    case 0x88: return "Firmware image size exceeds upper limit";
    case 0x89: return "DRAM self test failure";
    case 0x90: return "Firmware source not valid";
    case 0x91: return "Firmware target not valid";
    case 0x92: return "Firmware target not ready";
    case 0x93: return "Flash ROM erase failure";
    case 0x94: return "Firmware program error in block #: " + std::to_string(blockId);
    case 0x95: return "Cannot update firmware while session is active";
    default: return "Unknown error type";
  }
}

std::string FirmwareErrorMessage(std::uint8_t code, std::uint32_t blockId) {
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", code);
  return std::string("Firmware Transfer/Program Error: ") + hex + "\r\n" + FirmwareErrorText(code, blockId);
}

std::string FormatFixed(double value, int decimals) {
  std::array<char, 64> buf{};
  const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "?";
  return std::string(buf.data(), end);
}

std::string FormatMillivolts(int millivolts) { return FormatFixed(millivolts / 1000.0, 3) + " volt"; }
std::string FormatTenthsCelsius(int tenths) { return FormatFixed(tenths / 10.0, 1) + " \u00B0C"; }
std::string FormatTenthsPercent(int tenths) { return FormatFixed(tenths / 10.0, 1) + " %"; }

std::string_view XmosRunStatusText(std::uint8_t code) {
  static constexpr std::array<std::string_view, 7> kTexts = {
      "idle/reset", "booting up", "bootup timeout", "running", "driver link active",
      "firmware pgoramming", "fw programming finished"};
  return code < kTexts.size() ? kTexts[code] : "unkown";
}

std::string_view AudioBoardRunStatusText(std::uint8_t code) {
  static constexpr std::array<std::string_view, 5> kTexts = {"idle/reset", "booting up", "bootup timeout",
                                                             "running", "programming error"};
  return code < kTexts.size() ? kTexts[code] : "unkown";
}

std::string_view SupplyStateText(std::uint8_t code) {
  static constexpr std::array<std::string_view, 3> kTexts = {"Off", "On", "Fault"};
  return code < kTexts.size() ? kTexts[code] : "???";
}

std::string_view EnvStatusText(std::uint8_t code) {
  static constexpr std::array<std::string_view, 4> kTexts = {"GOOD", "ELEVATED", "WARNING", "CRITICAL"};
  return code < kTexts.size() ? kTexts[code] : "???";
}

std::string_view SourceStatusText(std::uint8_t code) {
  static constexpr std::array<std::string_view, 3> kTexts = {"RESERVED", "NOT INSTALLED", "AVAILALBLE"};
  return code < kTexts.size() ? kTexts[code] : "UNKNOWN";
}

}  // namespace mpu
