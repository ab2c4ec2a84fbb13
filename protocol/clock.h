// Local date-time values the host puts into frames: the session key and the
// timestamp tag.
#pragma once

#include <cstdint>

#include "protocol/system_records.h"

namespace mpu {

// A local calendar date and time of day.
struct LocalDateTime {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// The local date and time now.
LocalDateTime LocalNow();

// Days since 1899-12-30 with the time of day as the fraction.
double DateTimeSerial(const LocalDateTime& t);

// Session key: the date-time serial x 100000, truncated to 64 bits. Keys
// made one second or more apart differ.
std::int64_t SessionKeyFromDateTime(const LocalDateTime& t);
std::int64_t SessionKeyNow();

TMPUTimestampTag TimestampFromDateTime(const LocalDateTime& t);
TMPUTimestampTag TimestampNow();

}  // namespace mpu
