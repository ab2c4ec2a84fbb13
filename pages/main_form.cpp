#include "pages/main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/sr_led.h"
#include "pages/command_assembly_page.h"
#include "pages/device_info_page.h"
#include "pages/health_panel.h"
#include "pages/key_injection.h"
#include "pages/main_page.h"
#include "pages/metering_page.h"
#include "pages/system_page.h"
#include "protocol/id_tables.h"

#ifndef MPU_TOOL_VERSION
#define MPU_TOOL_VERSION "0.0.0"
#endif

namespace mpu::pages {

namespace {

// The posted WM_FIRMWARE_TRANSFER message.
class FirmwareTransferEvent : public QEvent {
 public:
  static QEvent::Type EventType() {
    static const int type = QEvent::registerEventType(QEvent::User + static_cast<int>(WM_FIRMWARE_TRANSFER % 1000));
    return static_cast<QEvent::Type>(type);
  }
  explicit FirmwareTransferEvent(int kind) : QEvent(EventType()), Kind(kind) {}
  const int Kind;
};

const char* const kPageCaptions[TMainForm::kPageCount] = {
    "System",         "Input Sources", "Output Sources", "Talkback",    "GPIO",           "Misc Controls",
    "Metering",       "Channel Strips", "Firmware",      "Device Info", "Command Assembly",
};

const char* const kPageObjectNames[TMainForm::kPageCount] = {
    "tabSystem",   "tabInputSources",  "tabOutputSources", "AdvOfficePage2", "AdvOfficePage3", "tabMCSTallies",
    "tabMetering", "tabChannelStrips", "tabFirmware",      "tabInfo",        "tabRawCommands",
};

}  // namespace

TMainForm::TMainForm(std::shared_ptr<usb::UsbDriver> driver, QWidget* parent) : QMainWindow(parent) {
  setObjectName("MainForm");
  setWindowTitle(kCaption);
  ShowErrorBox = [this](const QString& title, const QString& text) {
    QMessageBox::critical(this, title, text, QMessageBox::Ok);
  };
  InjectKey = [](int virtualKey, bool down) { InjectVirtualKey(virtualKey, down); };
  SetDisplays({});

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(6, 6, 6, 6);
  auto* bar = new QWidget(central);
  bar->setObjectName("pnlConnectionBar");
  BuildConnectionBar(bar);
  layout->addWidget(bar);
  FPageControl = new QTabWidget(central);
  FPageControl->setObjectName("PageControl");
  layout->addWidget(FPageControl, 1);
  setCentralWidget(central);
  BuildPages();

  FTaskTimer = new QTimer(this);
  FTaskTimer->setObjectName("TaskTimer");
  FTaskTimer->setInterval(1000);

  // Main window creation: every pager at its first page, then the device
  // component with its settings and handlers, switched on (not opened).
  FPageControl->setCurrentIndex(0);
  FMPU = std::make_unique<TAldraneMPU>(std::move(driver));
  FMPU->SetControlMsgTxQueueLength(1024);
  FMPU->SetAutoReconnect(chkAutoReconnect->isChecked());
  FMPU->SetAutoReconnectInterval(static_cast<std::uint32_t>(editReconnectInterval->value()));
  FMPU->SetKeepSessionAlive(true);
  FMPU->SetKeepSessionAliveInterval(10);
  InstallDeviceHandlers();
  FMPU->SetActive(true);

  connect(FPageControl, &QTabWidget::currentChanged, this, [this] { RefreshActivePage(); });
  resize(1180, 760);
}

TMainForm::~TMainForm() {
  // The component goes before the widgets its handlers touch.
  if (FMPU) {
    FMPU->OnConnectionStatusChange = nullptr;
    FMPU->OnSessionStatusChange = nullptr;
    FMPU.reset();
  }
}

void TMainForm::BuildConnectionBar(QWidget* bar) {
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  auto button = [bar](const char* name, const char* caption, const char* hint) {
    auto* b = new QPushButton(caption, bar);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setMinimumWidth(96);
    return b;
  };
  btnExit = button("btnExit", "Exit", "Close application");
  btnConnect = button("btnConnect", "Connect", "Connect to MPU");
  btnDisconnect = button("btnDisconnect", "Disconnect", "Disconnect from MPU");
  btnDisconnect->setEnabled(false);
  btnShowLog = button("btnShowLog", "Show Trace Log", "");
  chkAutoReconnect = new QCheckBox("Auto-Reconnect", bar);
  chkAutoReconnect->setObjectName("chkAutoReconnect");
  chkAutoReconnect->setChecked(true);
  auto* intervalLabel = new QLabel("Interval (sec)", bar);
  editReconnectInterval = new QSpinBox(bar);
  editReconnectInterval->setObjectName("editReconnectInterval");
  editReconnectInterval->setRange(2, 30);
  editReconnectInterval->setValue(7);
  // Arrows only, no typing.
  if (auto* edit = editReconnectInterval->findChild<QLineEdit*>()) edit->setReadOnly(true);
  intervalLabel->setBuddy(editReconnectInterval);
  ledConnectionStatus = new TSRLED(bar);
  ledConnectionStatus->setObjectName("ledConnectionStatus");
  ledConnectionStatus->setMinimumSize(170, 28);
  QFont ledFont = ledConnectionStatus->font();
  ledFont.setBold(true);
  ledFont.setPointSizeF(ledFont.pointSizeF() * 1.15);
  ledConnectionStatus->setFont(ledFont);
  SetConnectionLed("CLOSED", QColor(0, 128, 255));

  row->addWidget(btnExit);
  row->addSpacing(12);
  row->addWidget(btnConnect);
  row->addWidget(btnDisconnect);
  row->addSpacing(12);
  row->addWidget(btnShowLog);
  row->addSpacing(12);
  row->addWidget(chkAutoReconnect);
  row->addWidget(intervalLabel);
  row->addWidget(editReconnectInterval);
  row->addStretch(1);
  row->addWidget(ledConnectionStatus);

  connect(btnExit, &QPushButton::clicked, this, [this] { CloseApplication(); });
  connect(btnConnect, &QPushButton::clicked, this, [this] { ConnectClicked(); });
  connect(btnDisconnect, &QPushButton::clicked, this, [this] { DisconnectMPU(); });
  connect(btnShowLog, &QPushButton::clicked, this, [this] { emit ShowTraceLogRequested(); });
  connect(chkAutoReconnect, &QCheckBox::clicked, this, [this](bool checked) { AutoReconnectClicked(checked); });
  connect(editReconnectInterval, &QSpinBox::valueChanged, this,
          [this](int value) { FMPU->SetAutoReconnectInterval(static_cast<std::uint32_t>(value)); });
}

void TMainForm::BuildPages() {
  for (int i = 0; i < kPageCount; ++i) {
    TMainPage* page = nullptr;
    switch (i) {
      case pgSystem: page = FSystemPage = new TSystemPage(*this, FPageControl); break;
      case pgMetering: page = FMeteringPage = new TMeteringPage(*this, FPageControl); break;
      case pgDeviceInfo: page = FDeviceInfoPage = new TDeviceInfoPage(*this, FPageControl); break;
      case pgCommandAssembly: page = FCommandAssemblyPage = new TCommandAssemblyPage(*this, FPageControl); break;
      default: page = new TMainPage(*this, kPageObjectNames[i], FPageControl); break;
    }
    FPages[static_cast<std::size_t>(i)] = page;
    FPageControl->addTab(page, kPageCaptions[i]);
  }
}

void TMainForm::InstallDeviceHandlers() {
  FMPU->OnBeforeOpen = [this](TAldraneMPU&) { MPUBeforeOpen(); };
  FMPU->OnConnect = [this](TAldraneMPU&, bool& canContinue) { MPUConnect(canContinue); };
  FMPU->OnConnectionStatusChange = [this](TAldraneMPU&, TMPUConnectionStatus s) { MPUConnectionStatusChange(s); };
  FMPU->OnSessionStatusChange = [this](TAldraneMPU&, TMPUSessionStatus s) { MPUSessionStatusChange(s); };
  FMPU->OnFirmwareUploadBegin = [this](TAldraneMPU&) { PostFirmwareTransfer(FirmwareTransferKind::Upload); };
  FMPU->OnFirmwareDownloadBegin = [this](TAldraneMPU&) { PostFirmwareTransfer(FirmwareTransferKind::Download); };
  FMPU->OnFirmwareProgramBegin = [this](TAldraneMPU&) { PostFirmwareTransfer(FirmwareTransferKind::Programming); };
  FMPU->OnReceiveSourceMessage = [this](TAldraneMPU&, const TMPUResponseMsg& m) { MPUReceiveSourceMessage(m); };
  FMPU->OnReceiveMixerMessage = [this](TAldraneMPU&, const TMPUResponseMsg& m) { MPUReceiveMixerMessage(m); };
  FMPU->OnMeteringData = [this](TAldraneMPU&, std::span<const std::int8_t, 256> block, int size) {
    MPUMeteringData(block, size);
  };
  FMPU->OnHealthInfo = [this](TAldraneMPU&, const TMPUHealthInfo& info) { MPUHealthInfo(info); };
  FMPU->OnReceiveReadAudioBoardMessage = [this](TAldraneMPU&, const TMPUABDirectMessage& msg) {
    FCommandAssemblyPage->MPUReceiveABMessage(msg);
  };
  FMPU->OnLogMessage = [this](TAldraneMPU&, const QString& text) { LogMessage(text); };
  FMPU->OnHandlerException = [this](TAldraneMPU&, const char* what) {
    LogMessage(QStringLiteral("Error in an event handler: %1").arg(QString::fromUtf8(what)));
  };
}

// ---------------------------------------------------------------------------

void TMainForm::LogMessage(const QString& text) {
  emit LogLine(QStringLiteral("%1 | %2").arg(QTime::currentTime().toString("HH:mm:ss"), text));
}

void TMainForm::SetConnectionLed(const QString& caption, const QColor& color) {
  ledConnectionStatus->SetCaption(caption);
  ledConnectionStatus->SetLedColor(color);
  ledConnectionStatus->SetChecked(true);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FCaptionVersionAdded) return;
  FCaptionVersionAdded = true;
  UpdateControlStates();
  setWindowTitle(QString(kCaption) + MPU_TOOL_VERSION);
  btnConnect->setFocus();  // the first thing to do is to connect
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // The window closes only while Exit is enabled: never while connected or
  // while a reconnect is pending.
  if (!btnExit->isEnabled()) {
    event->ignore();
    return;
  }
  event->accept();
  CloseApplication();
}

bool TMainForm::event(QEvent* event) {
  if (event->type() == FirmwareTransferEvent::EventType()) {
    WMFirmwareTransfer(static_cast<FirmwareTransferEvent*>(event)->Kind);
    return true;
  }
  return QMainWindow::event(event);
}

void TMainForm::PostFirmwareTransfer(FirmwareTransferKind kind) {
  // The modal progress dialog must not run inside the component's event.
  QCoreApplication::postEvent(this, new FirmwareTransferEvent(static_cast<int>(kind)));
}

void TMainForm::WMFirmwareTransfer(int kind) { emit FirmwareTransfer(kind); }

// ---------------------------------------------------------------------------
// Connection bar

void TMainForm::ConnectClicked() {
  if (FMPU->Connect()) return;
  if (FMPU->LastError() == MPU_ERR_NOT_PRESENT && FMPU->ConnectionLost()) MPUConnectionStatusChange(csClosed);
  else ShowLastError();
}

void TMainForm::DisconnectMPU() {
  if (!FMPU->Disconnect()) MPUConnectionStatusChange(csClosed);
}

void TMainForm::AutoReconnectClicked(bool checked) {
  FMPU->SetAutoReconnect(checked);
  if (!checked && FMPU->ConnectionLost()) {
    FMPU->Disconnect();
    MPUConnectionStatusChange(csClosed);
  }
}

void TMainForm::CloseApplication() {
  FTaskTimer->stop();
  FMPU->SetActive(false);
  QCoreApplication::quit();
}

QString TMainForm::LastErrorText(std::uint32_t code, int expectedDriverMajor) {
  switch (code) {
    case MPU_ERR_LIBRARY_MISSING: return "Driver DLL not found!";
    case MPU_ERR_LIBRARY_VERSION:
      return QStringLiteral("Driver DLL version mismatch! Must be version: %1.x").arg(expectedDriverMajor);
    case MPU_ERR_DEVICE_LIST: return "Unable to build USB device list!";
    case MPU_ERR_IMAGE_TOO_LARGE: return "Firmware size exceeds upper limit!";
    case MPU_ERR_NOT_OPEN: return "MPU connection closed!";
    case MPU_ERR_NOT_ACTIVE: return "MPU component not active!";
    case MPU_ERR_FIRMWARE_ID: return "Bad firmware or location ID!";
    case MPU_ERR_TRANSFER_RUNNING: return "Firmware upload or download operation pending!";
    case MPU_ERR_NO_TRANSFER: return "No firmware upload or download operation pending!";
    case MPU_ERR_PROGRAMMING_RUNNING: return "Firware programme operation pending!";
    case MPU_ERR_PARAMETER: return "One or more out-of-range parameters supplied!";
    case MPU_ERR_NOT_PRESENT: return "MPU Device not present on USB bus!";
    case MPU_ERR_OPEN_FAILED: return "Failed to intialize driver or communication!";
    default: return {};
  }
}

void TMainForm::ShowLastError() {
  const QString text = LastErrorText(FMPU->LastError(), 1);
  if (text.isEmpty()) return;
  QString message = text;
  if (!FMPU->LastOpenProblem().isEmpty()) message += "\n\n" + FMPU->LastOpenProblem();
  ShowErrorBox("Error", message);
}

// ---------------------------------------------------------------------------
// Device component events

void TMainForm::MPUBeforeOpen() { LogMessage("Attempting to open MPU device..."); }

void TMainForm::MPUConnect(bool& CanContinue) {
  LogMessage("MPU device accepted connection");
  CanContinue = CheckFirmwareVersions();
}

bool TMainForm::CheckFirmwareVersions() {
  // The host main firmware (id 1) must be 1.40 up to, not including, 2.00;
  // a unit that lists no host firmware is accepted.
  for (std::uint32_t i = 0; i < FMPU->FirmwareCount(); ++i) {
    const TMPUFirmwareInfo host = FMPU->FirmwareInfo(i);
    if (host.FirmwareId != static_cast<std::uint8_t>(FirmwareId::HostMain)) continue;
    if (host.VersionMajor == 1 && host.VersionMinor >= 40) return true;
    ShowErrorBox("Error",
                 QString::asprintf("This tools requires a host firmware version between %d.%2.2d and %d.00", 1, 40, 2));
    return false;
  }
  return true;
}

void TMainForm::MPUConnectionStatusChange(TMPUConnectionStatus status) {
  switch (status) {
    case csClosed:
      if (FMPU->ConnectionLost()) {
        SetConnectionLed("RECONNECTING", QColor(255, 0, 0));
        LogMessage("Connection to MPU device lost");
        FTaskTimer->stop();
        FDeviceInfoPage->SetLines({">>>>>> DEVICE CONNECTION IS LOST <<<<<<<"});
      } else {
        SetConnectionLed("CLOSED", QColor(0, 128, 255));
        LogMessage("Connection to MPU closed");
        FTaskTimer->stop();
        FDeviceInfoPage->SetLines({">>>>>> DEVICE CONNECTION CLOSED <<<<<<<"});
      }
      UpdateControlStates();
      break;
    case csOpening:
      SetConnectionLed("OPENING", QColor(255, 255, 0));
      btnConnect->setEnabled(false);
      // Disconnect stays available, so that a unit that never answers the
      // handshake can be given up without closing the program.
      btnDisconnect->setEnabled(true);
      LogMessage("MPU Device found, waiting for connection...");
      break;
    case csOpened:
      SetConnectionLed("OPEN", QColor(0, 255, 0));
      btnConnect->setEnabled(false);
      btnDisconnect->setEnabled(true);
      LogMessage("Connection to MPU established");
      FDeviceInfoPage->SetLines(FMPU->DeviceInfoStrings());
      UpdateControlStates();
      FMPU->RequestHealthStatus();
      FTaskTimer->start();
      RefreshActivePage();
      if (FPageControl->currentIndex() != pgChannelStrips) FMPU->RequestStripParams(kAllStrips);
      break;
  }
}

void TMainForm::MPUSessionStatusChange(TMPUSessionStatus status) {
  for (TMainPage* page : FPages) page->SessionStatusChanged(FMPU->ConnectionStatus(), status);
  switch (status) {
    case ssInitializing: LogMessage("Requesting MPU to start a session..."); break;
    case ssLoggedOn: LogMessage("MPU granted session request. Session started"); break;
    case ssLoggedOff: LogMessage("Session ended"); break;
  }
}

// ---------------------------------------------------------------------------

void TMainForm::UpdateControlStates() {
  BeginUpdateControls();
  struct End {
    TMainForm* self;
    ~End() { self->EndUpdateControls(); }
  } end{this};
  const TMPUConnectionStatus connection = FMPU->ConnectionStatus();
  const TMPUSessionStatus session = FMPU->SessionStatus();
  if (connection == csOpened) {
    btnExit->setEnabled(false);
    btnConnect->setEnabled(false);
    btnDisconnect->setEnabled(true);
  } else {
    const bool reconnectPending = FMPU->ConnectionLost() && FMPU->AutoReconnect();
    btnDisconnect->setEnabled(connection != csClosed || reconnectPending);
    btnConnect->setEnabled(!btnDisconnect->isEnabled());
    btnExit->setEnabled(btnConnect->isEnabled());
    // The encoder counters start again at 0.
    for (std::uint8_t e = 0; e < kMCSEncoderCount; ++e) {
      FEncoderCounts[e] = 0;
      FDisplays.MiscControls->ShowEncoderCount(e, 0);
    }
  }
  for (TMainPage* page : FPages) page->UpdateControlStates(connection, session);
}

void TMainForm::RefreshActivePage() {
  if (FMPU->ConnectionStatus() != csOpened) return;
  switch (FPageControl->currentIndex()) {
    case pgSystem:
      FMPU->RequestHealthStatus();
      FMPU->RequestConsoleList();
      FMPU->RequestMixerProperties();
      break;
    case pgTalkback:
      FMPU->RequestTalkbackConfig();
      for (std::uint16_t monitor : {MPU_MONITOR_CRLS, MPU_MONITOR_CUELS, MPU_MONITOR_STLS})
        FMPU->RequestMonitorTBVolumeConfig(monitor);
      for (std::uint16_t bus = 3; bus <= 11; ++bus) FMPU->RequestMixBusOTBStatus(bus);
      FMPU->RequestOutSourceOTBStatus(kOutTalkback);
      for (std::uint16_t monitor : {MPU_MONITOR_HPA, MPU_MONITOR_HPB, MPU_MONITOR_STLS})
        FMPU->RequestMonitorOTBStatus(monitor);
      break;
    case pgChannelStrips:
      FMPU->RequestStripParams(kAllStrips);
      break;
    case pgFirmware:
      FMPU->RequestFirmwareVersions();
      break;
    default:
      // Pages whose requests depend on their own selection.
      if (TMainPage* page = Page(FPageControl->currentIndex())) page->RefreshPage();
      break;
  }
}

}  // namespace mpu::pages
