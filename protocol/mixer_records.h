// Payload records of the mixer opcodes (64..127): buses, monitors, talkback,
// GPIO circuits, soft functions, MCS keys and tallies, strips, statistics and
// mixer settings. Offsets are inside the frame's payload.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/source_records.h"
#include "protocol/wire.h"

namespace mpu {

struct TMPUMixBusConfigMessage {
  static constexpr std::size_t kSize = 10;
  std::uint16_t MixBusId = 0;
  std::uint16_t Mode = 0;           // 0 normal, 1 clean feed (buses 4..11)
  std::uint16_t MasterBusId = 0;    // 256 = none
  std::uint16_t SendSourceLeft = 0;
  std::uint16_t SendSourceRight = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "MixBusId", r.MixBusId);
    v(2, "Mode", r.Mode);
    v(4, "MasterBusId", r.MasterBusId);
    v(6, "SendSourceLeft", r.SendSourceLeft);
    v(8, "SendSourceRight", r.SendSourceRight);
  }
};

// Answer of MPU_OP_MIXBUS_PARAMS.
struct TMPUMixBusParamsMessage {
  static constexpr std::size_t kSize = 22;
  std::uint16_t MixBusId = 0;
  std::uint16_t ProcOptions = 0;
  std::uint16_t Mode = 0;
  std::uint16_t MasterBusId = 0;
  std::uint16_t SendSourceLeft = 0;
  std::uint16_t SendSourceRight = 0;
  std::uint8_t OTBActive = 0;
  std::array<std::uint8_t, 3> Reserved{};
  TMPULimiterParamsMessage Limiter{};  // main limiter, buses 0..3

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "MixBusId", r.MixBusId);
    v(2, "ProcOptions", r.ProcOptions);
    v(4, "Mode", r.Mode);
    v(6, "MasterBusId", r.MasterBusId);
    v(8, "SendSourceLeft", r.SendSourceLeft);
    v(10, "SendSourceRight", r.SendSourceRight);
    v(12, "OTBActive", r.OTBActive);
    v(13, "Reserved", r.Reserved);
    v(16, "Limiter", r.Limiter);
  }
};

struct TMPUTalkbackConfigMessage {
  static constexpr std::size_t kSize = 15;
  std::uint16_t SendSourceID = 0;  // 18 TB MIC or microphone 1..8
  std::int16_t MixBusGain = 0;     // dB
  std::int16_t RTBThreshold = 0;   // dB
  std::int16_t RTBGain = 0;        // dB
  std::uint32_t RTBMask = 0;
  std::uint8_t SWTBOn = 0;
  std::int16_t OTBGain = 0;  // dB

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SendSourceID", r.SendSourceID);
    v(2, "MixBusGain", r.MixBusGain);
    v(4, "RTBThreshold", r.RTBThreshold);
    v(6, "RTBGain", r.RTBGain);
    v(8, "RTBMask", r.RTBMask);
    v(12, "SWTBOn", r.SWTBOn);
    v(13, "OTBGain", r.OTBGain);
  }
};

struct TMPUOTBControlMessage {
  static constexpr std::size_t kSize = 5;
  std::uint16_t TargetType = 0;  // 1 output, 2 mix bus, 3 monitor
  std::uint16_t TargetID = 0;
  std::uint8_t Active = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "TargetType", r.TargetType);
    v(2, "TargetID", r.TargetID);
    v(4, "Active", r.Active);
  }
};

struct TMPUMonitorGainMessage {
  static constexpr std::size_t kSize = 4;
  std::uint16_t MonitorID = 0;
  std::int16_t Gain = 0;  // dB

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "MonitorID", r.MonitorID);
    v(2, "Gain", r.Gain);
  }
};

struct TMPUMonitorControlMessage {
  static constexpr std::size_t kSize = 4;
  std::uint16_t MonitorID = 0;
  std::uint16_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "MonitorID", r.MonitorID);
    v(2, "Value", r.Value);
  }
};

struct TMPUCRMonitorPresetMessage {
  static constexpr std::size_t kSize = 4;
  std::uint16_t PresetID = 0;
  std::uint16_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "PresetID", r.PresetID);
    v(2, "Value", r.Value);
  }
};

struct TMPUMonitorTBConfigMessage {
  static constexpr std::size_t kSize = 7;
  std::uint16_t MonitorID = 0;  // 1 CRLS, 2 STLS, 3 CUELS
  std::int16_t MaxGain = 0;
  std::int16_t MinGain = 0;
  std::uint8_t Ducked = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "MonitorID", r.MonitorID);
    v(2, "MaxGain", r.MaxGain);
    v(4, "MinGain", r.MinGain);
    v(6, "Ducked", r.Ducked);
  }
};

// Answer of MPU_OP_MONITOR_PARAMS.
struct TMPUMonitorParamsMessage {
  static constexpr std::size_t kSize = 64;
  // SendSources indexes: presets PGM1, PGM2, REC, AUX, USER, then STLS, HPA, HPB.
  static constexpr int kSendSourceSTLS = 5;
  static constexpr int kSendSourceHPA = 6;
  static constexpr int kSendSourceHPB = 7;
  std::uint8_t PrefadeActive = 0;
  std::uint8_t PreviewActive = 0;
  std::uint8_t APFActive = 0;
  std::uint8_t SplitActive = 0;
  std::uint16_t CRPresetId = 0;
  std::uint16_t GRCUGroups = 0;  // bit n = monitor 4 + n
  std::array<std::uint16_t, 8> SendSources{};
  std::array<std::int16_t, 20> VolumeAdj{};  // monitors 0..19, dB

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "PrefadeActive", r.PrefadeActive);
    v(1, "PreviewActive", r.PreviewActive);
    v(2, "APFActive", r.APFActive);
    v(3, "SplitActive", r.SplitActive);
    v(4, "CRPresetId", r.CRPresetId);
    v(6, "GRCUGroups", r.GRCUGroups);
    v(8, "SendSources", r.SendSources);
    v(24, "VolumeAdj", r.VolumeAdj);
  }
};

struct TMPUGPInputConfigMessage {
  static constexpr std::size_t kSize = 11;
  std::uint16_t CircuitId = 0;
  std::uint16_t InSourceId = 0;
  std::uint16_t FunctionId = 0;
  std::uint16_t Interval = 0;
  std::uint8_t Momentary = 0;
  std::uint8_t NormallyClosed = 0;
  std::uint8_t Active = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "CircuitId", r.CircuitId);
    v(2, "InSourceId", r.InSourceId);
    v(4, "FunctionId", r.FunctionId);
    v(6, "Interval", r.Interval);
    v(8, "Momentary", r.Momentary);
    v(9, "NormallyClosed", r.NormallyClosed);
    v(10, "Active", r.Active);
  }
};

struct TMPUGPOutputConfigMessage {
  static constexpr std::size_t kSize = 12;
  std::uint16_t CircuitId = 0;
  std::uint16_t InSourceId = 0;
  std::uint16_t FunctionId = 0;
  std::uint16_t Interval = 0;  // pulse length of a momentary output
  std::uint8_t Momentary = 0;
  std::uint8_t Repeating = 0;
  std::uint8_t NormallyClosed = 0;
  std::uint8_t Active = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "CircuitId", r.CircuitId);
    v(2, "InSourceId", r.InSourceId);
    v(4, "FunctionId", r.FunctionId);
    v(6, "Interval", r.Interval);
    v(8, "Momentary", r.Momentary);
    v(9, "Repeating", r.Repeating);
    v(10, "NormallyClosed", r.NormallyClosed);
    v(11, "Active", r.Active);
  }
};

struct TMPUSoftFunctionControlMessage {
  static constexpr std::size_t kSize = 3;
  std::uint16_t FunctionId = 0;
  std::uint8_t Active = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "FunctionId", r.FunctionId);
    v(2, "Active", r.Active);
  }
};

// Host to MPU: tally lamp TallyId to mode Value. The same two bytes carry
// MCS key events (key id, 1 = pressed) and encoder steps (encoder id,
// 1 = clockwise) from the MPU.
struct TMPUTallyControlMessage {
  static constexpr std::size_t kSize = 2;
  std::uint8_t TallyId = 0;
  std::uint8_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "TallyId", r.TallyId);
    v(1, "Value", r.Value);
  }
};

// A received MCS key is pressed only when its value is exactly 1.
constexpr bool MCSKeyPressed(const TMPUTallyControlMessage& m) { return m.Value == 1; }
// A received encoder frame counts +1 for value 1, -1 for any other value.
constexpr int MCSEncoderStep(const TMPUTallyControlMessage& m) { return m.Value == 1 ? 1 : -1; }

struct TMPUStripControlMessage {
  static constexpr std::size_t kSize = 4;
  std::uint16_t StripId = 0;
  std::uint16_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "StripId", r.StripId);
    v(2, "Value", r.Value);
  }
};

// Answer of MPU_OP_STRIP_PARAMS.
struct TMPUStripParamsMessage {
  static constexpr std::size_t kSize = 7;
  std::uint8_t StripId = 0;
  std::uint8_t Active = 0;
  std::uint8_t ConsoleId = 0;   // 255 = strip not present
  std::uint8_t ConsoleLoc = 0;  // TMPU_LOCATION_TYPE
  std::uint16_t SourceId = 0;
  std::uint8_t EditStatus = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "StripId", r.StripId);
    v(1, "Active", r.Active);
    v(2, "ConsoleId", r.ConsoleId);
    v(3, "ConsoleLoc", r.ConsoleLoc);
    v(4, "SourceId", r.SourceId);
    v(6, "EditStatus", r.EditStatus);
  }
};

// Answer of MPU_OP_MIXER_STATS.
struct TMPUMixerStatsMessage {
  static constexpr std::size_t kSize = 12;
  std::uint16_t Reserved = 0;
  std::uint16_t InSourcePFcount = 0;
  std::uint16_t CRMicPFCount = 0;
  std::uint16_t CRMicLiveCount = 0;
  std::uint16_t STMicPFCount = 0;
  std::uint16_t STMicLiveCount = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Reserved", r.Reserved);
    v(2, "InSourcePFcount", r.InSourcePFcount);
    v(4, "CRMicPFCount", r.CRMicPFCount);
    v(6, "CRMicLiveCount", r.CRMicLiveCount);
    v(8, "STMicPFCount", r.STMicPFCount);
    v(10, "STMicLiveCount", r.STMicLiveCount);
  }
};

// MPU_OP_MIXER_SETTINGS, sent with frame revision 3. The last two bytes are
// valid only in frames of the revision that introduced them.
struct TMPUMixerSettingsMessage {
  static constexpr std::size_t kSize = 18;
  static constexpr std::uint8_t kRevision = 3;
  std::int8_t SignalOnThreshold = 0;   // dBu x 2
  std::int8_t SignalOvlThreshold = 0;  // dBu x 2
  std::uint8_t FaderStartThreshold = 0;
  std::uint8_t FaderStopThreshold = 0;
  std::int16_t SummingGain = 0;        // dB
  std::uint16_t DTXProtectBuses = 0;
  std::int16_t TempElevated = 0;       // tenths of a degree Celsius
  std::int16_t TempWarning = 0;
  std::int16_t TempCritical = 0;
  std::uint16_t HumWarning = 0;        // tenths of a percent
  std::uint8_t VideoTallyOptions = 0;  // revision 2 and later
  std::uint8_t ClockSource = 0;        // revision 3 and later

  static constexpr bool HasVideoTallyOptions(std::uint8_t frameRevision) { return frameRevision >= 2; }
  static constexpr bool HasClockSource(std::uint8_t frameRevision) { return frameRevision >= 3; }

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SignalOnThreshold", r.SignalOnThreshold);
    v(1, "SignalOvlThreshold", r.SignalOvlThreshold);
    v(2, "FaderStartThreshold", r.FaderStartThreshold);
    v(3, "FaderStopThreshold", r.FaderStopThreshold);
    v(4, "SummingGain", r.SummingGain);
    v(6, "DTXProtectBuses", r.DTXProtectBuses);
    v(8, "TempElevated", r.TempElevated);
    v(10, "TempWarning", r.TempWarning);
    v(12, "TempCritical", r.TempCritical);
    v(14, "HumWarning", r.HumWarning);
    v(16, "VideoTallyOptions", r.VideoTallyOptions);
    v(17, "ClockSource", r.ClockSource);
  }
};

// Part of the response frame's views; no opcode of this program carries it.
struct TMPUControlStatusMessage {
  static constexpr std::size_t kSize = 2;
  std::uint8_t ControlId = 0;
  std::uint8_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ControlId", r.ControlId);
    v(1, "Value", r.Value);
  }
};

static_assert(wire::IsContiguous<TMPUMixBusConfigMessage>());
static_assert(wire::IsContiguous<TMPUMixBusParamsMessage>());
static_assert(wire::IsContiguous<TMPUTalkbackConfigMessage>());
static_assert(wire::IsContiguous<TMPUOTBControlMessage>());
static_assert(wire::IsContiguous<TMPUMonitorGainMessage>());
static_assert(wire::IsContiguous<TMPUMonitorControlMessage>());
static_assert(wire::IsContiguous<TMPUCRMonitorPresetMessage>());
static_assert(wire::IsContiguous<TMPUMonitorTBConfigMessage>());
static_assert(wire::IsContiguous<TMPUMonitorParamsMessage>());
static_assert(wire::IsContiguous<TMPUGPInputConfigMessage>());
static_assert(wire::IsContiguous<TMPUGPOutputConfigMessage>());
static_assert(wire::IsContiguous<TMPUSoftFunctionControlMessage>());
static_assert(wire::IsContiguous<TMPUTallyControlMessage>());
static_assert(wire::IsContiguous<TMPUStripControlMessage>());
static_assert(wire::IsContiguous<TMPUStripParamsMessage>());
static_assert(wire::IsContiguous<TMPUMixerStatsMessage>());
static_assert(wire::IsContiguous<TMPUMixerSettingsMessage>());
static_assert(wire::IsContiguous<TMPUControlStatusMessage>());

}  // namespace mpu
