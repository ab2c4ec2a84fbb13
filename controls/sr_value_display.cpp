#include "controls/sr_value_display.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mpu {

QString FormatDisplayValue(float value, int minWidth, int precision, const QString& unitText) {
  minWidth = std::clamp(minWidth, 0, TSRValueDisplay::kMaxMinWidth);
  precision = std::clamp(precision, 0, TSRValueDisplay::kMaxPrecision);
  char digits[64];
  std::snprintf(digits, sizeof digits, "%*.*f", minWidth, precision, std::fabs(static_cast<double>(value)));
  QString text = QString::fromLatin1(digits);
  text.replace(QLatin1Char(' '), QLatin1Char('0'));
  if (value < 0.0f) text.prepend(QLatin1Char('-'));
  return text + unitText;
}

TSRValueDisplay::TSRValueDisplay(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  Reformat();
}

TSRValueDisplay::~TSRValueDisplay() = default;

void TSRValueDisplay::Reformat() {
  const QString text = FormatDisplayValue(FValue, FMinWidth, FPrecision, FUnitText);
  if (text == FText) return;
  const bool longer = text.size() > FText.size();
  FText = text;
  if (longer) updateGeometry();
  update();
}

void TSRValueDisplay::SetValue(float value) {
  if (!std::isfinite(value) || value == FValue) return;
  FValue = value;
  Reformat();
}

void TSRValueDisplay::SetUnitText(const QString& value) {
  if (value == FUnitText) return;
  FUnitText = value;
  Reformat();
  updateGeometry();
}

bool TSRValueDisplay::SetMinWidth(int value) {
  if (value < 0 || value > kMaxMinWidth) return false;
  FMinWidth = value;
  Reformat();
  updateGeometry();
  return true;
}

bool TSRValueDisplay::SetPrecision(int value) {
  if (value < 0 || value > kMaxPrecision) return false;
  FPrecision = value;
  Reformat();
  updateGeometry();
  return true;
}

void TSRValueDisplay::SetTextColor(const QColor& value) {
  if (!value.isValid()) return;
  FTextColor = value;
  update();
}

void TSRValueDisplay::SetBackgroundColor(const QColor& value) {
  if (!value.isValid()) return;
  FBackgroundColor = value;
  update();
}

QFont TSRValueDisplay::DisplayFont(int pixelSize) const {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setBold(true);
  font.setPixelSize(std::max(6, pixelSize));
  return font;
}

QSize TSRValueDisplay::sizeHint() const {
  // Room for the widest value of the current format: a sign, MinWidth
  // characters and the unit.
  const QFont font = DisplayFont(15);
  const QFontMetrics fm(font);
  const int chars = std::max(static_cast<int>(FText.size()), 1 + std::max(FMinWidth, FPrecision + 2) +
                                                                 static_cast<int>(FUnitText.size()));
  return {fm.horizontalAdvance(QString(chars, QLatin1Char('8'))) + 12, fm.height() + 8};
}

QSize TSRValueDisplay::minimumSizeHint() const { return {24, 14}; }

void TSRValueDisplay::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

void TSRValueDisplay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (width() < 2 || height() < 2) return;
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = std::min(3.0, height() / 6.0);
  painter.setPen(QPen(QColor(0, 0, 0), 1.0));
  painter.setBrush(FBackgroundColor);
  painter.drawRoundedRect(frame, radius, radius);
  painter.setPen(QPen(QColor(255, 255, 255, 40), 1.0));
  painter.drawLine(QPointF(frame.left() + radius, frame.bottom() - 0.5),
                   QPointF(frame.right() - radius, frame.bottom() - 0.5));

  // The largest font that fits the height, shrunk until the text fits the width.
  const QRect area = rect().adjusted(5, 2, -5, -2);
  if (area.width() <= 0 || area.height() <= 0) return;
  int pixelSize = std::max(6, static_cast<int>(area.height() * 0.82));
  QFont font = DisplayFont(pixelSize);
  while (pixelSize > 6 && QFontMetrics(font).horizontalAdvance(FText) > area.width()) {
    --pixelSize;
    font = DisplayFont(pixelSize);
  }
  painter.setFont(font);

  QColor textColor = FTextColor;
  if (!isEnabled()) textColor.setAlpha(90);
  painter.setPen(textColor);
  painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, FText);
}

}  // namespace mpu
