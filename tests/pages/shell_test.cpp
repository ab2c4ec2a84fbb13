// The main window's shell against the simulated unit: the connection bar
// through connect, open, disconnect, reconnecting and a refused host
// firmware; the close rule; the texts of the device errors.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "controls/sr_led.h"
#include "fixtures/event_loop.h"
#include "pages/main_form.h"
#include "simulator/simulated_mpu.h"
#include "usb/simulated_driver.h"

namespace mpu::pages {
namespace {

using test::WaitFor;

class Shell : public ::testing::Test {
 protected:
  void Make(sim::SimulatorConfig config = {}) {
    form.reset();
    config.RebootDelay = std::chrono::milliseconds(50);
    unit = std::make_shared<sim::SimulatedMpu>(config);
    form = std::make_unique<TMainForm>(std::make_shared<usb::SimulatedDriver>(unit));
    form->ShowErrorBox = [this](const QString&, const QString& text) { errors << text; };
    QObject::connect(form.get(), &TMainForm::LogLine, [this](const QString& line) {
      // "HH:mm:ss | text": keep the text.
      const int bar = line.indexOf(" | ");
      ASSERT_EQ(bar, 8) << line.toStdString();
      logLines << line.mid(bar + 3);
    });
    form->show();
  }
  void SetUp() override { Make(); }
  void TearDown() override {
    if (form) form->MPU().SetActive(false);
    form.reset();
  }

  QString Led() const { return form->ledConnectionStatus->Caption(); }
  QColor LedColor() const { return form->ledConnectionStatus->LedColor(); }
  void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  bool WaitLed(const QString& caption, int ms = 3000) {
    return WaitFor([&] { return Led() == caption; }, ms);
  }
  QString Memo() const {
    return form->findChild<QPlainTextEdit*>("memoDeviceInfo")->toPlainText();
  }
  void ExpectBar(bool exit, bool connect, bool disconnect) {
    EXPECT_EQ(form->btnExit->isEnabled(), exit);
    EXPECT_EQ(form->btnConnect->isEnabled(), connect);
    EXPECT_EQ(form->btnDisconnect->isEnabled(), disconnect);
  }

  std::shared_ptr<sim::SimulatedMpu> unit;
  std::unique_ptr<TMainForm> form;
  QStringList errors;
  QStringList logLines;
};

TEST_F(Shell, StartsClosedWithTheVersionInTheCaption) {
  EXPECT_EQ(Led(), "CLOSED");
  EXPECT_EQ(LedColor(), QColor(0, 128, 255));
  ExpectBar(true, true, false);
  EXPECT_TRUE(form->windowTitle().startsWith("Aldrane MPU USB Communication Test Tool - "));
  EXPECT_GT(form->windowTitle().size(), QString("Aldrane MPU USB Communication Test Tool - ").size());
  EXPECT_EQ(form->PageControl()->count(), 11);
  EXPECT_EQ(form->PageControl()->tabText(0), "System");
  EXPECT_EQ(form->PageControl()->tabText(10), "Command Assembly");
  EXPECT_EQ(form->editReconnectInterval->value(), 7);
  EXPECT_EQ(form->editReconnectInterval->minimum(), 2);
  EXPECT_EQ(form->editReconnectInterval->maximum(), 30);
  EXPECT_EQ(form->MPU().AutoReconnectInterval(), 7u);
}

TEST_F(Shell, ConnectOpenThenDisconnect) {
  Click(form->btnConnect);
  ASSERT_TRUE(WaitLed("OPEN"));
  EXPECT_EQ(LedColor(), QColor(0, 255, 0));
  ExpectBar(false, false, true);
  EXPECT_TRUE(errors.isEmpty());
  const QStringList expected = {"Attempting to open MPU device...", "MPU Device found, waiting for connection...",
                                "MPU device accepted connection", "Connection to MPU established"};
  EXPECT_EQ(logLines.mid(0, 4), expected);
  EXPECT_EQ(Memo(), form->MPU().DeviceInfoStrings().join('\n'));
  EXPECT_TRUE(form->TaskTimer()->isActive());

  Click(form->btnDisconnect);
  EXPECT_EQ(Led(), "CLOSED");
  ExpectBar(true, true, false);
  EXPECT_EQ(logLines.back(), "Connection to MPU closed");
  EXPECT_EQ(Memo(), ">>>>>> DEVICE CONNECTION CLOSED <<<<<<<");
  EXPECT_FALSE(form->TaskTimer()->isActive());
}

TEST_F(Shell, NoUnitWithAutoReconnectShowsReconnecting) {
  for (int variant = 0; variant < 2; ++variant) {
    SCOPED_TRACE(variant == 0 ? "Disconnect" : "Auto-Reconnect unchecked");
    unit->Unplug();
    Click(form->btnConnect);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(Led(), "RECONNECTING");
    EXPECT_EQ(LedColor(), QColor(255, 0, 0));
    ExpectBar(false, false, true);
    if (variant == 0) Click(form->btnDisconnect);
    else form->chkAutoReconnect->click();
    EXPECT_EQ(Led(), "CLOSED");
    ExpectBar(true, true, false);
    EXPECT_FALSE(form->MPU().ConnectionLost());
    form->chkAutoReconnect->setChecked(true);
    form->MPU().SetAutoReconnect(true);
    unit->Replug();
  }
}

TEST_F(Shell, NoUnitWithoutAutoReconnectShowsTheError) {
  unit->Unplug();
  form->chkAutoReconnect->click();
  ASSERT_FALSE(form->MPU().AutoReconnect());
  Click(form->btnConnect);
  EXPECT_EQ(errors, QStringList{"MPU Device not present on USB bus!"});
  EXPECT_EQ(Led(), "CLOSED");
}

TEST_F(Shell, HostFirmwareOutsideTheRangeIsRefused) {
  for (auto [major, minor] : {std::pair{1, 39}, std::pair{2, 0}}) {
    SCOPED_TRACE(std::to_string(major) + "." + std::to_string(minor));
    sim::SimulatorConfig config;
    config.HostFirmwareMajor = static_cast<std::uint8_t>(major);
    config.HostFirmwareMinor = static_cast<std::uint8_t>(minor);
    Make(config);
    errors.clear();
    Click(form->btnConnect);
    ASSERT_TRUE(WaitFor([&] { return !errors.isEmpty(); }));
    EXPECT_EQ(errors, QStringList{"This tools requires a host firmware version between 1.40 and 2.00"});
    ASSERT_TRUE(WaitLed("CLOSED"));
    EXPECT_EQ(form->MPU().ConnectionStatus(), csClosed);
    ExpectBar(true, true, false);
  }
}

TEST_F(Shell, TheWindowClosesOnlyWhileNothingIsOpenOrPending) {
  Click(form->btnConnect);
  ASSERT_TRUE(WaitLed("OPEN"));
  form->close();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->MPU().ConnectionStatus(), csOpened);
  Click(form->btnDisconnect);
  form->close();
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->MPU().Active());
}

TEST_F(Shell, ALostUnitShowsReconnectingAndComesBack) {
  form->editReconnectInterval->setValue(2);
  Click(form->btnConnect);
  ASSERT_TRUE(WaitLed("OPEN"));
  unit->Unplug();
  ASSERT_TRUE(WaitLed("RECONNECTING"));
  EXPECT_EQ(logLines.back(), "Connection to MPU device lost");
  EXPECT_EQ(Memo(), ">>>>>> DEVICE CONNECTION IS LOST <<<<<<<");
  ExpectBar(false, false, true);
  unit->Replug();
  ASSERT_TRUE(WaitLed("OPEN", 5000));
}

TEST(ShellTexts, DeviceErrorMessages) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0x20000001, "Driver DLL not found!"},
      {0x20000002, "Driver DLL version mismatch! Must be version: 1.x"},
      {0x20000003, "Unable to build USB device list!"},
      {0x20000004, "Firmware size exceeds upper limit!"},
      {0x20000005, "MPU connection closed!"},
      {0x20000006, "MPU component not active!"},
      {0x20000007, "Bad firmware or location ID!"},
      {0x20000008, "Firmware upload or download operation pending!"},
      {0x20000009, "No firmware upload or download operation pending!"},
      {0x2000000A, "Firware programme operation pending!"},
      {0x2000000B, "One or more out-of-range parameters supplied!"},
      {0x2000000C, "MPU Device not present on USB bus!"},
      {0x2000000D, "Failed to intialize driver or communication!"},
      {0, ""},
      {5, ""},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(TMainForm::LastErrorText(code, 1).toStdString(), text) << code;
}

}  // namespace
}  // namespace mpu::pages
