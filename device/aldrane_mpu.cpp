#include "device/aldrane_mpu.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <mutex>

#include "device/pipe_link.h"
#include "device/pipe_threads.h"
#include "platform/notify_window.h"
#include "protocol/data_packets.h"
#include "protocol/labels.h"

namespace mpu {

namespace {

void DestroyWindow(platform::NotifyWindow* w) {
  if (w == nullptr) return;
  w->Close();
  // The window may be the one whose handler is running right now.
  w->deleteLater();
}

constexpr auto kSessionEndAllowance = std::chrono::milliseconds(200);
constexpr auto kPipeCloseAllowance = std::chrono::milliseconds(250);
constexpr std::uint32_t kPipeWriteTimeoutMs = 20000;

QString Latin1(const std::string& s) { return QString::fromUtf8(s.c_str()); }

}  // namespace

TAldraneMPU::TAldraneMPU(std::shared_ptr<usb::UsbDriver> driver)
    : FDriver(std::move(driver)),
      FMessageWindow(nullptr, &DestroyWindow),
      FThreads(std::make_shared<ThreadTracker>()) {
  ResetState();
}

TAldraneMPU::~TAldraneMPU() {
  try {
    SetActive(false);
  } catch (...) {
    // A handler threw while closing; the component is going away anyway.
  }
  WaitForPipeThreads(2000);
}

bool TAldraneMPU::WaitForPipeThreads(int milliseconds) {
  return FThreads->WaitIdle(std::chrono::milliseconds(milliseconds));
}

void TAldraneMPU::Log(const QString& text) {
  if (OnLogMessage) OnLogMessage(*this, text);
}

void TAldraneMPU::ReportHandlerException(const char* what) {
  if (OnHandlerException) OnHandlerException(*this, what);
  else qWarning("unhandled exception in an event handler of the MPU component: %s", what);
}

// ---------------------------------------------------------------------------
// Properties

void TAldraneMPU::SetActive(bool value) {
  if (value == FActive) return;
  if (value) {
    ResetState();
    FTimer = std::make_unique<QTimer>();
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] { TimerTick(); });
    FTimerDuty = TimerDuty::None;
    FActive = true;
  } else {
    FActive = false;
    struct Finish {
      TAldraneMPU* self;
      ~Finish() {
        self->ResetState();
        self->FTimer.reset();
        self->FTimerDuty = TimerDuty::None;
      }
    } finish{this};
    CloseDevice();
  }
}

void TAldraneMPU::SetDeviceVendorId(int value) {
  if (!FActive && FConnectionStatus == csClosed && value > 0) FDeviceVendorId = value;
}

void TAldraneMPU::SetDeviceProductId(int value) {
  if (!FActive && FConnectionStatus == csClosed && value > 0) FDeviceProductId = value;
}

void TAldraneMPU::SetControlMsgTxQueueLength(std::uint32_t value) {
  if (FConnectionStatus == csClosed && value > 0) FControlMsgTxQueueLength = value;
}

void TAldraneMPU::SetTxTimeout(std::uint32_t value) {
  if (FConnectionStatus == csClosed) FTxTimeout = value;
}

void TAldraneMPU::SetAutoReconnect(bool value) {
  if (FConnectionStatus == csOpening) return;
  FAutoReconnect = value;
  if (!value && FTimerDuty == TimerDuty::Reconnect) StartReconnectTimer(false);
}

void TAldraneMPU::SetAutoReconnectInterval(std::uint32_t value) {
  if (FConnectionStatus == csOpening || value < 1 || value > 60) return;
  FReconnectInterval = value;
  if (FTimerDuty == TimerDuty::Reconnect) StartReconnectTimer(true);
}

std::uint32_t TAldraneMPU::FirmwareCount() const {
  return static_cast<std::uint32_t>(FFirmwareInfo.ValidFirmwareCount());
}

TMPUFirmwareInfo TAldraneMPU::FirmwareInfo(std::uint32_t index) const {
  if (index >= FirmwareCount()) return {};
  return FFirmwareInfo.Firmwares[index];
}

bool TAldraneMPU::GetFirmwareInfo(std::uint8_t aFirmwareId, std::uint8_t aDeviceId, TMPUFirmwareInfo& out) const {
  for (std::uint32_t i = 0; i < FirmwareCount(); ++i) {
    const TMPUFirmwareInfo& fw = FFirmwareInfo.Firmwares[i];
    if (fw.FirmwareId == aFirmwareId && fw.DeviceId == aDeviceId) {
      out = fw;
      return true;
    }
  }
  out = {};
  return false;
}

std::uint32_t TAldraneMPU::TxControlMsgsQueued() const {
  return FControlMsgTxThread ? FControlMsgTxThread->MsgCount() : 0;
}

QString TAldraneMPU::DriverVersionAsString() const {
  return QString::asprintf("%d.%d.%d.%d", FDriverMajor, FDriverMinor, FDriverMicro, FDriverNano);
}

// ---------------------------------------------------------------------------
// Reset, open and close

void TAldraneMPU::ResetState() {
  FDeviceHandle.reset();
  FLastError = 0;
  FDeviceManufacturer.clear();
  FDeviceDescription.clear();
  FDeviceSN.clear();
  FDeviceService.clear();
  FDeviceOutpipeCtrlPacketSize = FDeviceInpipeCtrlPacketSize = 512;
  FDeviceOutpipeDataPacketSize = FDeviceInpipeDataPacketSize = 512;
  FDeviceSpeed = dsUnknown;
  FDriverMajor = FDriverMinor = FDriverMicro = FDriverNano = 0;
  FMessageWindow.reset();
  FControlPacketSize = 128;
  FDataPacketSize = 320;
  FAuxPacketSize = 128;
  FFirmwareInfo = {};
  FConfigVersion = 0;
  FConnectionLost = false;
  FConnectionStatus = csClosed;
  FSessionStatus = ssLoggedOff;
  FSessionKey = 0;
  FInfoStrings.clear();
  FMassUpdateActive = false;
  FControlMsgTxBuf.Clear();
  FControlMsgRxBuf.Clear();
  FDataXferBuf.fill(0);
  FMeteringData.fill(static_cast<std::int8_t>(kMeterNoData));
  FFirmwareUploadControl = {};
  FFirmwareDownloadControl = {};
  FFirmwareProgramControl = {};
  FControlMsgRxThread.reset();
  FDataPacketRxThread.reset();
  FControlMsgTxThread.reset();
  FConsoleList.clear();
  FConsoleMaxCount = 4;
  FLink.reset();
}

bool TAldraneMPU::Connect() {
  FLastError = 0;
  if (!FActive) {
    FLastError = MPU_ERR_NOT_ACTIVE;
    return false;
  }
  if (FConnectionStatus != csClosed) return true;
  FConnectionLost = false;
  return OpenDevice();
}

bool TAldraneMPU::Disconnect() {
  if (!FActive) {
    FLastError = MPU_ERR_NOT_ACTIVE;
    return false;
  }
  FLastError = 0;
  StartReconnectTimer(false);
  FConnectionLost = false;
  if (FConnectionStatus == csClosed) return false;
  CloseDevice();
  return true;
}

bool TAldraneMPU::OpenDevice() {
  if (OnBeforeOpen) OnBeforeOpen(*this);
  if (OpenSequence()) {
    SetConnectionStatus(csOpening);
    return true;
  }
  if (FLastError == MPU_ERR_NOT_PRESENT && FAutoReconnect) {
    FConnectionLost = true;
    StartReconnectTimer(true);
  }
  return false;
}

bool TAldraneMPU::OpenSequence() {
  FLastError = 0;
  FLastOpenProblem.clear();
  FInfoStrings.clear();
  FInfoStrings << ">>>>>> DEVICE NOT INSTALLED/FOUND <<<<<<<";
  FFirmwareInfo = {};

  if (!FDriver || !FDriver->Loaded()) {
    FLastError = MPU_ERR_LIBRARY_MISSING;
    return false;
  }
  const std::optional<usb::LibraryVersion> version = FDriver->GetVersion();
  if (!version || version->Major != FDriver->ExpectedMajorVersion()) {
    FLastError = MPU_ERR_LIBRARY_VERSION;
    return false;
  }
  const std::optional<std::vector<usb::DeviceListEntry>> list = FDriver->ListDevices();
  if (!list) {
    FLastError = MPU_ERR_DEVICE_LIST;
    return false;
  }
  FLastError = MPU_ERR_NOT_PRESENT;
  const auto match = std::find_if(list->begin(), list->end(), [this](const usb::DeviceListEntry& e) {
    return e.VendorId == FDeviceVendorId && e.ProductId == FDeviceProductId;
  });
  if (match == list->end()) return false;

  const usb::DeviceListEntry& entry = *match;
  FLastError = MPU_ERR_OPEN_FAILED;
  const char* kFrame = "--------------------- [DEVICE INFO] ---------------------------------";
  FInfoStrings.clear();
  FInfoStrings << kFrame;
  FInfoStrings << QString::asprintf("Vendor ID: 0x%x", entry.VendorId);
  FInfoStrings << QString::asprintf("Product ID: 0x%x", entry.ProductId);
  FInfoStrings << "Instance ID: " + Latin1(entry.InstanceId);
  FInfoStrings << QString::asprintf("Driver ID: %d", entry.DriverId);
  FInfoStrings << "Device Interface GUID: " + Latin1(entry.DeviceInterfaceGuid);
  FInfoStrings << "Instance ID: " + Latin1(entry.DeviceId);
  FInfoStrings << "ClassGUID: " + Latin1(entry.ClassGuid);
  FInfoStrings << "Manufacturer: " + Latin1(entry.Manufacturer);
  FInfoStrings << "Device Desc: " + Latin1(entry.Description);
  FInfoStrings << "Device SN: " + Latin1(entry.SerialNumber);
  FInfoStrings << "Service: " + Latin1(entry.Service);
  FInfoStrings << "Symbolic Link: " + Latin1(entry.SymbolicLink);
  FInfoStrings << "Device Path: " + Latin1(entry.DevicePath);
  FInfoStrings << QString::asprintf("Bus Number: %d", entry.BusNumber);
  FInfoStrings << QString::asprintf("Device Address: %d", entry.DeviceAddress);
  FDeviceManufacturer = Latin1(entry.Manufacturer);
  FDeviceDescription = Latin1(entry.Description);
  FDeviceSN = Latin1(entry.SerialNumber);
  FDeviceService = Latin1(entry.Service);

  bool opened = false;
  auto fail = [&] {
    // A failure after the handle existed closes everything it made; the
    // close resets the error, which must still say why the open failed.
    CloseDevice();
    FLastError = MPU_ERR_OPEN_FAILED;
  };

  if (!entry.Connected) {
    FInfoStrings << "Connection Status: DISCONNECTED";
  } else {
    FInfoStrings << "Connection Status: Connected";
    std::unique_ptr<usb::UsbDevice> device = FDriver->Open(entry);
    if (!device) {
      FLastOpenProblem = Latin1(FDriver->LastOpenProblem());
      if (!FLastOpenProblem.isEmpty()) Log(FLastOpenProblem);
    } else {
      FDeviceHandle = std::shared_ptr<usb::UsbDevice>(std::move(device));
      switch (FDeviceHandle->QueryDeviceSpeed().value_or(0)) {
        case usb::kSpeedLow:
          FDeviceSpeed = dsLow;
          FInfoStrings << "Connection Speed: Low (1.5Mbit/sec)";
          break;
        case usb::kSpeedFull:
          FDeviceSpeed = dsFull;
          FInfoStrings << "Connection Speed: Full(12Mbit/sec)";
          break;
        case usb::kSpeedHigh:
          FDeviceSpeed = dsHigh;
          FInfoStrings << "Connection Speed: High(480Mbit/sec)";
          break;
        default:
          break;
      }
      FInfoStrings << " ";

      static const char* const kPipeTypeNames[] = {"Control", "Isochronous", "Bulk,", "Interrupt"};
      for (int alt = 0; alt < 256 && FDeviceHandle->SetCurrentAlternateSetting(static_cast<std::uint8_t>(alt));
           ++alt) {
        FInfoStrings << QString::asprintf("Alternate Setting: %d", alt);
        for (int i = 0; i < 256; ++i) {
          const auto pipe = FDeviceHandle->QueryPipe(static_cast<std::uint8_t>(alt), static_cast<std::uint8_t>(i));
          if (!pipe) break;
          const auto type = static_cast<unsigned>(pipe->Type);
          FInfoStrings << QString::asprintf(
              "  --> PipeId=0x%2.2x (%s), PipeType=0x%2.2x (%s), Interval=%u, MaximumPacketSize=%u", pipe->PipeId,
              usb::IsInPipe(pipe->PipeId) ? "In EP" : "Out EP", type, type < 4 ? kPipeTypeNames[type] : "",
              unsigned{pipe->Interval}, unsigned{pipe->MaximumPacketSize});
          switch (pipe->PipeId) {
            case usb::kPipeControlOut: FDeviceOutpipeCtrlPacketSize = pipe->MaximumPacketSize; break;
            case usb::kPipeDataOut: FDeviceOutpipeDataPacketSize = pipe->MaximumPacketSize; break;
            case usb::kPipeControlIn: FDeviceInpipeCtrlPacketSize = pipe->MaximumPacketSize; break;
            case usb::kPipeDataIn: FDeviceInpipeDataPacketSize = pipe->MaximumPacketSize; break;
            default: break;
          }
        }
      }

      // Writes on the OUT pipes time out after TxTimeout (20 s by default).
      const std::uint32_t writeTimeout = FTxTimeout != 0 ? FTxTimeout : kPipeWriteTimeoutMs;
      if (!FDeviceHandle->SetPipeTransferTimeout(usb::kPipeControlOut, writeTimeout) ||
          !FDeviceHandle->SetPipeTransferTimeout(usb::kPipeDataOut, writeTimeout)) {
        fail();
      } else {
        FLink = std::make_shared<PipeLink>();
        FMessageWindow.reset(new platform::NotifyWindow(
            [this](unsigned message, std::uintptr_t param) { MessageWindowProc(message, param); }));
        FMessageWindow->SetExceptionHandler([this](const char* what) { ReportHandlerException(what); });
        FLink->Queue = FMessageWindow->Queue();

        FControlMsgRxThread = TMPUReceiveThread::Create(FDeviceHandle, 128, usb::kPipeControlIn);
        FControlMsgRxThread->SetOnData([link = FLink](TMPUReceiveThread& t) { link->ControlPacketReceived(t); });
        FControlMsgRxThread->SetOnError([link = FLink](TMPUReceiveThread& t) { link->ControlPipeError(t); });

        FControlMsgTxBuf.Prepare(MPU_OP_FIRMWARE_INFO);
        const usb::TransferResult w =
            FDeviceHandle->WritePipe(usb::kPipeControlOut, std::span(FControlMsgTxBuf.Bytes().data(), 128));
        if (!w.Ok) {
          fail();
        } else {
          FControlMsgRxThread->Start(FThreads);
          FLastError = 0;
          opened = true;
        }
      }
    }
  }
  FInfoStrings << kFrame;
  return opened;
}

void TAldraneMPU::CloseDevice() {
  std::exception_ptr failure;
  auto step = [&failure](auto&& f) {
    try {
      f();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };

  step([&] {
    if (!FDataPacketRxThread) return;
    FDataPacketRxThread->ClearCallbacks();
    if (FDataPacketRxThread->Started()) FDataPacketRxThread->Terminate();
    FDataPacketRxThread.reset();
  });
  step([&] {
    if (FControlMsgTxThread) FControlMsgTxThread->PurgeQueue();
  });
  step([&] {
    if (FConnectionLost || FSessionStatus == ssLoggedOff) return;
    EndSession();
    // Let the transmitter write the session-end frame.
    if (FControlMsgTxThread && FControlMsgTxThread->Started())
      FControlMsgTxThread->WaitEmpty(kSessionEndAllowance);
  });
  step([&] {
    if (!FControlMsgTxThread) return;
    if (FControlMsgTxThread->Started()) FControlMsgTxThread->Terminate();
    FControlMsgTxThread.reset();
  });
  step([&] { StartReconnectTimer(false); });
  step([&] {
    if (!FControlMsgRxThread) return;
    FControlMsgRxThread->ClearCallbacks();
    if (FControlMsgRxThread->Started()) FControlMsgRxThread->Terminate();
    FControlMsgRxThread.reset();
  });
  step([&] { FMessageWindow.reset(); });
  step([&] {
    if (FConnectionStatus != csClosed) SetConnectionStatus(csClosed);
  });
  step([&] {
    if (!FDeviceHandle) return;
    // Give the threads their allowance to end; a control reader that is
    // reporting the lost pipe to us right now ends after we return.
    const auto deadline = std::chrono::steady_clock::now() + kPipeCloseAllowance;
    const int mayRun = FHandlingRxError ? 1 : 0;
    while (FThreads->Running() > mayRun && std::chrono::steady_clock::now() < deadline)
      FThreads->WaitIdle(std::chrono::milliseconds(5));
    for (std::uint8_t pipe : {usb::kPipeControlOut, usb::kPipeControlIn, usb::kPipeDataOut, usb::kPipeDataIn}) {
      FDeviceHandle->AbortPipe(pipe);
      FDeviceHandle->FlushPipe(pipe);
    }
    // Threads still running keep the device until they end.
    FDeviceHandle.reset();
  });
  const int strips = FStripCount, maxStrips = FStripMaxCount;
  ResetState();
  FStripCount = strips;
  FStripMaxCount = maxStrips;
  if (failure) std::rethrow_exception(failure);
}

void TAldraneMPU::SetConnectionStatus(TMPUConnectionStatus s) {
  FConnectionStatus = s;
  try {
    if (OnConnectionStatusChange) OnConnectionStatusChange(*this, s);
  } catch (...) {
  }
}

void TAldraneMPU::HandleFirmwareInfo() {
  const TMPUResponseMsg& frame = FControlMsgRxBuf;
  if (frame.Opcode() != MPU_OP_FIRMWARE_INFO) return;
  const TMPUFirmwareInfoMsg info = frame.FirmwareInfo();
  if (!info.SignatureValid()) return;

  FConnectionLost = false;
  const std::size_t control = info.ControlPacketBytes();
  const std::size_t data = info.DataPacketBytes();
  // Packets must fit the 512-byte reader buffers and frame slots, and a
  // control packet must at least carry a frame header.
  if (control < kFrameHeaderSize || control > kMaxPipePacketSize || data < kMeteringHeaderSize ||
      data > kMaxPipePacketSize || info.AuxPacketBytes() > kMaxPipePacketSize) {
    Log(QString::asprintf(
        "MPU announced unusable packet sizes (control %zu, data %zu, aux %zu bytes; 4..512 allowed): "
        "connection closed",
        control, data, info.AuxPacketBytes()));
    CloseDevice();
    return;
  }
  FControlPacketSize = static_cast<std::uint32_t>(control);
  FDataPacketSize = static_cast<std::uint32_t>(data);
  FAuxPacketSize = static_cast<std::uint32_t>(info.AuxPacketBytes());
  FFirmwareInfo = info;
  FControlMsgRxThread->SetPacketSize(FControlPacketSize);
  FLink->ControlPacketSize = FControlPacketSize;
  FLink->DataPacketSize = FDataPacketSize;

  bool canContinue = true;
  try {
    if (OnConnect) OnConnect(*this, canContinue);
  } catch (...) {
  }
  if (!canContinue) {
    CloseDevice();
    return;
  }

  FConnectionStatus = csOpened;
  FControlMsgTxThread =
      TMPUTransmitThread::Create(FDeviceHandle, FControlMsgTxQueueLength, FControlPacketSize, usb::kPipeControlOut);
  FControlMsgTxThread->Start(FThreads);
  FDataPacketRxThread = TMPUReceiveDataThread::Create(FDeviceHandle, FDataPacketSize, usb::kPipeDataIn);
  FDataPacketRxThread->SetOnData([link = FLink](TMPUReceiveThread& t) { link->DataPacketReceived(t); });
  FDataPacketRxThread->Start(FThreads);

  FControlMsgTxBuf.Prepare(MPU_OP_HOST_READY);
  QueueCommand();
  SetConnectionStatus(csOpened);
  RequestConfigInfo();
  RequestConsoleList();
}

void TAldraneMPU::MessageWindowProc(unsigned message, std::uintptr_t param) {
  switch (message) {
    case WM_MPU_CONTROL_MSG: {
      if (!FControlMsgRxThread || FControlMsgRxThread->Terminated() || !FLink) return;
      // Whatever happens while the frame is handled, the reader learns that
      // it may deliver the next one.
      struct Processed {
        TAldraneMPU* self;
        ~Processed() {
          if (self->FControlMsgRxThread) self->FControlMsgRxThread->DataProcessed();
        }
      } processed{this};
      FControlMsgRxBuf = FLink->TakeControlFrame();
      if (FConnectionStatus == csOpening) HandleFirmwareInfo();
      else RouteResponse();
      return;
    }
    case WM_MPU_METERING: {
      if (!FDataPacketRxThread || !FLink) return;
      const std::size_t count = FLink->CopyMetering(FMeteringData);
      (void)param;
      try {
        if (OnMeteringData) OnMeteringData(*this, FMeteringData, static_cast<int>(count));
      } catch (...) {
      }
      return;
    }
    case WM_MPU_DATA_XFER: {
      if (!FDataPacketRxThread || !FLink) return;
      struct Processed {
        TAldraneMPU* self;
        ~Processed() {
          if (self->FDataPacketRxThread) self->FDataPacketRxThread->DataProcessed();
        }
      } processed{this};
      FLink->CopyDataXfer(FDataXferBuf);
      HandleUploadBlock();
      return;
    }
    case WM_MPU_RX_ERROR:
      if (!FControlMsgRxThread) return;
      OnRxError();
      return;
    default:
      return;
  }
}

void TAldraneMPU::OnRxError() {
  struct Flag {
    bool& f;
    explicit Flag(bool& flag) : f(flag) { f = true; }
    ~Flag() { f = false; }
  } handling(FHandlingRxError);
  FConnectionLost = true;
  if (FSessionStatus != ssLoggedOff) {
    FSessionKey = 0;
    SetSessionStatus(ssLoggedOff);
  }
  CloseDevice();
  FConnectionLost = true;
  if (FAutoReconnect) StartReconnectTimer(true);
}

// ---------------------------------------------------------------------------
// The shared timer

void TAldraneMPU::StartReconnectTimer(bool on) {
  if (!FTimer) return;
  FTimer->stop();
  FTimerDuty = TimerDuty::None;
  if (on) {
    FTimerDuty = TimerDuty::Reconnect;
    FTimer->start(static_cast<int>(FReconnectInterval * 1000));
  }
}

void TAldraneMPU::TimerTick() {
  try {
    switch (FTimerDuty) {
      case TimerDuty::Reconnect: ReconnectTimerTick(); break;
      case TimerDuty::KeepAlive: RenewSession(); break;
      case TimerDuty::None: FTimer->stop(); break;
    }
  } catch (const std::exception& e) {
    ReportHandlerException(e.what());
  } catch (...) {
    ReportHandlerException("unknown exception");
  }
}

void TAldraneMPU::ReconnectTimerTick() {
  FTimer->stop();
  FTimerDuty = TimerDuty::None;
  OpenDevice();
}

// ---------------------------------------------------------------------------
// Sending and requests

bool TAldraneMPU::SendControlMessage(const TMPUCommandMsg& msg) {
  if (!FActive) {
    FLastError = MPU_ERR_NOT_ACTIVE;
    return false;
  }
  if (FConnectionStatus != csOpened || !FControlMsgTxThread) {
    FLastError = MPU_ERR_NOT_OPEN;
    return false;
  }
  return FControlMsgTxThread->SendMessage(msg.Bytes().data());
}

bool TAldraneMPU::QueueCommand() { return SendControlMessage(FControlMsgTxBuf); }

bool TAldraneMPU::SendDataPacket(std::span<const std::uint8_t> packet) {
  if (!FActive) {
    FLastError = MPU_ERR_NOT_ACTIVE;
    return false;
  }
  if (FConnectionStatus != csOpened || !FDeviceHandle) {
    FLastError = MPU_ERR_NOT_OPEN;
    return false;
  }
  // Always exactly one data packet; a shorter buffer is padded with zeros.
  std::array<std::uint8_t, kMaxPipePacketSize> out{};
  std::copy_n(packet.begin(), std::min<std::size_t>(packet.size(), FDataPacketSize), out.begin());
  const usb::TransferResult r = FDeviceHandle->WritePipe(usb::kPipeDataOut, std::span(out.data(), FDataPacketSize));
  if (!r.Ok) {
    FLastError = r.ErrorCode;
    return false;
  }
  return true;
}

void TAldraneMPU::PauseTxQueue(bool value) {
  if (FControlMsgTxThread) FControlMsgTxThread->Pause(value);
}

void TAldraneMPU::PurgeTxQueue() {
  if (FControlMsgTxThread) FControlMsgTxThread->PurgeQueue();
}

namespace {

template <class R>
bool Request(TAldraneMPU& mpu, TMPUCommandMsg& buf, std::uint8_t opcode, const R& payload) {
  buf.Prepare(opcode, payload);
  return mpu.SendControlMessage(buf);
}

}  // namespace

bool TAldraneMPU::RequestInSourceParams(std::uint16_t aSourceId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_INSRC_STANDARD_PARAMS, TMPUSourceControlMessage{aSourceId, 0});
}

bool TAldraneMPU::RequestInSourceProcessingParams(std::uint16_t aSourceId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_INSRC_PROCESSING_PARAMS, TMPUSourceControlMessage{aSourceId, 0});
}

bool TAldraneMPU::RequestInSourceStripId(std::uint16_t aSourceId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_INSRC_STRIP_ID, TMPUSourceControlMessage{aSourceId, 0});
}

bool TAldraneMPU::RequestOutSourceParams(std::uint16_t aSourceId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_OUTSRC_STANDARD_PARAMS, TMPUSourceControlMessage{aSourceId, 0});
}

bool TAldraneMPU::SetPreviewMonitor(bool bActive) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_CR_MONITOR_PREVIEW,
                 TMPUMonitorControlMessage{0, static_cast<std::uint16_t>(bActive ? 1 : 0)});
}

bool TAldraneMPU::RequestMixBusParams(std::uint16_t aBusId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_MIXBUS_PARAMS, TMPUMixBusConfigMessage{.MixBusId = aBusId});
}

bool TAldraneMPU::SetMCSTally(std::uint8_t aTallyId, std::uint8_t aTallyMode) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_MCS_TALLY, TMPUTallyControlMessage{aTallyId, aTallyMode});
}

bool TAldraneMPU::RequestStripParams(std::uint16_t aStripId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_STRIP_PARAMS, TMPUStripControlMessage{aStripId, 0});
}

bool TAldraneMPU::RequestTalkbackConfig() {
  FControlMsgTxBuf.Prepare(MPU_OP_GET_TALKBACK_CONFIG);
  return QueueCommand();
}

bool TAldraneMPU::RequestOutSourceOTBStatus(std::uint16_t aSourceId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_GET_OTB_STATUS,
                 TMPUOTBControlMessage{static_cast<std::uint16_t>(OTBTarget::OutputSource), aSourceId, 0});
}

bool TAldraneMPU::RequestMixBusOTBStatus(std::uint16_t aBusId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_GET_OTB_STATUS,
                 TMPUOTBControlMessage{static_cast<std::uint16_t>(OTBTarget::MixBus), aBusId, 0});
}

bool TAldraneMPU::RequestMonitorOTBStatus(std::uint16_t aMonitorId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_GET_OTB_STATUS,
                 TMPUOTBControlMessage{static_cast<std::uint16_t>(OTBTarget::Monitor), aMonitorId, 0});
}

bool TAldraneMPU::RequestMixerStats() {
  FControlMsgTxBuf.Prepare(MPU_OP_MIXER_STATS);
  return QueueCommand();
}

bool TAldraneMPU::RequestMonitorParams() {
  FControlMsgTxBuf.Prepare(MPU_OP_MONITOR_PARAMS);
  return QueueCommand();
}

bool TAldraneMPU::RequestMonitorTBVolumeConfig(std::uint16_t aMonitorId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_GET_MONITOR_TB_CONFIG,
                 TMPUMonitorTBConfigMessage{.MonitorID = aMonitorId});
}

bool TAldraneMPU::RequestMixerProperties() {
  FControlMsgTxBuf.Prepare(MPU_OP_GET_MIXER_SETTINGS);
  return QueueCommand();
}

bool TAldraneMPU::RequestGPInputCircuitParams(std::uint16_t aCircuitId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_GET_GPI_CONFIG, TMPUGPInputConfigMessage{.CircuitId = aCircuitId});
}

bool TAldraneMPU::RequestGPOutputCircuitParams(std::uint16_t aCircuitId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_GET_GPO_CONFIG, TMPUGPOutputConfigMessage{.CircuitId = aCircuitId});
}

bool TAldraneMPU::RequestSoftFunctionInStatus(std::uint16_t aFuncId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_GET_SOFTFUNC_IN_STATUS, TMPUSoftFunctionControlMessage{aFuncId, 0});
}

bool TAldraneMPU::RequestSoftFunctionOutStatus(std::uint16_t aFuncId) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_GET_SOFTFUNC_OUT_STATUS,
                 TMPUSoftFunctionControlMessage{aFuncId, 0});
}

bool TAldraneMPU::RequestFirmwareVersions() {
  FControlMsgTxBuf.Prepare(MPU_OP_FIRMWARE_INFO);
  return QueueCommand();
}

bool TAldraneMPU::RequestHealthStatus() {
  FControlMsgTxBuf.Prepare(MPU_OP_HEALTH_INFO);
  return QueueCommand();
}

bool TAldraneMPU::SendMarker(std::uint32_t aId, std::uint32_t aParam1, std::uint32_t aParam2) {
  return Request(*this, FControlMsgTxBuf, MPU_OP_MARKER, TMPUMarkerMessage{aId, aParam1, aParam2});
}

bool TAldraneMPU::RequestConfigInfo() {
  return Request(*this, FControlMsgTxBuf, MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{kConfigReportVersion, 0});
}

bool TAldraneMPU::RequestBoardTag(std::uint8_t aBoardId, std::uint8_t aDeviceId) {
  TMPUBoardTagMessage tag;
  tag.BoardId = aBoardId;
  tag.DeviceId = aDeviceId;
  return Request(*this, FControlMsgTxBuf, MPU_OP_BOARD_TAG_READ, tag);
}

bool TAldraneMPU::SetBoardTag(std::uint32_t aBoardId, std::uint32_t aDeviceId, std::u16string_view aSerialNumber,
                              std::u16string_view aRevision, std::u16string_view aBatch,
                              std::u16string_view aManufacturer, std::u16string_view aQualityControl,
                              const TMPUTimestampTag& aTested) {
  if (aBoardId > kMaxBoardId) return false;
  if (!Request(*this, FControlMsgTxBuf, MPU_OP_WRITE_UNLOCK, TMPUWriteUnlockMessage{MPU_WRITE_UNLOCK_KEY}))
    return false;
  TMPUBoardTagMessage tag;
  tag.BoardId = static_cast<std::uint8_t>(aBoardId);
  WriteLatin1Field(aSerialNumber, TMPUBoardTagMessage::kSerialNoChars, tag.SerialNo);
  WriteLatin1Field(aRevision, TMPUBoardTagMessage::kRevisionChars, tag.Revision);
  WriteLatin1Field(aBatch, TMPUBoardTagMessage::kBatchChars, tag.Batch);
  WriteLatin1Field(aManufacturer, TMPUBoardTagMessage::kManufacturerChars, tag.Manufacturer);
  WriteLatin1Field(aQualityControl, TMPUBoardTagMessage::kQualityCheckChars, tag.QualityCheck);
  tag.TimeStamp = aTested;
  tag.TimeStamp.Reserved = 0;
  tag.DeviceId = static_cast<std::uint8_t>(aDeviceId);
  return Request(*this, FControlMsgTxBuf, MPU_OP_BOARD_TAG_WRITE, tag);
}

bool TAldraneMPU::RequestAudioBoardDirectRead(std::uint16_t aStartAddress, std::uint32_t aCount) {
  if (!FActive) {
    FLastError = MPU_ERR_NOT_ACTIVE;
    return false;
  }
  if (FConnectionStatus != csOpened) {
    FLastError = MPU_ERR_NOT_OPEN;
    return false;
  }
  if (aCount > 128) {
    FLastError = MPU_ERR_PARAMETER;
    return false;
  }
  TMPUABDirectMessage msg;
  msg.Address = aStartAddress;
  msg.Count = static_cast<std::uint8_t>(aCount);
  Request(*this, FControlMsgTxBuf, MPU_OP_AB_DIRECT_READ, msg);
  return false;
}

}  // namespace mpu
