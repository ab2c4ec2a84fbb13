// Payload records of the source opcodes (1..63): input and output sources.
// Offsets are inside the frame's payload (frame offset = payload offset + 4).
#pragma once

#include <cstdint>
#include <string>

#include "protocol/wire.h"

namespace mpu {

using wire::Chars;

// SourceID + one Word value; the value's meaning depends on the opcode.
struct TMPUSourceControlMessage {
  static constexpr std::size_t kSize = 4;
  std::uint16_t SourceID = 0;
  std::uint16_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "Value", r.Value);
  }
};

// Left and right gain or calibration of an input or output.
struct TMPUSourceSystemGainMessage {
  static constexpr std::size_t kSize = 6;
  std::uint16_t SourceID = 0;
  std::int16_t GainLeft = 0;
  std::int16_t GainRight = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "GainLeft", r.GainLeft);
    v(4, "GainRight", r.GainRight);
  }
};

struct TMPUInSourceModeMessage {
  static constexpr std::size_t kSize = 6;
  std::uint16_t SourceID = 0;
  std::uint16_t ChannelMode = 0;
  std::uint8_t PhaseLeft = 0;   // 1 = reversed
  std::uint8_t PhaseRight = 0;  // 1 = reversed

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "ChannelMode", r.ChannelMode);
    v(4, "PhaseLeft", r.PhaseLeft);
    v(5, "PhaseRight", r.PhaseRight);
  }
};

struct TMPUInSourceFilterParamsMessage {
  static constexpr std::size_t kSize = 10;
  std::uint16_t SourceID = 0;
  std::uint8_t FilterId = 0;
  std::uint8_t Options = 0;
  std::int16_t Gain = 0;        // dB
  std::uint16_t Frequency = 0;  // Hz
  std::uint16_t Quality = 0;    // Q x 10

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "FilterId", r.FilterId);
    v(3, "Options", r.Options);
    v(4, "Gain", r.Gain);
    v(6, "Frequency", r.Frequency);
    v(8, "Quality", r.Quality);
  }
};

struct TMPULimiterParamsMessage {
  static constexpr std::size_t kSize = 6;
  std::uint16_t SourceID = 0;
  std::int16_t Threshold = 0;  // dB
  std::uint8_t Decay = 0;
  std::uint8_t Active = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "Threshold", r.Threshold);
    v(4, "Decay", r.Decay);
    v(5, "Active", r.Active);
  }
};

struct TMPUCompressorParamsMessage {
  static constexpr std::size_t kSize = 9;
  std::uint16_t SourceID = 0;
  std::int16_t Threshold = 0;  // dB
  std::uint8_t Attack = 0;
  std::uint8_t Decay = 0;
  std::uint8_t Ratio = 0;  // ratio minus one
  std::uint8_t PostGain = 0;
  std::uint8_t Active = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "Threshold", r.Threshold);
    v(4, "Attack", r.Attack);
    v(5, "Decay", r.Decay);
    v(6, "Ratio", r.Ratio);
    v(7, "PostGain", r.PostGain);
    v(8, "Active", r.Active);
  }
};

// Fader, gain trim or pan of an input source.
struct TMPUInSourceGainMessage {
  static constexpr std::size_t kSize = 5;
  std::uint16_t SourceID = 0;
  std::int16_t Value = 0;
  std::uint8_t Pos = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "Value", r.Value);
    v(4, "Pos", r.Pos);
  }
};

struct TMPUInSourceAuxSendMessage {
  static constexpr std::size_t kSize = 6;
  std::uint16_t SourceID = 0;
  std::int16_t Gain = 0;  // dB
  std::uint16_t Mode = 0; // 0 pre-fader, 1 post fader

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "Gain", r.Gain);
    v(4, "Mode", r.Mode);
  }
};

struct TMPUInSourceBusRoutingMessage {
  static constexpr std::size_t kSize = 6;
  std::uint16_t SourceID = 0;
  std::uint16_t BusId = 0;
  std::uint16_t Routing = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "BusId", r.BusId);
    v(4, "Routing", r.Routing);
  }
};

struct TMPUInSourceRoutingTriggerMessage {
  static constexpr std::size_t kSize = 13;
  std::uint16_t InSourceID = 0;
  std::uint8_t MasterId = 0;
  std::uint8_t TriggerActionOff = 0;
  std::uint16_t RoutingOff = 0;
  std::uint8_t OptionsOff = 0;
  std::int8_t AuxGainOff = 0;
  std::uint8_t TriggerActionOn = 0;
  std::uint16_t RoutingOn = 0;
  std::uint8_t OptionsOn = 0;
  std::int8_t AuxGainOn = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "InSourceID", r.InSourceID);
    v(2, "MasterId", r.MasterId);
    v(3, "TriggerActionOff", r.TriggerActionOff);
    v(4, "RoutingOff", r.RoutingOff);
    v(6, "OptionsOff", r.OptionsOff);
    v(7, "AuxGainOff", r.AuxGainOff);
    v(8, "TriggerActionOn", r.TriggerActionOn);
    v(9, "RoutingOn", r.RoutingOn);
    v(11, "OptionsOn", r.OptionsOn);
    v(12, "AuxGainOn", r.AuxGainOn);
  }
};

// MPU to host: a control of a source moved (control id 0 = fader, dB).
struct TMPUInSourceVControlMessage {
  static constexpr std::size_t kSize = 6;
  std::uint16_t SourceID = 0;
  std::uint16_t ControlId = 0;
  std::int16_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "ControlId", r.ControlId);
    v(4, "Value", r.Value);
  }
};
inline constexpr std::uint16_t kVControlFader = 0;

struct TMPUInSourceStripChangeMessage {
  static constexpr std::size_t kSize = 4;
  std::uint16_t SourceID = 0;
  std::uint16_t StripID = 0;  // 0-based, 255 = not on a strip

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "StripID", r.StripID);
  }
};

struct TMPUSendSourceMessage {
  static constexpr std::size_t kSize = 6;
  std::uint16_t SourceID = 0;  // output id
  std::uint16_t SendSourceLeft = 0;
  std::uint16_t SendSourceRight = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "SendSourceLeft", r.SendSourceLeft);
    v(4, "SendSourceRight", r.SendSourceRight);
  }
};

// 34 bytes seen either as 34 single-byte characters or as 17 UTF-16 units.
struct TMPULongLabel {
  static constexpr std::size_t kSize = 34;
  Chars<34> LongLabelA{};

  // The single-byte view up to its first NUL (ISO 8859-1 bytes).
  std::string TextA() const { return wire::CharsToLatin1(LongLabelA); }
  // The UTF-16 view up to its first NUL unit.
  std::u16string TextW() const {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < kSize; i += 2) {
      const char16_t c = static_cast<char16_t>(LongLabelA[i] | (LongLabelA[i + 1] << 8));
      if (c == 0) break;
      out.push_back(c);
    }
    return out;
  }

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "LongLabelA", r.LongLabelA);
  }
};

struct TMPUSourceLabelMessage {
  static constexpr std::size_t kSize = 46;
  static constexpr std::size_t kShortLabelChars = 8;
  static constexpr std::size_t kLongLabelChars = 16;
  std::uint16_t SourceID = 0;
  Chars<9> ShortLabel{};
  std::uint8_t LongEnc = 0;  // 0 = single-byte long label
  TMPULongLabel LongLabel{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "ShortLabel", r.ShortLabel);
    v(11, "LongEnc", r.LongEnc);
    v(12, "LongLabel", r.LongLabel);
  }
};

// Answer of MPU_OP_INSRC_STANDARD_PARAMS.
struct TMPUInsourceStandardParamsMessage {
  static constexpr std::size_t kSize = 114;
  std::uint16_t SourceID = 0;
  std::uint8_t SourceClass = 0;
  std::uint8_t SourceType = 0;
  std::uint8_t SourceFormat = 0;
  std::uint8_t SourceProcessing = 0;
  std::uint8_t SourceStatus = 0;
  std::uint8_t SourceMode = 0;
  Chars<9> ShortLabel{};
  std::uint8_t LongLabelEncoding = 0;
  TMPULongLabel LongLabel{};
  std::int8_t InputGainLeft = 0;   // dB
  std::int8_t InputGainRight = 0;  // dB
  std::int8_t InputCalLeft = 0;    // tenths of a dB
  std::int8_t InputCalRight = 0;   // tenths of a dB
  std::uint8_t ChannelMode = 0;
  std::uint8_t PhaseReversal = 0;
  std::uint8_t Location = 0;
  std::uint8_t PhantomPower = 0;
  std::uint8_t IndicatorMode = 0;
  std::uint16_t ControlOptions = 0;
  std::uint8_t StripNo = 0;  // 0-based, 255 = none
  std::array<TMPUInSourceRoutingTriggerMessage, 3> BusTriggers{};  // PGM1, PGM2, REC
  std::uint16_t BusRouting = 0;
  std::int8_t GainTrim = 0;
  std::int8_t Panning = 0;
  std::uint8_t AuxMode = 0;
  std::int8_t AuxGain = 0;
  std::uint8_t FaderPos = 0;
  std::int16_t FaderGain = 0;
  std::uint16_t ControlStatus = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "SourceClass", r.SourceClass);
    v(3, "SourceType", r.SourceType);
    v(4, "SourceFormat", r.SourceFormat);
    v(5, "SourceProcessing", r.SourceProcessing);
    v(6, "SourceStatus", r.SourceStatus);
    v(7, "SourceMode", r.SourceMode);
    v(8, "ShortLabel", r.ShortLabel);
    v(17, "LongLabelEncoding", r.LongLabelEncoding);
    v(18, "LongLabel", r.LongLabel);
    v(52, "InputGainLeft", r.InputGainLeft);
    v(53, "InputGainRight", r.InputGainRight);
    v(54, "InputCalLeft", r.InputCalLeft);
    v(55, "InputCalRight", r.InputCalRight);
    v(56, "ChannelMode", r.ChannelMode);
    v(57, "PhaseReversal", r.PhaseReversal);
    v(58, "Location", r.Location);
    v(59, "PhantomPower", r.PhantomPower);
    v(60, "IndicatorMode", r.IndicatorMode);
    v(61, "ControlOptions", r.ControlOptions);
    v(63, "StripNo", r.StripNo);
    v(64, "BusTriggers", r.BusTriggers);
    v(103, "BusRouting", r.BusRouting);
    v(105, "GainTrim", r.GainTrim);
    v(106, "Panning", r.Panning);
    v(107, "AuxMode", r.AuxMode);
    v(108, "AuxGain", r.AuxGain);
    v(109, "FaderPos", r.FaderPos);
    v(110, "FaderGain", r.FaderGain);
    v(112, "ControlStatus", r.ControlStatus);
  }
};

// Answer of MPU_OP_INSRC_PROCESSING_PARAMS (microphones and talkback units).
struct TMPUInsourceProcessingParamsMessage {
  static constexpr std::size_t kSize = 63;
  std::uint16_t SourceID = 0;
  std::uint8_t SourceClass = 0;
  std::uint8_t SourceType = 0;
  std::uint8_t SourceFormat = 0;
  std::uint8_t SourceProc = 0;
  std::uint8_t SourceStatus = 0;
  std::uint8_t SourceMode = 0;
  std::array<TMPUInSourceFilterParamsMessage, 4> FilterBands{};  // bands 0..3
  TMPULimiterParamsMessage Limiter{};
  TMPUCompressorParamsMessage Compressor{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "SourceClass", r.SourceClass);
    v(3, "SourceType", r.SourceType);
    v(4, "SourceFormat", r.SourceFormat);
    v(5, "SourceProc", r.SourceProc);
    v(6, "SourceStatus", r.SourceStatus);
    v(7, "SourceMode", r.SourceMode);
    v(8, "FilterBands", r.FilterBands);
    v(48, "Limiter", r.Limiter);
    v(54, "Compressor", r.Compressor);
  }
};

// Answer of MPU_OP_OUTSRC_STANDARD_PARAMS.
struct TMPUOutsourceStandardParamsMessage {
  static constexpr std::size_t kSize = 17;
  std::uint16_t SourceID = 0;  // output id
  std::uint8_t SourceClass = 0;
  std::uint8_t SourceType = 0;
  std::uint8_t SourceFormat = 0;
  std::uint8_t SourceStatus = 0;
  std::uint8_t SourceMode = 0;
  std::int8_t outputGainLeft = 0;
  std::int8_t OutputGainRight = 0;
  std::int8_t OutputCalLeft = 0;
  std::int8_t OutputCalRight = 0;
  std::uint16_t SendSourceLeft = 0;
  std::uint16_t SendSourceRight = 0;
  std::uint16_t FormatOptions = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(2, "SourceClass", r.SourceClass);
    v(3, "SourceType", r.SourceType);
    v(4, "SourceFormat", r.SourceFormat);
    v(5, "SourceStatus", r.SourceStatus);
    v(6, "SourceMode", r.SourceMode);
    v(7, "outputGainLeft", r.outputGainLeft);
    v(8, "OutputGainRight", r.OutputGainRight);
    v(9, "OutputCalLeft", r.OutputCalLeft);
    v(10, "OutputCalRight", r.OutputCalRight);
    v(11, "SendSourceLeft", r.SendSourceLeft);
    v(13, "SendSourceRight", r.SendSourceRight);
    v(15, "FormatOptions", r.FormatOptions);
  }
};

static_assert(wire::IsContiguous<TMPUSourceControlMessage>());
static_assert(wire::IsContiguous<TMPUSourceSystemGainMessage>());
static_assert(wire::IsContiguous<TMPUInSourceModeMessage>());
static_assert(wire::IsContiguous<TMPUInSourceFilterParamsMessage>());
static_assert(wire::IsContiguous<TMPULimiterParamsMessage>());
static_assert(wire::IsContiguous<TMPUCompressorParamsMessage>());
static_assert(wire::IsContiguous<TMPUInSourceGainMessage>());
static_assert(wire::IsContiguous<TMPUInSourceAuxSendMessage>());
static_assert(wire::IsContiguous<TMPUInSourceBusRoutingMessage>());
static_assert(wire::IsContiguous<TMPUInSourceRoutingTriggerMessage>());
static_assert(wire::IsContiguous<TMPUInSourceVControlMessage>());
static_assert(wire::IsContiguous<TMPUInSourceStripChangeMessage>());
static_assert(wire::IsContiguous<TMPUSendSourceMessage>());
static_assert(wire::IsContiguous<TMPULongLabel>());
static_assert(wire::IsContiguous<TMPUSourceLabelMessage>());
static_assert(wire::IsContiguous<TMPUInsourceStandardParamsMessage>());
static_assert(wire::IsContiguous<TMPUInsourceProcessingParamsMessage>());
static_assert(wire::IsContiguous<TMPUOutsourceStandardParamsMessage>());

}  // namespace mpu
