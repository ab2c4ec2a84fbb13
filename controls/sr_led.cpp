#include "controls/sr_led.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

namespace mpu {

TSRLED::TSRLED(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

TSRLED::~TSRLED() = default;

void TSRLED::SetChecked(bool value) {
  if (value == FChecked) return;
  FChecked = value;
  update();
}

void TSRLED::SetLedColor(const QColor& value) {
  if (!value.isValid() || value == FLedColor) return;
  FLedColor = value;
  update();
}

void TSRLED::SetCaption(const QString& value) {
  if (value == FCaption) return;
  FCaption = value;
  updateGeometry();
  update();
}

QRect TSRLED::LampRect() const {
  const int side = std::max(0, std::min(width(), height()));
  const int x = FCaption.isEmpty() ? (width() - side) / 2 : 0;
  return {x, (height() - side) / 2, side, side};
}

QSize TSRLED::sizeHint() const {
  const QFontMetrics fm(font());
  const int side = std::max(18, fm.height() + 4);
  if (FCaption.isEmpty()) return {side, side};
  return {side + 3 + fm.horizontalAdvance(FCaption) + 2, side};
}

QSize TSRLED::minimumSizeHint() const { return {8, 8}; }

void TSRLED::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) updateGeometry();
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

void TSRLED::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRect square = LampRect();
  if (square.width() >= 3) {
    const QPointF centre = QRectF(square).center();
    const qreal outer = square.width() / 2.0;     // glow reaches the square's edge
    const qreal lens = std::max(1.5, outer * 0.72);  // the lamp itself
    const bool lit = FChecked && isEnabled();
    const QColor base = FLedColor;

    if (lit) {
      QRadialGradient glow(centre, outer);
      QColor inner = base;
      inner.setAlpha(150);
      QColor clear = base;
      clear.setAlpha(0);
      glow.setColorAt(0.0, inner);
      glow.setColorAt(lens / outer, inner);
      glow.setColorAt(1.0, clear);
      painter.setPen(Qt::NoPen);
      painter.setBrush(glow);
      painter.drawEllipse(centre, outer, outer);
    }

    // Lens: lit from the upper left, brighter in the middle when on.
    const QColor body = lit ? base : base.darker(420);
    QRadialGradient shade(centre, lens, centre - QPointF(lens * 0.35, lens * 0.35));
    shade.setColorAt(0.0, lit ? base.lighter(175) : base.darker(260));
    shade.setColorAt(0.6, body);
    shade.setColorAt(1.0, body.darker(lit ? 135 : 160));
    painter.setBrush(shade);
    painter.setPen(QPen(QColor(0, 0, 0, 170), std::max(1.0, lens / 8.0)));
    painter.drawEllipse(centre, lens, lens);

    // Specular highlight.
    QColor shine(255, 255, 255, lit ? 170 : 60);
    QRadialGradient spot(centre - QPointF(lens * 0.3, lens * 0.38), lens * 0.42);
    spot.setColorAt(0.0, shine);
    shine.setAlpha(0);
    spot.setColorAt(1.0, shine);
    painter.setPen(Qt::NoPen);
    painter.setBrush(spot);
    painter.drawEllipse(centre - QPointF(lens * 0.3, lens * 0.38), lens * 0.42, lens * 0.32);
  }

  if (!FCaption.isEmpty()) {
    const QRect text(square.right() + 4, 0, width() - square.right() - 4, height());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, FCaption);
  }
}

}  // namespace mpu
