// The scale of a fader: which value each pixel of the thumb's travel
// stands for. Pure arithmetic, no widgets.
//
// The travel (control length minus thumb length) is cut, bottom to top,
// into three shares; the middle and top shares are given in per cent and
// the bottom one gets the rest. The top section spans TopRightRange dB
// below Max, the middle one MidRange dB below that, and the bottom one
// what is left down to Min (BottomLeftRange when the three spans add up to
// Max - Min). Within a share the pixels are spread evenly over the
// section's span and every value is rounded to the step.
#pragma once

namespace mpu {

// The step a fader uses for a requested step: 0.25, 0.5 or 1 dB, the
// smallest of these that is not finer than the request.
double SnapFaderStep(double step);

// `value` rounded to a multiple of `step` (halves away from zero).
double RoundToStep(double value, double step);

struct TSRFaderScale {
  double Min = -70.0;
  double Max = 0.0;
  double BottomLeftRange = 40.0;
  double MidRange = 20.0;
  double TopRightRange = 10.0;
  int MidPercentage = 30;
  int TopRightPercentage = 40;
  double StepSize = 1.0;  // already snapped

  // The dB spans of the bottom, middle and top sections as used.
  struct Spans {
    double Bottom, Mid, Top;
  };
  Spans SectionSpans() const;

  // Pixels of the travel given to the bottom, middle and top sections. A
  // section without span gets no pixels; the others share its part.
  struct Shares {
    int Bottom, Mid, Top;
  };
  Shares SectionShares(int travel) const;

  // The value of pixel `pixel` (0 = bottom, `travel` = top), rounded to
  // StepSize and clamped to Min..Max; pixel 0 is Min and the top pixel Max.
  double ValueAtPixel(int pixel, int travel) const;

  // The pixel whose value is nearest to `value` (the inverse of the above).
  int PixelOfValue(double value, int travel) const;
};

}  // namespace mpu
