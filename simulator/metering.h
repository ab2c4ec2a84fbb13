// The unit's meters: levels computed from the mix. An input that is
// connected shows signal on its pre meter; once it is on and faded up its
// post meter (and, for stereo inputs, its L/R meter) follows fader, trim and
// pan; each bus sums the post-fader levels of the sources routed to it, the
// PFL bus the pre-fader levels of the sources on prefade.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <span>

#include "protocol/data_packets.h"
#include "simulator/unit_state.h"

namespace mpu::sim {

class MeterGenerator {
 public:
  explicit MeterGenerator(std::uint32_t seed);

  // One metering block of kMeteringStoreSize bytes (half-dB steps, 0x80 for
  // meters without signal). Each call moves the levels a little.
  std::array<std::uint8_t, kMeteringStoreSize> NextBlock(const MixerConfig& mix);

  // Stereo post-fader level of an input in dB (kSilenceDb when silent), with
  // the current movement; exposed for tests.
  struct Stereo {
    double Left = kSilenceDb;
    double Right = kSilenceDb;
  };
  Stereo PostFader(const MixerConfig& mix, std::uint16_t sourceId) const;
  double PreFader(const MixerConfig& mix, std::uint16_t sourceId) const;

 private:
  void Move();

  std::mt19937 rng_;
  // A slow random movement per input, dB.
  std::array<double, kLastInputId + 1> wobble_{};
};

// A level in dB as a meter byte: half-dB steps, saturated; silence is 0x80.
std::uint8_t MeterByte(double db);

}  // namespace mpu::sim
