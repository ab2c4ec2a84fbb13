// The LED table of a level bar: how many LEDs, the level each one stands
// for and which colour section it belongs to. Pure arithmetic, no widgets.
#pragma once

#include <cstdint>
#include <vector>

namespace mpu {

enum TSRLevelSection : std::uint8_t { lsLow = 0, lsMid = 1, lsHigh = 2 };

struct TSRLevelLed {
  double Threshold;         // the level at the LED's top, dB
  TSRLevelSection Section;  // the palette it is drawn with
};

// The numbers the table is built from.
struct TSRLevelScale {
  // A table longer than this is refused: it could not be drawn anyway and a
  // tiny step would otherwise allocate without bound.
  static constexpr long kMaxLedCount = 1000;

  double Max = 0.0;
  double HighRange = 12.0;
  double MidRange = 18.0;
  double LoRange = 42.0;
  double HighStep = 0.5;
  double MidStep = 1.0;
  double LowStep = 2.0;
  // dB spans of the low and middle colours, counted from Min; the high
  // colour takes everything above.
  double LowColorRange = 60.0;
  double MidColorRange = 10.0;

  double Min() const { return Max - HighRange - MidRange - LoRange; }
  bool operator==(const TSRLevelScale&) const = default;

  // LEDs per section (each span divided by its step, rounded).
  long LowCount() const;
  long MidCount() const;
  long HighCount() const;

  // Finite numbers, spans not negative, steps positive and at most
  // kMaxLedCount LEDs.
  bool Valid() const;

  // Ascending thresholds: LoRange in LowStep steps from Min, then MidRange
  // in MidStep steps, then HighRange in HighStep steps (a span that is not
  // a whole number of steps gets its rounded count spread evenly over it).
  // Empty when invalid.
  std::vector<TSRLevelLed> BuildTable() const;
};

// The index of the highest LED whose threshold is not above `level`,
// -1 when there is none.
int LevelLedIndex(const std::vector<TSRLevelLed>& table, double level);

}  // namespace mpu
