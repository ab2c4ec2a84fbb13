// TSRValueDisplay: a small dark readout of one number and its unit, as
// "-04.5dB": the magnitude with at least MinWidth characters and Precision
// decimals, padded with "0", a "-" before negative values, then UnitText.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace mpu {

// The display's text for `value`.
QString FormatDisplayValue(float value, int minWidth, int precision, const QString& unitText);

class TSRValueDisplay : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxMinWidth = 32;
  static constexpr int kMaxPrecision = 9;

  explicit TSRValueDisplay(QWidget* parent = nullptr);
  ~TSRValueDisplay() override;

  float Value() const { return FValue; }
  void SetValue(float value);  // non-finite values are ignored
  const QString& UnitText() const { return FUnitText; }
  void SetUnitText(const QString& value);
  int MinWidth() const { return FMinWidth; }
  bool SetMinWidth(int value);  // 0..32
  int Precision() const { return FPrecision; }
  bool SetPrecision(int value);  // 0..9

  const QColor& TextColor() const { return FTextColor; }
  void SetTextColor(const QColor& value);
  const QColor& BackgroundColor() const { return FBackgroundColor; }
  void SetBackgroundColor(const QColor& value);

  // The text shown.
  const QString& Text() const { return FText; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Reformat();
  QFont DisplayFont(int pixelSize) const;

  float FValue = 0.0f;
  QString FUnitText;
  int FMinWidth = 4;
  int FPrecision = 1;
  QColor FTextColor{255, 176, 32};
  QColor FBackgroundColor{14, 16, 15};
  QString FText;
};

}  // namespace mpu
