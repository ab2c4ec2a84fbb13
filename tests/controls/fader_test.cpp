// The fader: step snapping, the three-section scale, setting the position
// from code, and dragging the thumb with the pointer.
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "controls/fader_scale.h"
#include "controls/sr_fader.h"

namespace mpu {
namespace {

TEST(FaderStep, SnapsToQuarterHalfOrWholeDb) {
  const std::pair<double, double> cases[] = {
      {0.1, 0.25}, {0.25, 0.25}, {0.3, 0.5}, {0.5, 0.5}, {0.51, 1.0},
      {1.0, 1.0},  {5.0, 1.0},   {0.0, 0.25}, {-1.0, 0.25}, {std::nan(""), 0.25},
  };
  for (const auto& [asked, used] : cases) EXPECT_EQ(SnapFaderStep(asked), used) << asked;
}

TEST(FaderScale, DefaultSectionsOverAHundredPixels) {
  const TSRFaderScale scale;  // -70..0: 40, 20 and 10 dB over 30 %, 30 % and 40 %
  const auto shares = scale.SectionShares(100);
  EXPECT_EQ(shares.Bottom, 30);
  EXPECT_EQ(shares.Mid, 30);
  EXPECT_EQ(shares.Top, 40);
  const std::pair<int, double> cases[] = {
      {0, -70.0}, {1, -69.0},  {15, -50.0}, {30, -30.0}, {45, -20.0},  {60, -10.0},
      {61, -10.0}, {62, -10.0}, {80, -5.0}, {99, 0.0},   {100, 0.0},   {-5, -70.0}, {130, 0.0},
  };
  for (const auto& [pixel, value] : cases) EXPECT_DOUBLE_EQ(scale.ValueAtPixel(pixel, 100), value) << pixel;

  // Every pixel lands on the step, and the values never go down.
  double last = scale.Min;
  for (int pixel = 0; pixel <= 100; ++pixel) {
    const double v = scale.ValueAtPixel(pixel, 100);
    EXPECT_EQ(v, std::round(v)) << pixel;
    EXPECT_GE(v, last) << pixel;
    last = v;
  }

  const std::pair<double, int> inverse[] = {{-70.0, 0}, {-30.0, 30}, {-10.0, 60}, {0.0, 100}, {-90.0, 0}, {6.0, 100}};
  for (const auto& [value, pixel] : inverse) EXPECT_EQ(scale.PixelOfValue(value, 100), pixel) << value;
}

TEST(FaderScale, FinerStepsRoundEachPixel) {
  TSRFaderScale scale;
  // Pixel 1 of 100 stands for -70 + 40/30 = -68.67 dB.
  const std::pair<double, double> cases[] = {{1.0, -69.0}, {0.5, -68.5}, {0.25, -68.75}};
  for (const auto& [step, value] : cases) {
    scale.StepSize = step;
    EXPECT_DOUBLE_EQ(scale.ValueAtPixel(1, 100), value) << step;
  }
}

TEST(FaderScale, ShorterRangeKeepsTheTopSectionsAndShrinksTheBottom) {
  TSRFaderScale scale;  // the input faders: -60..0 dB
  scale.Min = -60.0;
  const auto spans = scale.SectionSpans();
  EXPECT_EQ(spans.Top, 10.0);
  EXPECT_EQ(spans.Mid, 20.0);
  EXPECT_EQ(spans.Bottom, 30.0);
  EXPECT_DOUBLE_EQ(scale.ValueAtPixel(30, 100), -30.0);
  EXPECT_DOUBLE_EQ(scale.ValueAtPixel(60, 100), -10.0);
  EXPECT_DOUBLE_EQ(scale.ValueAtPixel(15, 100), -45.0);
}

TEST(FaderScale, ASectionWithoutSpanGetsNoTravel) {
  TSRFaderScale scale;
  scale.Min = -20.0;  // top -10..0, middle -20..-10, nothing left for the bottom
  const auto shares = scale.SectionShares(70);
  EXPECT_EQ(shares.Bottom, 0);
  EXPECT_EQ(shares.Mid, 30);
  EXPECT_EQ(shares.Top, 40);
  EXPECT_DOUBLE_EQ(scale.ValueAtPixel(15, 70), -15.0);
  EXPECT_DOUBLE_EQ(scale.ValueAtPixel(50, 70), -5.0);
}

TEST(FaderProperties, PositionFromCodeRoundsClampsAndRaisesNothing) {
  TSRFader fader;
  EXPECT_EQ(fader.Min(), -70.0);
  EXPECT_EQ(fader.Max(), 0.0);
  EXPECT_EQ(fader.Position(), -70.0f);
  fader.SetAutoMute(true);
  QSignalSpy changes(&fader, &TSRFader::OnChange);
  QSignalSpy mutes(&fader, &TSRFader::OnMute);

  const struct {
    double Step;
    float Asked;
    float Shown;
  } cases[] = {
      {1.0, -60.4f, -60.0f}, {1.0, -60.6f, -61.0f}, {0.5, -10.3f, -10.5f}, {0.3, -10.2f, -10.0f},
      {0.25, -10.1f, -10.0f}, {0.25, -10.2f, -10.25f}, {1.0, -100.0f, -70.0f}, {1.0, 6.0f, 0.0f},
      {1.0, -69.6f, -70.0f},
  };
  for (const auto& c : cases) {
    fader.SetStepSize(c.Step);
    fader.SetPosition(c.Asked);
    EXPECT_EQ(fader.Position(), c.Shown) << c.Step << " " << c.Asked;
  }
  fader.SetStepSize(0.3);
  EXPECT_EQ(fader.StepSize(), 0.5);
  fader.SetPosition(-5.0f);
  fader.SetPosition(NAN);
  EXPECT_EQ(fader.Position(), -5.0f);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(mutes.count(), 0);
}

TEST(FaderProperties, RefusesAnUnusableScale) {
  TSRFader fader;
  EXPECT_FALSE(fader.SetMin(0.0));    // not below Max
  EXPECT_FALSE(fader.SetMax(-80.0));  // not above Min
  EXPECT_FALSE(fader.SetMidRange(-1.0));
  EXPECT_FALSE(fader.SetTopRightRange(NAN));
  EXPECT_FALSE(fader.SetMidPercentage(70));  // 70 + 40 > 100
  EXPECT_FALSE(fader.SetTopRightPercentage(-1));
  EXPECT_EQ(fader.Min(), -70.0);
  EXPECT_EQ(fader.Max(), 0.0);
  EXPECT_EQ(fader.MidPercentage(), 30);
  EXPECT_EQ(fader.TopRightPercentage(), 40);

  fader.SetPosition(-50.0f);
  ASSERT_TRUE(fader.SetMin(-40.0));  // the position follows into the range
  EXPECT_EQ(fader.Position(), -40.0f);
}

// A fader with a simulated pointer: it follows MovePointer where the
// platform lets programs move the pointer, and stays put where it does not.
class PointerFader : public TSRFader {
 public:
  bool CanMove = true;
  QPoint Pointer;
  std::vector<QPoint> Moves;

 protected:
  void MovePointer(const QPoint& global) override {
    Moves.push_back(global);
    if (CanMove) Pointer = global;
  }
  QPoint PointerPos() const override { return Pointer; }
};

class FaderDrag : public ::testing::Test {
 protected:
  void SetUp() override {
    fader.resize(56, 220);
    fader.SetMin(-60.0);
    fader.SetStepSize(1.0);
    fader.SetPosition(-30.0f);
    fader.show();
    ASSERT_GT(fader.Travel(), 100);
  }
  // The widget row where the thumb centre of travel pixel `pixel` lies.
  int RowOf(int pixel) const { return fader.height() - fader.ThumbHeight() + fader.ThumbHeight() / 2 - pixel; }
  void MoveTo(int row) { QTest::mouseMove(&fader, QPoint(fader.ThumbCenter().x(), row)); }

  PointerFader fader;
};

TEST_F(FaderDrag, MovingSetsThePositionOfThePixelUnderThePointer) {
  QSignalSpy changes(&fader, &TSRFader::OnChange);
  QTest::mousePress(&fader, Qt::LeftButton, {}, fader.ThumbCenter());
  ASSERT_TRUE(fader.Dragging());
  EXPECT_EQ(changes.count(), 0);  // pressing alone moves nothing

  const int travel = fader.Travel();
  const int pixels[] = {travel, travel - 3, travel / 2, 5, 1, 0};
  float last = fader.Position();
  int expectedSignals = 0;
  for (const int pixel : pixels) {
    MoveTo(RowOf(pixel));
    const float expected = static_cast<float>(fader.Scale().ValueAtPixel(pixel, travel));
    EXPECT_EQ(fader.Position(), expected) << pixel;
    EXPECT_EQ(fader.ThumbPixel(), pixel);
    if (expected != last) ++expectedSignals;
    last = expected;
  }
  EXPECT_EQ(fader.Position(), -60.0f);
  ASSERT_EQ(changes.count(), expectedSignals);
  EXPECT_EQ(changes.last().at(0).value<TSRFader*>(), &fader);
  EXPECT_EQ(changes.last().at(1).toFloat(), -60.0f);

  // The same value again raises nothing.
  MoveTo(RowOf(0) + 50);
  EXPECT_EQ(changes.count(), expectedSignals);

  // Beyond the control the ends hold.
  MoveTo(-2000);
  EXPECT_EQ(fader.Position(), 0.0f);
  MoveTo(5000);
  EXPECT_EQ(fader.Position(), -60.0f);

  // Code cannot move the thumb under the user's hand.
  fader.SetPosition(-12.0f);
  EXPECT_EQ(fader.Position(), -60.0f);
  QTest::mouseRelease(&fader, Qt::LeftButton, {}, QPoint(fader.ThumbCenter().x(), 5000));
  EXPECT_FALSE(fader.Dragging());
  fader.SetPosition(-12.0f);
  EXPECT_EQ(fader.Position(), -12.0f);
}

TEST_F(FaderDrag, PointerIsPutOnTheThumbAndKeptOnItsColumn) {
  const QPoint centre = fader.mapToGlobal(fader.ThumbCenter());
  QTest::mousePress(&fader, Qt::LeftButton, {}, QPoint(3, 3));
  ASSERT_EQ(fader.Moves.size(), 1u);
  EXPECT_EQ(fader.Moves[0], centre);
  EXPECT_EQ(fader.Position(), -30.0f);

  // Pulled sideways and far below the control: back onto the column, the
  // height kept.
  QTest::mouseMove(&fader, QPoint(fader.ThumbCenter().x() + 40, fader.height() + 300));
  ASSERT_EQ(fader.Moves.size(), 2u);
  EXPECT_EQ(fader.Moves[1], QPoint(centre.x(), fader.mapToGlobal(QPoint(0, fader.height() + 300)).y()));
  EXPECT_EQ(fader.Position(), -60.0f);
  QTest::mouseMove(&fader, QPoint(fader.ThumbCenter().x(), RowOf(10)));
  EXPECT_EQ(fader.Moves.size(), 2u);  // on the column already
  EXPECT_EQ(fader.ThumbPixel(), 10);
  QTest::mouseRelease(&fader, Qt::LeftButton, {}, QPoint(fader.ThumbCenter().x(), RowOf(10)));
}

TEST_F(FaderDrag, WherePointerCannotBeMovedTheThumbFollowsWithoutAJump) {
  fader.CanMove = false;
  const int start = fader.ThumbPixel();
  const int pressRow = fader.ThumbCenterY() - 40;  // pressed 40 rows above the thumb
  QTest::mousePress(&fader, Qt::LeftButton, {}, QPoint(fader.ThumbCenter().x(), pressRow));
  QTest::mouseMove(&fader, QPoint(fader.ThumbCenter().x(), pressRow));
  EXPECT_EQ(fader.ThumbPixel(), start);
  EXPECT_EQ(fader.Position(), -30.0f);
  QTest::mouseMove(&fader, QPoint(fader.ThumbCenter().x() + 25, pressRow + 10));
  EXPECT_EQ(fader.ThumbPixel(), start - 10);
  EXPECT_EQ(fader.Moves.size(), 1u);  // no attempt to hold it on the column
  QTest::mouseRelease(&fader, Qt::LeftButton, {}, QPoint(fader.ThumbCenter().x(), pressRow + 10));
}

TEST_F(FaderDrag, AClickWithoutMovingKeepsThePosition) {
  fader.SetStepSize(0.25);
  fader.SetPosition(-47.25f);
  QSignalSpy changes(&fader, &TSRFader::OnChange);
  QTest::mousePress(&fader, Qt::LeftButton, {}, fader.ThumbCenter());
  QTest::mouseMove(&fader, fader.ThumbCenter());
  QTest::mouseRelease(&fader, Qt::LeftButton, {}, fader.ThumbCenter());
  EXPECT_EQ(fader.Position(), -47.25f);
  EXPECT_EQ(changes.count(), 0);
}

TEST_F(FaderDrag, AutoMuteReportsReachingAndLeavingMin) {
  // Pixels visited, bottom overshoot included (-30 = 30 rows below pixel 0).
  const int visits[] = {3, 0, 1, 0, -30, 20};
  std::vector<bool> transitions;
  bool muted = false;
  for (const int pixel : visits) {
    const bool atMin = fader.Scale().ValueAtPixel(std::max(0, pixel), fader.Travel()) <= fader.Min();
    if (atMin != muted) transitions.push_back(atMin);
    muted = atMin;
  }
  ASSERT_GE(transitions.size(), 2u);

  for (const bool autoMute : {false, true}) {
    fader.SetAutoMute(autoMute);
    fader.SetPosition(-30.0f);
    QSignalSpy mutes(&fader, &TSRFader::OnMute);
    QTest::mousePress(&fader, Qt::LeftButton, {}, fader.ThumbCenter());
    for (const int pixel : visits) MoveTo(RowOf(pixel));
    EXPECT_FALSE(fader.Muted());
    QTest::mouseRelease(&fader, Qt::LeftButton, {}, QPoint(fader.ThumbCenter().x(), RowOf(20)));

    if (!autoMute) {
      EXPECT_EQ(mutes.count(), 0);
      continue;
    }
    ASSERT_EQ(mutes.count(), static_cast<int>(transitions.size()));
    for (int i = 0; i < mutes.count(); ++i) {
      EXPECT_EQ(mutes.at(i).at(0).value<TSRFader*>(), &fader);
      EXPECT_EQ(mutes.at(i).at(1).toBool(), transitions[static_cast<std::size_t>(i)]) << i;
    }
  }
}

TEST_F(FaderDrag, DisablingEndsTheDrag) {
  QTest::mousePress(&fader, Qt::LeftButton, {}, fader.ThumbCenter());
  ASSERT_TRUE(fader.Dragging());
  fader.setEnabled(false);
  EXPECT_FALSE(fader.Dragging());
  fader.SetPosition(-5.0f);
  EXPECT_EQ(fader.Position(), -5.0f);
}

}  // namespace
}  // namespace mpu
