// The speed button: group and auto-check rules, mouse events, colours.
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

#include "controls/sr_speed_button.h"

namespace mpu {
namespace {

// Buttons a, b, c in group 1 and d in group 2 on one page; e in group 1 on
// another page; loose (group 0) beside a.
class SpeedButtonGroups : public ::testing::Test {
 protected:
  void SetUp() override {
    for (TSRSpeedButton* button : {a, b, c}) button->SetGroupIndex(1);
    d->SetGroupIndex(2);
    e->SetGroupIndex(1);
    int x = 0;
    for (TSRSpeedButton* button : {a, b, c, d, loose}) {
      button->setGeometry(x, 0, 60, 30);
      x += 64;
    }
    e->setGeometry(0, 0, 60, 30);
    page.resize(340, 40);
    other.resize(80, 40);
    page.show();
    other.show();
  }
  static void ClickOn(TSRSpeedButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(30, 15)); }

  QWidget page;
  QWidget other;
  TSRSpeedButton* a = new TSRSpeedButton(QStringLiteral("A"), &page);
  TSRSpeedButton* b = new TSRSpeedButton(QStringLiteral("B"), &page);
  TSRSpeedButton* c = new TSRSpeedButton(QStringLiteral("C"), &page);
  TSRSpeedButton* d = new TSRSpeedButton(QStringLiteral("D"), &page);
  TSRSpeedButton* loose = new TSRSpeedButton(QStringLiteral("L"), &page);
  TSRSpeedButton* e = new TSRSpeedButton(QStringLiteral("E"), &other);
};

TEST_F(SpeedButtonGroups, AClickChecksOneAndClearsItsGroupOnThisPage) {
  d->SetChecked(true);
  e->SetChecked(true);
  loose->SetChecked(true);
  QSignalSpy clicks(b, &TSRSpeedButton::OnClick);

  ClickOn(a);
  EXPECT_TRUE(a->Checked());
  ClickOn(b);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
  EXPECT_FALSE(c->Checked());
  // Another group, another page and loose buttons keep their state.
  EXPECT_TRUE(d->Checked());
  EXPECT_TRUE(e->Checked());
  EXPECT_TRUE(loose->Checked());
  ASSERT_EQ(clicks.count(), 1);
  EXPECT_EQ(clicks.at(0).at(0).value<TSRSpeedButton*>(), b);

  // Clicking the checked one again keeps it checked...
  ClickOn(b);
  EXPECT_TRUE(b->Checked());
  // ...unless the group may be all up.
  b->SetAllowAllUp(true);
  ClickOn(b);
  EXPECT_FALSE(b->Checked());
  EXPECT_EQ(clicks.count(), 3);
}

TEST_F(SpeedButtonGroups, CheckingFromCodeAlsoClearsTheGroup) {
  a->SetChecked(true);
  c->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(c->Checked());
  // A report may show the whole group up.
  c->SetChecked(false);
  EXPECT_FALSE(c->Checked());
  // Joining a group while checked clears the one checked there.
  loose->SetChecked(true);
  a->SetChecked(true);
  loose->SetGroupIndex(1);
  EXPECT_TRUE(loose->Checked());
  EXPECT_FALSE(a->Checked());
}

TEST(SpeedButton, OutsideAGroupAutoCheckToggles) {
  const struct {
    bool AutoCheck;
    bool AfterOne;
    bool AfterTwo;
  } cases[] = {{false, false, false}, {true, true, false}};
  for (const auto& c : cases) {
    TSRSpeedButton button;
    button.SetAutoCheck(c.AutoCheck);
    QSignalSpy clicks(&button, &TSRSpeedButton::OnClick);
    button.Click();
    EXPECT_EQ(button.Checked(), c.AfterOne) << c.AutoCheck;
    button.Click();
    EXPECT_EQ(button.Checked(), c.AfterTwo) << c.AutoCheck;
    EXPECT_EQ(clicks.count(), 2);
  }
}

TEST(SpeedButton, MouseDownUpAndClick) {
  TSRSpeedButton button(QStringLiteral("TALK"));
  button.resize(60, 30);
  button.show();
  QSignalSpy downs(&button, &TSRSpeedButton::OnMouseDown);
  QSignalSpy ups(&button, &TSRSpeedButton::OnMouseUp);
  QSignalSpy clicks(&button, &TSRSpeedButton::OnClick);

  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(30, 15));
  EXPECT_EQ(downs.count(), 1);
  EXPECT_TRUE(button.Pressed());
  EXPECT_EQ(clicks.count(), 0);
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(30, 15));
  EXPECT_EQ(ups.count(), 1);
  EXPECT_EQ(clicks.count(), 1);

  // Released elsewhere: the key goes up, but it was no click.
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(30, 15));
  QTest::mouseMove(&button, QPoint(300, 15));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(300, 15));
  EXPECT_EQ(downs.count(), 2);
  EXPECT_EQ(ups.count(), 2);
  EXPECT_EQ(clicks.count(), 1);

  // The right button does nothing.
  QTest::mouseClick(&button, Qt::RightButton, {}, QPoint(30, 15));
  EXPECT_EQ(downs.count(), 2);
  EXPECT_EQ(clicks.count(), 1);
}

TEST(SpeedButton, SetByIndexSetsOneColour) {
  const QColor colour(12, 34, 56);
  for (int index = -1; index <= 6; ++index) {
    TSRSpeedButton button;
    const QColor before[] = {button.ColorOff(),         button.ColorOn(),       button.ColorFace(),
                             button.Color3DHighlight(), button.Color3DShadow(), button.HotColor()};
    button.SetByIndex(index, colour);
    const QColor after[] = {button.ColorOff(),         button.ColorOn(),       button.ColorFace(),
                            button.Color3DHighlight(), button.Color3DShadow(), button.HotColor()};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(after[i], i == index ? colour : before[i]) << index << " " << i;
  }
}

// The colour drawn in the middle of the indicator lamp.
QColor LampColour(TSRSpeedButton& button) {
  const QImage image = button.grab().toImage();
  const QPoint centre = button.IndicatorRect().center().toPoint();
  return image.pixelColor(centre);
}

bool Near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) <= 24 && std::abs(a.green() - b.green()) <= 24 &&
         std::abs(a.blue() - b.blue()) <= 24;
}

TEST(SpeedButton, LampShowsOnWhenCheckedAndOffWhenUncheckedOrDisabled) {
  const QColor on(0, 0, 255);
  const QColor off(220, 140, 0);
  const struct {
    TSRSpeedButtonDisplayMode Mode;
    int Height;
  } layouts[] = {{sdmCaptionAndIcon, 34}, {sdmCaptionAndIcon, 18}, {sdmIconOnly, 34}};
  for (const auto& layout : layouts) {
    TSRSpeedButton button(QStringLiteral("PFL"));
    button.resize(70, layout.Height);
    button.SetDisplayMode(layout.Mode);
    button.SetColorOn(on);
    button.SetColorOff(off);
    ASSERT_FALSE(button.IndicatorRect().isEmpty());
    EXPECT_TRUE(Near(LampColour(button), off)) << LampColour(button).name().toStdString();
    button.SetChecked(true);
    EXPECT_TRUE(Near(LampColour(button), on)) << LampColour(button).name().toStdString();
    button.setEnabled(false);
    EXPECT_TRUE(Near(LampColour(button), off)) << LampColour(button).name().toStdString();
  }
  TSRSpeedButton captionOnly(QStringLiteral("PFL"));
  captionOnly.SetDisplayMode(sdmCaptionOnly);
  captionOnly.resize(70, 34);
  EXPECT_TRUE(captionOnly.IndicatorRect().isEmpty());
}

}  // namespace
}  // namespace mpu
