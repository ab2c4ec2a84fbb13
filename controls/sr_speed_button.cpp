#include "controls/sr_speed_button.h"

#include <QEnterEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace mpu {
namespace {

QFont CaptionFont(const QFont& base) {
  QFont font = base;
  font.setBold(true);
  return font;
}

// A lamp: lit with a soft halo, unlit as a flat lens.
void PaintLamp(QPainter& painter, const QRectF& lamp, const QColor& color, bool lit) {
  const qreal radius = std::min(lamp.width(), lamp.height()) / 2.0;
  painter.setPen(Qt::NoPen);
  if (lit) {
    for (int ring = 3; ring >= 1; --ring) {
      QColor halo = color;
      halo.setAlpha(22 + (3 - ring) * 18);
      const qreal grow = ring * 1.5;
      painter.setBrush(halo);
      painter.drawRoundedRect(lamp.adjusted(-grow, -grow, grow, grow), radius + grow, radius + grow);
    }
  }
  QLinearGradient lens(lamp.topLeft(), lamp.bottomLeft());
  lens.setColorAt(0.0, lit ? color.lighter(150) : color.lighter(108));
  lens.setColorAt(0.5, color);
  lens.setColorAt(1.0, lit ? color.darker(112) : color.darker(125));
  painter.setBrush(lens);
  painter.setPen(QPen(color.darker(lit ? 150 : 190), 1.0));
  painter.drawRoundedRect(lamp, radius, radius);
}

}  // namespace

TSRSpeedButton::TSRSpeedButton(QWidget* parent) : TSRSpeedButton(QString(), parent) {}

TSRSpeedButton::TSRSpeedButton(const QString& caption, QWidget* parent)
    : QWidget(parent),
      FColors{QColor(70, 74, 80),     // off
              QColor(0, 212, 2),      // on
              QColor(54, 58, 64),     // face
              QColor(120, 126, 134),  // highlight
              QColor(16, 17, 19),     // shadow
              QColor(255, 214, 90)},  // hot
      FCaptionColor(226, 229, 233),
      FCaption(caption) {
  setAttribute(Qt::WA_Hover);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

TSRSpeedButton::~TSRSpeedButton() = default;

void TSRSpeedButton::SetChecked(bool value) {
  if (value == FChecked) return;
  FChecked = value;
  if (FChecked && FGroupIndex > 0) ClearOthersInGroup();
  update();
}

void TSRSpeedButton::SetGroupIndex(int value) {
  if (value == FGroupIndex) return;
  FGroupIndex = value;
  if (FChecked && FGroupIndex > 0) ClearOthersInGroup();
}

void TSRSpeedButton::ClearOthersInGroup() {
  QWidget* parent = parentWidget();
  if (parent == nullptr) return;
  const auto siblings = parent->findChildren<TSRSpeedButton*>(QString(), Qt::FindDirectChildrenOnly);
  for (TSRSpeedButton* other : siblings) {
    if (other == this || other->FGroupIndex != FGroupIndex || !other->FChecked) continue;
    other->FChecked = false;
    other->update();
  }
}

void TSRSpeedButton::SetByIndex(int Index, const QColor& Color) {
  if (Index < 0 || Index >= static_cast<int>(FColors.size()) || !Color.isValid()) return;
  FColors[static_cast<std::size_t>(Index)] = Color;
  update();
}

void TSRSpeedButton::SetCaptionColor(const QColor& value) {
  if (!value.isValid()) return;
  FCaptionColor = value;
  update();
}

void TSRSpeedButton::SetCaptionFollowsCheck(bool value) {
  FCaptionFollowsCheck = value;
  update();
}

void TSRSpeedButton::SetHotTrack(bool value) {
  FHotTrack = value;
  update();
}

void TSRSpeedButton::SetCaption(const QString& value) {
  if (value == FCaption) return;
  FCaption = value;
  updateGeometry();
  update();
}

void TSRSpeedButton::SetDisplayMode(TSRSpeedButtonDisplayMode value) {
  if (value == FDisplayMode) return;
  FDisplayMode = value;
  updateGeometry();
  update();
}

void TSRSpeedButton::Click() {
  if (FGroupIndex > 0) {
    SetChecked(!(FChecked && FAllowAllUp));
  } else if (FAutoCheck) {
    SetChecked(!FChecked);
  }
  emit OnClick(this);
}

void TSRSpeedButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  FPressed = true;
  FPressInside = true;
  update();
  event->accept();
  emit OnMouseDown(this);
}

void TSRSpeedButton::mouseMoveEvent(QMouseEvent* event) {
  if (FPressed) {
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != FPressInside) {
      FPressInside = inside;
      update();
    }
  }
  QWidget::mouseMoveEvent(event);
}

void TSRSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !FPressed) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  FPressed = false;
  FPressInside = false;
  const bool click = rect().contains(event->position().toPoint());
  update();
  event->accept();
  const QPointer<TSRSpeedButton> self(this);
  emit OnMouseUp(this);
  if (self && click) Click();
}

void TSRSpeedButton::enterEvent(QEnterEvent* event) {
  FMouseOver = true;
  if (FHotTrack) update();
  QWidget::enterEvent(event);
}

void TSRSpeedButton::leaveEvent(QEvent* event) {
  FMouseOver = false;
  if (FHotTrack) update();
  QWidget::leaveEvent(event);
}

void TSRSpeedButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    if (!isEnabled()) {
      FPressed = false;
      FPressInside = false;
    }
    update();
  } else if (event->type() == QEvent::FontChange) {
    updateGeometry();
  }
  QWidget::changeEvent(event);
}

QSize TSRSpeedButton::sizeHint() const {
  const QFontMetrics fm(CaptionFont(font()));
  const int text = FDisplayMode == sdmIconOnly ? 0 : fm.horizontalAdvance(FCaption);
  const int lamp = FDisplayMode == sdmCaptionAndIcon ? 8 : 0;
  const int textHeight = FDisplayMode == sdmIconOnly ? 10 : fm.height();
  return {std::max(48, text + 20), std::max(30, textHeight + lamp + 12)};
}

QSize TSRSpeedButton::minimumSizeHint() const { return {16, 16}; }

QRectF TSRSpeedButton::ContentRect() const {
  QRectF content = QRectF(rect()).adjusted(4.5, 4.5, -4.5, -4.5);
  if (FPressed && FPressInside) content.translate(1, 1);
  return content;
}

qreal TSRSpeedButton::LampThickness() const { return std::clamp(std::round(height() * 0.13), 3.0, 7.0); }

bool TSRSpeedButton::LampAtLeft() const {
  // Too low for a strip above the caption: an upright lamp at the left.
  return ContentRect().height() < QFontMetrics(CaptionFont(font())).height() + LampThickness() + 2;
}

QRectF TSRSpeedButton::IndicatorRect() const {
  const QRectF content = ContentRect();
  if (content.width() <= 0 || content.height() <= 0) return {};
  switch (FDisplayMode) {
    case sdmCaptionOnly:
      return {};
    case sdmIconOnly: {
      const qreal w = std::max(4.0, content.width() * 0.7);
      const qreal h = std::clamp(content.height() * 0.4, 3.0, std::max(3.0, content.height()));
      return {content.center().x() - w / 2, content.center().y() - h / 2, w, h};
    }
    case sdmCaptionAndIcon:
      break;
  }
  const qreal thickness = LampThickness();
  if (LampAtLeft()) {
    const qreal h = std::max(3.0, content.height() * 0.7);
    return {content.left(), content.center().y() - h / 2, thickness, h};
  }
  const qreal w = std::max(8.0, content.width() * 0.62);
  return {content.center().x() - w / 2, content.top(), w, thickness};
}

void TSRSpeedButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (width() < 2 || height() < 2) return;
  painter.setRenderHint(QPainter::Antialiasing, true);
  const bool enabled = isEnabled();
  const bool sunken = FPressed && FPressInside;
  const QColor& face = FColors[2];
  const QColor& highlight = FColors[3];
  const QColor& shadow = FColors[4];

  // Face with a bevel: light from the top, reversed while pressed.
  const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = std::clamp(height() / 7.0, 1.5, 4.0);
  QLinearGradient faceGradient(outer.topLeft(), outer.bottomLeft());
  faceGradient.setColorAt(0.0, sunken ? face.darker(125) : face.lighter(122));
  faceGradient.setColorAt(1.0, sunken ? face.lighter(104) : face.darker(118));
  painter.setPen(QPen(shadow, 1.0));
  painter.setBrush(faceGradient);
  painter.drawRoundedRect(outer, radius, radius);
  if (width() >= 6 && height() >= 6) {
    QLinearGradient bevel(outer.topLeft(), outer.bottomLeft());
    QColor top = sunken ? shadow : highlight;
    QColor bottom = sunken ? highlight : shadow;
    QColor clear = top;
    clear.setAlpha(0);
    bevel.setColorAt(0.0, top);
    bevel.setColorAt(0.45, clear);
    bottom.setAlpha(sunken ? 90 : 160);
    bevel.setColorAt(1.0, bottom);
    painter.setPen(QPen(QBrush(bevel), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(outer.adjusted(1, 1, -1, -1), std::max(0.5, radius - 1), std::max(0.5, radius - 1));
  }

  const QRectF content = ContentRect();
  if (content.width() <= 0 || content.height() <= 0) return;
  const bool lit = enabled && FChecked;
  const QRectF lamp = IndicatorRect();
  if (!lamp.isEmpty()) PaintLamp(painter, lamp, lit ? FColors[1] : FColors[0], lit);
  if (FDisplayMode == sdmIconOnly) return;

  QRectF captionArea = content;
  if (FDisplayMode == sdmCaptionAndIcon) {
    if (LampAtLeft()) {
      captionArea.setLeft(lamp.right() + 3);
    } else {
      captionArea.setTop(lamp.bottom() + 1);
    }
  }
  const QFont captionFont = CaptionFont(font());
  QColor captionColor = FCaptionColor;
  if (!enabled) {
    captionColor.setAlpha(95);
  } else if (FHotTrack && FMouseOver) {
    captionColor = FColors[5];
  } else if (FChecked && FCaptionFollowsCheck) {
    captionColor = FColors[1];
  }
  painter.setFont(captionFont);
  painter.setPen(captionColor);
  painter.drawText(captionArea, Qt::AlignCenter | Qt::TextWordWrap, FCaption);
}

}  // namespace mpu
