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
  QTimer* TaskTimer() const { return FTaskTimer; }

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

  std::unique_ptr<TAldraneMPU> FMPU;
  std::uint32_t FUpdateControlsCount = 0;
  TMPUCommandMsg FControlMsg;
  QTabWidget* FPageControl = nullptr;
  std::array<TMainPage*, kPageCount> FPages{};
  TDeviceInfoPage* FDeviceInfoPage = nullptr;
  QTimer* FTaskTimer = nullptr;
  bool FCaptionVersionAdded = false;
};

}  // namespace mpu::pages
