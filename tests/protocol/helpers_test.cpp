// Label preparation, value scalings, session key, timestamps and texts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "protocol/clock.h"
#include "protocol/formats.h"
#include "protocol/labels.h"
#include "protocol/scaling.h"
#include "protocol/source_records.h"

namespace mpu {
namespace {

using ByteVec = std::vector<std::uint8_t>;

ByteVec Label(std::u16string_view text, std::size_t maxChars, std::size_t fieldSize) {
  ByteVec field(fieldSize, 0xCC);
  PrepareLabel(text, maxChars, field);
  return field;
}

TEST(PrepareLabel, CutsReplacesAndTerminates) {
  struct Case {
    const char* What;
    std::u16string_view Text;
    std::size_t Max, Field;
    ByteVec Expected;
  };
  const Case cases[] = {
      {"seven characters ending in O umlaut", u"ABCDEF\u00D6", 8, 9, {'A', 'B', 'C', 'D', 'E', 'F', '_', 0, 0}},
      {"cut to eight", u"Microphone", 8, 9, {'M', 'i', 'c', 'r', 'o', 'p', 'h', 'o', 0}},
      {"empty", u"", 8, 9, ByteVec(9, 0)},
      {"controls and DEL replaced, blank and tilde kept", u"\t ~\x7F", 8, 9, {'_', ' ', '~', '_', 0, 0, 0, 0, 0}},
      {"a surrogate pair is one character", u"A\U0001F3A4B", 8, 9, {'A', '_', 'B', 0, 0, 0, 0, 0, 0}},
      {"long label of 16", u"0123456789ABCDEFGH", 16, 34,
       [] {
         ByteVec v(34, 0);
         const char* s = "0123456789ABCDEF";
         for (int i = 0; i < 16; ++i) v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(s[i]);
         return v;
       }()},
      {"field too small for maxChars still terminates", u"ABCDEFGH", 8, 4, {'A', 'B', 'C', 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(Label(c.Text, c.Max, c.Field), c.Expected) << c.What;
  EXPECT_EQ(Label(u"X", 8, 0), ByteVec());
}

TEST(Latin1Fields, WriteAndRead) {
  ByteVec field(5, 0xCC);
  EXPECT_EQ(WriteLatin1Field(u"\u00C4b\u20ACcdef", 4, field), 4u);
  EXPECT_EQ(field, (ByteVec{0xC4, 'b', '?', 'c', 0}));
  EXPECT_EQ(ReadLatin1Field(field), u"\u00C4b?c");
  const ByteVec unterminated = {'a', 'b', 'c'};
  EXPECT_EQ(ReadLatin1Field(unterminated), u"abc");
}

TEST(Scaling, RoundHalfToEven) {
  const std::pair<double, std::int16_t> calibrations[] = {
      {-0.25, -2}, {0.75, 8}, {0.25, 2}, {-1.5, -15}, {0.05, 0}, {4.0, 40}, {-4.0, -40}, {1e9, 32767},
      {-1e9, -32768},
  };
  for (const auto& [dB, wire] : calibrations) EXPECT_EQ(CalibrationToWire(dB), wire) << dB;
  EXPECT_EQ(CalibrationToWire(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(QualityToWire(0.5), 5);
  EXPECT_EQ(QualityToWire(1.25), 12);
  EXPECT_EQ(QualityToWire(-1.0), 0);
  EXPECT_EQ(RoundHalfEven(2.5), 2.0);
  EXPECT_EQ(RoundHalfEven(3.5), 4.0);
  EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
}

TEST(Scaling, TruncationRatiosAndTenths) {
  EXPECT_EQ(FaderToWire(-12.9), -12);
  EXPECT_EQ(FaderToWire(5.99), 5);
  EXPECT_EQ(RatioToWire(1), 0);
  EXPECT_EQ(RatioToWire(16), 15);
  EXPECT_EQ(RatioToWire(0), 0);
  EXPECT_EQ(RatioFromWire(15), 16);
  EXPECT_EQ(SignalThresholdToWire(-3), -6);
  EXPECT_EQ(SignalThresholdToWire(100), 127);
  EXPECT_EQ(SignalThresholdFromWire(-7), -3);
  EXPECT_EQ(SignalThresholdFromWire(7), 3);
  EXPECT_EQ(TenthsToWire(65), 650);
  EXPECT_EQ(TenthsFromWire(655), 65);
  EXPECT_EQ(TenthsFromWire(-655), -65);
  EXPECT_EQ(TenthsToWireUnsigned(-1), 0);
  EXPECT_DOUBLE_EQ(MeterLevelDb(0xF8), -4.0);
  EXPECT_DOUBLE_EQ(MeterLevelDb(0x14), 10.0);
  EXPECT_DOUBLE_EQ(MeterLevelDb(0x80), -64.0);
  EXPECT_DOUBLE_EQ(MeterLevelDb(0x7F), 63.5);
}

TEST(SessionKey, DaysSince1899WithTimeAsFraction) {
  EXPECT_EQ(SessionKeyFromDateTime({1899, 12, 30, 0, 0, 0, 0}), 0);
  EXPECT_EQ(SessionKeyFromDateTime({1900, 1, 1, 12, 0, 0, 0}), 250000);  // 2.5 days
  // 2026-12-11 is day 46367; 06:00 adds a quarter.
  EXPECT_EQ(SessionKeyFromDateTime({2026, 12, 11, 6, 0, 0, 0}), 4636725000);
  // Keys made one second apart differ.
  const LocalDateTime t{2026, 12, 11, 23, 59, 58, 999};
  LocalDateTime later = t;
  later.Second = 59;
  EXPECT_GT(SessionKeyFromDateTime(later), SessionKeyFromDateTime(t));
  EXPECT_GT(SessionKeyNow(), 4600000000);
}

TEST(Timestamp, FromLocalDateTime) {
  const TMPUTimestampTag tag = TimestampFromDateTime({2026, 12, 11, 9, 5, 7, 500});
  EXPECT_EQ(tag.Year, 2026);
  EXPECT_EQ(tag.Month, 12);
  EXPECT_EQ(tag.Day, 11);
  EXPECT_EQ(tag.Hour, 9);
  EXPECT_EQ(tag.Minute, 5);
  EXPECT_EQ(tag.Second, 7);
  EXPECT_EQ(tag.Reserved, 0);
  const TMPUTimestampTag now = TimestampNow();
  EXPECT_GE(now.Year, 2024);
  EXPECT_GE(now.Month, 1);
  EXPECT_LE(now.Month, 12);
}

TEST(Formats, Versions) {
  EXPECT_EQ(FormatFirmwareVersion(1, 40, 12), "1.40.0012");
  EXPECT_EQ(FormatFirmwareVersion(0, 0, 0), "0.00.0000");
  EXPECT_EQ(FormatFirmwareVersion(TMPUFirmwareInfo{17, 2, 5, 65535, 0, {}}), "2.05.65535");
  EXPECT_EQ(FormatConfigVersion(0x0102), "1.02");
  EXPECT_EQ(FormatConfigVersion(0xFF63), "255.99");
}

TEST(Formats, FirmwareErrors) {
  EXPECT_EQ(FirmwareErrorMessage(0x92), "Firmware Transfer/Program Error: 92\r\nFirmware target not ready");
  EXPECT_EQ(FirmwareErrorText(0x88), "Firmware image size exceeds upper limit");
  EXPECT_EQ(FirmwareErrorText(0x94, 17), "Firmware program error in block #: 17");
  EXPECT_EQ(FirmwareErrorText(0x95), "Cannot update firmware while session is active");
  EXPECT_EQ(FirmwareErrorMessage(0x8A), "Firmware Transfer/Program Error: 8A\r\nUnknown error type");
  EXPECT_EQ(FirmwareErrorText(0x01), "Unknown error type");
}

TEST(Formats, HealthReadingsAndStatusTexts) {
  EXPECT_EQ(FormatMillivolts(12034), "12.034 volt");
  EXPECT_EQ(FormatMillivolts(3300), "3.300 volt");
  EXPECT_EQ(FormatTenthsCelsius(415), "41.5 \u00B0C");
  EXPECT_EQ(FormatTenthsCelsius(-15), "-1.5 \u00B0C");
  EXPECT_EQ(FormatTenthsPercent(455), "45.5 %");
  EXPECT_EQ(XmosRunStatusText(5), "firmware pgoramming");
  EXPECT_EQ(XmosRunStatusText(7), "unkown");
  EXPECT_EQ(AudioBoardRunStatusText(4), "programming error");
  EXPECT_EQ(AudioBoardRunStatusText(5), "unkown");
  EXPECT_EQ(SupplyStateText(2), "Fault");
  EXPECT_EQ(SupplyStateText(3), "???");
  EXPECT_EQ(EnvStatusText(3), "CRITICAL");
  EXPECT_EQ(EnvStatusText(4), "???");
  EXPECT_EQ(SourceStatusText(2), "AVAILALBLE");
  EXPECT_EQ(SourceStatusText(9), "UNKNOWN");
}

}  // namespace
}  // namespace mpu
