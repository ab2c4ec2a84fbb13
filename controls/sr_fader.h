// TSRFader: a vertical fader with a groove, a dB scale and a thumb.
//
// Pressing the left button moves the mouse pointer to the thumb's centre
// and keeps it on that vertical line until the button is released; moving
// then sets Position to the value of the pixel under the pointer and
// raises OnChange. Setting Position from code rounds it to the step,
// clamps it to Min..Max and raises nothing; it is ignored while the user
// drags. With AutoMute, the user reaching Min raises OnMute(true) and
// leaving it OnMute(false).
#pragma once

#include <QWidget>

#include "controls/fader_scale.h"

namespace mpu {

class TSRFader : public QWidget {
  Q_OBJECT

 public:
  explicit TSRFader(QWidget* parent = nullptr);
  ~TSRFader() override;

  // ----- scale; every setter returns false when it refuses the value -----
  double Min() const { return FScale.Min; }
  bool SetMin(double value);  // below Max
  double Max() const { return FScale.Max; }
  bool SetMax(double value);  // above Min
  double BottomLeftRange() const { return FScale.BottomLeftRange; }
  bool SetBottomLeftRange(double value);
  double MidRange() const { return FScale.MidRange; }
  bool SetMidRange(double value);
  double TopRightRange() const { return FScale.TopRightRange; }
  bool SetTopRightRange(double value);
  int MidPercentage() const { return FScale.MidPercentage; }
  bool SetMidPercentage(int value);  // 0..100, with TopRightPercentage at most 100
  int TopRightPercentage() const { return FScale.TopRightPercentage; }
  bool SetTopRightPercentage(int value);
  double StepSize() const { return FScale.StepSize; }
  void SetStepSize(double value);  // snapped to 0.25, 0.5 or 1
  const TSRFaderScale& Scale() const { return FScale; }

  float Position() const { return FPosition; }
  void SetPosition(float value);
  bool AutoMute() const { return FAutoMute; }
  void SetAutoMute(bool value);
  // True while Position is at Min.
  bool Muted() const { return FPosition <= FScale.Min; }

  // ----- geometry -----
  int ThumbWidth() const;
  int ThumbHeight() const;
  // Pixels the thumb can move: height minus thumb height.
  int Travel() const;
  // The thumb's offset from the bottom of its travel.
  int ThumbPixel() const { return FThumbPixel; }
  // The travel pixel whose thumb centre lies at widget row y (clamped).
  int PixelAtY(int y) const;
  // Widget row of the thumb's centre, and the centre itself.
  int ThumbCenterY() const;
  QPoint ThumbCenter() const;
  bool Dragging() const { return FDragging; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void OnChange(mpu::TSRFader* Sender, float Position);
  void OnMute(mpu::TSRFader* Sender, bool Muted);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

  // The pointer, in screen coordinates. Overridable so that the keeping of
  // the pointer on its line can be followed without a real pointer.
  virtual void MovePointer(const QPoint& global);
  virtual QPoint PointerPos() const;

 private:
  bool ApplyScale(const TSRFaderScale& scale);
  void PlaceThumb();
  void EndDrag();
  int LabelWidth() const;
  int TrackCenterX() const;

  TSRFaderScale FScale;
  float FPosition = -70.0f;
  bool FAutoMute = false;
  int FThumbPixel = 0;
  bool FDragging = false;
  bool FMoved = false;  // the thumb left its pixel during this drag
  int FDragOffset = 0;  // pointer row minus thumb centre, when the pointer could not be moved
  int FLockX = 0;       // screen column the pointer is kept on
  bool FPointerLocked = false;
};

}  // namespace mpu
