#include "simulator/metering.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "protocol/id_tables.h"

namespace mpu::sim {
namespace {

constexpr double kFaderOff = -60.0;  // a fader at the bottom is closed

bool Silent(double db) {
  return db <= kSilenceDb;
}

// Power sum of levels in dB.
struct PowerSum {
  double Power = 0;
  void Add(double db) {
    if (!Silent(db)) Power += std::pow(10.0, db / 10.0);
  }
  double Db() const { return Power > 0 ? 10.0 * std::log10(Power) : kSilenceDb; }
};

double Attenuate(double db, double gain) {
  if (Silent(db) || gain <= 0) return kSilenceDb;
  return db + 20.0 * std::log10(gain);
}

double NominalGain(const InputSource& s) {
  return s.Type == static_cast<std::uint8_t>(InSourceType::Mic) ? 40 : 0;
}

}  // namespace

std::uint8_t MeterByte(double db) {
  if (!std::isfinite(db) || Silent(db)) return kMeterNoData;
  const double halfDb = std::clamp(std::round(db * 2.0), -128.0, 127.0);
  return static_cast<std::uint8_t>(static_cast<std::int8_t>(halfDb));
}

MeterGenerator::MeterGenerator(std::uint32_t seed) : rng_(seed) {}

void MeterGenerator::Move() {
  std::uniform_real_distribution<double> step(-1.5, 1.5);
  for (double& w : wobble_) w = std::clamp(0.7 * w + step(rng_), -4.0, 4.0);
}

double MeterGenerator::PreFader(const MixerConfig& mix, std::uint16_t sourceId) const {
  const InputSource* s = mix.Input(sourceId);
  if (!s || s->Status != static_cast<std::uint8_t>(SourceStatus::Available) || Silent(s->SignalDb))
    return kSilenceDb;
  return s->SignalDb + wobble_[sourceId] + (s->GainLeft - NominalGain(*s)) + s->CalLeft / 10.0;
}

MeterGenerator::Stereo MeterGenerator::PostFader(const MixerConfig& mix,
                                                 std::uint16_t sourceId) const {
  const InputSource* s = mix.Input(sourceId);
  const double pre = PreFader(mix, sourceId);
  if (!s || !s->On || s->Fader <= kFaderOff || Silent(pre)) return {};
  const double level = pre + s->Trim + s->Fader;
  const double pan = std::clamp<int>(s->Pan, -20, 20);
  Stereo out;
  if (!s->Stereo) {
    // Constant power pan, 0 dB on both sides in the middle.
    const double theta = (pan + 20.0) / 40.0 * std::numbers::pi / 2.0;
    out.Left = Attenuate(level, std::cos(theta) * std::numbers::sqrt2);
    out.Right = Attenuate(level, std::sin(theta) * std::numbers::sqrt2);
    return out;
  }
  double left = level, right = level - 0.5;  // the channels of programme material differ a little
  switch (static_cast<ChannelMode>(s->ChannelMode)) {
    case ChannelMode::Reversed:
      std::swap(left, right);
      break;
    case ChannelMode::Summed: {
      PowerSum sum;
      sum.Add(left);
      sum.Add(right);
      left = right = sum.Db();
      break;
    }
    case ChannelMode::LeftOnly:
      right = left;
      break;
    case ChannelMode::RightOnly:
      left = right;
      break;
    default:
      break;
  }
  // Balance: turning towards one side closes the other.
  out.Left = Attenuate(left, pan > 0 ? 1.0 - pan / 20.0 : 1.0);
  out.Right = Attenuate(right, pan < 0 ? 1.0 + pan / 20.0 : 1.0);
  return out;
}

std::array<std::uint8_t, kMeteringStoreSize> MeterGenerator::NextBlock(const MixerConfig& mix) {
  Move();
  std::array<std::uint8_t, kMeteringStoreSize> block;
  block.fill(kMeterNoData);
  auto put = [&block](int index, double db) {
    if (index >= 0 && index < static_cast<int>(block.size()))
      block[static_cast<std::size_t>(index)] = MeterByte(db);
  };

  std::array<PowerSum, kMixBusCount> busLeft{}, busRight{};
  PowerSum pflLeft, pflRight;
  for (std::uint16_t id = 1; id <= kLastInputId; ++id) {
    const InputSource& s = mix.Inputs[id];
    const double pre = PreFader(mix, id);
    const Stereo post = PostFader(mix, id);
    for (std::size_t b = 0; b < kMixBusCount; ++b) {
      if ((s.Routing & (1u << b)) == 0) continue;
      busLeft[b].Add(post.Left);
      busRight[b].Add(post.Right);
    }
    if (s.Pfl) {
      pflLeft.Add(pre);
      pflRight.Add(s.Stereo ? pre - 0.5 : pre);
    }

    // The source's own meters.
    if (s.Type == static_cast<std::uint8_t>(InSourceType::Mic)) {
      const int mic = id - kSrcMic1 + 1;
      put(MicPreMeterIndex(mic), pre);
      const double postMono = std::max(post.Left, post.Right);
      put(MicPostMeterIndex(mic), postMono);
      // The input page reads the post meters 40 bytes lower as well.
      if (mic >= 1 && mic <= 12) put(131 + mic, postMono);
    } else if (s.Type == static_cast<std::uint8_t>(InSourceType::TBU)) {
      const int tbu = id - kSrcTBUA;
      put(TbuPreMeterIndex(tbu), pre);
      const double postMono = std::max(post.Left, post.Right);
      put(TbuPostMeterIndex(tbu), postMono);
      put(144 + tbu, postMono);
    } else if (!s.Stereo) {
      put(SourceMeterIndex(id, false), pre);  // reverse talkback, TB mic
    } else if (id == kSrcExtMon) {
      put(kMeterExtMonL, pre);
      put(kMeterExtMonR, pre - 0.5);
    } else {
      put(SourceMeterIndex(id, false), post.Left);
      put(SourceMeterIndex(id, true), post.Right);
    }
  }

  for (std::size_t b = 0; b < kMixBusCount; ++b) {
    const auto bus = static_cast<BusId>(b);
    const int l = BusMeterIndex(bus, false), r = BusMeterIndex(bus, true);
    if (l == r) {
      PowerSum mono;
      mono.Power = (busLeft[b].Power + busRight[b].Power) / 2.0;
      put(l, mono.Db());
    } else {
      put(l, busLeft[b].Db());
      put(r, busRight[b].Db());
    }
  }
  put(BusMeterIndex(BusId::PFL, false), pflLeft.Db());
  put(BusMeterIndex(BusId::PFL, true), pflRight.Db());
  return block;
}

}  // namespace mpu::sim
