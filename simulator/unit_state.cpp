#include "simulator/unit_state.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "protocol/id_tables.h"

namespace mpu::sim {
namespace {

template <std::size_t N>
wire::Chars<N> Text(std::string_view s) {
  wire::Chars<N> out{};
  std::copy_n(s.begin(), std::min(s.size(), N - 1), out.begin());
  return out;
}

TMPULongLabel LongText(std::string_view s) {
  TMPULongLabel l;
  l.LongLabelA = Text<TMPULongLabel::kSize>(s.substr(0, TMPUSourceLabelMessage::kLongLabelChars));
  return l;
}

std::string Numbered(std::string_view base, int n) {
  return std::string(base) + std::to_string(n);
}

void SetLabels(InputSource& s, std::uint16_t id, const std::string& longLabel) {
  s.ShortLabel = Text<9>(SourceLabel(id).substr(0, TMPUSourceLabelMessage::kShortLabelChars));
  s.LongEnc = 0;
  s.LongLabel = LongText(longLabel);
}

// Filters, limiter and compressor as a desk leaves the factory: high-pass at
// 80 Hz on, equaliser flat, dynamics set up but off.
void SetProcessing(InputSource& s, std::uint16_t id, bool highPassOn) {
  const std::uint16_t freqs[kFilterBandCount] = {80, 120, 1200, 8000};
  for (int b = 0; b < kFilterBandCount; ++b) {
    auto& f = s.Filters[static_cast<std::size_t>(b)];
    f.SourceID = id;
    f.FilterId = static_cast<std::uint8_t>(b);
    f.Options = (b == 0 && highPassOn) ? kFilterActive : 0;
    f.Gain = 0;
    f.Frequency = freqs[b];
    f.Quality = 10;
  }
  s.Limiter = {id, 20, 3, 0};
  s.Compressor = {id, 10, 4, 6, 2, 2, 0};
}

void SetTriggers(InputSource& s, std::uint16_t id) {
  for (int m = 0; m < kTriggerMasterCount; ++m) {
    auto& t = s.Triggers[static_cast<std::size_t>(m)];
    t = {};
    t.InSourceID = id;
    t.MasterId = static_cast<std::uint8_t>(m);
  }
}

InputSource MakeInput(std::uint16_t id, InSourceType type, bool stereo, std::int16_t gain,
                      double signalDb, const std::string& longLabel) {
  InputSource s;
  s.Type = static_cast<std::uint8_t>(type);
  s.Status = static_cast<std::uint8_t>(SourceStatus::Available);
  s.Stereo = stereo;
  s.GainLeft = gain;
  s.GainRight = stereo ? gain : 0;
  s.ControlOptions = kCtrlCancelPFL;
  s.Routing = BusMaskBit(BusId::PGM1) | BusMaskBit(BusId::REC);
  s.SignalDb = signalDb;
  SetLabels(s, id, longLabel);
  SetProcessing(s, id, type == InSourceType::Mic || type == InSourceType::TBU);
  SetTriggers(s, id);
  return s;
}

}  // namespace

std::optional<std::size_t> MixerConfig::ConsoleOfStrip(std::size_t strip) const {
  std::size_t first = 0;
  const std::size_t count =
      std::min<std::size_t>(Consoles.ConsoleCount, TMPUConsoleListMessage::kMaxEntries);
  for (std::size_t c = 0; c < count; ++c) {
    const std::size_t n = Consoles.Consoles[c].StripCount;
    if (strip >= first && strip < first + n && strip < kStripCount) return c;
    first += n;
  }
  return std::nullopt;
}

std::uint8_t MixerConfig::StripOfSource(std::uint16_t sourceId) const {
  if (sourceId == 0) return kNoStrip;
  for (std::size_t i = 0; i < kStripCount; ++i)
    if (Strips[i].SourceId == sourceId) return static_cast<std::uint8_t>(i);
  return kNoStrip;
}

MixerConfig DefaultMixerConfig() {
  MixerConfig m;

  // Microphones: 1..4 in the control room (condensers on phantom power),
  // 5..12 in the studio; 13..16 are not fitted on this unit.
  for (int n = 1; n <= kMicCount; ++n) {
    const auto id = static_cast<std::uint16_t>(kSrcMic1 + n - 1);
    InputSource s = MakeInput(id, InSourceType::Mic, false, 40, n <= 8 ? -8.0 - n % 3 : -11.0,
                              Numbered("Microphone ", n));
    s.Location = n <= 4 ? MPU_LOCATION_CR1 : MPU_LOCATION_ST1;
    s.Phantom = n <= 4;
    if (n > 12)
      s.Status = static_cast<std::uint8_t>(SourceStatus::NotInstalled), s.SignalDb = kSilenceDb;
    m.Inputs[id] = s;
  }
  m.Inputs[kSrcRevTB] =
      MakeInput(kSrcRevTB, InSourceType::System, false, 0, -16.0, "Reverse talkback");
  m.Inputs[kSrcTBMic] = MakeInput(kSrcTBMic, InSourceType::System, false, 0, -12.0, "Talkback mic");
  m.Inputs[kSrcTBUA] = MakeInput(kSrcTBUA, InSourceType::TBU, false, 0, -10.0, "Talkback unit A");
  m.Inputs[kSrcTBUB] = MakeInput(kSrcTBUB, InSourceType::TBU, false, 0, -10.0, "Talkback unit B");
  for (int n = 1; n <= kLineCount; ++n) {
    const auto id = static_cast<std::uint16_t>(kSrcLine1 + n - 1);
    // Lines 9..13 (hub and front sockets) have nothing plugged in.
    m.Inputs[id] = MakeInput(id, InSourceType::Line, true, 0, n <= 8 ? -6.0 - n % 4 : kSilenceDb,
                             Numbered("Line input ", n));
  }
  m.Inputs[kSrcExtMon] =
      MakeInput(kSrcExtMon, InSourceType::System, true, 0, -8.0, "External monitor");
  for (int n = 1; n <= kUsbInCount; ++n) {
    const auto id = static_cast<std::uint16_t>(kSrcUSB1 + n - 1);
    InputSource s =
        MakeInput(id, InSourceType::USB, true, 0, -4.0 - n % 3, Numbered("Playout ", n));
    s.Routing |= BusMaskBit(BusId::PGM2);
    m.Inputs[id] = s;
  }
  for (int n = 1; n <= kAesInCount; ++n) {
    const auto id = static_cast<std::uint16_t>(kSrcAES1 + n - 1);
    m.Inputs[id] = MakeInput(id, InSourceType::AES, true, 0, n <= 2 ? -7.0 : kSilenceDb,
                             Numbered("AES input ", n));
  }
  for (int n = 1; n <= kAoIPInCount; ++n) {
    const auto id = static_cast<std::uint16_t>(kSrcAoIP1 + n - 1);
    m.Inputs[id] = MakeInput(id, InSourceType::AoIP, true, 0, n <= 4 ? -9.0 : kSilenceDb,
                             Numbered("AoIP stream ", n));
  }
  for (InputSource& s : m.Inputs) s.Mode = MPU_ISRC_MODE_NORMAL;

  // On air at start: the presenter's microphone, a line source and the
  // first playout channel, faded up.
  m.Inputs[kSrcMic1].On = true;
  m.Inputs[kSrcMic1].Fader = 0;
  m.Inputs[kSrcLine1].On = true;
  m.Inputs[kSrcLine1].Fader = -6;
  m.Inputs[kSrcUSB1].On = true;
  m.Inputs[kSrcUSB1].Fader = -3;
  m.Inputs[kSrcUSB1].Routing |= BusMaskBit(BusId::AUX);
  m.Inputs[kSrcUSB1].AuxGain = -10;
  m.Inputs[kSrcUSB1].AuxMode = 1;

  // Outputs: the line outputs carry their buses, USB, AES and AoIP outputs
  // carry the programme buses in turn.
  const std::uint16_t lineSends[16] = {
      kSrcPGM1,    kSrcCFA,     kSrcCFB,  kSrcTBMic, kSrcCF1, kSrcCF1 + 1, kSrcCF1 + 2, kSrcCF1 + 3,
      kSrcCF1 + 4, kSrcCF1 + 5, kSrcPGM1, kSrcPGM2,  kSrcAUX, kSrcREC,     kSrcPGM1,    kSrcPGM2};
  const std::uint16_t busCycle[4] = {kSrcPGM1, kSrcPGM2, kSrcREC, kSrcAUX};
  for (std::size_t o = 0; o < kOutputCount; ++o) {
    OutputSource& out = m.Outputs[o];
    std::uint16_t send = busCycle[o % 4];
    if (o < 16) {
      out.Type = static_cast<std::uint8_t>(o < 10 ? OutSourceType::Line1 : OutSourceType::Line2);
      send = lineSends[o];
    } else if (o < kOutAES1) {
      out.Type = static_cast<std::uint8_t>(OutSourceType::USB);
    } else if (o < kOutAoIP1) {
      out.Type = static_cast<std::uint8_t>(OutSourceType::AES);
      out.FormatOptions = kFormatAesProfessional;
    } else {
      out.Type = static_cast<std::uint8_t>(OutSourceType::AoIP);
    }
    out.SendLeft = out.SendRight = send;
  }

  // Buses: CFA and CFB are clean feeds of PGM1; PGM1 and PGM2 limit.
  for (std::size_t b = 0; b < kMixBusCount; ++b) {
    MixBus& bus = m.Buses[b];
    bus.Mode = (b == 4 || b == 5) ? static_cast<std::uint16_t>(MixBusMode::CleanFeed) : 0;
    bus.MasterBusId = (b == 4 || b == 5) ? static_cast<std::uint16_t>(BusId::PGM1) : kNoMixBus;
    bus.Limiter = {static_cast<std::uint16_t>(b), 6, 2, static_cast<std::uint8_t>(b < 2 ? 1 : 0)};
  }

  // Monitors.
  for (std::size_t i = 0; i < MPU_MONITOR_COUNT; ++i) {
    Monitor& mon = m.Monitors[i];
    mon.GroupMember = i >= MPU_MONITOR_GRCU1 && i < MPU_MONITOR_GRCU1 + 2;
    mon.Talkback = {static_cast<std::uint16_t>(i), -10, -40, 1};
  }
  m.Monitors[MPU_MONITOR_STLS].SendSource = kSrcMonFollow;
  m.Monitors[MPU_MONITOR_HPA].SendSource = kSrcPGM1;
  m.Monitors[MPU_MONITOR_HPB].SendSource = kSrcPGM2;
  m.PresetSources = {kSrcPGM1, kSrcPGM2, kSrcREC, kSrcAUX, kSrcCF1};
  m.SelectedPreset = 0;
  m.Apf = true;

  m.Talkback = {kSrcTBMic, -10, -20, 6, kRTBMaskCleanFeeds | kRTBMaskHeadphonesA, 0, 0};

  // GPIO: LINE and USB connectors start and stop their sources, the TBUs
  // key reverse talkback, PROG connectors fire soft triggers.
  for (std::uint16_t c = 0; c < 44; ++c) {
    const GpioConnector& con = kGpioConnectors[c / 2];
    const bool second = (c % 2) != 0;
    TMPUGPInputConfigMessage& in = m.Gpi[c];
    TMPUGPOutputConfigMessage& out = m.Gpo[c];
    in = {};
    out = {};
    in.CircuitId = out.CircuitId = c;
    in.InSourceId = out.InSourceId = con.SourceId;
    out.Interval = 100;
    if (c < 20) {                      // LINE1..6, USB1..4
      in.FunctionId = second ? 6 : 5;  // stop / start control
      in.Momentary = 1;
      out.FunctionId = second ? 2 : 1;  // stop / start tally
    } else if (c >= 28 && c < 36) {     // PROG1..4
      in.FunctionId = static_cast<std::uint16_t>(kGpioFirstAuxFunction + (c - 28));
      in.Momentary = 1;
      out.FunctionId = static_cast<std::uint16_t>(c == 28   ? 136
                                                  : c == 29 ? 143
                                                            : 0);  // mic live, DTX
    } else if (c >= 40) {                                          // TBU A, B
      in.FunctionId = second ? 0 : 9;                              // reverse talkback control
      in.Momentary = 1;
      out.FunctionId = second ? 0 : 5;  // talkback out tally
    }
  }

  // Strips: 16 on the control-room desk, 8 on the studio desk.
  const std::uint16_t stripSources[24] = {1,  2,  3,  4,  21, 22, 23, 24, 35, 36, 37, 38,
                                          43, 44, 19, 20, 5,  6,  7,  8,  9,  10, 11, 12};
  for (std::size_t i = 0; i < 24; ++i) m.Strips[i].SourceId = stripSources[i];

  m.Consoles.MaxConsoles = kMaxConsoles;
  m.Consoles.MaxStrips = kStripCount;
  m.Consoles.ConsoleCount = 2;
  m.Consoles.StripCount = 24;
  m.Consoles.Consoles[0] = {
      0, 16, MPU_LOCATION_CR1, MPU_CONSOLE_INTF_SERIAL, 1, MPU_CONSOLE_TYPE_FENDRAL, 0, 5, {}};
  m.Consoles.Consoles[1] = {
      1, 8, MPU_LOCATION_ST1, MPU_CONSOLE_INTF_LAN, 5004, MPU_CONSOLE_TYPE_VESTREL, 0, 4, {}};

  m.Settings.SignalOnThreshold = -40;  // -20 dBu
  m.Settings.SignalOvlThreshold = 36;  // +18 dBu
  m.Settings.FaderStartThreshold = 10;
  m.Settings.FaderStopThreshold = 5;
  m.Settings.SummingGain = -3;
  m.Settings.DTXProtectBuses = kDTXProtectPGM1;
  m.Settings.TempElevated = 450;
  m.Settings.TempWarning = 550;
  m.Settings.TempCritical = 650;
  m.Settings.HumWarning = 800;
  m.Settings.VideoTallyOptions = kVideoTallyInactiveWhenMuted;
  m.Settings.ClockSource = static_cast<std::uint8_t>(ClockSource::Internal);
  return m;
}

namespace {

// SplitMix64: the image content generator.
std::uint64_t Mix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

FirmwareImage MakeImage(std::uint8_t id, std::uint8_t major, std::uint8_t minor,
                        std::uint16_t build, std::size_t size) {
  FirmwareImage img{id, major, minor, build, std::vector<std::uint8_t>(size)};
  std::uint64_t state = 0xA1D7A7E5ull * (id + 1u);
  for (std::size_t i = 0; i < size; ++i) img.Bytes[i] = static_cast<std::uint8_t>(Mix(state) >> 56);
  // A small header: magic, firmware id, version.
  const std::uint8_t head[8] = {'A', 'L',   'D',   'R',
                                id,  major, minor, static_cast<std::uint8_t>(build)};
  std::copy(std::begin(head), std::end(head), img.Bytes.begin());
  // A run of erased flash inside the image, and a last byte that is not 0xFF
  // (a saved image loses its trailing 0xFF bytes).
  std::fill_n(img.Bytes.begin() + static_cast<long>(size / 2), 300, std::uint8_t{0xFF});
  img.Bytes.back() = 0x5A;
  return img;
}

TMPUBoardTagMessage Tag(std::uint8_t board, std::uint8_t device, std::string_view serial,
                        std::string_view rev, std::string_view batch, std::string_view qc,
                        TMPUTimestampTag when) {
  TMPUBoardTagMessage t;
  t.BoardId = board;
  t.DeviceId = device;
  t.SerialNo = Text<37>(serial);
  t.Revision = Text<17>(rev);
  t.Batch = Text<21>(batch);
  t.Manufacturer = Text<17>("Aldrane");
  t.QualityCheck = Text<21>(qc);
  t.TimeStamp = when;
  return t;
}

}  // namespace

std::vector<FirmwareImage> DefaultFirmwareImages() {
  return {
      MakeImage(1, 1, 42, 31, 45317),   MakeImage(2, 1, 7, 12, 12803),
      MakeImage(17, 2, 11, 104, 38611), MakeImage(33, 3, 5, 220, 61240),
      MakeImage(65, 1, 18, 42, 29950),
  };
}

std::vector<TMPUBoardTagMessage> DefaultBoardTags() {
  return {
      Tag(0, 0, "MPU-HC-0127-4471", "C2", "2023-14", "QC J.H.", {2023, 4, 12, 10, 31, 5, 0}),
      Tag(16, 0, "MPU-XM-0309-1188", "B1", "2023-11", "QC J.H.", {2023, 3, 20, 14, 2, 40, 0}),
      Tag(32, 0, "MPU-AB-0211-9020", "D", "2023-12", "QC M.K.", {2023, 3, 28, 9, 15, 0, 0}),
      Tag(64, 0, "FCS-16-2201-0042", "A3", "2022-48", "QC M.K.", {2022, 11, 30, 16, 45, 12, 0}),
      Tag(64, 1, "FCS-08-2203-0117", "A3", "2023-02", "QC J.H.", {2023, 1, 17, 11, 0, 0, 0}),
  };
}

std::vector<std::uint16_t> DefaultAudioBoardRegisters() {
  std::vector<std::uint16_t> regs(kAudioBoardRegisters);
  for (std::size_t a = 0; a < regs.size(); ++a)
    regs[a] = static_cast<std::uint16_t>((a * 0x9E37u + 0x1234u) ^ (a >> 3));
  regs[0] = 0xAB01;  // board id
  regs[1] = 0x0305;  // DSP firmware 3.05
  regs[kABClockSpeedAddress] = 48000 / 100;
  return regs;
}

std::array<PowerSupply, kPowerModuleCount> DefaultPowerSupplies() {
  // The internal supply with its sensors, one external supply, the second
  // external slot empty.
  return {{{2, 0x0F}, {1, 0x0F}, {0, 0x00}}};
}

}  // namespace mpu::sim
