// The program: checks, single-instance guard, theme, windows, message loop.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <unistd.h>

#include <memory>

#include "app/check_previous.h"
#include "app/logger_form.h"
#include "app/os_check.h"
#include "app/theme.h"
#include "pages/main_form.h"
#include "platform/window_message.h"
#include "simulator/simulated_mpu.h"
#include "usb/composite_driver.h"
#include "usb/libusb_driver.h"
#include "usb/simulated_driver.h"

namespace {

constexpr const char* kInstanceName = "AldraneMixerCommsTest";
constexpr const char* kApplicationTitle = "Aldrane MPU USB Comms Tester";

// The unit's driver: libusb, plus the simulated unit listed after any real
// device when asked for.
std::shared_ptr<mpu::usb::UsbDriver> MakeDriver(bool simulator) {
  auto real = std::make_shared<mpu::usb::LibusbDriver>();
  std::shared_ptr<mpu::usb::UsbDriver> simulated;
  if (simulator) simulated = std::make_shared<mpu::usb::SimulatedDriver>(std::make_shared<mpu::sim::SimulatedMpu>());
  return std::make_shared<mpu::usb::CompositeDriver>(std::move(real), std::move(simulated));
}

}  // namespace

// Reads the command line: --simulator, --help and --version (the last two
// print and exit, also without a display). Nothing else is accepted.
bool ParseCommandLine(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("aldrane-mpu-tool");
  QCoreApplication::setApplicationVersion(MPU_TOOL_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription("Test tool for the MPU of the broadcast mixing console, over USB.");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption simulatorOption("simulator", "Add the simulated MPU to the USB device list.");
  parser.addOption(simulatorOption);
  parser.process(app);
  return parser.isSet(simulatorOption);
}

int main(int argc, char* argv[]) {
  const bool simulator = ParseCommandLine(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setApplicationVersion(MPU_TOOL_VERSION);

  // 1. The operating system.
  if (!mpu::app::KernelSupported(mpu::app::RunningKernelRelease())) {
    QMessageBox::critical(nullptr, ">> OS Error <<", mpu::app::OsErrorText());
    return 1;
  }

  // 2. One instance: a second start brings the first one forward and ends.
  const auto pid = static_cast<std::uint32_t>(::getpid());
  if (!mpu::app::RegisterInstance(pid, kInstanceName, false, 1)) return 0;

  // 3. Look and title.
  mpu::app::ApplyTheme(app);
  QApplication::setQuitOnLastWindowClosed(false);

  // 4. The windows, main window first.
  mpu::pages::TMainForm mainForm(MakeDriver(simulator));
  mpu::app::TLoggerForm logger(&mainForm);
  QObject::connect(&mainForm, &mpu::pages::TMainForm::LogLine, &logger, &mpu::app::TLoggerForm::LogMesg);
  QObject::connect(&mainForm, &mpu::pages::TMainForm::ShowTraceLogRequested, &logger, [&logger] {
    logger.show();
    logger.raise();
    logger.activateWindow();
  });
  mainForm.show();

  // 5. A later start finds the main window through its handle.
  mpu::platform::WindowMessageReceiver restore(pid, [&mainForm](std::uint32_t message, std::uint32_t wParam,
                                                                std::uint32_t) {
    if (message != mpu::app::WM_INSTANCE_RESTORE) return;
    if (mainForm.isMinimized()) mainForm.showNormal();
    mainForm.raise();
    if (wParam == 1) mainForm.activateWindow();
  });
  mpu::app::SetInstanceMainWindow(pid);

  // 6. The message loop.
  const int rc = QApplication::exec();
  mpu::app::UnregisterInstance();
  return rc;
}
