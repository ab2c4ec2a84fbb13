// Command composition: the guarded Set operations, the frame builders and
// the selected-source lookups of the main window. Every builder clears
// FControlMsg, sets the header from the opcode catalogue, writes the named
// payload fields and hands the frame to the device component.
#include <array>

#include "pages/main_form.h"
#include "protocol/id_tables.h"
#include "protocol/labels.h"
#include "protocol/scaling.h"

namespace mpu::pages {

namespace {

std::uint16_t U16(int v) { return ClampTo<std::uint16_t>(v); }
std::int16_t S16(int v) { return ClampTo<std::int16_t>(v); }
std::uint8_t U8(int v) { return ClampTo<std::uint8_t>(v); }
std::uint16_t Flag(bool on) { return on ? 1 : 0; }

constexpr std::uint16_t kPflBusId = static_cast<std::uint16_t>(BusId::PFL);

}  // namespace

bool TMainForm::CanSend() const { return FUpdateControlsCount == 0 && FMPU->ConnectionStatus() == csOpened; }

template <class R>
void TMainForm::Send(std::uint8_t opcode, const R& payload) {
  FControlMsg.Prepare(opcode, payload);
  FMPU->SendControlMessage(FControlMsg);
}

// ---------------------------------------------------------------------------
// Input sources

void TMainForm::SetInSourceLabel(std::uint16_t S, const QString& ShortLabel, const QString& LongLabel) {
  if (!CanSend() || S == 0) return;
  TMPUSourceLabelMessage m;
  m.SourceID = S;
  PrepareLabel(ShortLabel.toStdU16String(), TMPUSourceLabelMessage::kShortLabelChars, m.ShortLabel);
  m.LongEnc = 0;
  PrepareLabel(LongLabel.toStdU16String(), TMPUSourceLabelMessage::kLongLabelChars, m.LongLabel.LongLabelA);
  Send(MPU_OP_INSRC_LABEL, m);
}

void TMainForm::SetInSourceSystemGain(std::uint16_t S, int Left, int Right) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_SYSTEM_GAIN, TMPUSourceSystemGainMessage{S, S16(Left), S16(Right)});
}

void TMainForm::SetInSourceCalibration(std::uint16_t S, double Left, double Right) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_CALIBRATION, TMPUSourceSystemGainMessage{S, CalibrationToWire(Left), CalibrationToWire(Right)});
}

void TMainForm::SetInSourceChannelMode(std::uint16_t S, int Mode, bool PhaseLeft, bool PhaseRight) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_CHANNEL_MODE,
       TMPUInSourceModeMessage{S, U16(Mode), static_cast<std::uint8_t>(Flag(PhaseLeft)),
                               static_cast<std::uint8_t>(Flag(PhaseRight))});
}

void TMainForm::SetInSourcePhantom(std::uint16_t S, bool On) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_PHANTOM, TMPUSourceControlMessage{S, Flag(On)});
}

void TMainForm::SetInSourceLocation(std::uint16_t S, int Location) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_LOCATION, TMPUSourceControlMessage{S, U16(Location)});
}

void TMainForm::SetInSourceHPFilter(std::uint16_t S, int Frequency, bool Active) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_FILTER,
       TMPUInSourceFilterParamsMessage{S, static_cast<std::uint8_t>(FilterBand::HighPass),
                                       static_cast<std::uint8_t>(Active ? kFilterActive : 0), 0, U16(Frequency), 10});
}

namespace {

TMPUInSourceFilterParamsMessage BandFilter(std::uint16_t S, FilterBand band, int Frequency, bool Active,
                                           bool Bandpass, double Q, int Gain) {
  return TMPUInSourceFilterParamsMessage{
      S,
      static_cast<std::uint8_t>(band),
      static_cast<std::uint8_t>((Active ? kFilterActive : 0) | (Bandpass ? kFilterBandpass : 0)),
      S16(Gain),
      U16(Frequency),
      QualityToWire(Q)};
}

}  // namespace

void TMainForm::SetInSourceLFFilter(std::uint16_t S, int Frequency, bool Active, bool Bandpass, double Q, int Gain) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_FILTER, BandFilter(S, FilterBand::LF, Frequency, Active, Bandpass, Q, Gain));
}

void TMainForm::SetInSourceMFFilter(std::uint16_t S, int Frequency, bool Active, bool Bandpass, double Q, int Gain) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_FILTER, BandFilter(S, FilterBand::MF, Frequency, Active, Bandpass, Q, Gain));
}

void TMainForm::SetInSourceHFFilter(std::uint16_t S, int Frequency, bool Active, bool Bandpass, double Q, int Gain) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_FILTER, BandFilter(S, FilterBand::HF, Frequency, Active, Bandpass, Q, Gain));
}

void TMainForm::SetInSourceRoutingTrigger(std::uint16_t S, int Master, int ActionOff, std::uint16_t RoutingOff,
                                          int ActionOn, std::uint16_t RoutingOn) {
  if (!CanSend() || S == 0) return;
  TMPUInSourceRoutingTriggerMessage m;
  m.InSourceID = S;
  m.MasterId = U8(Master);
  m.TriggerActionOff = U8(ActionOff);
  m.RoutingOff = RoutingOff;
  m.TriggerActionOn = U8(ActionOn);
  m.RoutingOn = RoutingOn;
  Send(MPU_OP_INSRC_ROUTING_TRIGGER, m);
}

void TMainForm::SetInSourceFader(std::uint16_t S, double Gain) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{S, FaderToWire(Gain), 0});
}

void TMainForm::SetInSourceGainTrim(std::uint16_t S, int Trim) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_GAIN_TRIM, TMPUInSourceGainMessage{S, S16(Trim), 0});
}

void TMainForm::SetInSourcePan(std::uint16_t S, int Pan) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_PAN, TMPUInSourceGainMessage{S, S16(Pan), 0});
}

void TMainForm::SetInSourceAuxSend(std::uint16_t S, int Gain, int Mode) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_AUX_SEND, TMPUInSourceAuxSendMessage{S, S16(Gain), U16(Mode)});
}

void TMainForm::SetInSourceBusRouting(std::uint16_t S, std::uint16_t BusId, bool On) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_BUS_ROUTING, TMPUInSourceBusRoutingMessage{S, BusId, Flag(On)});
}

void TMainForm::SetInSourcePFL(std::uint16_t S, bool On) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_BUS_ROUTING, TMPUInSourceBusRoutingMessage{S, kPflBusId, Flag(On)});
}

void TMainForm::SetInSourceRoutingMask(std::uint16_t S, std::uint16_t Mask) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_ROUTING_MASK, TMPUInSourceBusRoutingMessage{S, 0, Mask});
}

void TMainForm::SetInSourceOn(std::uint16_t S, bool On) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_ON, TMPUSourceControlMessage{S, Flag(On)});
}

void TMainForm::SetInSourceControlOptions(std::uint16_t S, bool FaderStart, bool DTXProtect, bool ExtTallies,
                                          bool RestartStop, bool Prime, bool CancelPFL) {
  if (!CanSend() || S == 0) return;
  std::uint16_t bits = 0;
  if (FaderStart) bits |= kCtrlFaderStart;
  if (Prime) bits |= kCtrlPrime;
  if (CancelPFL) bits |= kCtrlCancelPFL;
  if (RestartStop) bits |= kCtrlRestartStop;
  if (ExtTallies) bits |= kCtrlExtTallies;
  if (DTXProtect) bits |= kCtrlDTXProtect;
  Send(MPU_OP_INSRC_CONTROL_OPTIONS, TMPUSourceControlMessage{S, bits});
}

void TMainForm::SetInSourceLimiter(std::uint16_t S, int Threshold, bool Active, int Decay) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_LIMITER,
       TMPULimiterParamsMessage{S, S16(Threshold), U8(Decay), static_cast<std::uint8_t>(Flag(Active))});
}

void TMainForm::SetInSourceCompressor(std::uint16_t S, int Threshold, bool Active, int PostGain, int Ratio,
                                      int Attack, int Decay) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_COMPRESSOR,
       TMPUCompressorParamsMessage{S, S16(Threshold), U8(Attack), U8(Decay), RatioToWire(Ratio), U8(PostGain),
                                   static_cast<std::uint8_t>(Flag(Active))});
}

void TMainForm::SetInSourceIndicator(std::uint16_t S, int Value) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_INDICATOR, TMPUSourceControlMessage{S, U16(Value)});
}

void TMainForm::SetInSourceSourceMode(std::uint16_t S, int Mode) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_INSRC_SOURCE_MODE, TMPUSourceControlMessage{S, U16(Mode)});
}

// ---------------------------------------------------------------------------
// Outputs, buses, monitors

void TMainForm::SetOutSourceGain(std::uint8_t O, int Left, int Right) {
  if (!CanSend() || O == kNoOutput) return;
  Send(MPU_OP_OUTSRC_GAIN, TMPUSourceSystemGainMessage{O, S16(Left), S16(Right)});
}

void TMainForm::SetOutSourceCalibration(std::uint8_t O, double Left, double Right) {
  if (!CanSend() || O == kNoOutput) return;
  Send(MPU_OP_OUTSRC_CALIBRATION, TMPUSourceSystemGainMessage{O, CalibrationToWire(Left), CalibrationToWire(Right)});
}

void TMainForm::SetOutSourceSendSource(std::uint8_t O, std::uint16_t Left, std::uint16_t Right) {
  if (!CanSend() || O == kNoOutput) return;
  Send(MPU_OP_OUTSRC_SEND_SOURCE, TMPUSendSourceMessage{O, Left, Right});
}

void TMainForm::SetMixBusLimiter(std::uint16_t B, int Threshold, bool Active, int Decay) {
  if (!CanSend() || B == kNoMixBus) return;
  Send(MPU_OP_MIXBUS_LIMITER,
       TMPULimiterParamsMessage{B, S16(Threshold), U8(Decay), static_cast<std::uint8_t>(Flag(Active))});
}

void TMainForm::SetMixBusConfig(std::uint16_t B, int Mode) {
  if (!CanSend() || Mode < 0 || Mode >= 4) return;
  Send(MPU_OP_MIXBUS_CONFIG, TMPUMixBusConfigMessage{B, U16(Mode), kNoMixBus, 0, 0});
}

void TMainForm::SetMixBusTalkback(std::uint16_t B, bool On) {
  if (!CanSend() || B >= kNoMixBus) return;
  SendOTBControlMsg(OTBTarget::MixBus, B, On);
}

void TMainForm::SetMonitorTalkback(std::uint16_t M, bool On) {
  if (!CanSend() || M >= MPU_MONITOR_COUNT) return;
  SendOTBControlMsg(OTBTarget::Monitor, M, On);
}

void TMainForm::SetMonitorTBConfig(std::uint16_t M, int MaxGain, bool Ducked, int MinGain) {
  if (!CanSend() || M >= MPU_MONITOR_COUNT) return;
  Send(MPU_OP_MONITOR_TB_CONFIG,
       TMPUMonitorTBConfigMessage{M, S16(MaxGain), S16(MinGain), static_cast<std::uint8_t>(Flag(Ducked))});
}

void TMainForm::SetMonitorVolume(std::uint16_t M, int Gain) {
  if (!CanSend()) return;
  Send(MPU_OP_MONITOR_VOLUME, TMPUMonitorGainMessage{M, S16(Gain)});
}

void TMainForm::SetMonitorVolumeAdjust(std::uint16_t M, int Gain) {
  if (!CanSend()) return;
  Send(MPU_OP_MONITOR_VOLUME_ADJUST, TMPUMonitorGainMessage{M, S16(Gain)});
}

void TMainForm::SetMonitorSendSource(std::uint16_t M, std::uint16_t S) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_MONITOR_SEND_SOURCE, TMPUMonitorControlMessage{M, S});
}

void TMainForm::SetMonitorGRCUGroup(std::uint16_t M, bool Member) {
  if (!CanSend()) return;
  Send(MPU_OP_MONITOR_GRCU_GROUP, TMPUMonitorControlMessage{M, Flag(Member)});
}

void TMainForm::SetCRPresetSource(std::uint16_t Preset, std::uint16_t S) {
  if (!CanSend() || S == 0) return;
  Send(MPU_OP_CR_PRESET_SOURCE, TMPUCRMonitorPresetMessage{Preset, S});
}

// ---------------------------------------------------------------------------
// GPIO and power

void TMainForm::SetGPIConfig(std::uint8_t Circuit, std::uint16_t S, bool Momentary, bool NormallyClosed,
                             int Function) {
  if (!CanSend() || Circuit == kNoCircuit) return;
  TMPUGPInputConfigMessage m;
  m.CircuitId = Circuit;
  m.InSourceId = S;
  m.FunctionId = U16(Function);
  m.Interval = 0;
  m.Momentary = static_cast<std::uint8_t>(Flag(Momentary));
  m.NormallyClosed = static_cast<std::uint8_t>(Flag(NormallyClosed));
  Send(MPU_OP_GPI_CONFIG, m);
}

void TMainForm::SetGPOConfig(std::uint8_t Circuit, std::uint16_t S, int Interval, bool Momentary, bool Repeating,
                             bool NormallyClosed, int Function) {
  if (!CanSend() || Circuit == kNoCircuit) return;
  TMPUGPOutputConfigMessage m;
  m.CircuitId = Circuit;
  m.InSourceId = S;
  m.FunctionId = U16(Function);
  m.Interval = U16(Interval);
  m.Momentary = static_cast<std::uint8_t>(Flag(Momentary));
  m.Repeating = static_cast<std::uint8_t>(Flag(Repeating));
  m.NormallyClosed = static_cast<std::uint8_t>(Flag(NormallyClosed));
  Send(MPU_OP_GPO_CONFIG, m);
}

void TMainForm::SetPowerRail(int Module, int Rail, bool On) {
  if (!CanSend()) return;
  Send(MPU_OP_POWER_CONTROL,
       TMPUPowerControlMessage{U8(Module), U8(Rail), static_cast<std::uint8_t>(Flag(On))});
}

// ---------------------------------------------------------------------------
// Builders the pages call after their own checks

void TMainForm::SendOutSourceFormatOptionsMsg(std::uint8_t O, std::uint16_t Options) {
  Send(MPU_OP_OUTSRC_FORMAT_OPTIONS, TMPUSourceControlMessage{O, Options});
}

void TMainForm::SendTalkbackConfigMsg(std::uint16_t SendSource, bool AlwaysOn, std::uint32_t RTBMask, int RTBGain,
                                      int RTBThreshold, int MixBusGain, int OTBGain) {
  TMPUTalkbackConfigMessage m;
  m.SendSourceID = SendSource;
  m.MixBusGain = S16(MixBusGain);
  m.RTBThreshold = S16(RTBThreshold);
  m.RTBGain = S16(RTBGain);
  m.RTBMask = RTBMask;
  m.SWTBOn = static_cast<std::uint8_t>(Flag(AlwaysOn));
  m.OTBGain = S16(OTBGain);
  Send(MPU_OP_TALKBACK_CONFIG, m);
}

void TMainForm::SendOTBControlMsg(OTBTarget Type, std::uint16_t Id, bool On) {
  Send(MPU_OP_OTB_CONTROL,
       TMPUOTBControlMessage{static_cast<std::uint16_t>(Type), Id, static_cast<std::uint8_t>(Flag(On))});
}

void TMainForm::SendCRMonitorSelectMsg(std::uint16_t Preset) {
  Send(MPU_OP_CR_MONITOR_SELECT, TMPUCRMonitorPresetMessage{Preset, 0});
}

void TMainForm::SendCRMonitorAPFMsg(bool On) {
  Send(MPU_OP_CR_MONITOR_APF, TMPUMonitorControlMessage{MPU_MONITOR_CRLS, Flag(On)});
}

void TMainForm::SendCRMonitorSplitMsg(bool On) {
  Send(MPU_OP_CR_MONITOR_SPLIT, TMPUMonitorControlMessage{MPU_MONITOR_CRHP, Flag(On)});
}

void TMainForm::SendCRMonitorPreviewMsg(bool On) {
  Send(MPU_OP_CR_MONITOR_PREVIEW, TMPUMonitorControlMessage{MPU_MONITOR_CRHP, Flag(On)});
}

void TMainForm::SendStripEditModeMsg(std::uint16_t Strip, bool On) {
  Send(MPU_OP_STRIP_EDIT_MODE, TMPUStripControlMessage{Strip, Flag(On)});
}

void TMainForm::SendStripAssignSourceMsg(std::uint16_t Strip, std::uint16_t S) {
  Send(MPU_OP_STRIP_ASSIGN_SOURCE, TMPUStripControlMessage{Strip, S});
}

void TMainForm::SendSoftFunctionMsg(std::uint16_t Function, bool Active) {
  Send(MPU_OP_SOFTFUNC_CONTROL,
       TMPUSoftFunctionControlMessage{Function, static_cast<std::uint8_t>(Flag(Active))});
}

void TMainForm::SendClockSourceMsg(bool External) {
  Send(MPU_OP_MIXER_CLOCK_SOURCE, TMPUClockSourceMessage{static_cast<std::uint8_t>(Flag(External))});
}

void TMainForm::SendMixerSettingsMsg(int SignalOnThreshold, int SignalOvlThreshold, int FaderStartThreshold,
                                     int FaderStopThreshold, int SummingGain, std::uint16_t DTXProtectBuses,
                                     int TempElevated, int TempWarning, int TempCritical, int HumWarning,
                                     std::uint8_t VideoTallyOptions, std::uint8_t ClockSource) {
  TMPUMixerSettingsMessage m;
  m.SignalOnThreshold = SignalThresholdToWire(SignalOnThreshold);
  m.SignalOvlThreshold = SignalThresholdToWire(SignalOvlThreshold);
  m.FaderStartThreshold = U8(FaderStartThreshold);
  m.FaderStopThreshold = U8(FaderStopThreshold);
  m.SummingGain = S16(SummingGain);
  m.DTXProtectBuses = DTXProtectBuses;
  m.TempElevated = TenthsToWire(TempElevated);
  m.TempWarning = TenthsToWire(TempWarning);
  m.TempCritical = TenthsToWire(TempCritical);
  m.HumWarning = TenthsToWireUnsigned(HumWarning);
  m.VideoTallyOptions = VideoTallyOptions;
  m.ClockSource = ClockSource;
  Send(MPU_OP_MIXER_SETTINGS, m);
}

// ---------------------------------------------------------------------------
// Selected-source lookups

namespace {

// Item + first id for an item within the list, else `none`.
template <class T>
T FromItem(int item, int count, int first, T none) {
  return item >= 0 && item < count ? static_cast<T>(first + item) : none;
}

// The line output selector's items in order: LINE1/CF1 .. LINE6/CF6, PGM1,
// PGM2, REC, AUX, METERS1, METERS2, PGM1 (mono), CFA, CFB.
constexpr std::array<std::uint8_t, 15> kLineOutputIds = {4, 5, 6, 7, 8, 9, 10, 11, 13, 12, 14, 15, 0, 1, 2};

}  // namespace

std::uint16_t TMainForm::GetSelectedMicSource() const {
  return FromItem<std::uint16_t>(FDisplays.InputSources->SelectedMicItem(), 12, kSrcMic1, 0);
}

std::uint16_t TMainForm::GetSelectedTBUSource() const {
  return FromItem<std::uint16_t>(FDisplays.InputSources->SelectedTBUItem(), 2, kSrcTBUA, 0);
}

std::uint16_t TMainForm::GetSelectedLineSource() const {
  return FromItem<std::uint16_t>(FDisplays.InputSources->SelectedLineItem(), kLineCount, kSrcLine1, 0);
}

std::uint16_t TMainForm::GetSelectedUSBSource() const {
  return FromItem<std::uint16_t>(FDisplays.InputSources->SelectedUSBItem(), kUsbInCount, kSrcUSB1, 0);
}

std::uint16_t TMainForm::GetSelectedAESSource() const {
  return FromItem<std::uint16_t>(FDisplays.InputSources->SelectedAESItem(), kAesInCount, kSrcAES1, 0);
}

std::uint16_t TMainForm::GetSelectedAoIPSource() const {
  return FromItem<std::uint16_t>(FDisplays.InputSources->SelectedAoIPItem(), kAoIPInCount, kSrcAoIP1, 0);
}

std::uint8_t TMainForm::GetSelectedLineOutput() const {
  const int item = FDisplays.OutputSources->SelectedLineOutputItem();
  return item >= 0 && item < static_cast<int>(kLineOutputIds.size()) ? kLineOutputIds[static_cast<std::size_t>(item)]
                                                                       : kNoOutput;
}

std::uint8_t TMainForm::GetSelectedUSBOutput() const {
  return FromItem<std::uint8_t>(FDisplays.OutputSources->SelectedUSBOutputItem(), 8, kOutUSB1, kNoOutput);
}

std::uint8_t TMainForm::GetSelectedAESOutput() const {
  return FromItem<std::uint8_t>(FDisplays.OutputSources->SelectedAESOutputItem(), 8, kOutAES1, kNoOutput);
}

std::uint8_t TMainForm::GetSelectedAoIPOutput() const {
  return FromItem<std::uint8_t>(FDisplays.OutputSources->SelectedAoIPOutputItem(), 8, kOutAoIP1, kNoOutput);
}

std::uint16_t TMainForm::SendSourceFromIndex(int index) { return mpu::SendSourceFromIndex(index); }

std::uint8_t TMainForm::GetGPIOCircuitId(std::uint16_t S, bool Second) { return GpioCircuitForSource(S, Second); }

std::uint16_t TMainForm::GetStripSource(std::uint16_t Strip) const {
  if (!FDisplays.ChannelStrips->StripButtonEnabled(Strip)) return 0;
  return FDisplays.ChannelStrips->StripSource(Strip);
}

}  // namespace mpu::pages
