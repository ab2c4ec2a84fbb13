// The unit's meters follow the mix: signal at the inputs, post-fader levels
// once a channel is on and faded up, buses summing what is routed to them.
#include <gtest/gtest.h>

#include <cmath>

#include "protocol/data_packets.h"
#include "protocol/id_tables.h"
#include "simulator/metering.h"

namespace mpu::sim {
namespace {

double Db(std::uint8_t meterByte) {
  return static_cast<std::int8_t>(meterByte) / 2.0;
}

// A mix with every channel off and unrouted, so each test sets up only
// what it looks at.
MixerConfig QuietMix() {
  MixerConfig m = DefaultMixerConfig();
  for (InputSource& s : m.Inputs) {
    s.On = false;
    s.Pfl = false;
    s.Routing = 0;
    s.Fader = -60;
  }
  return m;
}

TEST(MeterByte, HalfDbStepsAndSilence) {
  EXPECT_EQ(MeterByte(-4.0), 0xF8);
  EXPECT_EQ(MeterByte(10.0), 0x14);
  EXPECT_EQ(MeterByte(kSilenceDb), kMeterNoData);
  EXPECT_EQ(MeterByte(-1000.0), kMeterNoData);
  EXPECT_EQ(MeterByte(200.0), 0x7F);
  EXPECT_EQ(MeterByte(NAN), kMeterNoData);
}

TEST(Metering, QuietMixShowsOnlyInputSignal) {
  MeterGenerator gen(1);
  const MixerConfig mix = QuietMix();
  const auto block = gen.NextBlock(mix);
  for (int b = 0; b < 12; ++b)
    EXPECT_EQ(block[static_cast<std::size_t>(BusMeterIndex(static_cast<BusId>(b), false))],
              kMeterNoData);
  EXPECT_NE(block[static_cast<std::size_t>(MicPreMeterIndex(1))],
            kMeterNoData);  // the microphone hears the room
  EXPECT_EQ(block[static_cast<std::size_t>(MicPostMeterIndex(1))], kMeterNoData);
  EXPECT_EQ(block[static_cast<std::size_t>(LineMeterIndex(1, false))],
            kMeterNoData);              // a line shows post-fader
  EXPECT_EQ(block[200], kMeterNoData);  // no meter there
}

TEST(Metering, AChannelOnAndFadedUpFeedsItsBuses) {
  MeterGenerator gen(2);
  MixerConfig mix = QuietMix();
  InputSource& mic = mix.Inputs[kSrcMic1 + 2];
  mic.On = true;
  mic.Fader = 0;
  mic.Routing = BusMaskBit(BusId::PGM2) | BusMaskBit(BusId::CFA);
  const auto block = gen.NextBlock(mix);
  const double pre = Db(block[static_cast<std::size_t>(MicPreMeterIndex(3))]);
  const double post = Db(block[static_cast<std::size_t>(MicPostMeterIndex(3))]);
  EXPECT_NEAR(post, pre, 0.6);  // fader at 0 dB, no trim
  EXPECT_NEAR(Db(block[static_cast<std::size_t>(BusMeterIndex(BusId::PGM2, false))]), post, 0.6);
  EXPECT_NEAR(Db(block[static_cast<std::size_t>(BusMeterIndex(BusId::PGM2, true))]), post, 0.6);
  EXPECT_NE(block[static_cast<std::size_t>(BusMeterIndex(BusId::CFA, false))], kMeterNoData);
  EXPECT_EQ(block[static_cast<std::size_t>(BusMeterIndex(BusId::PGM1, false))], kMeterNoData);

  // Faded down 20 dB, the post meter follows.
  mic.Fader = -20;
  const auto lower = gen.NextBlock(mix);
  const double preNow = Db(lower[static_cast<std::size_t>(MicPreMeterIndex(3))]);
  EXPECT_NEAR(Db(lower[static_cast<std::size_t>(MicPostMeterIndex(3))]), preNow - 20, 0.6);
  // At the bottom the fader is closed.
  mic.Fader = -60;
  EXPECT_EQ(gen.NextBlock(mix)[static_cast<std::size_t>(MicPostMeterIndex(3))], kMeterNoData);
}

TEST(Metering, BusesSumWhatFeedsThem) {
  MixerConfig mix = QuietMix();
  for (std::uint16_t id : {kSrcLine1, static_cast<std::uint16_t>(kSrcLine1 + 4)}) {
    InputSource& s = mix.Inputs[id];
    s.SignalDb = -10;
    s.On = true;
    s.Fader = 0;
    s.Routing = BusMaskBit(BusId::AUX);
  }
  MeterGenerator gen(3);
  const auto block = gen.NextBlock(mix);
  const MeterGenerator::Stereo a2 = gen.PostFader(mix, kSrcLine1);  // the levels of that block
  const MeterGenerator::Stereo b2 = gen.PostFader(mix, kSrcLine1 + 4);
  const double sum = 10 * std::log10(std::pow(10, a2.Left / 10) + std::pow(10, b2.Left / 10));
  EXPECT_NEAR(Db(block[static_cast<std::size_t>(BusMeterIndex(BusId::AUX, false))]), sum, 0.3);
  EXPECT_GT(sum, std::max(a2.Left, b2.Left));
}

TEST(Metering, PanAndBalanceCloseTheOtherSide) {
  MixerConfig mix = QuietMix();
  InputSource& mic = mix.Inputs[kSrcMic1];
  mic.On = true;
  mic.Fader = 0;
  mic.Pan = -20;
  InputSource& line = mix.Inputs[kSrcLine1 + 1];
  line.On = true;
  line.Fader = 0;
  line.Pan = 20;
  MeterGenerator gen(4);
  EXPECT_LE(gen.PostFader(mix, kSrcMic1).Right, kSilenceDb);
  EXPECT_GT(gen.PostFader(mix, kSrcMic1).Left, kSilenceDb);
  EXPECT_LE(gen.PostFader(mix, kSrcLine1 + 1).Left, kSilenceDb);
  EXPECT_GT(gen.PostFader(mix, kSrcLine1 + 1).Right, kSilenceDb);
  mic.Pan = 0;  // in the middle both sides carry the level
  const MeterGenerator::Stereo centre = gen.PostFader(mix, kSrcMic1);
  EXPECT_NEAR(centre.Left, centre.Right, 1e-9);
  EXPECT_NEAR(centre.Left, gen.PreFader(mix, kSrcMic1), 1e-9);
}

TEST(Metering, PrefadeBusCarriesPreFaderLevels) {
  MixerConfig mix = QuietMix();
  mix.Inputs[kSrcTBUA].Pfl = true;  // off and faded down, but on prefade
  MeterGenerator gen(5);
  const auto block = gen.NextBlock(mix);
  EXPECT_NEAR(Db(block[static_cast<std::size_t>(BusMeterIndex(BusId::PFL, false))]),
              Db(block[static_cast<std::size_t>(TbuPreMeterIndex(0))]), 0.6);
}

TEST(Metering, MissingSourcesStaySilent) {
  MixerConfig mix = QuietMix();
  for (std::uint16_t id = 1; id <= kLastInputId; ++id) {
    mix.Inputs[id].On = true;
    mix.Inputs[id].Fader = 0;
  }
  MeterGenerator gen(6);
  EXPECT_LE(gen.PreFader(mix, 13), kSilenceDb);                    // microphone 13 is not fitted
  EXPECT_LE(gen.PostFader(mix, kSrcLine1 + 12).Left, kSilenceDb);  // nothing plugged into line 13
  EXPECT_LE(gen.PreFader(mix, 0), kSilenceDb);
  EXPECT_LE(gen.PreFader(mix, 200), kSilenceDb);
}

TEST(Metering, LevelsMoveALittle) {
  MixerConfig mix = QuietMix();
  MeterGenerator gen(7);
  double lowest = 100, highest = -100;
  for (int i = 0; i < 200; ++i) {
    const double v = Db(gen.NextBlock(mix)[static_cast<std::size_t>(MicPreMeterIndex(1))]);
    lowest = std::min(lowest, v);
    highest = std::max(highest, v);
  }
  EXPECT_GT(highest - lowest, 1.0);
  EXPECT_LT(highest - lowest, 9.0);
}

}  // namespace
}  // namespace mpu::sim
