// The display routines of the pages, one interface per page. The response
// dispatchers of the main window (MPUReceiveSourceMessage and
// MPUReceiveMixerMessage) call a page only through its interface, inside the
// update guard; the selection lookups ask the page what is selected.
//
// Every routine has an empty default: a page shows what it implements and
// ignores the rest. A page class implements its interface and the main
// window is given it with TMainForm::SetDisplays.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/frames.h"

namespace mpu::pages {

// "Input Sources": one source at a time per sub-page.
class TInputSourcesDisplay {
 public:
  virtual ~TInputSourcesDisplay() = default;

  // Item indexes of the selectors (-1: nothing selected).
  virtual int SelectedMicItem() const { return -1; }
  virtual int SelectedTBUItem() const { return -1; }
  virtual int SelectedLineItem() const { return -1; }
  virtual int SelectedUSBItem() const { return -1; }
  virtual int SelectedAESItem() const { return -1; }
  virtual int SelectedAoIPItem() const { return -1; }

  virtual void ShowInSourceSystemGain(std::uint8_t, std::int16_t, std::int16_t) {}
  virtual void ShowInSourceCalibration(std::uint8_t, std::int16_t, std::int16_t) {}
  virtual void ShowInSourceChannelMode(std::uint8_t, std::uint8_t, bool /*phaseRight*/, bool /*phaseLeft*/) {}
  virtual void ShowInSourcePhantom(std::uint8_t, bool) {}
  virtual void ShowInSourceLocation(std::uint8_t, std::uint16_t) {}
  virtual void ShowInSourceFilter(std::uint8_t, const TMPUInSourceFilterParamsMessage&) {}
  virtual void ShowInSourceRoutingTrigger(std::uint8_t, const TMPUInSourceRoutingTriggerMessage&) {}
  virtual void ShowInSourceFader(std::uint8_t, std::int16_t, std::uint8_t) {}
  virtual void ShowInSourceGainTrim(std::uint8_t, std::int16_t) {}
  virtual void ShowInSourcePan(std::uint8_t, std::int16_t) {}
  virtual void ShowInSourceAuxSend(std::uint8_t, std::uint16_t /*mode*/, std::int16_t /*gain*/) {}
  virtual void ShowInSourceRoutingMask(std::uint8_t, std::uint16_t) {}
  virtual void ShowInSourceStatus(std::uint8_t, std::uint8_t) {}
  virtual void ShowInSourceControlOptions(std::uint8_t, std::uint8_t) {}
  virtual void ShowInSourceLimiter(std::uint8_t, const TMPULimiterParamsMessage&) {}
  virtual void ShowInSourceCompressor(std::uint8_t, const TMPUCompressorParamsMessage&) {}
  virtual void ShowInSourceIndicator(std::uint8_t, std::uint16_t) {}
  virtual void ShowInSourceSourceMode(std::uint8_t, std::uint8_t) {}
  virtual void ShowInSourceVirtualControl(std::uint8_t, std::uint8_t /*controlId*/, std::int16_t) {}
  virtual void ShowInSourceStandardParams(const TMPUInsourceStandardParamsMessage&) {}
  virtual void ShowInSourceProcessingParams(const TMPUInsourceProcessingParamsMessage&) {}
  virtual void ShowInSourceStripId(std::uint8_t, std::uint16_t) {}
  // The metering block while this page is the visible one.
  virtual void ShowInSourceMeters(std::span<const std::int8_t, 256>) {}
};

// "Output Sources": outputs, mix buses and the monitor section.
class TOutputSourcesDisplay {
 public:
  virtual ~TOutputSourcesDisplay() = default;

  virtual int SelectedLineOutputItem() const { return -1; }
  virtual int SelectedUSBOutputItem() const { return -1; }
  virtual int SelectedAESOutputItem() const { return -1; }
  virtual int SelectedAoIPOutputItem() const { return -1; }

  virtual void ShowOutSourceGain(std::uint8_t, std::int16_t) {}
  virtual void ShowOutSourceCalibration(std::uint8_t, std::int16_t, std::int16_t) {}
  virtual void ShowOutSourceSendSource(std::uint8_t, std::uint8_t, std::uint8_t) {}
  virtual void ShowOutSourceFormatOptions(std::uint8_t, std::uint8_t) {}
  virtual void ShowOutSourceStandardParams(const TMPUOutsourceStandardParamsMessage&) {}

  virtual void ShowMonitorVolumeAdjust(std::uint8_t, std::int16_t) {}
  virtual void ShowMonitorSendSource(std::uint8_t, std::uint8_t) {}
  virtual void ShowMonitorGRCUGroup(std::uint8_t, bool) {}
  virtual void ShowCRMonitorSelect(std::uint8_t) {}
  // The control-room APF, split and preview buttons.
  virtual void SetCRMonitorAPF(bool) {}
  virtual void SetCRMonitorSplit(bool) {}
  virtual void SetCRMonitorPreview(bool) {}
  virtual void ShowCRPresetSource(std::uint8_t, std::uint8_t) {}
  virtual void ShowCRPresetEditor(std::uint8_t) {}
  virtual void ShowMixBusLimiter(std::uint16_t, const TMPULimiterParamsMessage&) {}
  virtual void ShowMixBusConfig(std::uint16_t, const TMPUMixBusConfigMessage&) {}
  virtual void ShowMixBusParams(const TMPUMixBusParamsMessage&) {}
};

// "Talkback".
class TTalkbackDisplay {
 public:
  virtual ~TTalkbackDisplay() = default;
  virtual void ShowTalkbackConfig(const TMPUTalkbackConfigMessage&) {}
  virtual void ShowOTBStatus(const TMPUOTBControlMessage&) {}
  virtual void ShowMonitorTBConfig(const TMPUMonitorTBConfigMessage&) {}
};

// "GPIO".
class TGpioDisplay {
 public:
  virtual ~TGpioDisplay() = default;
  virtual void ShowGPIConfig(const TMPUGPInputConfigMessage&) {}
  virtual void ShowGPOConfig(const TMPUGPOutputConfigMessage&) {}
  virtual void ShowSoftFunctionInStatus(std::uint8_t, bool) {}
  virtual void ShowSoftFunctionOutStatus(std::uint8_t, bool) {}
};

// "Channel Strips".
class TChannelStripsDisplay {
 public:
  virtual ~TChannelStripsDisplay() = default;
  // The strip's number button: whether it can be used and whether it is lit.
  virtual bool StripButtonEnabled(std::uint16_t) const { return false; }
  virtual bool StripButtonChecked(std::uint16_t) const { return false; }
  // The source id of the strip's selected item, 0 when the strip is unused.
  virtual std::uint16_t StripSource(std::uint16_t) const { return 0; }
  virtual void ShowStripEditMode(std::uint16_t, bool) {}
  virtual void ShowStripAssignSource(std::uint16_t, std::uint8_t) {}
  virtual void ShowStripParams(const TMPUStripParamsMessage&) {}
};

// "Misc Controls": the MCS keys and encoders.
class TMiscControlsDisplay {
 public:
  virtual ~TMiscControlsDisplay() = default;
  // The button of MCS key 0..17 checked or not.
  virtual void SetMCSKeyButton(std::uint8_t, bool) {}
  // The counter shown on encoder 0..3's button.
  virtual void ShowEncoderCount(std::uint8_t, int) {}
};

// "System": the general mixer settings.
class TSystemDisplay {
 public:
  virtual ~TSystemDisplay() = default;
  virtual void ShowMixerSettings(const TMPUMixerSettingsMessage&, std::uint8_t /*frameRevision*/) {}
};

// The set the main window dispatches to.
struct TPageDisplays {
  TInputSourcesDisplay* InputSources = nullptr;
  TOutputSourcesDisplay* OutputSources = nullptr;
  TTalkbackDisplay* Talkback = nullptr;
  TGpioDisplay* Gpio = nullptr;
  TChannelStripsDisplay* ChannelStrips = nullptr;
  TMiscControlsDisplay* MiscControls = nullptr;
  TSystemDisplay* System = nullptr;
};

}  // namespace mpu::pages
