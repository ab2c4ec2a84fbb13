// TAldraneMPU: the single object through which the program talks to the
// unit. It finds and opens the unit through a USB driver, runs the three
// pipe threads, performs the firmware-information handshake, keeps the
// connection and the session, reconnects when the unit vanishes, queues
// command frames and raises everything it receives as events on the thread
// that created it (the UI thread, which must run a Qt event loop).
//
// The component is not thread-safe: call every method on that thread.
#pragma once

#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/console_list.h"
#include "device/firmware_engine.h"
#include "device/mpu_types.h"
#include "protocol/frames.h"
#include "usb/usb_driver.h"

class QTimer;

namespace mpu {

namespace platform {
class NotifyWindow;
}
class ThreadTracker;
class TMPUReceiveThread;
class TMPUReceiveDataThread;
class TMPUTransmitThread;
struct PipeLink;

// Default vendor id of the unit: a build setting.
#ifndef MPU_USB_VENDOR_ID
#define MPU_USB_VENDOR_ID 0x1209
#endif

class TAldraneMPU {
 public:
  // Event types: the component first, then the event's parameters.
  using TNotifyEvent = std::function<void(TAldraneMPU&)>;
  using TConnectEvent = std::function<void(TAldraneMPU&, bool& CanContinue)>;
  using TConnectionStatusEvent = std::function<void(TAldraneMPU&, TMPUConnectionStatus Status)>;
  using TSessionStatusEvent = std::function<void(TAldraneMPU&, TMPUSessionStatus Status)>;
  using TBlockEvent = std::function<void(TAldraneMPU&, std::uint32_t BlockId)>;
  using TErrorEvent = std::function<void(TAldraneMPU&, int ErrorId)>;
  using TABMessageEvent = std::function<void(TAldraneMPU&, const TMPUABDirectMessage& Msg)>;
  using TBoardTagEvent = std::function<void(TAldraneMPU&, const TMPUBoardTagMessage& Tag)>;
  using TResponseEvent = std::function<void(TAldraneMPU&, const TMPUResponseMsg& Msg)>;
  using TMeteringEvent =
      std::function<void(TAldraneMPU&, std::span<const std::int8_t, 256> Data, int Size)>;
  using THealthEvent = std::function<void(TAldraneMPU&, const TMPUHealthInfo& Data)>;
  using TBoolEvent = std::function<void(TAldraneMPU&, bool Active)>;
  using TConfigEvent = std::function<void(TAldraneMPU&, std::uint16_t Version)>;
  using TConsoleEvent = std::function<void(TAldraneMPU&, TMPUConsole& Console)>;

  static constexpr int kDefaultVendorId = MPU_USB_VENDOR_ID;
  static constexpr int kDefaultProductId = 0x2002;

  explicit TAldraneMPU(std::shared_ptr<usb::UsbDriver> driver);
  ~TAldraneMPU();
  TAldraneMPU(const TAldraneMPU&) = delete;
  TAldraneMPU& operator=(const TAldraneMPU&) = delete;

  // ----- configurable properties -----
  bool Active() const { return FActive; }
  void SetActive(bool value);
  int DeviceVendorId() const { return FDeviceVendorId; }
  void SetDeviceVendorId(int value);
  int DeviceProductId() const { return FDeviceProductId; }
  void SetDeviceProductId(int value);
  std::uint32_t ControlMsgTxQueueLength() const { return FControlMsgTxQueueLength; }
  void SetControlMsgTxQueueLength(std::uint32_t value);
  std::uint32_t TxTimeout() const { return FTxTimeout; }
  void SetTxTimeout(std::uint32_t value);
  bool AutoReconnect() const { return FAutoReconnect; }
  void SetAutoReconnect(bool value);
  std::uint32_t AutoReconnectInterval() const { return FReconnectInterval; }
  void SetAutoReconnectInterval(std::uint32_t value);
  bool KeepSessionAlive() const { return FKeepSessionAlive; }
  void SetKeepSessionAlive(bool value);
  std::uint32_t KeepSessionAliveInterval() const { return FKeepSessionInterval; }
  void SetKeepSessionAliveInterval(std::uint32_t value);

  // ----- read-only properties -----
  TMPUDeviceSpeed DeviceSpeed() const { return FDeviceSpeed; }
  const QStringList& DeviceInfoStrings() const { return FInfoStrings; }
  const TMPUHealthInfo& HealthInfo() const { return FHealthInfo; }
  std::uint32_t LastError() const { return FLastError; }
  TMPUConnectionStatus ConnectionStatus() const { return FConnectionStatus; }
  bool ConnectionLost() const { return FConnectionLost; }
  TMPUSessionStatus SessionStatus() const { return FSessionStatus; }
  std::int64_t SessionKey() const { return FSessionKey; }
  std::uint32_t FirmwareCount() const;
  TMPUFirmwareInfo FirmwareInfo(std::uint32_t index) const;
  const TMPUFirmwareInfoMsg& FirmwareInfoMsg() const { return FFirmwareInfo; }
  std::uint32_t TxControlMsgsQueued() const;
  std::uint16_t ConfigVersion() const { return FConfigVersion; }
  bool MassUpdateActive() const { return FMassUpdateActive; }
  const QString& DeviceManufacturer() const { return FDeviceManufacturer; }
  const QString& DeviceDescription() const { return FDeviceDescription; }
  const QString& DeviceSN() const { return FDeviceSN; }
  const QString& DeviceService() const { return FDeviceService; }
  std::uint32_t ControlPacketSize() const { return FControlPacketSize; }
  std::uint32_t DataPacketSize() const { return FDataPacketSize; }
  std::uint32_t AuxPacketSize() const { return FAuxPacketSize; }
  // The last metering block (0x80 in every byte after a reset).
  std::span<const std::int8_t, 256> MeteringData() const { return FMeteringData; }
  int DriverVersionMajor() const { return FDriverMajor; }
  int DriverVersionMinor() const { return FDriverMinor; }
  int DriverVersionMicro() const { return FDriverMicro; }
  int DriverVersionNano() const { return FDriverNano; }
  QString DriverVersionAsString() const;
  // The driver's explanation of the last failed open (access rights, ...).
  const QString& LastOpenProblem() const { return FLastOpenProblem; }

  // ----- consoles -----
  int ConsoleCount() const { return static_cast<int>(FConsoleList.size()); }
  TMPUConsole* Consoles(int index) const { return GetConsole(index); }
  int ConsoleMaxCount() const { return FConsoleMaxCount; }
  int StripCount() const { return FStripCount; }
  int StripMaxCount() const { return FStripMaxCount; }
  TMPUConsole* AddConsole(TMPU_CONSOLE_TYPE aConsoleType, TMPU_CONSOLE_INTERFACE aIntfType, std::uint32_t aPortNo,
                          TMPU_LOCATION_TYPE aLocation, std::uint32_t aStripCount, std::uint32_t aBrightness);
  bool RemoveConsole(TMPUConsole* aConsole);
  void ClearConsoleList();
  TMPUConsole* GetConsole(int index) const;
  bool CommitConsoleList();
  bool RequestConsoleList();
  bool SetConsoleBrightness(std::uint32_t aConsoleId, std::uint32_t aValue);

  // ----- firmware transfer state -----
  const TMPUFirmwareXferControl& FirmwareUploadControl() const { return FFirmwareUploadControl; }
  const TMPUFirmwareXferControl& FirmwareDownloadControl() const { return FFirmwareDownloadControl; }
  const TMPUFirmwareXferControl& FirmwareProgramControl() const { return FFirmwareProgramControl; }
  std::uint8_t FirmwareUploadId() const { return FFirmwareUploadControl.FirmwareId; }
  std::uint8_t FirmwareUploadDeviceId() const { return FFirmwareUploadControl.DeviceId; }
  std::uint8_t FirmwareUploadVerMajor() const { return FFirmwareUploadControl.FirmwareMajor; }
  std::uint8_t FirmwareUploadVerMinor() const { return FFirmwareUploadControl.FirmwareMinor; }
  std::uint16_t FirmwareUploadVerBuild() const { return FFirmwareUploadControl.FirmwareBuild; }
  std::uint32_t FirmwareUploadBlockId() const { return FFirmwareUploadControl.BlockId; }
  std::uint32_t FirmwareUploadBlockCount() const { return FFirmwareUploadControl.BlockCount; }
  std::uint32_t FirmwareUploadSize() const { return FFirmwareUploadControl.ImageSize; }
  std::span<const std::uint8_t> FirmwareUploadData() const { return FFirmwareUploadControl.Buffer; }
  std::uint8_t FirmwareDownloadId() const { return FFirmwareDownloadControl.FirmwareId; }
  std::uint8_t FirmwareDownloadDeviceId() const { return FFirmwareDownloadControl.DeviceId; }
  std::uint32_t FirmwareDownloadBlockId() const { return FFirmwareDownloadControl.BlockId; }
  std::uint32_t FirmwareDownloadBlockCount() const { return FFirmwareDownloadControl.BlockCount; }
  std::uint8_t FirmwareProgramId() const { return FFirmwareProgramControl.FirmwareId; }
  std::uint8_t FirmwareProgramDeviceId() const { return FFirmwareProgramControl.DeviceId; }
  std::uint8_t FirmwareProgramVerMajor() const { return FFirmwareProgramControl.FirmwareMajor; }
  std::uint8_t FirmwareProgramVerMinor() const { return FFirmwareProgramControl.FirmwareMinor; }
  std::uint16_t FirmwareProgramVerBuild() const { return FFirmwareProgramControl.FirmwareBuild; }
  std::uint32_t FirmwareProgramBlockCount() const { return FFirmwareProgramControl.BlockCount; }
  std::uint32_t FirmwareProgramBlockId() const { return FFirmwareProgramControl.BlockId; }

  // ----- connection -----
  bool Connect();
  bool Disconnect();

  // ----- sending -----
  // Copies the 512-byte frame into the transmit queue.
  bool SendControlMessage(const TMPUCommandMsg& msg);
  // Writes DataPacketSize bytes of `packet` to the data OUT pipe at once.
  bool SendDataPacket(std::span<const std::uint8_t> packet);
  void PauseTxQueue(bool value);
  void PurgeTxQueue();

  // ----- requests -----
  bool RequestInSourceParams(std::uint16_t aSourceId);
  bool RequestInSourceProcessingParams(std::uint16_t aSourceId);
  bool RequestInSourceStripId(std::uint16_t aSourceId);
  bool RequestOutSourceParams(std::uint16_t aSourceId);
  bool SetPreviewMonitor(bool bActive);
  bool RequestMixBusParams(std::uint16_t aBusId);
  bool SetMCSTally(std::uint8_t aTallyId, std::uint8_t aTallyMode);
  bool RequestStripParams(std::uint16_t aStripId);
  bool RequestTalkbackConfig();
  bool RequestOutSourceOTBStatus(std::uint16_t aSourceId);
  bool RequestMixBusOTBStatus(std::uint16_t aBusId);
  bool RequestMonitorOTBStatus(std::uint16_t aMonitorId);
  bool RequestMixerStats();
  bool RequestMonitorParams();
  bool RequestMonitorTBVolumeConfig(std::uint16_t aMonitorId);
  bool RequestMixerProperties();
  bool RequestGPInputCircuitParams(std::uint16_t aCircuitId);
  bool RequestGPOutputCircuitParams(std::uint16_t aCircuitId);
  bool RequestSoftFunctionInStatus(std::uint16_t aFuncId);
  bool RequestSoftFunctionOutStatus(std::uint16_t aFuncId);
  bool RequestFirmwareVersions();
  bool RequestHealthStatus();
  bool SendMarker(std::uint32_t aId, std::uint32_t aParam1, std::uint32_t aParam2);
  bool RequestConfigInfo();
  bool RequestBoardTag(std::uint8_t aBoardId, std::uint8_t aDeviceId);
  // Texts are UTF-16; each is cut to its field and stored as ISO 8859-1.
  bool SetBoardTag(std::uint32_t aBoardId, std::uint32_t aDeviceId, std::u16string_view aSerialNumber,
                   std::u16string_view aRevision, std::u16string_view aBatch, std::u16string_view aManufacturer,
                   std::u16string_view aQualityControl, const TMPUTimestampTag& aTested);
  // Reports failures through LastError only; the result is always false.
  bool RequestAudioBoardDirectRead(std::uint16_t aStartAddress, std::uint32_t aCount);

  // ----- session, mass update, configuration -----
  bool BeginSession(std::int64_t aKey = 0);
  bool RenewSession();
  bool EndSession();
  bool MassUpdate(bool bActive, bool bSilent);
  bool RewriteConfig(bool bRestoreDefault);

  // ----- firmware -----
  bool RequestFirmwareUpload(std::uint32_t aFirmwareId, std::uint32_t aSourceId, TMPUDataChecksumType aCheckSumType);
  bool RequestFirmwareDownload(std::uint32_t aDeviceId, std::uint32_t aFirmwareId, std::uint32_t aSourceId,
                               TMPUDataChecksumType aCheckSumType, std::uint16_t aVersionMajor,
                               std::uint16_t aVersionMinor, std::uint16_t aVersionBuild,
                               std::span<const std::uint8_t> image);
  // Reports failures through LastError only; the result is always false.
  bool RequestFirmwareProgramming(std::uint32_t aFirmwareId, std::uint32_t aDeviceId, std::uint32_t aSourceId);
  bool AbortFirmwareUpload();
  bool AbortFirmwareDownload();
  // The firmware list entry of `aFirmwareId` (and device), if the unit reported it.
  bool GetFirmwareInfo(std::uint8_t aFirmwareId, std::uint8_t aDeviceId, TMPUFirmwareInfo& out) const;

  // ----- events -----
  TNotifyEvent OnBeforeOpen;
  TConnectEvent OnConnect;
  TConnectionStatusEvent OnConnectionStatusChange;
  TSessionStatusEvent OnSessionStatusChange;
  TNotifyEvent OnFirmwareUploadBegin;
  TNotifyEvent OnFirmwareUploadEnd;
  TNotifyEvent OnFirmwareDownloadBegin;
  TNotifyEvent OnFirmwareDownloadEnd;
  TNotifyEvent OnFirmwareProgramBegin;
  TNotifyEvent OnFirmwareProgramErase;
  TNotifyEvent OnFirmwareProgramEnd;
  TBlockEvent OnFirmwareUploadProgress;
  TBlockEvent OnFirmwareDownloadProgress;
  TBlockEvent OnFirmwareProgramProgress;
  TErrorEvent OnFirmwareTransferError;
  TErrorEvent OnFirmwareProgramError;
  TABMessageEvent OnReceiveReadAudioBoardMessage;
  TBoardTagEvent OnReceiveBoardTagInfo;
  TResponseEvent OnReceiveSourceMessage;
  TResponseEvent OnReceiveMixerMessage;
  TMeteringEvent OnMeteringData;
  THealthEvent OnHealthInfo;
  TBoolEvent OnMassUpdateChange;
  TConfigEvent OnConfigInfo;
  TNotifyEvent OnConsoleListChange;
  TConsoleEvent OnConsoleBrightnessChange;
  TNotifyEvent OnReceiveFirmwaresInfo;

  // Lines worth showing in the trace log that no other event carries (a
  // refused handshake, the reason an open failed).
  std::function<void(TAldraneMPU&, const QString& Text)> OnLogMessage;

  // Receives what an event handler threw where nothing else catches it
  // (received frames, timer ticks); without a handler it goes to qWarning.
  std::function<void(TAldraneMPU&, const char* what)> OnHandlerException;

  // Waits (bounded) until every pipe thread of earlier connections has
  // ended; true when none runs.
  bool WaitForPipeThreads(int milliseconds);

 private:
  // Lifecycle and connection (aldrane_mpu.cpp).
  void ResetState();
  bool OpenDevice();
  bool OpenSequence();
  void CloseDevice();
  void SetConnectionStatus(TMPUConnectionStatus s);
  void HandleFirmwareInfo();
  void MessageWindowProc(unsigned message, std::uintptr_t param);
  void OnRxError();
  void ReportHandlerException(const char* what);
  void Log(const QString& text);
  enum class TimerDuty { None, Reconnect, KeepAlive };
  void StartReconnectTimer(bool on);
  void ReconnectTimerTick();
  void TimerTick();
  bool QueueCommand();  // SendControlMessage(FControlMsgTxBuf)

  // Routing (response_routing.cpp).
  void RouteResponse();
  void HandleSessionAnswer();
  void RebuildConsoleList();

  // Session (session.cpp).
  void SetSessionStatus(TMPUSessionStatus s);
  void StartKeepAliveTimer(bool on);
  bool QueueSessionFrame(std::uint8_t active, std::int64_t key);

  // Firmware engines (firmware_engine.cpp).
  bool CheckFirmwareRequest();
  void HandleUploadAnswer(const TMPUFirmwareXferInfo& info);
  void HandleUploadBlock();
  void HandleDownloadAnswer(const TMPUFirmwareXferInfo& info);
  void HandleProgramAnswer(const TMPUFirmwareProgInfo& info);
  void SendDownloadBlock(std::uint8_t subRequest);
  bool QueueXferRequest(std::uint8_t opcode, const TMPUFirmwareXferControl& ctl, std::uint8_t subRequest,
                        std::uint8_t checksumType);
  void DownloadFailed(int errorId);
  template <class... Args, class F>
  void RaiseGuarded(const F& handler, Args&&... args);

  std::shared_ptr<usb::UsbDriver> FDriver;
  std::shared_ptr<usb::UsbDevice> FDeviceHandle;
  bool FActive = false;
  std::uint32_t FLastError = 0;
  int FDeviceVendorId = kDefaultVendorId;
  int FDeviceProductId = kDefaultProductId;
  QString FDeviceManufacturer, FDeviceDescription, FDeviceSN, FDeviceService;
  QString FLastOpenProblem;
  int FDeviceOutpipeCtrlPacketSize = 512, FDeviceInpipeCtrlPacketSize = 512;
  int FDeviceOutpipeDataPacketSize = 512, FDeviceInpipeDataPacketSize = 512;
  TMPUDeviceSpeed FDeviceSpeed = dsUnknown;
  int FDriverMajor = 0, FDriverMinor = 0, FDriverMicro = 0, FDriverNano = 0;
  std::unique_ptr<platform::NotifyWindow, void (*)(platform::NotifyWindow*)> FMessageWindow;
  std::uint32_t FControlPacketSize = 128;
  std::uint32_t FDataPacketSize = 320;
  std::uint32_t FAuxPacketSize = 128;
  TMPUFirmwareInfoMsg FFirmwareInfo{};
  TMPUHealthInfo FHealthInfo{};
  std::uint16_t FConfigVersion = 0;
  std::uint32_t FControlMsgTxQueueLength = 1024;
  std::uint32_t FTxTimeout = 20000;
  std::unique_ptr<QTimer> FTimer;
  TimerDuty FTimerDuty = TimerDuty::None;
  bool FConnectionLost = false;
  TMPUConnectionStatus FConnectionStatus = csClosed;
  TMPUSessionStatus FSessionStatus = ssLoggedOff;
  std::int64_t FSessionKey = 0;
  QStringList FInfoStrings;
  bool FAutoReconnect = true;
  std::uint32_t FReconnectInterval = 10;
  bool FKeepSessionAlive = true;
  std::uint32_t FKeepSessionInterval = 10;
  bool FMassUpdateActive = false;
  TMPUCommandMsg FControlMsgTxBuf;
  TMPUResponseMsg FControlMsgRxBuf;
  std::array<std::uint8_t, 512> FDataXferBuf{};
  std::array<std::int8_t, 256> FMeteringData{};
  TMPUFirmwareXferControl FFirmwareUploadControl;
  TMPUFirmwareXferControl FFirmwareDownloadControl;
  TMPUFirmwareXferControl FFirmwareProgramControl;
  std::shared_ptr<TMPUReceiveThread> FControlMsgRxThread;
  std::shared_ptr<TMPUReceiveDataThread> FDataPacketRxThread;
  std::shared_ptr<TMPUTransmitThread> FControlMsgTxThread;
  std::vector<std::unique_ptr<TMPUConsole>> FConsoleList;
  int FConsoleMaxCount = 4;
  int FStripMaxCount = 0;
  int FStripCount = 0;

  // Shared with the reader threads: the buffers they fill and the queue of
  // the notification window.
  std::shared_ptr<PipeLink> FLink;
  std::shared_ptr<ThreadTracker> FThreads;
  bool FHandlingRxError = false;
};

}  // namespace mpu
