// The simulated unit's state: the mix (what the configuration store keeps),
// the board tags, the audio-board registers, the power supplies and the
// firmware images, each with the defaults of a freshly set-up broadcast desk.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/id_tables.h"
#include "protocol/mixer_records.h"
#include "protocol/mixer_types.h"
#include "protocol/source_records.h"
#include "protocol/system_records.h"

namespace mpu::sim {

// Input sources that exist on the unit: ids 1..54 (microphones 1..16,
// reverse talkback, TB mic, TBU A/B, line 1..13, external monitor, USB 1..8,
// AES 1..4, AoIP 1..8).
inline constexpr std::uint16_t kLastInputId = 54;
inline constexpr std::size_t kStripCount = 32;
inline constexpr std::size_t kMaxConsoles = 4;
inline constexpr std::uint16_t kAudioBoardRegisters = 0x4000;
// Level of a meter without signal (-64 dB).
inline constexpr double kSilenceDb = -64.0;

struct InputSource {
  std::uint8_t Type = 0;    // InSourceType
  std::uint8_t Status = 0;  // SourceStatus
  bool Stereo = false;
  std::uint8_t Mode = MPU_ISRC_MODE_NORMAL;
  wire::Chars<9> ShortLabel{};
  std::uint8_t LongEnc = 0;
  TMPULongLabel LongLabel{};
  std::int16_t GainLeft = 0, GainRight = 0;  // dB
  std::int16_t CalLeft = 0, CalRight = 0;    // tenths of a dB
  std::uint16_t ChannelMode = 0;
  std::uint8_t PhaseLeft = 0, PhaseRight = 0;
  std::uint16_t Location = MPU_LOCATION_CR1;
  bool Phantom = false;
  bool IndicatorAlways = false;
  std::uint16_t ControlOptions = 0;
  std::array<TMPUInSourceRoutingTriggerMessage, kTriggerMasterCount> Triggers{};
  std::uint16_t Routing = 0;  // bus routing mask
  bool On = false;
  bool Pfl = false;
  std::int16_t Fader = -60, Trim = 0, Pan = 0, AuxGain = -50;
  std::uint16_t AuxMode = 0;
  std::array<TMPUInSourceFilterParamsMessage, kFilterBandCount> Filters{};
  TMPULimiterParamsMessage Limiter{};
  TMPUCompressorParamsMessage Compressor{};
  // Level of the programme material at the input, dB on the meter scale at
  // the nominal gain; kSilenceDb when nothing is connected.
  double SignalDb = kSilenceDb;

  // MPU_OP_INSRC_ON's state word: bit 0 on, bit 1 prefade.
  std::uint16_t StatusWord() const {
    return static_cast<std::uint16_t>((On ? 1 : 0) | (Pfl ? 2 : 0));
  }
};

struct OutputSource {
  std::uint8_t Type = 0;  // OutSourceType
  std::uint8_t Status = static_cast<std::uint8_t>(SourceStatus::Available);
  std::int16_t GainLeft = 0, GainRight = 0;
  std::int16_t CalLeft = 0, CalRight = 0;
  std::uint16_t SendLeft = 0, SendRight = 0;
  std::uint16_t FormatOptions = 0;
};

struct MixBus {
  std::uint16_t Mode = 0;
  std::uint16_t MasterBusId = kNoMixBus;
  std::uint16_t SendSourceLeft = 0, SendSourceRight = 0;
  std::uint16_t ProcOptions = 0;
  TMPULimiterParamsMessage Limiter{};  // main limiter, buses 0..3
};

struct Monitor {
  std::int16_t Volume = -20;              // dB
  std::int16_t VolumeAdj = 0;             // dB
  std::uint16_t SendSource = 0;           // STLS, HPA, HPB
  bool GroupMember = false;               // GRCU 1..16
  TMPUMonitorTBConfigMessage Talkback{};  // CRLS, STLS, CUELS
};

struct Strip {
  std::uint16_t SourceId = 0;
  bool EditMode = false;
};

// Everything the configuration store keeps.
struct MixerConfig {
  std::array<InputSource, kLastInputId + 1> Inputs{};  // index = source id, 0 unused
  std::array<OutputSource, kOutputCount> Outputs{};
  std::array<MixBus, kMixBusCount> Buses{};
  std::array<Monitor, MPU_MONITOR_COUNT> Monitors{};
  std::array<std::uint16_t, kCRPresetCount> PresetSources{};
  std::uint16_t SelectedPreset = 0;
  bool Apf = false, Split = false, Preview = false;
  TMPUTalkbackConfigMessage Talkback{};
  std::array<bool, kOutputCount> OtbOutputs{};
  std::array<bool, kMixBusCount> OtbBuses{};
  std::array<bool, MPU_MONITOR_COUNT> OtbMonitors{};
  std::array<TMPUGPInputConfigMessage, 44> Gpi{};
  std::array<TMPUGPOutputConfigMessage, 44> Gpo{};
  std::array<bool, MC_SOFTFUNC_COUNT> SoftFunctions{};
  std::array<Strip, kStripCount> Strips{};
  TMPUConsoleListMessage Consoles{};
  TMPUMixerSettingsMessage Settings{};

  InputSource* Input(std::uint32_t id) {
    return id >= 1 && id <= kLastInputId ? &Inputs[id] : nullptr;
  }
  const InputSource* Input(std::uint32_t id) const {
    return id >= 1 && id <= kLastInputId ? &Inputs[id] : nullptr;
  }
  // The console a strip sits on (index into Consoles), or nullopt when the
  // strip is not present.
  std::optional<std::size_t> ConsoleOfStrip(std::size_t strip) const;
  // The strip a source is assigned to, kNoStrip when none.
  std::uint8_t StripOfSource(std::uint16_t sourceId) const;
};

MixerConfig DefaultMixerConfig();

struct PowerSupply {
  std::uint8_t Kind = 0;      // 0 absent, 1 present, 2 present with environment sensors
  std::uint8_t Switches = 0;  // bit n = PowerRail n on
};

// One firmware image with the version that belongs to it.
struct FirmwareImage {
  std::uint8_t FirmwareId = 0;
  std::uint8_t Major = 0, Minor = 0;
  std::uint16_t Build = 0;
  std::vector<std::uint8_t> Bytes;
};

// The images in flash, one per firmware id of the unit: host main 1.42,
// host sub, USB audio, audio board, console. Content is deterministic,
// tens of kilobytes, and never ends in 0xFF.
std::vector<FirmwareImage> DefaultFirmwareImages();

// Board tags of the host (0), USB audio (16) and audio board (32) boards and
// of consoles 0 and 1 (64).
std::vector<TMPUBoardTagMessage> DefaultBoardTags();

std::vector<std::uint16_t> DefaultAudioBoardRegisters();

std::array<PowerSupply, kPowerModuleCount> DefaultPowerSupplies();

}  // namespace mpu::sim
