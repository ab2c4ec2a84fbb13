// The value display's text.
#include <gtest/gtest.h>

#include <cmath>

#include "controls/sr_value_display.h"

namespace mpu {
namespace {

TEST(ValueDisplayFormat, PaddedMagnitudeSignAndUnit) {
  const struct {
    float Value;
    int MinWidth;
    int Precision;
    const char* Unit;
    const char* Text;
  } cases[] = {
      {-4.5f, 4, 1, "dB", "-04.5dB"},  {4.5f, 4, 1, "dB", "04.5dB"},   {0.0f, 4, 1, "dB", "00.0dB"},
      {-60.0f, 4, 1, "dB", "-60.0dB"}, {-123.5f, 4, 1, "", "-123.5"},  {7.0f, 4, 0, "%", "0007%"},
      {2.25f, 6, 2, " V", "002.25 V"}, {-1.5f, 0, 1, "dB", "-1.5dB"},  {12.3456f, 4, 3, "", "12.346"},
      {-0.0f, 4, 1, "dB", "00.0dB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatDisplayValue(c.Value, c.MinWidth, c.Precision, QString::fromLatin1(c.Unit)).toStdString(), c.Text)
        << c.Value;
}

TEST(ValueDisplay, PropertiesAndRefusals) {
  TSRValueDisplay display;
  EXPECT_EQ(display.MinWidth(), 4);
  EXPECT_EQ(display.Precision(), 1);
  EXPECT_EQ(display.Text(), QStringLiteral("00.0"));
  display.SetUnitText(QStringLiteral("dB"));
  display.SetValue(-4.5f);
  EXPECT_EQ(display.Text(), QStringLiteral("-04.5dB"));

  display.SetValue(NAN);
  display.SetValue(INFINITY);
  EXPECT_EQ(display.Value(), -4.5f);
  EXPECT_FALSE(display.SetMinWidth(-1));
  EXPECT_FALSE(display.SetMinWidth(33));
  EXPECT_FALSE(display.SetPrecision(-1));
  EXPECT_FALSE(display.SetPrecision(10));
  EXPECT_EQ(display.Text(), QStringLiteral("-04.5dB"));

  ASSERT_TRUE(display.SetPrecision(0));
  display.SetValue(-4.6f);
  EXPECT_EQ(display.Text(), QStringLiteral("-0005dB"));
  ASSERT_TRUE(display.SetMinWidth(2));
  display.SetValue(-12.0f);
  EXPECT_EQ(display.Text(), QStringLiteral("-12dB"));
}

}  // namespace
}  // namespace mpu
