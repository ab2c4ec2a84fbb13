// The "Metering" page: the 24 bus bars with their scale and palettes, the
// block byte -> bar map, the rule that only the visible page follows the
// block, Test, Reset held with the mouse or the space bar, the layout, and
// the meters of a connected simulated unit.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "controls/sr_level_bar.h"
#include "fixtures/event_loop.h"
#include "pages/main_form.h"
#include "pages/metering_page.h"
#include "simulator/simulated_mpu.h"
#include "usb/simulated_driver.h"

namespace mpu::pages {
namespace {

using Block = std::array<std::int8_t, 256>;

constexpr double kDark = TSRLevelBar::kIdleLevel;

// Bytes 0..23 in block order.
const char* const kNames[TMeteringPage::kBarCount] = {
    "meteringPGM1Left", "meteringPGM1Right", "meteringPGM2Left", "meteringPGM2Right",
    "meteringRecLeft",  "meteringRECRight",  "meteringAUXLeft",  "meteringAUXRight",
    "meteringCFA",      "meteringCFB",       "meteringCF1Left",  "meteringCF1Right",
    "meteringCF2Left",  "meteringCF2Right",  "meteringCF3Left",  "meteringCF3Right",
    "meteringCF4Left",  "meteringCF4Right",  "meteringCF5Left",  "meteringCF5Right",
    "meteringCF6Left",  "meteringCF6Right",  "meteringPFLeft",   "meteringPFRight",
};

Block Silent() {
  Block b;
  b.fill(static_cast<std::int8_t>(0x80));  // -64 dB, below every bar
  return b;
}

// Every bar its own level: byte i carries (i - 20) dB.
Block Staircase() {
  Block b = Silent();
  for (int i = 0; i < TMeteringPage::kBarCount; ++i)
    b[static_cast<std::size_t>(i)] = static_cast<std::int8_t>(2 * (i - 20));
  return b;
}

class MeteringPage : public ::testing::Test {
 protected:
  void SetUp() override {
    unit = std::make_shared<sim::SimulatedMpu>(sim::SimulatorConfig{});
    form = std::make_unique<TMainForm>(std::make_shared<usb::SimulatedDriver>(unit));
    form->ShowErrorBox = [](const QString&, const QString&) {};
    form->show();
    ShowPage(TMainForm::pgMetering);
    page = form->MeteringPage();
    ASSERT_NE(page, nullptr);
  }
  void TearDown() override {
    if (form) form->MPU().SetActive(false);
    form.reset();
  }

  void ShowPage(int index) { form->PageControl()->setCurrentIndex(index); }
  TSRLevelBar* Bar(int byte) const { return page->Bar(byte); }
  // A block as the device component raises it.
  void Deliver(const Block& b) { form->MPUMeteringData(std::span<const std::int8_t, 256>(b), 24); }

  void ExpectAllDark(const char* when) {
    for (int i = 0; i < TMeteringPage::kBarCount; ++i) {
      EXPECT_EQ(Bar(i)->Level(), kDark) << kNames[i] << " " << when;
      EXPECT_EQ(Bar(i)->Peak(), kDark) << kNames[i] << " " << when;
      EXPECT_EQ(Bar(i)->LevelLedIdx(), -1) << kNames[i] << " " << when;
    }
  }
  void ExpectStaircase(const char* when) {
    for (int i = 0; i < TMeteringPage::kBarCount; ++i) {
      EXPECT_DOUBLE_EQ(Bar(i)->Level(), i - 20.0) << kNames[i] << " " << when;
      EXPECT_DOUBLE_EQ(Bar(i)->Peak(), i - 20.0) << kNames[i] << " " << when;
    }
  }
  void SendKey(QWidget* to, QEvent::Type type, bool autoRepeat) {
    QKeyEvent key(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), autoRepeat);
    QApplication::sendEvent(to, &key);
  }

  std::shared_ptr<sim::SimulatedMpu> unit;
  std::unique_ptr<TMainForm> form;
  TMeteringPage* page = nullptr;
};

TEST_F(MeteringPage, TheBarsCarryTheTableNamesScaleAndPalettes) {
  EXPECT_EQ(page->objectName(), "tabMetering");
  EXPECT_EQ(form->PageControl()->indexOf(page), TMainForm::pgMetering);
  EXPECT_EQ(page->findChildren<TSRLevelBar*>().size(), 24);
  for (int i = 0; i < TMeteringPage::kBarCount; ++i) {
    SCOPED_TRACE(kNames[i]);
    auto* bar = page->findChild<TSRLevelBar*>(kNames[i]);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar, Bar(i));
    EXPECT_STREQ(TMeteringPage::BarName(i), kNames[i]);
    EXPECT_EQ(bar->Min(), -50.0);
    EXPECT_EQ(bar->Max(), 20.0);
    EXPECT_EQ(bar->HighRange(), 20.0);
    EXPECT_EQ(bar->MidRange(), 30.0);
    EXPECT_EQ(bar->LoRange(), 20.0);
    EXPECT_EQ(bar->HighStep(), 0.5);
    EXPECT_EQ(bar->MidStep(), 1.0);
    EXPECT_EQ(bar->LowStep(), 1.0);
    EXPECT_EQ(bar->LedCount(), 90);
    EXPECT_EQ(bar->LedHeight(), 3);
    EXPECT_EQ(bar->LedWidth(), 10);
    EXPECT_TRUE(bar->Peakhold());
    EXPECT_EQ(bar->HoldTime(), 1000);
    EXPECT_EQ(bar->Orientation(), Qt::Vertical);
    EXPECT_EQ(bar->LowColors(), (TSRLevelPalette{QColor(0, 255, 0), QColor(0, 0x20, 0), 50}));
    EXPECT_EQ(bar->MidColors(), (TSRLevelPalette{QColor(255, 255, 0), QColor(0x20, 0x20, 0), 8}));
    EXPECT_EQ(bar->HighColors(), (TSRLevelPalette{QColor(255, 0, 0), QColor(0x20, 0, 0), 6}));
    // Lime up to 0 dB, yellow up to +8, red above.
    EXPECT_EQ(bar->PaletteOf(LevelLedIndex(bar->Leds(), 0.0)).High, QColor(0, 255, 0));
    EXPECT_EQ(bar->PaletteOf(LevelLedIndex(bar->Leds(), 8.0)).High, QColor(255, 255, 0));
    EXPECT_EQ(bar->PaletteOf(LevelLedIndex(bar->Leds(), 8.5)).High, QColor(255, 0, 0));
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->Level(), kDark);
  }
  EXPECT_EQ(Bar(-1), nullptr);
  EXPECT_EQ(Bar(24), nullptr);
}

TEST_F(MeteringPage, EveryPanelCarriesItsBusAndChannelCaptions) {
  struct Panel {
    const char* Caption;
    int Left, Right;
    const char* LeftText;
    const char* RightText;
  };
  const Panel panels[] = {
      {"PGM1", 0, 1, "L", "R"},  {"PGM2", 2, 3, "L", "R"},  {"REC", 4, 5, "L", "R"},
      {"AUX", 6, 7, "L", "R"},   {"CFA/B", 8, 9, "A", "B"}, {"CF1", 10, 11, "L", "R"},
      {"CF2", 12, 13, "L", "R"}, {"CF3", 14, 15, "L", "R"}, {"CF4", 16, 17, "L", "R"},
      {"CF5", 18, 19, "L", "R"}, {"CF6", 20, 21, "L", "R"}, {"PREFADE", 22, 23, "L", "R"},
  };
  for (const Panel& p : panels) {
    SCOPED_TRACE(p.Caption);
    QWidget* panel = Bar(p.Left)->parentWidget();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(Bar(p.Right)->parentWidget(), panel);
    std::map<std::string, int> texts;
    for (const QLabel* label : panel->findChildren<QLabel*>()) ++texts[label->text().toStdString()];
    EXPECT_EQ(texts[p.Caption], 1);
    EXPECT_EQ(texts[p.LeftText], 1);
    EXPECT_EQ(texts[p.RightText], 1);
    EXPECT_EQ(texts["dBu"], 1);
    EXPECT_EQ(texts.size(), 4u);
  }
}

TEST_F(MeteringPage, ABlockDrivesEachBarFromItsByte) {
  Deliver(Staircase());
  ExpectStaircase("after the block");
}

TEST_F(MeteringPage, Byte22F8ShowsMinus4DbOnTheLeftPrefadeBar) {
  Block b = Silent();
  b[22] = static_cast<std::int8_t>(0xF8);
  Deliver(b);
  EXPECT_DOUBLE_EQ(Bar(22)->Level(), -4.0);
  EXPECT_DOUBLE_EQ(Bar(22)->Peak(), -4.0);
  EXPECT_DOUBLE_EQ(Bar(22)->DecayValue(), -4.0);
  for (int i = 0; i < TMeteringPage::kBarCount; ++i)
    if (i != 22) {
      EXPECT_EQ(Bar(i)->Level(), kDark) << kNames[i];
    }
}

TEST_F(MeteringPage, HalfDecibelStepsAndValuesOutsideTheScale) {
  Block b = Silent();
  b[0] = 0x14;                            // +10.0 dB
  b[1] = 0x13;                            // +9.5 dB: an LED of the 0.5 dB section
  b[2] = 0x7F;                            // +63.5 dB: clipped to the top LED
  b[3] = static_cast<std::int8_t>(0x9C);  // -50 dB: the bottom of the scale, nothing lit
  b[4] = static_cast<std::int8_t>(0x9E);  // -49 dB: the lowest LED
  b[5] = static_cast<std::int8_t>(0x80);  // -64 dB
  Deliver(b);
  EXPECT_DOUBLE_EQ(Bar(0)->Level(), 10.0);
  EXPECT_DOUBLE_EQ(Bar(1)->Level(), 9.5);
  EXPECT_DOUBLE_EQ(Bar(2)->Level(), 20.0);
  EXPECT_EQ(Bar(2)->LevelLedIdx(), 89);
  EXPECT_EQ(Bar(3)->Level(), kDark);
  EXPECT_DOUBLE_EQ(Bar(4)->Level(), -49.0);
  EXPECT_EQ(Bar(4)->LevelLedIdx(), 0);
  EXPECT_EQ(Bar(5)->Level(), kDark);
}

TEST_F(MeteringPage, AHigherBlockRaisesAndALowerOneLeavesTheFallToTheTimer) {
  Block b = Silent();
  b[0] = 0;  // 0 dB
  Deliver(b);
  b[0] = -20;  // -10 dB
  Deliver(b);
  EXPECT_DOUBLE_EQ(Bar(0)->Level(), 0.0);
  EXPECT_DOUBLE_EQ(Bar(0)->Peak(), 0.0);
  Bar(0)->DecayTick();
  EXPECT_DOUBLE_EQ(Bar(0)->Level(), -1.0);
  EXPECT_DOUBLE_EQ(Bar(0)->Peak(), 0.0);  // held for a second
}

TEST_F(MeteringPage, BlocksOnAnotherPageChangeNothing) {
  for (const int other :
       {static_cast<int>(TMainForm::pgSystem), static_cast<int>(TMainForm::pgInputSources),
        static_cast<int>(TMainForm::pgChannelStrips)}) {
    ShowPage(other);
    ASSERT_EQ(form->ActivePageIndex(), other);
    Deliver(Staircase());
    ExpectAllDark("on another page");
  }
  ShowPage(TMainForm::pgMetering);
  Deliver(Staircase());
  ExpectStaircase("back on the Metering page");
}

TEST_F(MeteringPage, TestLightsTheFixedLevels) {
  ASSERT_NE(page->btnTestMeters, nullptr);
  EXPECT_EQ(page->btnTestMeters->objectName(), "btnTestMeters");
  EXPECT_EQ(page->btnTestMeters->text(), "Test");
  QTest::mouseClick(page->btnTestMeters, Qt::LeftButton);
  const std::map<std::string, double> expected = {
      {"meteringPGM1Left", 20},  {"meteringPGM1Right", 20}, {"meteringPGM2Left", 16},
      {"meteringPGM2Right", 16}, {"meteringRecLeft", 12},   {"meteringRECRight", 12},
      {"meteringAUXLeft", 8},    {"meteringAUXRight", 8},   {"meteringPFLeft", 4},
      {"meteringPFRight", 4},    {"meteringCF1Left", 0},    {"meteringCF1Right", 0},
      {"meteringCF2Left", -4},   {"meteringCF2Right", -4},  {"meteringCF3Left", -8},
      {"meteringCF3Right", -8},  {"meteringCF4Left", -12},  {"meteringCF4Right", -12},
      {"meteringCF5Left", -16},  {"meteringCF5Right", -16}, {"meteringCF6Left", -20},
      {"meteringCF6Right", -20}, {"meteringCFA", -24},      {"meteringCFB", -24},
  };
  ASSERT_EQ(expected.size(), 24u);
  for (const auto& [name, level] : expected) {
    auto* bar = page->findChild<TSRLevelBar*>(QString::fromStdString(name));
    ASSERT_NE(bar, nullptr) << name;
    EXPECT_DOUBLE_EQ(bar->Level(), level) << name;
    EXPECT_DOUBLE_EQ(bar->Peak(), level) << name;
  }
  // The next block writes over it (here it lifts the bars that were lower).
  Block b = Silent();
  b[8] = 0;  // CFA 0 dB
  Deliver(b);
  EXPECT_DOUBLE_EQ(Bar(8)->Level(), 0.0);
  EXPECT_DOUBLE_EQ(Bar(9)->Level(), -24.0);
}

TEST_F(MeteringPage, ResetHeldWithTheMouseKeepsTheBarsDark) {
  QPushButton* reset = page->btnMetersReset;
  ASSERT_NE(reset, nullptr);
  EXPECT_EQ(reset->objectName(), "btnMetersReset");
  EXPECT_EQ(reset->text(), "Reset");
  Deliver(Staircase());

  QTest::mousePress(reset, Qt::LeftButton);
  for (int i = 0; i < TMeteringPage::kBarCount; ++i) EXPECT_FALSE(Bar(i)->isEnabled()) << kNames[i];
  ExpectAllDark("on the press");
  for (int n = 0; n < 5; ++n) Deliver(Staircase());
  ExpectAllDark("while held");
  QTest::mouseClick(page->btnTestMeters, Qt::LeftButton);
  ExpectAllDark("Test while held");

  QTest::mouseRelease(reset, Qt::LeftButton);
  for (int i = 0; i < TMeteringPage::kBarCount; ++i) EXPECT_TRUE(Bar(i)->isEnabled()) << kNames[i];
  ExpectAllDark("right after the release");
  Deliver(Staircase());
  ExpectStaircase("the next block");
}

TEST_F(MeteringPage, ResetHeldWithTheSpaceBarKeepsTheBarsDark) {
  QPushButton* reset = page->btnMetersReset;
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  reset->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(reset->hasFocus());
  QWidget* focused = QApplication::focusWidget();
  ASSERT_EQ(focused, reset);
  Deliver(Staircase());

  SendKey(focused, QEvent::KeyPress, false);
  ExpectAllDark("on the key press");
  // A held key repeats: the repeats leave the bars dark.
  SendKey(focused, QEvent::KeyRelease, true);
  SendKey(focused, QEvent::KeyPress, true);
  Deliver(Staircase());
  ExpectAllDark("while the key is held");
  for (int i = 0; i < TMeteringPage::kBarCount; ++i) EXPECT_FALSE(Bar(i)->isEnabled()) << kNames[i];

  SendKey(focused, QEvent::KeyRelease, false);
  for (int i = 0; i < TMeteringPage::kBarCount; ++i) EXPECT_TRUE(Bar(i)->isEnabled()) << kNames[i];
  Deliver(Staircase());
  ExpectStaircase("the next block");
}

TEST_F(MeteringPage, LeavingThePageWithResetHeldLetsGoOfIt) {
  QTest::mousePress(page->btnMetersReset, Qt::LeftButton);
  ASSERT_FALSE(Bar(0)->isEnabled());
  ShowPage(TMainForm::pgSystem);
  ShowPage(TMainForm::pgMetering);
  EXPECT_FALSE(page->btnMetersReset->isDown());
  for (int i = 0; i < TMeteringPage::kBarCount; ++i) EXPECT_TRUE(Bar(i)->isEnabled()) << kNames[i];
  Deliver(Staircase());
  ExpectStaircase("after coming back");
}

TEST_F(MeteringPage, ReleasedMetersFallAgain) {
  QTest::mousePress(page->btnMetersReset, Qt::LeftButton);
  QTest::mouseRelease(page->btnMetersReset, Qt::LeftButton);
  Deliver(Staircase());
  auto* timer = Bar(23)->findChild<QTimer*>("decayTimer");
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isActive());
  Bar(23)->DecayTick();
  EXPECT_DOUBLE_EQ(Bar(23)->Level(), 2.0);
}

TEST_F(MeteringPage, TheBridgeShowsAllBarsSideBySideAtTheDefaultSize) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  // Left to right: PGM1, PGM2, REC, AUX, PREFADE, CF1..CF6, CFA/B.
  const int order[] = {0,  1,  2,  3,  4,  5,  6,  7,  22, 23, 10, 11,
                       12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 8,  9};
  int lastRight = -1;
  const QRect pageRect(page->mapToGlobal(QPoint(0, 0)), page->size());
  for (const int byte : order) {
    SCOPED_TRACE(kNames[byte]);
    TSRLevelBar* bar = Bar(byte);
    ASSERT_TRUE(bar->isVisible());
    const QRect r(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    EXPECT_TRUE(pageRect.contains(r));
    EXPECT_GT(r.left(), lastRight);  // no overlap, in order
    lastRight = r.right();
    EXPECT_GE(bar->width(), 14);       // LED width 10 and the case
    EXPECT_GE(bar->height(), 90 * 4);  // every LED at least its 3 px and a gap
    for (int led = 0; led < bar->LedCount(); ++led) ASSERT_GE(bar->LedRect(led).height(), 3) << led;
    EXPECT_EQ(bar->height(), Bar(0)->height());
    EXPECT_EQ(r.top(), Bar(0)->mapToGlobal(QPoint(0, 0)).y());
  }
  // The buttons sit under the bridge.
  const int buttonsTop = page->btnTestMeters->mapToGlobal(QPoint(0, 0)).y();
  EXPECT_GT(buttonsTop, Bar(0)->mapToGlobal(QPoint(0, Bar(0)->height())).y());
  EXPECT_TRUE(page->btnTestMeters->isVisible());
  EXPECT_TRUE(page->btnMetersReset->isVisible());
}

// Against the simulated unit: its blocks reach the bars while the page is
// visible, and only then.
TEST_F(MeteringPage, AConnectedUnitsBlocksMoveTheBarsOfTheVisiblePage) {
  // Count the blocks in front of the main window's handler, as the IPC
  // server chains itself in.
  int blocks = 0;
  auto shown = form->MPU().OnMeteringData;
  form->MPU().OnMeteringData = [&blocks, shown](TAldraneMPU& sender,
                                                std::span<const std::int8_t, 256> data, int size) {
    ++blocks;
    shown(sender, data, size);
  };
  QTest::mouseClick(form->btnConnect, Qt::LeftButton);
  ASSERT_TRUE(test::WaitFor([&] { return form->MPU().ConnectionStatus() == csOpened; }));
  // The unit's default mix routes live inputs to PGM1 and REC.
  ASSERT_TRUE(test::WaitFor([&] { return Bar(0)->Level() > -50 && Bar(4)->Level() > -50; }));
  EXPECT_GT(Bar(0)->Peak(), -50);

  ShowPage(TMainForm::pgSystem);
  QTest::mousePress(page->btnMetersReset, Qt::LeftButton);  // blank them
  QTest::mouseRelease(page->btnMetersReset, Qt::LeftButton);
  const int before = blocks;
  ASSERT_TRUE(test::WaitFor([&] { return blocks >= before + 3; }));
  ExpectAllDark("blocks for another page");

  ShowPage(TMainForm::pgMetering);
  EXPECT_TRUE(test::WaitFor([&] { return Bar(0)->Level() > -50; }));
}

}  // namespace
}  // namespace mpu::pages
