#include "pages/metering_page.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

#include "controls/level_scale.h"
#include "controls/sr_colors.h"
#include "controls/sr_level_bar.h"

namespace mpu::pages {
namespace {

// ----- block byte -> bar -----

const char* const kBarNames[TMeteringPage::kBarCount] = {
    "meteringPGM1Left", "meteringPGM1Right", "meteringPGM2Left", "meteringPGM2Right",
    "meteringRecLeft",  "meteringRECRight",  "meteringAUXLeft",  "meteringAUXRight",
    "meteringCFA",      "meteringCFB",       "meteringCF1Left",  "meteringCF1Right",
    "meteringCF2Left",  "meteringCF2Right",  "meteringCF3Left",  "meteringCF3Right",
    "meteringCF4Left",  "meteringCF4Right",  "meteringCF5Left",  "meteringCF5Right",
    "meteringCF6Left",  "meteringCF6Right",  "meteringPFLeft",   "meteringPFRight",
};

// Test levels per block byte, dB.
constexpr double kTestLevels[TMeteringPage::kBarCount] = {
    20,  20,   // PGM1
    16,  16,   // PGM2
    12,  12,   // REC
    8,   8,    // AUX
    -24, -24,  // CFA, CFB
    0,   0,    // CF1
    -4,  -4,   // CF2
    -8,  -8,   // CF3
    -12, -12,  // CF4
    -16, -16,  // CF5
    -20, -20,  // CF6
    4,   4,    // PREFADE
};

// One stereo panel of the bridge.
struct PanelSpec {
  const char* Caption;  // bus caption
  const char* Name;     // object-name suffix
  int LeftByte;
  int RightByte;
  const char* LeftText;
  const char* RightText;
};

// Left to right. The order follows the Test levels, so Test draws a falling
// staircase across the bridge.
constexpr PanelSpec kMixBusPanels[] = {
    {"PGM1", "PGM1", 0, 1, "L", "R"},    {"PGM2", "PGM2", 2, 3, "L", "R"},
    {"REC", "REC", 4, 5, "L", "R"},      {"AUX", "AUX", 6, 7, "L", "R"},
    {"PREFADE", "PF", 22, 23, "L", "R"},
};
constexpr PanelSpec kConferencePanels[] = {
    {"CF1", "CF1", 10, 11, "L", "R"},  {"CF2", "CF2", 12, 13, "L", "R"},
    {"CF3", "CF3", 14, 15, "L", "R"},  {"CF4", "CF4", 16, 17, "L", "R"},
    {"CF5", "CF5", 18, 19, "L", "R"},  {"CF6", "CF6", 20, 21, "L", "R"},
    {"CFA/B", "CFAB", 8, 9, "A", "B"},
};

// ----- looks -----

const QColor kBridgeColor(0x15, 0x18, 0x1B);
const QColor kPanelTop(0x2C, 0x31, 0x37);
const QColor kPanelBottom(0x1E, 0x22, 0x26);
const QColor kPanelRim(0x41, 0x48, 0x50);
const QColor kPlateColor(0x0C, 0x0E, 0x10);
const QColor kCaptionText(0xEE, 0xF2, 0xF6);
const QColor kLegendText(0xB4, 0xBD, 0xC7);
const QColor kGroupText(0x8C, 0x97, 0xA3);

constexpr int kBarMinWidth = 14;  // LED width 10 plus the case
constexpr int kBarMaxWidth = 32;

void ConfigureBar(TSRLevelBar& bar) {
  // Max first: with the default ranges the scale stays valid at every step.
  bar.SetMax(20);
  bar.SetHighRange(20);
  bar.SetMidRange(30);
  bar.SetLoRange(20);
  bar.SetHighStep(0.5);
  bar.SetMidStep(1.0);
  bar.SetLowStep(1.0);
  bar.SetLowColors({QColor(0, 255, 0), ColorFromBgr(0x002000), 50});
  bar.SetMidColors({QColor(255, 255, 0), ColorFromBgr(0x002020), 8});
  bar.SetHighColors({QColor(255, 0, 0), ColorFromBgr(0x000020), 6});
  bar.SetLedHeight(3);
  bar.SetLedWidth(10);
  bar.SetPeakhold(true);
  bar.SetHoldTime(1000);
  bar.setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  bar.setMinimumWidth(kBarMinWidth);
  bar.setMaximumWidth(kBarMaxWidth);
}

QLabel* MakeLabel(const QString& text, QWidget* parent, const QColor& color, double scale,
                  bool bold) {
  auto* label = new QLabel(text, parent);
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, color);
  label->setPalette(p);
  QFont f = label->font();
  f.setBold(bold);
  if (f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * scale);
  label->setFont(f);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

// The dB scale between the two bars of a panel, drawn against the LEDs of
// a reference bar so that every mark sits on the LED boundary of its level.
class TMeterScale : public QWidget {
 public:
  TMeterScale(const TSRLevelBar& reference, QWidget* parent)
      : QWidget(parent), FReference(reference) {
    QFont f = font();
    if (f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * 0.8);
    setFont(f);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

  QSize sizeHint() const override {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QStringLiteral("-50")) + 2 * (kMajorTick + 2) + 2, 100};
  }
  QSize minimumSizeHint() const override { return {sizeHint().width(), 40}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    const std::vector<TSRLevelLed>& leds = FReference.Leds();
    if (leds.empty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QFontMetrics fm(font());
    const int textHeight = fm.ascent();
    const double min = FReference.Min();

    // Minor marks: every dB in the 0.5 dB section, every 5 dB elsewhere.
    for (int db = static_cast<int>(std::ceil(min)); db <= static_cast<int>(FReference.Max());
         ++db) {
      const bool fine = db >= 0;
      if (!fine && db % 5 != 0) continue;
      const int y = MarkY(db);
      if (y < 0) continue;
      painter.setPen(QColor(0x6A, 0x74, 0x80));
      painter.drawLine(0, y, kMinorTick - 1, y);
      painter.drawLine(width() - kMinorTick, y, width() - 1, y);
    }

    // Labelled marks, top down; a label that would touch the one above is
    // left out (a small window keeps fewer numbers, never overlapping ones).
    static constexpr int kLabels[] = {20, 15, 10, 5, 0, -5, -10, -15, -20, -25, -30, -40, -50};
    int lastBottom = -1000;
    for (const int db : kLabels) {
      const int y = MarkY(db);
      if (y < 0) continue;
      painter.setPen(QColor(0xA8, 0xB2, 0xBE));
      painter.drawLine(0, y, kMajorTick - 1, y);
      painter.drawLine(width() - kMajorTick, y, width() - 1, y);
      const int top = std::clamp(y - textHeight / 2, 0, std::max(0, height() - textHeight));
      if (top < lastBottom + 2) continue;
      lastBottom = top + textHeight;
      QColor color(0xC8, 0xD0, 0xD8);
      if (db > min + FReference.LowColors().Range + FReference.MidColors().Range)
        color = QColor(0xFF, 0x78, 0x70);
      else if (db > min + FReference.LowColors().Range)
        color = QColor(0xEC, 0xD8, 0x5C);
      QFont f = font();
      f.setBold(db == 0);
      painter.setFont(f);
      painter.setPen(db == 0 ? QColor(Qt::white) : color);
      const QString text = QString::number(db);
      painter.drawText(QRect(0, top, width(), textHeight),
                       Qt::AlignHCenter | Qt::AlignBaseline | Qt::AlignTop, text);
    }
  }

 private:
  static constexpr int kMajorTick = 4;
  static constexpr int kMinorTick = 2;

  // The row of the boundary below the LED whose top is `db` (for Min: the
  // bottom of the lowest LED), in this widget's coordinates; -1 when the
  // bar draws no LEDs.
  int MarkY(double db) const {
    const std::vector<TSRLevelLed>& leds = FReference.Leds();
    QRect led;
    int y = 0;
    if (db <= FReference.Min() + 1e-6) {
      led = FReference.LedRect(0);
      if (led.isEmpty()) return -1;
      y = led.bottom();
    } else {
      const int index = LevelLedIndex(leds, db);
      if (index < 0) return -1;
      led = FReference.LedRect(index);
      if (led.isEmpty()) return -1;
      // The gap above an LED belongs to it; the mark sits on the LED's top row.
      y = led.top();
    }
    return mapFromGlobal(FReference.mapToGlobal(QPoint(0, y))).y();
  }

  const TSRLevelBar& FReference;
};

// A stereo panel: bus caption on a plate, "dBu" over the scale, the two
// bars with the scale between them, the channel captions under the bars.
class TMeterPanel : public QWidget {
 public:
  explicit TMeterPanel(QWidget* parent) : QWidget(parent) {}
  void SetCaptionLabel(QLabel* label) { FCaption = label; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, kPanelTop);
    fill.setColorAt(1, kPanelBottom);
    painter.setPen(kPanelRim);
    painter.setBrush(fill);
    painter.drawRoundedRect(r, 5, 5);
    if (FCaption) {
      const QRectF plate = QRectF(FCaption->geometry()).adjusted(-1, -1, 1, 1);
      painter.setPen(QColor(0x05, 0x06, 0x07));
      painter.setBrush(kPlateColor);
      painter.drawRoundedRect(plate, 3, 3);
    }
  }

 private:
  QLabel* FCaption = nullptr;
};

// The dark ground of the bridge.
class TMeterBridge : public QWidget {
 public:
  explicit TMeterBridge(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x08, 0x09, 0x0A));
    painter.setBrush(kBridgeColor);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
  }
};

}  // namespace

TMeteringPage::TMeteringPage(TMainForm& main, QWidget* parent)
    : TMainPage(main, "tabMetering", parent) {
  auto* bridge = new TMeterBridge(this);
  bridge->setObjectName("pnlMeterBridge");
  auto* bridgeRow = new QHBoxLayout(bridge);
  bridgeRow->setContentsMargins(10, 8, 10, 10);
  bridgeRow->setSpacing(18);

  auto addGroup = [&](const char* title, std::span<const PanelSpec> panels) {
    auto* group = new QVBoxLayout;
    group->setSpacing(5);
    QLabel* heading = MakeLabel(title, bridge, kGroupText, 0.85, true);
    QFont f = heading->font();
    f.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    heading->setFont(f);
    group->addWidget(heading);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    for (const PanelSpec& spec : panels) {
      auto* panel = new TMeterPanel(bridge);
      panel->setObjectName(QStringLiteral("pnlMetering%1").arg(spec.Name));
      auto* grid = new QGridLayout(panel);
      grid->setContentsMargins(6, 6, 6, 5);
      grid->setHorizontalSpacing(2);
      grid->setVerticalSpacing(3);

      QLabel* caption = MakeLabel(spec.Caption, panel, kCaptionText, 0.95, true);
      caption->setObjectName(QStringLiteral("lblMetering%1").arg(spec.Name));
      caption->setContentsMargins(0, 3, 0, 3);
      panel->SetCaptionLabel(caption);
      grid->addWidget(caption, 0, 0, 1, 3);

      auto* left = new TSRLevelBar(panel);
      auto* right = new TSRLevelBar(panel);
      for (auto [bar, byte] : {std::pair{left, spec.LeftByte}, std::pair{right, spec.RightByte}}) {
        bar->setObjectName(kBarNames[byte]);
        ConfigureBar(*bar);
        FBars[static_cast<std::size_t>(byte)] = bar;
      }
      grid->addWidget(MakeLabel("dBu", panel, kLegendText, 0.8, false), 1, 1);
      auto* scale = new TMeterScale(*left, panel);
      grid->addWidget(left, 2, 0);
      grid->addWidget(scale, 2, 1);
      grid->addWidget(right, 2, 2);
      grid->addWidget(MakeLabel(spec.LeftText, panel, kLegendText, 0.9, true), 3, 0);
      grid->addWidget(MakeLabel(spec.RightText, panel, kLegendText, 0.9, true), 3, 2);
      grid->setRowStretch(2, 1);
      // The bars widen with the window up to kBarMaxWidth; the panel stops
      // growing with them and the bridge centres what it cannot fill.
      const QMargins m = grid->contentsMargins();
      panel->setMaximumWidth(2 * kBarMaxWidth + scale->sizeHint().width() +
                             2 * grid->horizontalSpacing() + m.left() + m.right());
      row->addWidget(panel, 1);
    }
    group->addLayout(row, 1);
    bridgeRow->addLayout(group, static_cast<int>(panels.size()));
  };
  bridgeRow->addStretch(0);
  addGroup("MIX BUSES", kMixBusPanels);
  addGroup("CONFERENCE", kConferencePanels);
  bridgeRow->addStretch(0);

  btnTestMeters = new QPushButton("Test", this);
  btnTestMeters->setObjectName("btnTestMeters");
  btnTestMeters->setToolTip("Light fixed levels on every meter");
  btnTestMeters->setMinimumWidth(96);
  btnMetersReset = new QPushButton("Reset", this);
  btnMetersReset->setObjectName("btnMetersReset");
  btnMetersReset->setToolTip("Blank the meters while held (mouse button or space bar)");
  btnMetersReset->setMinimumWidth(96);
  auto* legend =
      new QLabel("Levels in dBu, -50 to +20; peak hold 1 s. Hold Reset to blank the meters.", this);
  legend->setObjectName("lblMeteringLegend");

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(legend);
  buttons->addStretch(1);
  buttons->addWidget(btnTestMeters);
  buttons->addWidget(btnMetersReset);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(8);
  layout->addWidget(bridge, 1);
  layout->addLayout(buttons);

  connect(btnTestMeters, &QPushButton::clicked, this, [this] { TestMeters(); });
  // QPushButton reports both the mouse button and the space bar (while it
  // has the focus) as pressed / released; auto-repeated space presses are
  // not reported, and losing the focus releases it.
  connect(btnMetersReset, &QPushButton::pressed, this, [this] { ResetMeters(true); });
  connect(btnMetersReset, &QPushButton::released, this, [this] { ResetMeters(false); });
}

void TMeteringPage::ShowMeteringBlock(std::span<const std::int8_t, 256> Data) {
  for (int i = 0; i < kBarCount; ++i) {
    const double level = Data[static_cast<std::size_t>(i)] / 2.0;
    TSRLevelBar* bar = FBars[static_cast<std::size_t>(i)];
    bar->SetLevel(level);
    bar->SetPeak(level);
  }
}

void TMeteringPage::TestMeters() {
  for (int i = 0; i < kBarCount; ++i) {
    TSRLevelBar* bar = FBars[static_cast<std::size_t>(i)];
    bar->SetLevel(kTestLevels[i]);
    bar->SetPeak(kTestLevels[i]);
  }
}

void TMeteringPage::ResetMeters(bool held) {
  for (TSRLevelBar* bar : FBars) {
    if (held) {
      bar->setEnabled(false);  // stops the timers, clears level and peak
      bar->SetLevel(kResetLevel);
    } else {
      bar->setEnabled(true);
    }
  }
}

void TMeteringPage::hideEvent(QHideEvent* event) {
  if (btnMetersReset->isDown()) {
    btnMetersReset->setDown(false);
    ResetMeters(false);
  }
  TMainPage::hideEvent(event);
}

TSRLevelBar* TMeteringPage::Bar(int byteIndex) const {
  if (byteIndex < 0 || byteIndex >= kBarCount) return nullptr;
  return FBars[static_cast<std::size_t>(byteIndex)];
}

const char* TMeteringPage::BarName(int byteIndex) {
  if (byteIndex < 0 || byteIndex >= kBarCount) return "";
  return kBarNames[byteIndex];
}

}  // namespace mpu::pages
