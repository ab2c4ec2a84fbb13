// Drawing: every control paints at any size, and what the meter and the
// LED show follows their state.
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "controls/sr_controls.h"

namespace mpu {
namespace {

TEST(Paint, EveryControlPaintsAtAnySize) {
  const std::vector<std::pair<const char*, std::function<std::unique_ptr<QWidget>()>>> controls = {
      {"level bar",
       [] {
         auto bar = std::make_unique<TSRLevelBar>();
         bar->SetPeakhold(true);
         bar->SetLevel(-3.0);
         bar->SetPeak(0.0);
         return bar;
       }},
      {"horizontal level bar",
       [] {
         auto bar = std::make_unique<TSRLevelBar>();
         bar->SetOrientation(Qt::Horizontal);
         bar->SetLevel(0.0);
         return bar;
       }},
      {"fader",
       [] {
         auto fader = std::make_unique<TSRFader>();
         fader->SetPosition(-10.0f);
         return fader;
       }},
      {"speed button",
       [] {
         auto button = std::make_unique<TSRSpeedButton>(QStringLiteral("ON-AIR LIVE LOG"));
         button->SetChecked(true);
         return button;
       }},
      {"icon button",
       [] {
         auto button = std::make_unique<TSRSpeedButton>();
         button->SetDisplayMode(sdmIconOnly);
         return button;
       }},
      {"led",
       [] {
         auto led = std::make_unique<TSRLED>();
         led->SetCaption(QStringLiteral("NOT INSTALLED"));
         led->SetChecked(true);
         return led;
       }},
      {"value display",
       [] {
         auto display = std::make_unique<TSRValueDisplay>();
         display->SetUnitText(QStringLiteral("dB"));
         display->SetValue(-4.5f);
         return display;
       }},
      {"panel",
       [] {
         auto panel = std::make_unique<TSRPanel>();
         panel->SetCaption(QStringLiteral("Panel"));
         return panel;
       }},
      {"bevel", [] { return std::make_unique<TSRBevel>(); }},
  };
  const QSize sizes[] = {{0, 0}, {1, 1}, {2, 300}, {300, 2}, {5, 5}, {12, 400}, {400, 12}, {60, 60}};
  for (const auto& [name, make] : controls) {
    const std::unique_ptr<QWidget> control = make();
    EXPECT_FALSE(control->sizeHint().isEmpty()) << name;
    for (const QSize& size : sizes) {
      control->resize(size);
      const QPixmap picture = control->grab();
      EXPECT_EQ(picture.size(), size.expandedTo(QSize(0, 0))) << name;
    }
  }
}

int Distance(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

TEST(Paint, MeterShowsLitLevelThePeakAndDarkSegments) {
  for (const Qt::Orientation orientation : {Qt::Vertical, Qt::Horizontal}) {
    TSRLevelBar bar;
    bar.SetOrientation(orientation);
    bar.resize(bar.sizeHint());
    bar.SetPeakhold(true);
    bar.SetLevel(-20.0);
    bar.SetPeak(-1.0);
    const QImage image = bar.grab().toImage();
    for (int i = 0; i < bar.LedCount(); ++i) {
      const QRect led = bar.LedRect(i);
      ASSERT_FALSE(led.isEmpty()) << i;
      ASSERT_TRUE(bar.rect().contains(led)) << i;
      // The LEDs carry a soft highlight: compare with the nearer colour.
      const QColor shown = image.pixelColor(led.center());
      const TSRLevelPalette& palette = bar.PaletteOf(i);
      const bool lit = i <= bar.LevelLedIdx() || i == bar.PeakLedIdx();
      EXPECT_EQ(Distance(shown, palette.High) < Distance(shown, palette.Low), lit) << orientation << " LED " << i;
    }
    // Lowest LED at the bottom (vertical) or at the left (horizontal).
    if (orientation == Qt::Vertical) {
      EXPECT_GT(bar.LedRect(0).top(), bar.LedRect(1).top());
    } else {
      EXPECT_LT(bar.LedRect(0).left(), bar.LedRect(1).left());
    }
  }
}

TEST(Paint, LitLedIsBrightUnlitLedIsDark) {
  TSRLED led;
  led.resize(24, 24);
  led.SetLedColor(QColor(0, 255, 0));
  const QPoint centre = led.LampRect().center();
  const int dark = led.grab().toImage().pixelColor(centre).green();
  led.SetChecked(true);
  const int lit = led.grab().toImage().pixelColor(centre).green();
  EXPECT_GT(lit, 200);
  EXPECT_LT(dark, 90);
}

}  // namespace
}  // namespace mpu
