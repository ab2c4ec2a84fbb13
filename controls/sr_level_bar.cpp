#include "controls/sr_level_bar.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "controls/sr_colors.h"

namespace mpu {
namespace {

constexpr int kFrame = 1;  // the dark case around the LEDs

bool Finite(double v) { return std::isfinite(v); }

// The fill of the LEDs of one colour: a soft highlight across the bar when
// it is wide enough for one to show. Every LED of a bar spans the same
// width (or height), so one brush per colour serves the whole bar.
QBrush LedBrush(const QRect& led, const QColor& color, bool vertical) {
  const int across = vertical ? led.width() : led.height();
  if (across < 6) return QBrush(color);
  QLinearGradient gradient(vertical ? QPointF(led.left(), 0) : QPointF(0, led.top()),
                           vertical ? QPointF(led.right() + 1, 0) : QPointF(0, led.bottom() + 1));
  gradient.setColorAt(0.0, color.darker(140));
  gradient.setColorAt(0.42, color.lighter(112));
  gradient.setColorAt(1.0, color.darker(160));
  return QBrush(gradient);
}

// The brushes one repaint uses, made once per colour.
class LedBrushes {
 public:
  const QBrush& For(const QRect& led, const QColor& color, bool vertical) {
    const QRgb key = color.rgba();
    for (const auto& [rgb, brush] : brushes_)
      if (rgb == key) return brush;
    brushes_.emplace_back(key, LedBrush(led, color, vertical));
    return brushes_.back().second;
  }

 private:
  std::vector<std::pair<QRgb, QBrush>> brushes_;  // a handful of colours per bar
};

}  // namespace

TSRLevelBar::TSRLevelBar(QWidget* parent)
    : QWidget(parent),
      FLowColors{QColor(0, 255, 0), ColorFromBgr(0x002000), 60.0},
      FMidColors{QColor(255, 255, 0), ColorFromBgr(0x002020), 10.0},
      FHighColors{QColor(255, 0, 0), ColorFromBgr(0x000020), 2.0},
      FDecayTimer(new QTimer(this)),
      FHoldTimer(new QTimer(this)) {
  FScale.LowColorRange = FLowColors.Range;
  FScale.MidColorRange = FMidColors.Range;
  FLeds = FScale.BuildTable();

  FDecayTimer->setObjectName(QStringLiteral("decayTimer"));
  FDecayTimer->setInterval(FDecayTime);
  connect(FDecayTimer, &QTimer::timeout, this, &TSRLevelBar::DecayTick);
  FHoldTimer->setObjectName(QStringLiteral("holdTimer"));
  FHoldTimer->setSingleShot(true);
  connect(FHoldTimer, &QTimer::timeout, this, &TSRLevelBar::HoldExpired);
  if (isEnabled()) FDecayTimer->start();

  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

TSRLevelBar::~TSRLevelBar() = default;

bool TSRLevelBar::ApplyScale(const TSRLevelScale& scale) {
  if (scale == FScale) return true;
  if (!scale.Valid()) return false;
  FScale = scale;
  FLeds = FScale.BuildTable();
  Clear();
  updateGeometry();
  update();
  return true;
}

void TSRLevelBar::Clear() {
  FLevelLedIdx = -1;
  FPeakLedIdx = -1;
  FDecayValue = kIdleLevel;
  FHoldActive = false;
  FHoldTimer->stop();
}

bool TSRLevelBar::SetMax(double value) {
  TSRLevelScale s = FScale;
  s.Max = value;
  return ApplyScale(s);
}

bool TSRLevelBar::SetHighRange(double value) {
  TSRLevelScale s = FScale;
  s.HighRange = value;
  return ApplyScale(s);
}

bool TSRLevelBar::SetMidRange(double value) {
  TSRLevelScale s = FScale;
  s.MidRange = value;
  return ApplyScale(s);
}

bool TSRLevelBar::SetLoRange(double value) {
  TSRLevelScale s = FScale;
  s.LoRange = value;
  return ApplyScale(s);
}

bool TSRLevelBar::SetHighStep(double value) {
  TSRLevelScale s = FScale;
  s.HighStep = value;
  return ApplyScale(s);
}

bool TSRLevelBar::SetMidStep(double value) {
  TSRLevelScale s = FScale;
  s.MidStep = value;
  return ApplyScale(s);
}

bool TSRLevelBar::SetLowStep(double value) {
  TSRLevelScale s = FScale;
  s.LowStep = value;
  return ApplyScale(s);
}

namespace {
bool PaletteUsable(const TSRLevelPalette& p) {
  return p.High.isValid() && p.Low.isValid() && Finite(p.Range) && p.Range >= 0.0;
}
}  // namespace

bool TSRLevelBar::SetLowColors(const TSRLevelPalette& value) {
  if (!PaletteUsable(value)) return false;
  TSRLevelScale s = FScale;
  s.LowColorRange = value.Range;
  if (!ApplyScale(s)) return false;
  FLowColors = value;
  update();
  return true;
}

bool TSRLevelBar::SetMidColors(const TSRLevelPalette& value) {
  if (!PaletteUsable(value)) return false;
  TSRLevelScale s = FScale;
  s.MidColorRange = value.Range;
  if (!ApplyScale(s)) return false;
  FMidColors = value;
  update();
  return true;
}

bool TSRLevelBar::SetHighColors(const TSRLevelPalette& value) {
  // The high colour takes everything above the middle one; its range is
  // kept for reading back only.
  if (!PaletteUsable(value)) return false;
  FHighColors = value;
  update();
  return true;
}

void TSRLevelBar::SetPeakhold(bool value) {
  if (value == FPeakhold) return;
  FPeakhold = value;
  FHoldActive = false;
  FHoldTimer->stop();
  update();
}

bool TSRLevelBar::SetHoldTime(int ms) {
  if (ms < 0 || ms > kMaxHoldTime) return false;
  FHoldTime = ms;
  return true;
}

bool TSRLevelBar::SetDecayTime(int ms) {
  if (ms < kMinDecayTime || ms > kMaxDecayTime) return false;
  FDecayTime = ms;
  FDecayTimer->setInterval(ms);  // restarts a running timer
  return true;
}

bool TSRLevelBar::SetLedHeight(int px) {
  if (px < 1 || px > 64) return false;
  FLedHeight = px;
  updateGeometry();
  update();
  return true;
}

bool TSRLevelBar::SetLedWidth(int px) {
  if (px < 1 || px > 256) return false;
  FLedWidth = px;
  updateGeometry();
  update();
  return true;
}

bool TSRLevelBar::SetLedSpacing(int px) {
  if (px < 0 || px > 32) return false;
  FLedSpacing = px;
  updateGeometry();
  update();
  return true;
}

bool TSRLevelBar::SetBarSpacing(int px) {
  if (px < 0 || px > 32) return false;
  FBarSpacing = px;
  updateGeometry();
  update();
  return true;
}

void TSRLevelBar::SetOrientation(Qt::Orientation value) {
  if (value == FOrientation) return;
  FOrientation = value;
  setSizePolicy(value == Qt::Vertical ? QSizePolicy::Fixed : QSizePolicy::Preferred,
                value == Qt::Vertical ? QSizePolicy::Preferred : QSizePolicy::Fixed);
  updateGeometry();
  update();
}

void TSRLevelBar::SetLevel(double level) {
  if (!isEnabled() || !Finite(level)) return;
  const int index = LevelLedIndex(FLeds, level);
  if (index > FLevelLedIdx) {
    FLevelLedIdx = index;
    FDecayValue = level;
    update();
  } else if (index == FLevelLedIdx && index >= 0 && level > FDecayValue) {
    // Same LED again: restart the fall from the new value, so a steady
    // signal does not flicker one LED down between two readings.
    FDecayValue = level;
  }
}

void TSRLevelBar::SetPeak(double level) {
  if (!isEnabled() || !Finite(level)) return;
  const int index = LevelLedIndex(FLeds, level);
  if (index <= FPeakLedIdx) return;
  FPeakLedIdx = index;
  if (FPeakhold && FHoldTime > 0) {
    FHoldActive = true;
    FHoldTimer->start(FHoldTime);
  }
  update();
}

double TSRLevelBar::Level() const {
  if (FLevelLedIdx < 0 || FLevelLedIdx >= LedCount()) return kIdleLevel;
  return FLeds[static_cast<std::size_t>(FLevelLedIdx)].Threshold;
}

double TSRLevelBar::Peak() const {
  if (FPeakLedIdx < 0 || FPeakLedIdx >= LedCount()) return kIdleLevel;
  return FLeds[static_cast<std::size_t>(FPeakLedIdx)].Threshold;
}

const TSRLevelPalette& TSRLevelBar::PaletteOf(int ledIndex) const {
  if (ledIndex < 0 || ledIndex >= LedCount()) return FLowColors;
  switch (FLeds[static_cast<std::size_t>(ledIndex)].Section) {
    case lsMid:
      return FMidColors;
    case lsHigh:
      return FHighColors;
    case lsLow:
      break;
  }
  return FLowColors;
}

void TSRLevelBar::DecayTick() {
  bool changed = false;
  if (FLevelLedIdx >= 0) {
    FDecayValue -= 1.0;
    const int index = std::min(FLevelLedIdx, LevelLedIndex(FLeds, FDecayValue));
    if (index != FLevelLedIdx) {
      FLevelLedIdx = index;
      changed = true;
    }
    if (FLevelLedIdx < 0) FDecayValue = kIdleLevel;
  }
  if (!FHoldActive && FPeakLedIdx >= 0) {
    --FPeakLedIdx;
    changed = true;
  }
  if (changed) update();
}

void TSRLevelBar::HoldExpired() {
  FHoldTimer->stop();
  FHoldActive = false;
}

void TSRLevelBar::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    if (isEnabled()) {
      FDecayTimer->start();
    } else {
      FDecayTimer->stop();
      Clear();
      update();
    }
  }
  QWidget::changeEvent(event);
}

QSize TSRLevelBar::sizeHint() const {
  const int border = 2 * (kFrame + FBarSpacing);
  const int count = std::max(1, LedCount());
  const int length = count * (FLedHeight + FLedSpacing) - FLedSpacing + border;
  const int across = FLedWidth + border;
  return FOrientation == Qt::Vertical ? QSize(across, length) : QSize(length, across);
}

QSize TSRLevelBar::minimumSizeHint() const {
  const int border = 2 * (kFrame + FBarSpacing);
  return FOrientation == Qt::Vertical ? QSize(border + 2, border + 16) : QSize(border + 16, border + 2);
}

void TSRLevelBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect all = rect();
  painter.fillRect(all, QColor(12, 13, 14));
  if (all.width() < 3 || all.height() < 3) return;
  // A sunken case: dark rim top/left, light rim bottom/right.
  painter.setPen(QColor(0, 0, 0));
  painter.drawLine(all.topLeft(), all.topRight());
  painter.drawLine(all.topLeft(), all.bottomLeft());
  painter.setPen(QColor(84, 88, 94));
  painter.drawLine(all.bottomLeft(), all.bottomRight());
  painter.drawLine(all.topRight(), all.bottomRight());

  const bool vertical = FOrientation == Qt::Vertical;
  const bool peakShown = FPeakhold && FPeakLedIdx > FLevelLedIdx && FPeakLedIdx < LedCount();
  LedBrushes brushes;
  for (int i = 0; i < LedCount(); ++i) {
    const QRect led = LedRect(i);
    if (led.isEmpty()) continue;
    const TSRLevelPalette& palette = PaletteOf(i);
    const QColor color = i <= FLevelLedIdx                   ? palette.High
                         : (peakShown && i == FPeakLedIdx) ? palette.High.lighter(118)
                                                           : palette.Low;
    painter.fillRect(led, brushes.For(led, color, vertical));
  }
}

QRect TSRLevelBar::LedRect(int ledIndex) const {
  const int count = LedCount();
  if (ledIndex < 0 || ledIndex >= count || width() < 3 || height() < 3) return {};
  const int inset = kFrame + FBarSpacing;
  const QRect inner = rect().adjusted(inset, inset, -inset, -inset);
  if (inner.width() <= 0 || inner.height() <= 0) return {};
  const bool vertical = FOrientation == Qt::Vertical;
  const long long length = vertical ? inner.height() : inner.width();
  // The LEDs share the length evenly; the gaps stay only while every LED
  // still gets at least one pixel of its own.
  const int gap = length >= static_cast<long long>(count) * (FLedSpacing + 1) ? FLedSpacing : 0;
  const int from = static_cast<int>(length * ledIndex / count);
  const int to = std::max(from + 1, static_cast<int>(length * (ledIndex + 1) / count) - gap);
  return vertical ? QRect(inner.left(), inner.bottom() + 1 - to, inner.width(), to - from)
                  : QRect(inner.left() + from, inner.top(), to - from, inner.height());
}

}  // namespace mpu
