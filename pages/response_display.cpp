// Response display: the two dispatchers that hand each source and mixer
// report to the display routine of the page that shows it, inside the
// update guard so that nothing is echoed back to the unit.
#include "pages/command_assembly_page.h"
#include "pages/health_panel.h"
#include "pages/main_form.h"
#include "pages/metering_page.h"
#include "pages/system_page.h"
#include "protocol/id_tables.h"

namespace mpu::pages {

namespace {

// Pages that are not built show nothing.
TInputSourcesDisplay gNoInputSources;
TOutputSourcesDisplay gNoOutputSources;
TTalkbackDisplay gNoTalkback;
TGpioDisplay gNoGpio;
TChannelStripsDisplay gNoChannelStrips;
TMiscControlsDisplay gNoMiscControls;
TSystemDisplay gNoSystem;

// Raises the update guard for one display.
class Updating {
 public:
  explicit Updating(TMainForm& form) : form_(form) { form_.BeginUpdateControls(); }
  ~Updating() { form_.EndUpdateControls(); }
  Updating(const Updating&) = delete;
  Updating& operator=(const Updating&) = delete;

 private:
  TMainForm& form_;
};

std::uint8_t Low(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

// Virtual keys of the keys the console's MCS section forwards.
constexpr int kVirtualKeyShift = 0x10;
constexpr int kVirtualKeyEscape = 0x1B;
constexpr int kVirtualKeyReturn = 0x0D;

}  // namespace

void TMainForm::SetDisplays(const TPageDisplays& d) {
  FDisplays.InputSources = d.InputSources ? d.InputSources : &gNoInputSources;
  FDisplays.OutputSources = d.OutputSources ? d.OutputSources : &gNoOutputSources;
  FDisplays.Talkback = d.Talkback ? d.Talkback : &gNoTalkback;
  FDisplays.Gpio = d.Gpio ? d.Gpio : &gNoGpio;
  FDisplays.ChannelStrips = d.ChannelStrips ? d.ChannelStrips : &gNoChannelStrips;
  FDisplays.MiscControls = d.MiscControls ? d.MiscControls : &gNoMiscControls;
  FDisplays.System = d.System ? d.System : &gNoSystem;
}

int TMainForm::ActivePageIndex() const { return FPageControl->currentIndex(); }

bool TMainForm::SelectedInputSource(std::uint16_t S) const {
  // The system inputs (REV TB, TB MIC, EXT MON) share one sub-page and are
  // all shown at once.
  if (S == kSrcRevTB || S == kSrcTBMic || S == kSrcExtMon) return true;
  return S != 0 && (S == GetSelectedMicSource() || S == GetSelectedTBUSource() || S == GetSelectedLineSource() ||
                    S == GetSelectedUSBSource() || S == GetSelectedAESSource() || S == GetSelectedAoIPSource());
}

bool TMainForm::SelectedOutput(std::uint8_t O) const {
  return O != kNoOutput && (O == GetSelectedLineOutput() || O == GetSelectedUSBOutput() ||
                            O == GetSelectedAESOutput() || O == GetSelectedAoIPOutput());
}

void TMainForm::MPUReceiveSourceMessage(const TMPUResponseMsg& Msg) {
  const std::uint8_t op = Msg.Opcode();
  if (op >= MPU_OP_OUTSRC_GAIN && op <= MPU_OP_OUTSRC_STANDARD_PARAMS) {
    if (ActivePageIndex() != pgOutputSources) return;
    TOutputSourcesDisplay& page = *FDisplays.OutputSources;
    const std::uint8_t O = Low(Msg.OutSourceControl().SourceID);
    if (!SelectedOutput(O)) return;
    Updating guard(*this);
    switch (op) {
      case MPU_OP_OUTSRC_GAIN: page.ShowOutSourceGain(O, Msg.SourceSysGain().GainLeft); break;
      case MPU_OP_OUTSRC_CALIBRATION: {
        const auto r = Msg.SourceSysGain();
        page.ShowOutSourceCalibration(O, r.GainLeft, r.GainRight);
        break;
      }
      case MPU_OP_OUTSRC_SEND_SOURCE: {
        const auto r = Msg.OutSourceSendSource();
        page.ShowOutSourceSendSource(O, Low(r.SendSourceLeft), Low(r.SendSourceRight));
        break;
      }
      case MPU_OP_OUTSRC_FORMAT_OPTIONS: page.ShowOutSourceFormatOptions(O, Low(Msg.OutSourceControl().Value)); break;
      default: page.ShowOutSourceStandardParams(Msg.OutSourceStandardParams()); break;
    }
    return;
  }
  if (op >= MPU_OP_OUTSRC_GAIN) return;  // 53..63
  if (ActivePageIndex() != pgInputSources) return;
  TInputSourcesDisplay& page = *FDisplays.InputSources;
  const std::uint8_t S = Low(Msg.InSourceControl().SourceID);
  if (!SelectedInputSource(S)) return;
  Updating guard(*this);
  switch (op) {
    case MPU_OP_INSRC_SYSTEM_GAIN: {
      const auto r = Msg.SourceSysGain();
      page.ShowInSourceSystemGain(S, r.GainLeft, r.GainRight);
      break;
    }
    case MPU_OP_INSRC_CALIBRATION: {
      const auto r = Msg.SourceSysGain();
      page.ShowInSourceCalibration(S, r.GainLeft, r.GainRight);
      break;
    }
    case MPU_OP_INSRC_CHANNEL_MODE: {
      const auto r = Msg.InSourceChannelMode();
      page.ShowInSourceChannelMode(S, Low(r.ChannelMode), r.PhaseRight != 0, r.PhaseLeft != 0);
      break;
    }
    case MPU_OP_INSRC_PHANTOM: page.ShowInSourcePhantom(S, Msg.InSourceControl().Value != 0); break;
    case MPU_OP_INSRC_LOCATION: page.ShowInSourceLocation(S, Msg.InSourceControl().Value); break;
    case MPU_OP_INSRC_FILTER: page.ShowInSourceFilter(S, Msg.InSourceFilter()); break;
    case MPU_OP_INSRC_ROUTING_TRIGGER: page.ShowInSourceRoutingTrigger(S, Msg.InSourceRoutingTrigger()); break;
    case MPU_OP_INSRC_FADER: {
      const auto r = Msg.InSourceGain();
      page.ShowInSourceFader(S, r.Value, r.Pos);
      break;
    }
    case MPU_OP_INSRC_GAIN_TRIM: page.ShowInSourceGainTrim(S, Msg.InSourceGain().Value); break;
    case MPU_OP_INSRC_PAN: page.ShowInSourcePan(S, Msg.InSourceGain().Value); break;
    case MPU_OP_INSRC_AUX_SEND: {
      const auto r = Msg.InSourceAuxSend();
      page.ShowInSourceAuxSend(S, r.Mode, r.Gain);
      break;
    }
    case MPU_OP_INSRC_ROUTING_MASK: page.ShowInSourceRoutingMask(S, Msg.InSourceRouting().Routing); break;
    case MPU_OP_INSRC_ON: page.ShowInSourceStatus(S, Low(Msg.InSourceControl().Value)); break;
    case MPU_OP_INSRC_CONTROL_OPTIONS: page.ShowInSourceControlOptions(S, Low(Msg.InSourceControl().Value)); break;
    case MPU_OP_INSRC_LIMITER: page.ShowInSourceLimiter(S, Msg.LimiterParams()); break;
    case MPU_OP_INSRC_COMPRESSOR: page.ShowInSourceCompressor(S, Msg.CompressorParams()); break;
    case MPU_OP_INSRC_INDICATOR: page.ShowInSourceIndicator(S, Msg.InSourceControl().Value); break;
    case MPU_OP_INSRC_SOURCE_MODE: page.ShowInSourceSourceMode(S, Low(Msg.InSourceControl().Value)); break;
    case MPU_OP_INSRC_VIRTUAL_CONTROL: {
      const auto r = Msg.InSourceVirtualControl();
      page.ShowInSourceVirtualControl(S, Low(r.ControlId), r.Value);
      break;
    }
    case MPU_OP_INSRC_STANDARD_PARAMS: page.ShowInSourceStandardParams(Msg.InSourceStandardParams()); break;
    case MPU_OP_INSRC_PROCESSING_PARAMS: page.ShowInSourceProcessingParams(Msg.InSourceProcessingParams()); break;
    case MPU_OP_INSRC_STRIP_ID: page.ShowInSourceStripId(S, Msg.InSourceStripChange().StripID); break;
    default: break;  // 1, 13, 22..31, 35..47
  }
}

void TMainForm::MPUReceiveMixerMessage(const TMPUResponseMsg& Msg) {
  TOutputSourcesDisplay& output = *FDisplays.OutputSources;
  switch (Msg.Opcode()) {
    case MPU_OP_STRIP_EDIT_KEY: {
      const auto r = Msg.StripControl();
      StripEditKeyChanged(r.StripId, r.Value != 0);
      return;
    }
    case MPU_OP_MCS_KEY: {
      const auto r = Msg.TallyControl();
      MCSKeyChanged(r.TallyId, MCSKeyPressed(r));
      return;
    }
    case MPU_OP_MCS_ENCODER: {
      const auto r = Msg.TallyControl();
      MCSEncoderStep(r.TallyId, mpu::MCSEncoderStep(r) > 0);
      return;
    }
    default: break;
  }
  Updating guard(*this);
  switch (Msg.Opcode()) {
    case MPU_OP_TALKBACK_CONFIG: FDisplays.Talkback->ShowTalkbackConfig(Msg.TalkbackConfig()); break;
    case MPU_OP_OTB_CONTROL: FDisplays.Talkback->ShowOTBStatus(Msg.OTBControl()); break;
    case MPU_OP_MONITOR_TB_CONFIG: FDisplays.Talkback->ShowMonitorTBConfig(Msg.MonitorTBConfig()); break;
    case MPU_OP_MONITOR_VOLUME_ADJUST: {
      const auto r = Msg.MonitorVolume();
      output.ShowMonitorVolumeAdjust(Low(r.MonitorID), r.Gain);
      break;
    }
    case MPU_OP_MONITOR_SEND_SOURCE: {
      const auto r = Msg.MonitorControl();
      output.ShowMonitorSendSource(Low(r.MonitorID), Low(r.Value));
      break;
    }
    case MPU_OP_MONITOR_GRCU_GROUP: {
      const auto r = Msg.MonitorControl();
      output.ShowMonitorGRCUGroup(Low(r.MonitorID), r.Value != 0);
      break;
    }
    case MPU_OP_CR_MONITOR_SELECT: output.ShowCRMonitorSelect(Low(Msg.CRMonitorPreset().PresetID)); break;
    case MPU_OP_CR_MONITOR_APF: output.SetCRMonitorAPF(Msg.MonitorControl().Value == 1); break;
    case MPU_OP_CR_MONITOR_SPLIT: output.SetCRMonitorSplit(Msg.MonitorControl().Value == 1); break;
    case MPU_OP_CR_MONITOR_PREVIEW: output.SetCRMonitorPreview(Msg.MonitorControl().Value == 1); break;
    case MPU_OP_CR_PRESET_SOURCE: {
      const auto r = Msg.CRMonitorPreset();
      output.ShowCRPresetSource(Low(r.PresetID), Low(r.Value));
      break;
    }
    case MPU_OP_MIXBUS_LIMITER: {
      const auto r = Msg.LimiterParams();
      output.ShowMixBusLimiter(r.SourceID, r);
      break;
    }
    case MPU_OP_MIXBUS_CONFIG: {
      const auto r = Msg.MixBusConfig();
      output.ShowMixBusConfig(r.MixBusId, r);
      break;
    }
    case MPU_OP_MIXBUS_PARAMS: output.ShowMixBusParams(Msg.MixBusParams()); break;
    case MPU_OP_STRIP_EDIT_MODE: {
      const auto r = Msg.StripControl();
      FDisplays.ChannelStrips->ShowStripEditMode(r.StripId, r.Value != 0);
      break;
    }
    case MPU_OP_STRIP_ASSIGN_SOURCE: {
      const auto r = Msg.StripControl();
      FDisplays.ChannelStrips->ShowStripAssignSource(r.StripId, Low(r.Value));
      break;
    }
    case MPU_OP_STRIP_PARAMS: FDisplays.ChannelStrips->ShowStripParams(Msg.StripParams()); break;
    case MPU_OP_MONITOR_PARAMS: ShowMonitorParams(Msg.MonitorParams()); break;
    case MPU_OP_MIXER_SETTINGS: FDisplays.System->ShowMixerSettings(Msg.MixerProperties(), Msg.Revision()); break;
    case MPU_OP_CR_PRESET_EDIT: output.ShowCRPresetEditor(Msg.Payload()[0]); break;
    case MPU_OP_GPI_CONFIG: FDisplays.Gpio->ShowGPIConfig(Msg.GPInputCircuitConfig()); break;
    case MPU_OP_GPO_CONFIG: FDisplays.Gpio->ShowGPOConfig(Msg.GPOutputCircuitConfig()); break;
    case MPU_OP_SOFTFUNC_IN_STATUS: {
      const auto r = Msg.SoftFunctionTrigger();
      FDisplays.Gpio->ShowSoftFunctionInStatus(Low(r.FunctionId), r.Active != 0);
      if (Low(r.FunctionId) == MPU_SOFTFUNC_CTA_ONAIR && OnCTAOnAirStatus) OnCTAOnAirStatus(r.Active != 0);
      break;
    }
    case MPU_OP_SOFTFUNC_OUT_STATUS: {
      const auto r = Msg.SoftFunctionTrigger();
      FDisplays.Gpio->ShowSoftFunctionOutStatus(Low(r.FunctionId), r.Active != 0);
      break;
    }
    default: break;  // 67, 77, 86, 88, 91..95, 100..127, marker echoes
  }
}

void TMainForm::ShowMonitorParams(const TMPUMonitorParamsMessage& r) {
  Updating guard(*this);
  TOutputSourcesDisplay& output = *FDisplays.OutputSources;
  output.ShowCRMonitorSelect(Low(r.CRPresetId));
  output.SetCRMonitorAPF(r.APFActive == 1);
  output.SetCRMonitorSplit(r.SplitActive == 1);
  output.SetCRMonitorPreview(r.PreviewActive == 1);
  for (std::uint8_t preset = 0; preset < kCRPresetCount; ++preset)
    output.ShowCRPresetSource(preset, Low(r.SendSources[preset]));
  output.ShowMonitorSendSource(MPU_MONITOR_STLS, Low(r.SendSources[TMPUMonitorParamsMessage::kSendSourceSTLS]));
  output.ShowMonitorSendSource(MPU_MONITOR_HPA, Low(r.SendSources[TMPUMonitorParamsMessage::kSendSourceHPA]));
  output.ShowMonitorSendSource(MPU_MONITOR_HPB, Low(r.SendSources[TMPUMonitorParamsMessage::kSendSourceHPB]));
  for (std::uint8_t m = 0; m < r.VolumeAdj.size(); ++m) {
    output.ShowMonitorVolumeAdjust(m, r.VolumeAdj[m]);
    if (m >= MPU_MONITOR_GRCU1) output.ShowMonitorGRCUGroup(m, (r.GRCUGroups >> (m - MPU_MONITOR_GRCU1)) & 1);
  }
}

void TMainForm::StripEditKeyChanged(std::uint16_t Strip, bool Down) {
  if (FMPU->ConnectionStatus() != csOpened) return;
  const TChannelStripsDisplay& strips = *FDisplays.ChannelStrips;
  if (!strips.StripButtonEnabled(Strip) || strips.StripButtonChecked(Strip) == Down) return;
  SetStripEditMode(Strip, Down);
}

void TMainForm::SetStripEditMode(std::uint16_t Strip, bool Enter) {
  FEditModeChannelId = Enter ? Strip : kNoStrip;
  SendStripEditModeMsg(Strip, Enter);
}

void TMainForm::MCSKeyChanged(std::uint8_t Key, bool Down) {
  Updating guard(*this);
  TMiscControlsDisplay& page = *FDisplays.MiscControls;
  if (Key < MPU_MCSTALLY_COUNT) {
    page.SetMCSKeyButton(Key, Down);
    FMPU->SetMCSTally(Key, Down ? MPU_TALLY_ON : MPU_TALLY_OFF);
  } else if (Key == MCS_KEY_SHIFT || Key == MCS_KEY_ESC || Key == MCS_KEY_ENTER) {
    page.SetMCSKeyButton(Key, Down);
    const int vk = Key == MCS_KEY_SHIFT ? kVirtualKeyShift : Key == MCS_KEY_ESC ? kVirtualKeyEscape : kVirtualKeyReturn;
    if (InjectKey) InjectKey(vk, Down);
  } else if (Key < MCS_KEY_COUNT) {
    const std::uint8_t encoder = static_cast<std::uint8_t>(Key - MCS_KEY_ENCODER_PUSH_FIRST);
    page.SetMCSKeyButton(Key, Down);
    if (Down) {
      FEncoderCounts[encoder] = 0;
      page.ShowEncoderCount(encoder, 0);
    }
  }
}

void TMainForm::MCSEncoderStep(std::uint8_t Encoder, bool Up) {
  if (Encoder >= kMCSEncoderCount) return;
  Updating guard(*this);
  FEncoderCounts[Encoder] += Up ? 1 : -1;
  FDisplays.MiscControls->ShowEncoderCount(Encoder, FEncoderCounts[Encoder]);
}

int TMainForm::EncoderCount(int encoder) const {
  return encoder >= 0 && encoder < kMCSEncoderCount ? FEncoderCounts[static_cast<std::size_t>(encoder)] : 0;
}

void TMainForm::MPUMeteringData(std::span<const std::int8_t, 256> Data, int) {
  // Only the visible page's meters follow the block.
  switch (ActivePageIndex()) {
    case pgInputSources: FDisplays.InputSources->ShowInSourceMeters(Data); break;
    case pgMetering: FMeteringPage->ShowMeteringBlock(Data); break;
    default: break;
  }
}

void TMainForm::MPUHealthInfo(const TMPUHealthInfo& Data) { FSystemPage->HealthPanel()->MPUHealthInfo(Data); }

}  // namespace mpu::pages
