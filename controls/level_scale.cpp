#include "controls/level_scale.h"

#include <algorithm>
#include <cmath>

namespace mpu {
namespace {

// Tolerance for comparing levels against thresholds built from steps that
// are not exact in binary (0.1 dB and the like).
constexpr double kLevelEpsilon = 1e-6;

long SectionCount(double range, double step) {
  if (!(step > 0.0) || !(range >= 0.0)) return -1;
  const double count = std::round(range / step);
  if (!std::isfinite(count) || count > static_cast<double>(TSRLevelScale::kMaxLedCount)) return -1;
  return static_cast<long>(count);
}

}  // namespace

long TSRLevelScale::LowCount() const { return SectionCount(LoRange, LowStep); }
long TSRLevelScale::MidCount() const { return SectionCount(MidRange, MidStep); }
long TSRLevelScale::HighCount() const { return SectionCount(HighRange, HighStep); }

bool TSRLevelScale::Valid() const {
  for (const double v : {Max, HighRange, MidRange, LoRange, HighStep, MidStep, LowStep, LowColorRange, MidColorRange})
    if (!std::isfinite(v)) return false;
  if (LowColorRange < 0.0 || MidColorRange < 0.0) return false;
  const long low = LowCount();
  const long mid = MidCount();
  const long high = HighCount();
  if (low < 0 || mid < 0 || high < 0) return false;
  return low + mid + high <= kMaxLedCount;
}

std::vector<TSRLevelLed> TSRLevelScale::BuildTable() const {
  std::vector<TSRLevelLed> table;
  if (!Valid()) return table;
  const double min = Min();
  const double lowColorTop = min + LowColorRange + kLevelEpsilon;
  const double midColorTop = min + LowColorRange + MidColorRange + kLevelEpsilon;
  const auto section_of = [&](double threshold) {
    if (threshold <= lowColorTop) return lsLow;
    if (threshold <= midColorTop) return lsMid;
    return lsHigh;
  };
  // Each section runs from its own boundary to the next one. When a span
  // is not a whole number of steps the LEDs of that section are spread
  // evenly over it, so the table stays ascending and ends exactly at Max.
  const auto add_section = [&](double start, double span, long count) {
    for (long i = 1; i <= count; ++i) {
      const double threshold = start + span * static_cast<double>(i) / static_cast<double>(count);
      table.push_back({threshold, section_of(threshold)});
    }
  };
  table.reserve(static_cast<std::size_t>(LowCount() + MidCount() + HighCount()));
  add_section(min, LoRange, LowCount());
  add_section(min + LoRange, MidRange, MidCount());
  add_section(min + LoRange + MidRange, HighRange, HighCount());
  return table;
}

int LevelLedIndex(const std::vector<TSRLevelLed>& table, double level) {
  const auto above = std::upper_bound(table.begin(), table.end(), level + kLevelEpsilon,
                                      [](double x, const TSRLevelLed& led) { return x < led.Threshold; });
  return static_cast<int>(above - table.begin()) - 1;
}

}  // namespace mpu
