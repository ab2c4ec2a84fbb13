#include "protocol/clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "protocol/scaling.h"

namespace mpu {
namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

constexpr long long kEpoch1899 = DaysFromCivil(1899, 12, 30);

}  // namespace

LocalDateTime LocalNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&secs, &tm);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
          static_cast<int>(ms < 0 ? ms + 1000 : ms)};
}

double DateTimeSerial(const LocalDateTime& t) {
  const long long days = DaysFromCivil(t.Year, static_cast<unsigned>(t.Month), static_cast<unsigned>(t.Day)) - kEpoch1899;
  const double secondsOfDay = t.Hour * 3600.0 + t.Minute * 60.0 + t.Second + t.Millisecond / 1000.0;
  return static_cast<double>(days) + secondsOfDay / 86400.0;
}

std::int64_t SessionKeyFromDateTime(const LocalDateTime& t) {
  return static_cast<std::int64_t>(std::trunc(DateTimeSerial(t) * 100000.0));
}

std::int64_t SessionKeyNow() { return SessionKeyFromDateTime(LocalNow()); }

TMPUTimestampTag TimestampFromDateTime(const LocalDateTime& t) {
  TMPUTimestampTag tag;
  tag.Year = ClampTo<std::uint16_t>(t.Year);
  tag.Month = ClampTo<std::uint8_t>(t.Month);
  tag.Day = ClampTo<std::uint8_t>(t.Day);
  tag.Hour = ClampTo<std::uint8_t>(t.Hour);
  tag.Minute = ClampTo<std::uint8_t>(t.Minute);
  tag.Second = ClampTo<std::uint8_t>(t.Second);
  return tag;
}

TMPUTimestampTag TimestampNow() { return TimestampFromDateTime(LocalNow()); }

}  // namespace mpu
