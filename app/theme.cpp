#include "app/theme.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace mpu::app {

void ApplyTheme(QApplication& app) {
  app.setStyle(QStyleFactory::create("Fusion"));
  QPalette p;
  const QColor window(0xE4, 0xEE, 0xF8);
  const QColor base(0xFA, 0xFC, 0xFF);
  const QColor button(0xD6, 0xE6, 0xF6);
  const QColor highlight(0x3A, 0x7C, 0xC8);
  const QColor text(0x10, 0x20, 0x34);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, QColor(0xEC, 0xF3, 0xFB));
  p.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE8));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, button);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::Highlight, highlight);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, highlight);
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x8A, 0x96, 0xA4));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x8A, 0x96, 0xA4));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x8A, 0x96, 0xA4));
  p.setColor(QPalette::Disabled, QPalette::Button, QColor(0xDD, 0xE5, 0xEE));
  app.setPalette(p);
}

}  // namespace mpu::app
