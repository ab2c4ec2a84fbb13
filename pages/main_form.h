// TMainForm: the main window. It owns the device component, carries the
// connection bar and the pager with the eleven test pages, reacts to the
// component's connection and session events, and is the one place that
// enables controls (UpdateControlStates) and refreshes the active page
// (RefreshActivePage).
#pragma once

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "device/aldrane_mpu.h"
#include "pages/page_displays.h"
#include "protocol/frames.h"
#include "usb/usb_driver.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;

namespace mpu {
class TSRLED;
}

namespace mpu::pages {

class TMainPage;
class TDeviceInfoPage;
class TSystemPage;
class TMeteringPage;
class TCommandAssemblyPage;

// Posted to the main window when a firmware transfer begins; wParam 1
// upload, 2 download, 3 programming.
inline constexpr unsigned WM_FIRMWARE_TRANSFER = WM_USER + 500;
enum class FirmwareTransferKind { Upload = 1, Download = 2, Programming = 3 };

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "Aldrane MPU USB Communication Test Tool - ";

  // Pages in tab order.
  enum PageIndex {
    pgSystem = 0,
    pgInputSources,
    pgOutputSources,
    pgTalkback,
    pgGPIO,
    pgMiscControls,
    pgMetering,
    pgChannelStrips,
    pgFirmware,
    pgDeviceInfo,
    pgCommandAssembly,
    kPageCount
  };

  explicit TMainForm(std::shared_ptr<usb::UsbDriver> driver, QWidget* parent = nullptr);
  ~TMainForm() override;

  TAldraneMPU& MPU() { return *FMPU; }

  // One line "%s | %s" (time of day, text) to the trace log.
  void LogMessage(const QString& text);

  // The update guard: while the counter is above zero, page handlers of
  // user changes send nothing.
  void BeginUpdateControls() { ++FUpdateControlsCount; }
  void EndUpdateControls() {
    if (FUpdateControlsCount > 0) --FUpdateControlsCount;
  }
  std::uint32_t UpdateControlsCount() const { return FUpdateControlsCount; }

  void UpdateControlStates();
  void RefreshActivePage();
  void ShowLastError();
  void CloseApplication();
  void DisconnectMPU();
  bool CheckFirmwareVersions();

  // The message box text of a LastError code; empty for codes that show none.
  static QString LastErrorText(std::uint32_t code, int expectedDriverMajor);

  QTabWidget* PageControl() const { return FPageControl; }
  TMainPage* Page(int index) const { return FPages[static_cast<std::size_t>(index)]; }
  int ActivePageIndex() const;
  QTimer* TaskTimer() const { return FTaskTimer; }
  TSystemPage* SystemPage() const { return FSystemPage; }
  TMeteringPage* MeteringPage() const { return FMeteringPage; }
  TDeviceInfoPage* DeviceInfoPage() const { return FDeviceInfoPage; }
  TCommandAssemblyPage* CommandAssemblyPage() const { return FCommandAssemblyPage; }

  // The pages' display routines (pages that are not built show nothing).
  void SetDisplays(const TPageDisplays& displays);
  const TPageDisplays& Displays() const { return FDisplays; }

  // ----- command composition: the one road from every page to the unit -----
  // The frame every builder fills; pages that assemble frames by hand
  // (Command Assembly) use it too.
  TMPUCommandMsg& ControlMsg() { return FControlMsg; }
  // The common guard of the Set operations: nothing is being filled from
  // unit data and the connection is open.
  bool CanSend() const;

  void SetInSourceLabel(std::uint16_t S, const QString& ShortLabel, const QString& LongLabel);
  void SetInSourceSystemGain(std::uint16_t S, int Left, int Right);
  void SetInSourceCalibration(std::uint16_t S, double Left, double Right);
  void SetInSourceChannelMode(std::uint16_t S, int Mode, bool PhaseLeft, bool PhaseRight);
  void SetInSourcePhantom(std::uint16_t S, bool On);
  void SetInSourceLocation(std::uint16_t S, int Location);
  void SetInSourceHPFilter(std::uint16_t S, int Frequency, bool Active);
  void SetInSourceLFFilter(std::uint16_t S, int Frequency, bool Active, bool Bandpass, double Q, int Gain);
  void SetInSourceMFFilter(std::uint16_t S, int Frequency, bool Active, bool Bandpass, double Q, int Gain);
  void SetInSourceHFFilter(std::uint16_t S, int Frequency, bool Active, bool Bandpass, double Q, int Gain);
  void SetInSourceRoutingTrigger(std::uint16_t S, int Master, int ActionOff, std::uint16_t RoutingOff, int ActionOn,
                                 std::uint16_t RoutingOn);
  void SetInSourceFader(std::uint16_t S, double Gain);
  void SetInSourceGainTrim(std::uint16_t S, int Trim);
  void SetInSourcePan(std::uint16_t S, int Pan);
  void SetInSourceAuxSend(std::uint16_t S, int Gain, int Mode);
  void SetInSourceBusRouting(std::uint16_t S, std::uint16_t BusId, bool On);
  void SetInSourcePFL(std::uint16_t S, bool On);
  void SetInSourceRoutingMask(std::uint16_t S, std::uint16_t Mask);
  void SetInSourceOn(std::uint16_t S, bool On);
  void SetInSourceControlOptions(std::uint16_t S, bool FaderStart, bool DTXProtect, bool ExtTallies,
                                 bool RestartStop, bool Prime, bool CancelPFL);
  void SetInSourceLimiter(std::uint16_t S, int Threshold, bool Active, int Decay);
  void SetInSourceCompressor(std::uint16_t S, int Threshold, bool Active, int PostGain, int Ratio, int Attack,
                             int Decay);
  void SetInSourceIndicator(std::uint16_t S, int Value);
  void SetInSourceSourceMode(std::uint16_t S, int Mode);
  void SetOutSourceGain(std::uint8_t O, int Left, int Right);
  void SetOutSourceCalibration(std::uint8_t O, double Left, double Right);
  void SetOutSourceSendSource(std::uint8_t O, std::uint16_t Left, std::uint16_t Right);
  void SetMixBusLimiter(std::uint16_t B, int Threshold, bool Active, int Decay);
  void SetMixBusConfig(std::uint16_t B, int Mode);
  void SetMixBusTalkback(std::uint16_t B, bool On);
  void SetMonitorTalkback(std::uint16_t M, bool On);
  void SetMonitorTBConfig(std::uint16_t M, int MaxGain, bool Ducked, int MinGain);
  void SetMonitorVolume(std::uint16_t M, int Gain);
  void SetMonitorVolumeAdjust(std::uint16_t M, int Gain);
  void SetMonitorSendSource(std::uint16_t M, std::uint16_t S);
  void SetMonitorGRCUGroup(std::uint16_t M, bool Member);
  void SetCRPresetSource(std::uint16_t Preset, std::uint16_t S);
  void SetGPIConfig(std::uint8_t Circuit, std::uint16_t S, bool Momentary, bool NormallyClosed, int Function);
  void SetGPOConfig(std::uint8_t Circuit, std::uint16_t S, int Interval, bool Momentary, bool Repeating,
                    bool NormallyClosed, int Function);
  void SetPowerRail(int Module, int Rail, bool On);

  // Builders (no guard: the callers check first).
  void SendOutSourceFormatOptionsMsg(std::uint8_t O, std::uint16_t Options);
  void SendTalkbackConfigMsg(std::uint16_t SendSource, bool AlwaysOn, std::uint32_t RTBMask, int RTBGain,
                             int RTBThreshold, int MixBusGain, int OTBGain);
  void SendOTBControlMsg(OTBTarget Type, std::uint16_t Id, bool On);
  void SendCRMonitorSelectMsg(std::uint16_t Preset);
  void SendCRMonitorAPFMsg(bool On);
  void SendCRMonitorSplitMsg(bool On);
  void SendCRMonitorPreviewMsg(bool On);
  void SendStripEditModeMsg(std::uint16_t Strip, bool On);
  void SendStripAssignSourceMsg(std::uint16_t Strip, std::uint16_t S);
  void SendSoftFunctionMsg(std::uint16_t Function, bool Active);
  void SendClockSourceMsg(bool External);
  // Signal thresholds in dBu, temperatures in degrees Celsius, humidity in percent.
  void SendMixerSettingsMsg(int SignalOnThreshold, int SignalOvlThreshold, int FaderStartThreshold,
                            int FaderStopThreshold, int SummingGain, std::uint16_t DTXProtectBuses, int TempElevated,
                            int TempWarning, int TempCritical, int HumWarning, std::uint8_t VideoTallyOptions,
                            std::uint8_t ClockSource);

  // Selected-source lookups: 0 (sources) or 255 (outputs, circuits) when
  // nothing is selected.
  std::uint16_t GetSelectedMicSource() const;
  std::uint16_t GetSelectedTBUSource() const;
  std::uint16_t GetSelectedLineSource() const;
  std::uint16_t GetSelectedUSBSource() const;
  std::uint16_t GetSelectedAESSource() const;
  std::uint16_t GetSelectedAoIPSource() const;
  std::uint8_t GetSelectedLineOutput() const;
  std::uint8_t GetSelectedUSBOutput() const;
  std::uint8_t GetSelectedAESOutput() const;
  std::uint8_t GetSelectedAoIPOutput() const;
  static std::uint16_t SendSourceFromIndex(int index);
  static std::uint8_t GetGPIOCircuitId(std::uint16_t S, bool Second);
  std::uint16_t GetStripSource(std::uint16_t Strip) const;

  // ----- response display -----
  void MPUReceiveSourceMessage(const TMPUResponseMsg& Msg);
  void MPUReceiveMixerMessage(const TMPUResponseMsg& Msg);
  void ShowMonitorParams(const TMPUMonitorParamsMessage& record);
  void StripEditKeyChanged(std::uint16_t Strip, bool Down);
  void SetStripEditMode(std::uint16_t Strip, bool Enter);
  void MCSKeyChanged(std::uint8_t Key, bool Down);
  void MCSEncoderStep(std::uint8_t Encoder, bool Up);
  std::uint16_t EditModeChannelId() const { return FEditModeChannelId; }
  int EncoderCount(int encoder) const;

  void MPUMeteringData(std::span<const std::int8_t, 256> Data, int Size);
  void MPUHealthInfo(const TMPUHealthInfo& Data);

  // Called for the CTA on-air soft function (11) after it was shown; the IPC
  // server tells its clients.
  std::function<void(bool Active)> OnCTAOnAirStatus;
  // Synthesizes a key press or release for the focused window (SHIFT, ESC,
  // ENTER of the console's MCS section); replaceable for tests.
  std::function<void(int VirtualKey, bool Down)> InjectKey;

  // Connection bar (object names as the controls are known).
  QPushButton* btnExit = nullptr;
  QPushButton* btnConnect = nullptr;
  QPushButton* btnDisconnect = nullptr;
  QPushButton* btnShowLog = nullptr;
  QCheckBox* chkAutoReconnect = nullptr;
  QSpinBox* editReconnectInterval = nullptr;
  TSRLED* ledConnectionStatus = nullptr;

  // Message boxes go through here, so that tests can see them instead of
  // blocking on a modal dialog. Arguments: title, text.
  std::function<void(const QString&, const QString&)> ShowErrorBox;

 signals:
  void LogLine(const QString& line);
  void ShowTraceLogRequested();
  // A firmware transfer began (WM_FIRMWARE_TRANSFER arrived).
  void FirmwareTransfer(int kind);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void BuildConnectionBar(QWidget* bar);
  void BuildPages();
  void InstallDeviceHandlers();
  void ConnectClicked();
  void AutoReconnectClicked(bool checked);

  void MPUBeforeOpen();
  void MPUConnect(bool& CanContinue);
  void MPUConnectionStatusChange(TMPUConnectionStatus status);
  void MPUSessionStatusChange(TMPUSessionStatus status);
  void PostFirmwareTransfer(FirmwareTransferKind kind);
  void WMFirmwareTransfer(int kind);
  void SetConnectionLed(const QString& caption, const QColor& color);

  bool SelectedInputSource(std::uint16_t S) const;
  bool SelectedOutput(std::uint8_t O) const;
  template <class R>
  void Send(std::uint8_t opcode, const R& payload);

  std::unique_ptr<TAldraneMPU> FMPU;
  std::uint32_t FUpdateControlsCount = 0;
  TMPUCommandMsg FControlMsg;
  std::uint16_t FEditModeChannelId = 255;
  std::array<int, kMCSEncoderCount> FEncoderCounts{};
  TPageDisplays FDisplays;
  QTabWidget* FPageControl = nullptr;
  std::array<TMainPage*, kPageCount> FPages{};
  TDeviceInfoPage* FDeviceInfoPage = nullptr;
  TSystemPage* FSystemPage = nullptr;
  TMeteringPage* FMeteringPage = nullptr;
  TCommandAssemblyPage* FCommandAssemblyPage = nullptr;
  QTimer* FTaskTimer = nullptr;
  bool FCaptionVersionAdded = false;
};

}  // namespace mpu::pages
