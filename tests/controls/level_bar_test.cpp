// The level bar: its LED table and colour sections, the jump-up and
// fall-back ballistics, peak hold, refusals and disabling.
#include <QCoreApplication>
#include <QTimer>
#include <QTimerEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "controls/sr_level_bar.h"

namespace mpu {
namespace {

// Delivers one expiry of `timer` as the event loop would, without waiting.
void Fire(QTimer* timer) {
  ASSERT_NE(timer, nullptr);
  ASSERT_TRUE(timer->isActive());
  QTimerEvent event(timer->timerId());
  QCoreApplication::sendEvent(timer, &event);
}

// The metering page's bars: -50..+20 dB, 1 dB LEDs below 0 dB, 0.5 dB above.
std::unique_ptr<TSRLevelBar> MeteringBar() {
  auto bar = std::make_unique<TSRLevelBar>();
  EXPECT_TRUE(bar->SetMax(20));
  EXPECT_TRUE(bar->SetHighRange(20));
  EXPECT_TRUE(bar->SetMidRange(30));
  EXPECT_TRUE(bar->SetLoRange(20));
  EXPECT_TRUE(bar->SetHighStep(0.5));
  EXPECT_TRUE(bar->SetMidStep(1.0));
  EXPECT_TRUE(bar->SetLowStep(1.0));
  return bar;
}

TEST(LevelBarTable, DefaultScaleAndColourSections) {
  TSRLevelBar bar;
  EXPECT_EQ(bar.Max(), 0.0);
  EXPECT_EQ(bar.Min(), -72.0);
  ASSERT_EQ(bar.LedCount(), 21 + 18 + 24);
  // index, threshold (the level at the LED's top), colour section
  const struct {
    int Index;
    double Threshold;
    TSRLevelSection Section;
  } cases[] = {
      {0, -70.0, lsLow},  {20, -30.0, lsLow},  {21, -29.0, lsLow},  {38, -12.0, lsLow},
      {39, -11.5, lsMid}, {58, -2.0, lsMid},   {59, -1.5, lsHigh},  {62, 0.0, lsHigh},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(bar.Leds()[c.Index].Threshold, c.Threshold) << c.Index;
    EXPECT_EQ(bar.Leds()[c.Index].Section, c.Section) << c.Index;
  }
  for (int i = 1; i < bar.LedCount(); ++i) EXPECT_LT(bar.Leds()[i - 1].Threshold, bar.Leds()[i].Threshold);

  // Lime, yellow and red over dark versions of themselves (0x00BBGGRR).
  EXPECT_EQ(bar.PaletteOf(0).High, QColor(0, 255, 0));
  EXPECT_EQ(bar.PaletteOf(0).Low, QColor(0, 0x20, 0));
  EXPECT_EQ(bar.PaletteOf(40).High, QColor(255, 255, 0));
  EXPECT_EQ(bar.PaletteOf(40).Low, QColor(0x20, 0x20, 0));
  EXPECT_EQ(bar.PaletteOf(62).High, QColor(255, 0, 0));
  EXPECT_EQ(bar.PaletteOf(62).Low, QColor(0x20, 0, 0));
  EXPECT_EQ(bar.MidColors().Range, 10.0);
  EXPECT_EQ(bar.HighColors().Range, 2.0);
}

TEST(LevelBarTable, MeteringScaleAndLevelIndex) {
  auto bar = MeteringBar();
  EXPECT_EQ(bar->Min(), -50.0);
  ASSERT_EQ(bar->LedCount(), 90);
  // level -> highest lit LED and the Level read back
  const struct {
    double Level;
    int Index;
    double Shown;
  } cases[] = {
      {-60.0, -1, TSRLevelBar::kIdleLevel},
      {-49.5, -1, TSRLevelBar::kIdleLevel},
      {-49.0, 0, -49.0},
      {-30.2, 18, -31.0},
      {0.0, 49, 0.0},
      {0.4, 49, 0.0},
      {0.5, 50, 0.5},
      {20.0, 89, 20.0},
      {35.0, 89, 20.0},
  };
  for (const auto& c : cases) {
    auto fresh = MeteringBar();
    fresh->SetLevel(c.Level);
    EXPECT_EQ(fresh->LevelLedIdx(), c.Index) << c.Level;
    EXPECT_DOUBLE_EQ(fresh->Level(), c.Shown) << c.Level;
  }
}

TEST(LevelBarTable, PaletteRangesPlaceTheColourBoundaries) {
  auto bar = MeteringBar();
  // Green up to Min + 50 = 0 dB, yellow up to +8 dB, red above.
  ASSERT_TRUE(bar->SetLowColors({QColor(0, 255, 0), QColor(0, 0x20, 0), 50}));
  ASSERT_TRUE(bar->SetMidColors({QColor(255, 255, 0), QColor(0x20, 0x20, 0), 8}));
  ASSERT_TRUE(bar->SetHighColors({QColor(255, 0, 0), QColor(0x20, 0, 0), 6}));
  const auto section_at = [&](double threshold) {
    for (const TSRLevelLed& led : bar->Leds())
      if (std::fabs(led.Threshold - threshold) < 1e-9) return led.Section;
    ADD_FAILURE() << "no LED at " << threshold;
    return lsLow;
  };
  EXPECT_EQ(section_at(0.0), lsLow);
  EXPECT_EQ(section_at(0.5), lsMid);
  EXPECT_EQ(section_at(8.0), lsMid);
  EXPECT_EQ(section_at(8.5), lsHigh);
  EXPECT_EQ(section_at(20.0), lsHigh);
  EXPECT_EQ(bar->HighColors().Range, 6.0);
}

TEST(LevelBarTable, RefusesWhatCannotBeBuilt) {
  TSRLevelBar bar;
  const int count = bar.LedCount();
  EXPECT_FALSE(bar.SetLowStep(0.0));
  EXPECT_FALSE(bar.SetMidStep(-1.0));
  EXPECT_FALSE(bar.SetHighStep(std::nan("")));
  EXPECT_FALSE(bar.SetHighStep(0.001));  // 12000 LEDs
  EXPECT_FALSE(bar.SetLoRange(-1.0));
  EXPECT_FALSE(bar.SetMax(INFINITY));
  EXPECT_FALSE(bar.SetLowColors({QColor(), QColor(0, 0, 0), 10}));
  EXPECT_FALSE(bar.SetMidColors({QColor(1, 1, 1), QColor(0, 0, 0), -1}));
  EXPECT_EQ(bar.LedCount(), count);
  EXPECT_EQ(bar.Min(), -72.0);
  EXPECT_EQ(bar.LowStep(), 2.0);
}

TEST(LevelBarTiming, RefusedTimes) {
  TSRLevelBar bar;
  auto* decay = bar.findChild<QTimer*>(QStringLiteral("decayTimer"));
  ASSERT_NE(decay, nullptr);
  const struct {
    int Ms;
    bool Accepted;
  } decayCases[] = {{20, false}, {24, false}, {25, true}, {100, true}, {101, false}, {0, false}};
  for (const auto& c : decayCases) {
    const int before = bar.DecayTime();
    EXPECT_EQ(bar.SetDecayTime(c.Ms), c.Accepted) << c.Ms;
    EXPECT_EQ(bar.DecayTime(), c.Accepted ? c.Ms : before) << c.Ms;
    EXPECT_EQ(decay->interval(), bar.DecayTime()) << c.Ms;
  }
  const struct {
    int Ms;
    bool Accepted;
  } holdCases[] = {{6000, false}, {5001, false}, {5000, true}, {0, true}, {-1, false}, {1000, true}};
  for (const auto& c : holdCases) {
    const int before = bar.HoldTime();
    EXPECT_EQ(bar.SetHoldTime(c.Ms), c.Accepted) << c.Ms;
    EXPECT_EQ(bar.HoldTime(), c.Accepted ? c.Ms : before) << c.Ms;
  }
}

class LevelBarBallistics : public ::testing::Test {
 protected:
  std::unique_ptr<TSRLevelBar> bar = MeteringBar();
  QTimer* decayTimer() { return bar->findChild<QTimer*>(QStringLiteral("decayTimer")); }
  QTimer* holdTimer() { return bar->findChild<QTimer*>(QStringLiteral("holdTimer")); }
};

TEST_F(LevelBarBallistics, JumpsUpAtOnceAndFallsOneDbPerTick) {
  EXPECT_EQ(bar->DecayValue(), TSRLevelBar::kIdleLevel);
  bar->SetLevel(10.0);
  bar->SetLevel(-40.0);  // lower: changes nothing
  EXPECT_DOUBLE_EQ(bar->Level(), 10.0);
  EXPECT_DOUBLE_EQ(bar->DecayValue(), 10.0);
  EXPECT_EQ(decayTimer()->interval(), 50);

  for (int tick = 1; tick <= 59; ++tick) {
    bar->DecayTick();
    ASSERT_DOUBLE_EQ(bar->Level(), 10.0 - tick) << tick;
  }
  EXPECT_DOUBLE_EQ(bar->Level(), -49.0);
  bar->DecayTick();  // below the lowest LED: idle again
  EXPECT_EQ(bar->LevelLedIdx(), -1);
  EXPECT_EQ(bar->DecayValue(), TSRLevelBar::kIdleLevel);
  bar->DecayTick();
  EXPECT_EQ(bar->DecayValue(), TSRLevelBar::kIdleLevel);

  // The program's timer runs the same step.
  bar->SetLevel(5.0);
  Fire(decayTimer());
  EXPECT_DOUBLE_EQ(bar->Level(), 4.0);
}

TEST_F(LevelBarBallistics, AHigherLevelDuringTheFallJumpsBackUp) {
  bar->SetLevel(0.0);
  for (int i = 0; i < 5; ++i) bar->DecayTick();
  EXPECT_DOUBLE_EQ(bar->Level(), -5.0);
  bar->SetLevel(-7.0);
  EXPECT_DOUBLE_EQ(bar->Level(), -5.0);
  bar->SetLevel(-2.0);
  EXPECT_DOUBLE_EQ(bar->Level(), -2.0);
  EXPECT_DOUBLE_EQ(bar->DecayValue(), -2.0);
}

TEST(LevelBarBallisticsCoarse, AReadingOnTheLitLedRestartsTheFall) {
  TSRLevelBar bar;  // 2 dB LEDs in the low section: ..., -40, -38, ...
  bar.SetLevel(-40.0);
  bar.SetLevel(-38.5);  // still the -40 LED, but louder than the falling value
  EXPECT_DOUBLE_EQ(bar.Level(), -40.0);
  bar.DecayTick();  // falls from -38.5 to -39.5: the -40 LED stays lit
  EXPECT_DOUBLE_EQ(bar.Level(), -40.0);
  bar.DecayTick();
  EXPECT_DOUBLE_EQ(bar.Level(), -42.0);
}

TEST_F(LevelBarBallistics, PeakIsHeldThenFallsOneLedPerTick) {
  bar->SetPeakhold(true);
  ASSERT_TRUE(bar->SetHoldTime(1000));
  bar->SetPeak(0.0);
  const int held = bar->PeakLedIdx();
  EXPECT_EQ(held, 49);
  EXPECT_TRUE(bar->HoldActive());
  ASSERT_TRUE(holdTimer()->isActive());
  EXPECT_TRUE(holdTimer()->isSingleShot());
  EXPECT_EQ(holdTimer()->interval(), 1000);

  for (int i = 0; i < 40; ++i) bar->DecayTick();  // two seconds of ticks, still held
  EXPECT_EQ(bar->PeakLedIdx(), held);
  bar->SetPeak(-3.0);  // lower: ignored, hold not restarted
  EXPECT_EQ(bar->PeakLedIdx(), held);

  Fire(holdTimer());  // the hold period ends
  EXPECT_FALSE(bar->HoldActive());
  EXPECT_FALSE(holdTimer()->isActive());
  bar->DecayTick();
  EXPECT_EQ(bar->PeakLedIdx(), held - 1);
  bar->DecayTick();
  EXPECT_EQ(bar->PeakLedIdx(), held - 2);
  EXPECT_DOUBLE_EQ(bar->Peak(), -2.0);

  // A higher peak during the fall is held again.
  bar->SetPeak(10.0);
  EXPECT_TRUE(bar->HoldActive());
  bar->DecayTick();
  EXPECT_DOUBLE_EQ(bar->Peak(), 10.0);
  bar->HoldExpired();
  for (int i = 0; i < 200; ++i) bar->DecayTick();
  EXPECT_EQ(bar->PeakLedIdx(), -1);
  EXPECT_DOUBLE_EQ(bar->Peak(), TSRLevelBar::kIdleLevel);
}

TEST_F(LevelBarBallistics, WithoutHoldingThePeakFallsAtOnce) {
  const struct {
    bool Peakhold;
    int HoldTime;
  } cases[] = {{false, 1500}, {true, 0}};
  for (const auto& c : cases) {
    auto fresh = MeteringBar();
    fresh->SetPeakhold(c.Peakhold);
    ASSERT_TRUE(fresh->SetHoldTime(c.HoldTime));
    fresh->SetPeak(0.0);
    EXPECT_FALSE(fresh->HoldActive());
    fresh->DecayTick();
    EXPECT_EQ(fresh->PeakLedIdx(), 48) << c.Peakhold << " " << c.HoldTime;
  }
}

TEST_F(LevelBarBallistics, DisablingClearsAndStopsEnablingRestarts) {
  bar->SetPeakhold(true);
  bar->SetLevel(0.0);
  bar->SetPeak(5.0);
  ASSERT_TRUE(decayTimer()->isActive());
  ASSERT_TRUE(holdTimer()->isActive());

  bar->setEnabled(false);
  EXPECT_EQ(bar->LevelLedIdx(), -1);
  EXPECT_EQ(bar->PeakLedIdx(), -1);
  EXPECT_EQ(bar->DecayValue(), TSRLevelBar::kIdleLevel);
  EXPECT_FALSE(bar->HoldActive());
  EXPECT_FALSE(decayTimer()->isActive());
  EXPECT_FALSE(holdTimer()->isActive());
  bar->SetLevel(10.0);
  bar->SetPeak(10.0);
  EXPECT_EQ(bar->LevelLedIdx(), -1);
  EXPECT_EQ(bar->PeakLedIdx(), -1);

  bar->setEnabled(true);
  EXPECT_TRUE(decayTimer()->isActive());
  bar->SetLevel(10.0);
  EXPECT_DOUBLE_EQ(bar->Level(), 10.0);

  // Disabling the page the bar sits on does the same.
  QWidget page;
  auto* child = new TSRLevelBar(&page);
  child->SetLevel(-3.0);
  page.setEnabled(false);
  EXPECT_EQ(child->LevelLedIdx(), -1);
  EXPECT_FALSE(child->findChild<QTimer*>(QStringLiteral("decayTimer"))->isActive());
  page.setEnabled(true);
  EXPECT_TRUE(child->findChild<QTimer*>(QStringLiteral("decayTimer"))->isActive());
}

TEST_F(LevelBarBallistics, NonFiniteLevelsAreIgnored) {
  bar->SetLevel(std::nan(""));
  bar->SetPeak(std::nan(""));
  EXPECT_EQ(bar->LevelLedIdx(), -1);
  EXPECT_EQ(bar->PeakLedIdx(), -1);
  bar->SetLevel(INFINITY);  // would never fall back
  EXPECT_EQ(bar->LevelLedIdx(), -1);
}

TEST_F(LevelBarBallistics, ChangingTheScaleStartsAfresh) {
  bar->SetLevel(10.0);
  ASSERT_TRUE(bar->SetMax(10.0));
  EXPECT_EQ(bar->Min(), -60.0);
  EXPECT_EQ(bar->LevelLedIdx(), -1);
  EXPECT_EQ(bar->DecayValue(), TSRLevelBar::kIdleLevel);
  bar->SetLevel(10.0);
  EXPECT_EQ(bar->LevelLedIdx(), 89);
}

}  // namespace
}  // namespace mpu
