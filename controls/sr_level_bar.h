// TSRLevelBar: a segmented LED meter, vertical (low at the bottom) or
// horizontal (low at the left).
//
// Ballistics: SetLevel jumps up at once and never down; a fall-back timer
// lowers the shown level by 1 dB every DecayTime ms. SetPeak raises a peak
// LED that, with Peakhold, stays for HoldTime ms and then falls one LED per
// fall-back tick. DecayTick() and HoldExpired() are what the two timers
// call; they are public so that the ballistics can be driven step by step.
// A disabled bar shows nothing and ignores new levels.
#pragma once

#include <QColor>
#include <QWidget>

#include <vector>

#include "controls/level_scale.h"

class QTimer;

namespace mpu {

// One colour section of a bar.
struct TSRLevelPalette {
  QColor High;   // lit LED
  QColor Low;    // unlit LED
  double Range;  // dB span of this colour
  bool operator==(const TSRLevelPalette&) const = default;
};

class TSRLevelBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr double kIdleLevel = -144.0;
  static constexpr int kMaxHoldTime = 5000;
  static constexpr int kMinDecayTime = 25;
  static constexpr int kMaxDecayTime = 100;

  explicit TSRLevelBar(QWidget* parent = nullptr);
  ~TSRLevelBar() override;

  // ----- scale; every setter returns false when it refuses the value -----
  double Max() const { return FScale.Max; }
  bool SetMax(double value);
  double Min() const { return FScale.Min(); }
  double HighRange() const { return FScale.HighRange; }
  bool SetHighRange(double value);
  double MidRange() const { return FScale.MidRange; }
  bool SetMidRange(double value);
  double LoRange() const { return FScale.LoRange; }
  bool SetLoRange(double value);
  double HighStep() const { return FScale.HighStep; }
  bool SetHighStep(double value);
  double MidStep() const { return FScale.MidStep; }
  bool SetMidStep(double value);
  double LowStep() const { return FScale.LowStep; }
  bool SetLowStep(double value);
  const TSRLevelPalette& LowColors() const { return FLowColors; }
  bool SetLowColors(const TSRLevelPalette& value);
  const TSRLevelPalette& MidColors() const { return FMidColors; }
  bool SetMidColors(const TSRLevelPalette& value);
  const TSRLevelPalette& HighColors() const { return FHighColors; }
  bool SetHighColors(const TSRLevelPalette& value);

  // ----- timing -----
  bool Peakhold() const { return FPeakhold; }
  void SetPeakhold(bool value);
  int HoldTime() const { return FHoldTime; }
  bool SetHoldTime(int ms);  // 0..5000, 0 = no holding
  int DecayTime() const { return FDecayTime; }
  bool SetDecayTime(int ms);  // 25..100

  // ----- geometry (nominal LED sizes; the bar stretches them to its size) -----
  int LedHeight() const { return FLedHeight; }
  bool SetLedHeight(int px);
  int LedWidth() const { return FLedWidth; }
  bool SetLedWidth(int px);
  int LedSpacing() const { return FLedSpacing; }
  bool SetLedSpacing(int px);
  int BarSpacing() const { return FBarSpacing; }
  bool SetBarSpacing(int px);
  Qt::Orientation Orientation() const { return FOrientation; }
  void SetOrientation(Qt::Orientation value);

  // ----- level and peak -----
  void SetLevel(double level);
  void SetPeak(double level);
  // The threshold of the highest lit LED, kIdleLevel when none is lit.
  double Level() const;
  // The threshold of the peak LED, kIdleLevel when there is none.
  double Peak() const;

  // ----- state -----
  const std::vector<TSRLevelLed>& Leds() const { return FLeds; }
  int LedCount() const { return static_cast<int>(FLeds.size()); }
  int LevelLedIdx() const { return FLevelLedIdx; }
  int PeakLedIdx() const { return FPeakLedIdx; }
  double DecayValue() const { return FDecayValue; }
  bool HoldActive() const { return FHoldActive; }
  const TSRLevelPalette& PaletteOf(int ledIndex) const;
  // Where LED `ledIndex` is drawn at the current size (empty when the bar
  // is too small to show it).
  QRect LedRect(int ledIndex) const;

  // One fall-back step: the falling value drops 1 dB and the lit LEDs
  // follow it; the peak drops one LED unless it is being held.
  void DecayTick();
  // End of the hold period.
  void HoldExpired();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool ApplyScale(const TSRLevelScale& scale);
  void Clear();

  TSRLevelScale FScale;
  TSRLevelPalette FLowColors;
  TSRLevelPalette FMidColors;
  TSRLevelPalette FHighColors;
  std::vector<TSRLevelLed> FLeds;
  bool FPeakhold = false;
  int FHoldTime = 1500;
  int FDecayTime = 50;
  int FLedHeight = 2;
  int FLedWidth = 9;
  int FLedSpacing = 1;
  int FBarSpacing = 1;
  Qt::Orientation FOrientation = Qt::Vertical;

  int FLevelLedIdx = -1;
  int FPeakLedIdx = -1;
  double FDecayValue = kIdleLevel;
  bool FHoldActive = false;

  QTimer* FDecayTimer;  // "decayTimer"
  QTimer* FHoldTimer;   // "holdTimer", single shot
};

}  // namespace mpu
