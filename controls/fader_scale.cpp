#include "controls/fader_scale.h"

#include <algorithm>
#include <cmath>

namespace mpu {

double SnapFaderStep(double step) {
  if (!(step > 0.25)) return 0.25;  // also NaN
  if (step <= 0.5) return 0.5;
  return 1.0;
}

double RoundToStep(double value, double step) {
  if (!(step > 0.0)) return value;
  return std::round(value / step) * step;
}

TSRFaderScale::Spans TSRFaderScale::SectionSpans() const {
  const double total = std::max(0.0, Max - Min);
  const double top = std::clamp(TopRightRange, 0.0, total);
  const double mid = std::clamp(MidRange, 0.0, total - top);
  return {total - top - mid, mid, top};
}

TSRFaderScale::Shares TSRFaderScale::SectionShares(int travel) const {
  if (travel <= 0) return {0, 0, 0};
  const Spans spans = SectionSpans();
  double bottom = spans.Bottom > 0.0 ? std::max(0, 100 - MidPercentage - TopRightPercentage) : 0;
  double mid = spans.Mid > 0.0 ? std::max(0, MidPercentage) : 0;
  double top = spans.Top > 0.0 ? std::max(0, TopRightPercentage) : 0;
  if (bottom + mid + top <= 0.0) {
    // Every section with a span was given 0 %: share by span instead.
    bottom = spans.Bottom;
    mid = spans.Mid;
    top = spans.Top;
  }
  const double sum = bottom + mid + top;
  if (sum <= 0.0) return {travel, 0, 0};
  const int bottomPixels = static_cast<int>(std::lround(travel * bottom / sum));
  const int midPixels = std::min(travel - bottomPixels, static_cast<int>(std::lround(travel * mid / sum)));
  return {bottomPixels, midPixels, travel - bottomPixels - midPixels};
}

double TSRFaderScale::ValueAtPixel(int pixel, int travel) const {
  if (pixel <= 0 || travel <= 0) return Min;
  if (pixel >= travel) return Max;
  const Spans spans = SectionSpans();
  const Shares shares = SectionShares(travel);
  double value;
  if (pixel <= shares.Bottom) {
    value = Min + spans.Bottom * pixel / shares.Bottom;
  } else if (pixel <= shares.Bottom + shares.Mid) {
    value = Min + spans.Bottom + spans.Mid * (pixel - shares.Bottom) / shares.Mid;
  } else {
    value = Min + spans.Bottom + spans.Mid + spans.Top * (pixel - shares.Bottom - shares.Mid) / shares.Top;
  }
  return std::clamp(RoundToStep(value, StepSize), Min, Max);
}

int TSRFaderScale::PixelOfValue(double value, int travel) const {
  if (travel <= 0 || !(value > Min)) return 0;
  if (value >= Max) return travel;
  const Spans spans = SectionSpans();
  const Shares shares = SectionShares(travel);
  const double midStart = Min + spans.Bottom;
  const double topStart = midStart + spans.Mid;
  double pixel;
  if (value <= midStart && spans.Bottom > 0.0) {
    pixel = (value - Min) / spans.Bottom * shares.Bottom;
  } else if (value <= topStart && spans.Mid > 0.0) {
    pixel = shares.Bottom + (value - midStart) / spans.Mid * shares.Mid;
  } else if (spans.Top > 0.0) {
    pixel = shares.Bottom + shares.Mid + (value - topStart) / spans.Top * shares.Top;
  } else {
    pixel = travel;
  }
  return std::clamp(static_cast<int>(std::lround(pixel)), 0, travel);
}

}  // namespace mpu
