#include "controls/sr_panel.h"

#include <QPainter>

namespace mpu {
namespace {

QColor Light(const QPalette& palette) { return palette.color(QPalette::Light); }
QColor Dark(const QPalette& palette) { return palette.color(QPalette::Dark); }

// A rectangle `width` pixels deep with one colour on the top and left
// edges and another on the bottom and right.
void PaintBevel(QPainter& painter, QRect r, const QColor& topLeft, const QColor& bottomRight, int width) {
  for (int i = 0; i < width && r.width() > 1 && r.height() > 1; ++i) {
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
    r.adjust(1, 1, -1, -1);
  }
}

}  // namespace

TSRPanel::TSRPanel(QWidget* parent) : QWidget(parent) {}

TSRPanel::~TSRPanel() = default;

void TSRPanel::SetColor(const QColor& value) {
  FColor = value;
  update();
}

void TSRPanel::SetBevelOuter(TSRPanelBevel value) {
  FBevelOuter = value;
  update();
}

bool TSRPanel::SetBevelWidth(int value) {
  if (value < 1 || value > 8) return false;
  FBevelWidth = value;
  update();
  return true;
}

void TSRPanel::SetCaption(const QString& value) {
  FCaption = value;
  update();
}

QSize TSRPanel::sizeHint() const { return {185, 41}; }

void TSRPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), FColor.isValid() ? FColor : pal.color(QPalette::Window));
  if (FBevelOuter == bvRaised) PaintBevel(painter, rect(), Light(pal), Dark(pal), FBevelWidth);
  if (FBevelOuter == bvLowered) PaintBevel(painter, rect(), Dark(pal), Light(pal), FBevelWidth);
  if (!FCaption.isEmpty()) {
    painter.setPen(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter, FCaption);
  }
}

TSRBevel::TSRBevel(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

TSRBevel::~TSRBevel() = default;

void TSRBevel::SetShape(TSRBevelShape value) {
  FShape = value;
  update();
}

void TSRBevel::SetStyle(TSRBevelStyle value) {
  FStyle = value;
  update();
}

void TSRBevel::paintEvent(QPaintEvent*) {
  if (FShape == bsSpacer || width() < 2 || height() < 2) return;
  QPainter painter(this);
  const QPalette& pal = palette();
  // Etched: a dark line with a light one beside it; raised swaps them.
  const QColor first = FStyle == bsLowered ? Dark(pal) : Light(pal);
  const QColor second = FStyle == bsLowered ? Light(pal) : Dark(pal);
  const QRect r = rect();
  switch (FShape) {
    case bsBox:
      PaintBevel(painter, r, first, second, 1);
      break;
    case bsFrame:
      PaintBevel(painter, r.adjusted(0, 0, -1, -1), first, first, 1);
      PaintBevel(painter, r.adjusted(1, 1, 0, 0), second, second, 1);
      break;
    case bsTopLine:
    case bsBottomLine: {
      const int y = FShape == bsTopLine ? 0 : r.bottom() - 1;
      painter.setPen(first);
      painter.drawLine(0, y, r.right(), y);
      painter.setPen(second);
      painter.drawLine(0, y + 1, r.right(), y + 1);
      break;
    }
    case bsLeftLine:
    case bsRightLine: {
      const int x = FShape == bsLeftLine ? 0 : r.right() - 1;
      painter.setPen(first);
      painter.drawLine(x, 0, x, r.bottom());
      painter.setPen(second);
      painter.drawLine(x + 1, 0, x + 1, r.bottom());
      break;
    }
    case bsSpacer:
      break;
  }
}

}  // namespace mpu
