#include "controls/sr_fader.h"

#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace mpu {
namespace {

constexpr int kMinWidthForLabels = 52;

QFont LabelFont(const QFont& base) {
  QFont font = base;
  font.setPointSizeF(std::max(6.0, base.pointSizeF() * 0.8));
  return font;
}

QString LabelText(double value) {
  const long rounded = std::lround(value);
  if (rounded > 0) return QStringLiteral("+%1").arg(rounded);
  return QString::number(rounded);
}

bool ScaleUsable(const TSRFaderScale& s) {
  for (const double v : {s.Min, s.Max, s.BottomLeftRange, s.MidRange, s.TopRightRange})
    if (!std::isfinite(v)) return false;
  if (!(s.Min < s.Max)) return false;
  if (s.BottomLeftRange < 0.0 || s.MidRange < 0.0 || s.TopRightRange < 0.0) return false;
  if (s.MidPercentage < 0 || s.TopRightPercentage < 0) return false;
  return s.MidPercentage + s.TopRightPercentage <= 100;
}

}  // namespace

TSRFader::TSRFader(QWidget* parent) : QWidget(parent) {
  FPosition = static_cast<float>(FScale.Min);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  setCursor(Qt::SizeVerCursor);
}

TSRFader::~TSRFader() = default;

bool TSRFader::ApplyScale(const TSRFaderScale& scale) {
  if (!ScaleUsable(scale)) return false;
  FScale = scale;
  // The position follows silently into the new range and step.
  FPosition = static_cast<float>(std::clamp(RoundToStep(FPosition, FScale.StepSize), FScale.Min, FScale.Max));
  if (!FDragging) PlaceThumb();
  update();
  return true;
}

bool TSRFader::SetMin(double value) {
  TSRFaderScale s = FScale;
  s.Min = value;
  return ApplyScale(s);
}

bool TSRFader::SetMax(double value) {
  TSRFaderScale s = FScale;
  s.Max = value;
  return ApplyScale(s);
}

bool TSRFader::SetBottomLeftRange(double value) {
  TSRFaderScale s = FScale;
  s.BottomLeftRange = value;
  return ApplyScale(s);
}

bool TSRFader::SetMidRange(double value) {
  TSRFaderScale s = FScale;
  s.MidRange = value;
  return ApplyScale(s);
}

bool TSRFader::SetTopRightRange(double value) {
  TSRFaderScale s = FScale;
  s.TopRightRange = value;
  return ApplyScale(s);
}

bool TSRFader::SetMidPercentage(int value) {
  TSRFaderScale s = FScale;
  s.MidPercentage = value;
  return ApplyScale(s);
}

bool TSRFader::SetTopRightPercentage(int value) {
  TSRFaderScale s = FScale;
  s.TopRightPercentage = value;
  return ApplyScale(s);
}

void TSRFader::SetStepSize(double value) {
  TSRFaderScale s = FScale;
  s.StepSize = SnapFaderStep(value);
  ApplyScale(s);
}

void TSRFader::SetPosition(float value) {
  if (FDragging || !std::isfinite(value)) return;
  FPosition = static_cast<float>(std::clamp(RoundToStep(value, FScale.StepSize), FScale.Min, FScale.Max));
  PlaceThumb();
  update();
}

void TSRFader::SetAutoMute(bool value) { FAutoMute = value; }

int TSRFader::LabelWidth() const {
  const QFontMetrics fm(LabelFont(font()));
  const int label = fm.horizontalAdvance(QStringLiteral("-00")) + 4;
  return width() >= std::max(kMinWidthForLabels, 2 * label + 12) ? label : 0;
}

int TSRFader::TrackCenterX() const {
  const int labels = LabelWidth();
  return labels + (width() - labels) / 2;
}

int TSRFader::ThumbWidth() const {
  const int track = width() - LabelWidth();
  return std::max(1, std::min(track, std::clamp(track - 4, 6, 44)));
}

int TSRFader::ThumbHeight() const {
  const int wanted = std::clamp(static_cast<int>(std::lround(ThumbWidth() * 0.72)), 8, 30);
  return std::max(1, std::min(wanted, height() / 3));
}

int TSRFader::Travel() const { return std::max(0, height() - ThumbHeight()); }

int TSRFader::PixelAtY(int y) const {
  const int th = ThumbHeight();
  return std::clamp(height() - th + th / 2 - y, 0, Travel());
}

int TSRFader::ThumbCenterY() const {
  const int th = ThumbHeight();
  return height() - th + th / 2 - FThumbPixel;
}

QPoint TSRFader::ThumbCenter() const { return {TrackCenterX(), ThumbCenterY()}; }

void TSRFader::PlaceThumb() { FThumbPixel = FScale.PixelOfValue(FPosition, Travel()); }

void TSRFader::resizeEvent(QResizeEvent* event) {
  if (!FDragging) PlaceThumb();
  QWidget::resizeEvent(event);
}

void TSRFader::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || FDragging) {
    QWidget::mousePressEvent(event);
    return;
  }
  // While the button is down every move reaches this widget, wherever the
  // pointer is (the press grabs the mouse implicitly).
  FDragging = true;
  FMoved = false;
  // Put the pointer on the thumb's centre. Where the platform does not let
  // a program move the pointer, drag relative to where it was pressed.
  const QPoint centre = mapToGlobal(ThumbCenter());
  MovePointer(centre);
  FPointerLocked = PointerPos() == centre;
  FLockX = FPointerLocked ? centre.x() : event->globalPosition().toPoint().x();
  FDragOffset = FPointerLocked ? 0 : qRound(event->position().y()) - ThumbCenterY();
  event->accept();
}

void TSRFader::mouseMoveEvent(QMouseEvent* event) {
  if (!FDragging) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  const int pixel = PixelAtY(qRound(event->position().y()) - FDragOffset);
  // Until the pointer leaves the thumb's pixel the position stays as it
  // was set, so a click without a move never nudges it.
  if (pixel != FThumbPixel) {
    FThumbPixel = pixel;
    FMoved = true;
    update();
  }
  const float value = static_cast<float>(FScale.ValueAtPixel(pixel, Travel()));
  if (FMoved && value != FPosition) {
    const bool wasMuted = Muted();
    FPosition = value;
    emit OnChange(this, FPosition);
    if (FAutoMute && Muted() != wasMuted) emit OnMute(this, Muted());
  }
  // Keep the pointer on the thumb's vertical line, over the whole screen.
  const QPoint global = event->globalPosition().toPoint();
  if (FDragging && FPointerLocked && global.x() != FLockX) MovePointer(QPoint(FLockX, global.y()));
  event->accept();
}

void TSRFader::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && FDragging) {
    EndDrag();
    event->accept();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void TSRFader::EndDrag() { FDragging = false; }

void TSRFader::MovePointer(const QPoint& global) { QCursor::setPos(screen(), global); }

QPoint TSRFader::PointerPos() const { return QCursor::pos(screen()); }

void TSRFader::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) EndDrag();
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

QSize TSRFader::sizeHint() const { return {56, 220}; }

QSize TSRFader::minimumSizeHint() const { return {16, 60}; }

void TSRFader::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (width() <= 0 || height() <= 0) return;
  painter.setRenderHint(QPainter::Antialiasing, true);

  const int th = ThumbHeight();
  const int tw = ThumbWidth();
  const int cx = TrackCenterX();
  const int travel = Travel();
  const int yBottom = height() - th + th / 2;  // thumb centre at pixel 0
  const int yTop = yBottom - travel;
  const bool enabled = isEnabled();
  const QColor text = palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);

  // Groove: a sunken slot along the travel, dark with a light lower edge.
  const int gw = tw >= 24 ? 4 : (tw >= 10 ? 3 : 2);
  const QRectF groove(cx - gw / 2.0, yTop - 3, gw, travel + 6);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 110));
  painter.drawRoundedRect(groove.adjusted(-1, -1, 1, 1), gw / 2.0 + 1, gw / 2.0 + 1);
  QLinearGradient slot(groove.topLeft(), groove.topRight());
  slot.setColorAt(0.0, QColor(6, 6, 7));
  slot.setColorAt(1.0, QColor(46, 48, 52));
  painter.setBrush(slot);
  painter.drawRoundedRect(groove.adjusted(-0.5, -0.5, 0, 0), gw / 2.0, gw / 2.0);

  // Scale: a tick every 5 dB (and at both ends), longer and labelled every
  // 10 dB; ticks too close to the last one drawn are left out.
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QFont labelFont = LabelFont(font());
  const QFontMetrics fm(labelFont);
  painter.setFont(labelFont);
  const int labelWidth = LabelWidth();
  const double first = std::ceil(FScale.Min / 5.0) * 5.0;
  std::vector<double> ticks;
  ticks.push_back(FScale.Max);
  for (double v = std::floor(FScale.Max / 5.0) * 5.0; v >= first; v -= 5.0)
    if (v < FScale.Max && v > FScale.Min) ticks.push_back(v);
  ticks.push_back(FScale.Min);
  int lastTickY = -1000;
  int lastLabelY = -1000;
  const int tickIn = gw / 2 + 2;
  const int tickOut = std::max(tickIn + 2, tw / 2);
  for (const double v : ticks) {
    const int y = yBottom - FScale.PixelOfValue(v, travel);
    const bool major = std::fmod(std::fabs(v), 10.0) < 1e-9 || v == FScale.Min || v == FScale.Max;
    if (y - lastTickY < 3) continue;
    lastTickY = y;
    QColor tick = text;
    tick.setAlpha(major ? 220 : 120);
    painter.setPen(tick);
    const int out = major ? tickOut : tickIn + (tickOut - tickIn) / 2;
    painter.drawLine(cx - out, y, cx - tickIn, y);
    painter.drawLine(cx + tickIn, y, cx + out, y);
    if (labelWidth > 0 && major && y - lastLabelY >= fm.height()) {
      lastLabelY = y;
      painter.setPen(text);
      painter.drawText(QRect(0, y - fm.height() / 2, labelWidth - 3, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                       LabelText(v));
    }
  }

  // Thumb: a grey cap with grip ridges and a white centre line.
  painter.setRenderHint(QPainter::Antialiasing, true);
  if (!enabled) painter.setOpacity(0.55);
  const QRectF thumb(cx - tw / 2.0, height() - th - FThumbPixel, tw, th);
  const qreal radius = std::min(3.0, th / 4.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 0, 80));
  painter.drawRoundedRect(thumb.translated(0, 2), radius, radius);
  QLinearGradient body(thumb.topLeft(), thumb.bottomLeft());
  body.setColorAt(0.0, QColor(222, 224, 228));
  body.setColorAt(0.47, QColor(150, 153, 159));
  body.setColorAt(0.53, QColor(126, 129, 134));
  body.setColorAt(1.0, QColor(72, 74, 78));
  painter.setBrush(body);
  painter.setPen(QPen(QColor(28, 29, 31), 1.0));
  painter.drawRoundedRect(thumb.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const int left = static_cast<int>(thumb.left()) + 3;
  const int right = static_cast<int>(thumb.right()) - 3;
  const int centreY = static_cast<int>(thumb.top()) + th / 2;
  if (th >= 14 && right > left) {
    for (int dy = 4; dy < th / 2 - 2; dy += 3) {
      for (const int y : {centreY - dy, centreY + dy}) {
        painter.setPen(QColor(40, 42, 45, 150));
        painter.drawLine(left, y, right, y);
        painter.setPen(QColor(255, 255, 255, 70));
        painter.drawLine(left, y + 1, right, y + 1);
      }
    }
  }
  if (right > left) {
    painter.setPen(QColor(20, 20, 20));
    painter.drawLine(left - 1, centreY - 1, right + 1, centreY - 1);
    painter.drawLine(left - 1, centreY + 1, right + 1, centreY + 1);
    painter.setPen(QColor(250, 250, 250));
    painter.drawLine(left - 1, centreY, right + 1, centreY);
  }
}

}  // namespace mpu
