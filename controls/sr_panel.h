// TSRPanel and TSRBevel: frames around other controls, nothing more.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <cstdint>

namespace mpu {

enum TSRPanelBevel : std::uint8_t { bvNone = 0, bvLowered = 1, bvRaised = 2 };

// A filled, bevelled container. Its caption, if any, is drawn centred.
class TSRPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TSRPanel(QWidget* parent = nullptr);
  ~TSRPanel() override;

  // An invalid colour (the default) uses the palette's window colour.
  const QColor& Color() const { return FColor; }
  void SetColor(const QColor& value);
  TSRPanelBevel BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TSRPanelBevel value);
  int BevelWidth() const { return FBevelWidth; }
  bool SetBevelWidth(int value);  // 1..8
  const QString& Caption() const { return FCaption; }
  void SetCaption(const QString& value);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor FColor;
  TSRPanelBevel FBevelOuter = bvRaised;
  int FBevelWidth = 1;
  QString FCaption;
};

enum TSRBevelShape : std::uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TSRBevelStyle : std::uint8_t { bsLowered, bsRaised };

// An etched box or line drawn behind other controls; it takes no input.
class TSRBevel : public QWidget {
  Q_OBJECT

 public:
  explicit TSRBevel(QWidget* parent = nullptr);
  ~TSRBevel() override;

  TSRBevelShape Shape() const { return FShape; }
  void SetShape(TSRBevelShape value);
  TSRBevelStyle Style() const { return FStyle; }
  void SetStyle(TSRBevelStyle value);

  QSize sizeHint() const override { return {50, 50}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TSRBevelShape FShape = bsBox;
  TSRBevelStyle FStyle = bsLowered;
};

}  // namespace mpu
