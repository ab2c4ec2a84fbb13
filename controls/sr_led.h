// TSRLED: a round status lamp with an optional caption to its right.
// Lit (Checked), it glows in LedColor; unlit it shows a dark lens of the
// same colour.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace mpu {

class TSRLED : public QWidget {
  Q_OBJECT

 public:
  explicit TSRLED(QWidget* parent = nullptr);
  ~TSRLED() override;

  bool Checked() const { return FChecked; }
  void SetChecked(bool value);
  const QColor& LedColor() const { return FLedColor; }
  void SetLedColor(const QColor& value);  // invalid colours are ignored
  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& value);

  // The lamp's square, in widget coordinates.
  QRect LampRect() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool FChecked = false;
  QColor FLedColor{0, 255, 0};
  QString FCaption;
};

}  // namespace mpu
