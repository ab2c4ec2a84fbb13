// The "Metering" page (tabMetering): the bus meters of the metering block
// as a meter bridge of twelve stereo panels (PGM1, PGM2, REC, AUX, PREFADE,
// CF1..CF6 and CFA/B), with "Test", which lights fixed levels, and "Reset",
// which blanks the meters for as long as it is held (mouse button or space
// bar).
//
// Block byte i (0..23) feeds bar i: level and peak := byte / 2 dB. The main
// window hands a block to this page only while it is the visible page.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "pages/main_page.h"

class QPushButton;

namespace mpu {
class TSRLevelBar;
}

namespace mpu::pages {

class TMeteringPage : public TMainPage {
  Q_OBJECT

 public:
  // Bytes 0..23 of the block, one bar each.
  static constexpr int kBarCount = 24;
  // The level Reset writes: below every scale, all LEDs dark.
  static constexpr double kResetLevel = -144.0;

  TMeteringPage(TMainForm& main, QWidget* parent = nullptr);

  // A metering block while this page is the visible one (MPUMeteringData).
  void ShowMeteringBlock(std::span<const std::int8_t, 256> Data);

  // btnTestMeters' click: fixed levels on every bar.
  void TestMeters();
  // btnMetersReset pressed (true) or released (false), by mouse or space bar.
  void ResetMeters(bool held);

  // The bar that block byte `byteIndex` (0..23) drives; null outside.
  TSRLevelBar* Bar(int byteIndex) const;
  // Its object name ("meteringPGM1Left").
  static const char* BarName(int byteIndex);

  QPushButton* btnTestMeters = nullptr;
  QPushButton* btnMetersReset = nullptr;

 protected:
  // Leaving the page lets go of a held Reset: the release would go to a
  // hidden button and leave the meters dark for good.
  void hideEvent(QHideEvent* event) override;

 private:
  std::array<TSRLevelBar*, kBarCount> FBars{};
};

}  // namespace mpu::pages
