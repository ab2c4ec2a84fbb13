// Value conversions between what the pages show and what the records carry.
// Send-side conversions saturate at the field's range instead of wrapping.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace mpu {

// Round to nearest, ties to the even neighbour (-2.5 -> -2, 7.5 -> 8).
inline double RoundHalfEven(double x) {
  if (!std::isfinite(x)) return x;
  const double lower = std::floor(x);
  const double diff = x - lower;
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

// A double to an integer type, saturating; NaN gives 0.
template <class T>
T SaturateTo(double x) {
  if (std::isnan(x)) return 0;
  if (x <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (x >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(x);
}

// An integer to a narrower integer type, saturating.
template <class T>
constexpr T ClampTo(long long x) {
  if (x < static_cast<long long>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (x > static_cast<long long>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(x);
}

// Calibration in dB -> tenths of a dB, rounded half to even.
inline std::int16_t CalibrationToWire(double dB) { return SaturateTo<std::int16_t>(RoundHalfEven(dB * 10.0)); }
inline double CalibrationFromWire(int tenths) { return tenths / 10.0; }

// Filter Q -> Q x 10, rounded half to even.
inline std::uint16_t QualityToWire(double q) { return SaturateTo<std::uint16_t>(RoundHalfEven(q * 10.0)); }
inline double QualityFromWire(unsigned tenths) { return tenths / 10.0; }

// Fader position in dB -> whole dB, truncated toward zero.
inline std::int16_t FaderToWire(double dB) { return SaturateTo<std::int16_t>(std::trunc(dB)); }

// Compressor ratio n:1 travels as n - 1.
constexpr std::uint8_t RatioToWire(int ratio) { return ClampTo<std::uint8_t>(static_cast<long long>(ratio) - 1); }
constexpr int RatioFromWire(std::uint8_t wire) { return wire + 1; }

// Signal thresholds in dBu travel in half-dB steps; received values are
// halved with truncation toward zero (-7 -> -3).
constexpr std::int8_t SignalThresholdToWire(int dBu) { return ClampTo<std::int8_t>(static_cast<long long>(dBu) * 2); }
constexpr int SignalThresholdFromWire(std::int8_t halfDb) { return halfDb / 2; }

// Temperature and humidity thresholds travel in tenths; received values are
// divided by 10 (integer division).
constexpr std::int16_t TenthsToWire(int value) { return ClampTo<std::int16_t>(static_cast<long long>(value) * 10); }
constexpr std::uint16_t TenthsToWireUnsigned(int value) {
  return ClampTo<std::uint16_t>(static_cast<long long>(value) * 10);
}
constexpr int TenthsFromWire(int tenths) { return tenths / 10; }

// A meter byte is a signed level in half-dB steps.
constexpr double MeterLevelDb(std::uint8_t meterByte) { return static_cast<std::int8_t>(meterByte) / 2.0; }

}  // namespace mpu
