// TSRSpeedButton: a two-state button with an indicator lamp and a caption.
//
// A click sets Checked when GroupIndex > 0 (and clears the other buttons of
// that group with the same parent; with AllowAllUp a click on the checked
// button clears it instead), otherwise toggles Checked when AutoCheck is
// set, and then raises OnClick. OnMouseDown and OnMouseUp report the left
// button going down and up, for momentary keys.
//
// Enabled, the lamp shows ColorOn when checked and ColorOff otherwise;
// the caption is drawn in CaptionColor, in ColorOn when checked (unless
// CaptionFollowsCheck is off) and in HotColor while the pointer is over the
// button with HotTrack on. Disabled, the lamp shows ColorOff and the
// caption is dimmed.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

namespace mpu {

enum TSRSpeedButtonDisplayMode : std::uint8_t { sdmCaptionAndIcon = 0, sdmCaptionOnly = 1, sdmIconOnly = 2 };

class TSRSpeedButton : public QWidget {
  Q_OBJECT

 public:
  explicit TSRSpeedButton(QWidget* parent = nullptr);
  explicit TSRSpeedButton(const QString& caption, QWidget* parent = nullptr);
  ~TSRSpeedButton() override;

  bool Checked() const { return FChecked; }
  // Checking a grouped button clears the others of its group.
  void SetChecked(bool value);
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool value) { FAutoCheck = value; }
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int value);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool value) { FAllowAllUp = value; }

  const QColor& ColorOff() const { return FColors[0]; }
  void SetColorOff(const QColor& value) { SetByIndex(0, value); }
  const QColor& ColorOn() const { return FColors[1]; }
  void SetColorOn(const QColor& value) { SetByIndex(1, value); }
  const QColor& ColorFace() const { return FColors[2]; }
  void SetColorFace(const QColor& value) { SetByIndex(2, value); }
  const QColor& Color3DHighlight() const { return FColors[3]; }
  void SetColor3DHighlight(const QColor& value) { SetByIndex(3, value); }
  const QColor& Color3DShadow() const { return FColors[4]; }
  void SetColor3DShadow(const QColor& value) { SetByIndex(4, value); }
  const QColor& HotColor() const { return FColors[5]; }
  void SetHotColor(const QColor& value) { SetByIndex(5, value); }
  // 0 ColorOff, 1 ColorOn, 2 ColorFace, 3 highlight, 4 shadow, 5 HotColor;
  // other indexes and invalid colours are ignored.
  void SetByIndex(int Index, const QColor& Color);

  const QColor& CaptionColor() const { return FCaptionColor; }
  void SetCaptionColor(const QColor& value);
  bool CaptionFollowsCheck() const { return FCaptionFollowsCheck; }
  void SetCaptionFollowsCheck(bool value);
  bool HotTrack() const { return FHotTrack; }
  void SetHotTrack(bool value);

  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& value);
  TSRSpeedButtonDisplayMode DisplayMode() const { return FDisplayMode; }
  void SetDisplayMode(TSRSpeedButtonDisplayMode value);

  // A free integer for the page's use.
  int Tag() const { return FTag; }
  void SetTag(int value) { FTag = value; }

  bool Pressed() const { return FPressed; }
  bool MouseOver() const { return FMouseOver; }

  // Where the indicator lamp is drawn (empty in sdmCaptionOnly).
  QRectF IndicatorRect() const;

  // What a click of the user does: the check rules, then OnClick.
  void Click();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void OnClick(mpu::TSRSpeedButton* Sender);
  void OnMouseDown(mpu::TSRSpeedButton* Sender);
  void OnMouseUp(mpu::TSRSpeedButton* Sender);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ClearOthersInGroup();
  QRectF ContentRect() const;
  qreal LampThickness() const;
  bool LampAtLeft() const;

  bool FChecked = false;
  bool FAutoCheck = false;
  int FGroupIndex = 0;
  bool FAllowAllUp = false;
  std::array<QColor, 6> FColors;
  QColor FCaptionColor;
  bool FCaptionFollowsCheck = true;
  bool FHotTrack = false;
  QString FCaption;
  TSRSpeedButtonDisplayMode FDisplayMode = sdmCaptionAndIcon;
  int FTag = 0;
  bool FPressed = false;    // left button went down here and is still down
  bool FPressInside = false;  // ... and the pointer is over the button
  bool FMouseOver = false;
};

}  // namespace mpu
