// The health panel of the System page against the simulated unit: the
// unit's report field by field with its texts and colours, the rail buttons
// that switch the unit's supplies, the disconnected display, and the
// environment and power summaries handed to IPC clients.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "controls/sr_colors.h"
#include "controls/sr_led.h"
#include "controls/sr_speed_button.h"
#include "fixtures/event_loop.h"
#include "pages/health_panel.h"
#include "pages/main_form.h"
#include "pages/system_page.h"
#include "protocol/opcodes.h"
#include "simulator/simulated_mpu.h"
#include "usb/simulated_driver.h"

namespace mpu::pages {
namespace {

using test::WaitFor;

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

std::string S(const QString& s) { return s.toStdString(); }

// Blanks doubled, as the delimited text quotes them.
QString Doubled(QString s) { return s.replace(" ", "  "); }

class HealthPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimulatorConfig config;
    config.MeteringInterval = std::chrono::milliseconds(0);
    unit = std::make_shared<sim::SimulatedMpu>(config);
    form = std::make_unique<TMainForm>(std::make_shared<usb::SimulatedDriver>(unit));
    form->ShowErrorBox = [](const QString&, const QString& text) { ADD_FAILURE() << S(text); };
    form->show();
    panel = form->SystemPage()->HealthPanel();
    QTest::mouseClick(form->btnConnect, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->MPU().ConnectionStatus() == csOpened; }));
    // The connection asks for a report at once.
    ASSERT_TRUE(WaitFor([&] { return panel->lblStatusHost12VIn->text() != "-"; }));
  }
  void TearDown() override {
    form->MPU().SetActive(false);
    form.reset();
  }

  // A report that keeps the unit's rails untouched and shows everything.
  static TMPUHealthInfo Report() {
    TMPUHealthInfo r;
    r.Host_VDD120 = 12050;
    r.Host_VDD50 = 5010;
    r.Host_VDD33 = 3305;
    r.Host_Temp = 385;
    r.XMOS_VDD10 = 1002;
    r.XMOS_VDD18 = 1801;
    r.XMOS_ModId = 1;
    r.XMOS_RunStatus = 3;
    r.Host_GPIO_Ok = 1;
    r.FCS1_Pwr_Status = 1;
    r.FCS2_Pwr_Status = 0;
    r.AB_Present = 1;
    r.AB_RunStatus = 3;
    r.AB_PSUStatus = 0x008D;
    r.PSU_Info[0] = {0, 2, 0x00FC, 0x0F, 412, 385, 0};
    r.PSU_Info[1] = {0, 1, 0x00FC, 0x0F, 0, 0, 0};
    return r;
  }

  std::array<TSRSpeedButton*, 4> Rails(int supply) const {
    switch (supply) {
      case 0: return {panel->btnStatusPSU1_24VIn, panel->btnStatusPSU1_12V, panel->btnStatusPSU1_12VNEG,
                      panel->btnStatusPSU1_3V3};
      case 1: return {panel->btnStatusPSU2_24VIn, panel->btnStatusPSU2_12V, panel->btnStatusPSU2_12VNEG,
                      panel->btnStatusPSU2_3V3};
      default: return {panel->btnStatusPSU3_24VIn, panel->btnStatusPSU3_12V, panel->btnStatusPSU3_12VNEG,
                       panel->btnStatusPSU3_3V3};
    }
  }
  std::array<TSRLED*, 2> Leds(int supply) const {
    switch (supply) {
      case 0: return {panel->ledStatusPSU1_24V, panel->ledStatusPSU1_48V};
      case 1: return {panel->ledStatusPSU2_24V, panel->ledStatusPSU2_48V};
      default: return {panel->ledStatusPSU3_24V, panel->ledStatusPSU3_48V};
    }
  }
  QCheckBox* Present(int supply) const {
    return std::array{panel->chkStatusPSU1Present, panel->chkStatusPSU2Present,
                      panel->chkStatusPSU3Present}[static_cast<std::size_t>(supply)];
  }
  std::array<QCheckBox*, 6> AudioBoxes() const {
    return {panel->chkStatusAudio_12VIn, panel->chkStatusAudio_12VNegIn, panel->chkStatusAudio_6V5,
            panel->chkStatusAudio_5V,    panel->chkStatusAudio_LK5,      panel->chkStatusAudio_LK6};
  }
  QList<QCheckBox*> SelfTests() const {
    return {panel->chkStatusHostTestFrontPanel,   panel->chkStatusHostTestGPIO1,
            panel->chkStatusHostTestGPIO2,        panel->chkStatusHostTestGPIO3,
            panel->chkStatusHostTestUSBHub,       panel->chkStatusHostTestSensor,
            panel->chkStatusHostTestEUI48Address, panel->chkStatusHostTestEUI64Address,
            panel->chkStatusHostTestNVRam,        panel->chkStatusHostTestNORFlash,
            panel->chkStatusHostTestNANDFlash,    panel->chkStatusHostTestSDCard,
            panel->chkStatusHostTestDRAMAddress,  panel->chkStatusHostTestDRAMWalk0,
            panel->chkStatusHostTestDRAMWalk1,    panel->chkStatusHostTestDRAMPattern};
  }
  QList<QLabel*> HostLabels() const {
    return {panel->lblStatusHost12VIn,     panel->lblStatusHost5VSupply,   panel->lblStatusHost3V3Supply,
            panel->lblStatusHostTemperature, panel->lblStatusHostGPIOSupply, panel->lblStatusConsole1Supply,
            panel->lblStatusConsole2Supply,  panel->lblStatusXMOS1V8Supply,  panel->lblStatusXMOS1VSupply,
            panel->lblStatusXMOSStatus};
  }

  // Asks the unit for a report and waits until `shown` holds.
  bool Refresh(const std::function<bool()>& shown) {
    QTest::mouseClick(panel->btnHealthStatusRefresh, Qt::LeftButton);
    return WaitFor(shown);
  }

  std::shared_ptr<sim::SimulatedMpu> unit;
  std::unique_ptr<TMainForm> form;
  THealthPanel* panel = nullptr;
};

TEST_F(HealthPanel, ShowsTheSimulatedUnitsReport) {
  const TMPUHealthInfo& r = form->MPU().HealthInfo();
  const auto volt = [](int mv) { return QString::asprintf("%.3f volt", mv / 1000.0); };
  const auto celsius = [](int tenths) { return QString::asprintf("%.1f", tenths / 10.0) + " \u00B0C"; };

  EXPECT_EQ(panel->pcMPUHealth->count(), 4);
  EXPECT_EQ(panel->pcMPUHealth->tabText(0), "POWER MODULES");
  EXPECT_EQ(panel->pcMPUHealth->tabText(3), " SELF TEST");
  EXPECT_TRUE(panel->btnHealthStatusRefresh->isEnabled());
  EXPECT_TRUE(form->findChild<QGroupBox*>("grpDiagnostics")->isEnabled());

  // Host board: the unit's readings drift, so compare with what it sent.
  EXPECT_TRUE(QRegularExpression("^1[12]\\.\\d{3} volt$").match(panel->lblStatusHost12VIn->text()).hasMatch())
      << S(panel->lblStatusHost12VIn->text());
  EXPECT_EQ(panel->lblStatusHost12VIn->text(), volt(r.Host_VDD120));
  EXPECT_EQ(panel->lblStatusHost5VSupply->text(), volt(r.Host_VDD50));
  EXPECT_EQ(panel->lblStatusHost3V3Supply->text(), volt(r.Host_VDD33));
  EXPECT_EQ(panel->lblStatusHostTemperature->text(), celsius(r.Host_Temp));
  EXPECT_EQ(panel->lblStatusXMOS1V8Supply->text(), volt(r.XMOS_VDD18));
  EXPECT_EQ(panel->lblStatusXMOS1VSupply->text(), volt(r.XMOS_VDD10));
  EXPECT_EQ(panel->lblStatusXMOSStatus->text(), "driver link active");
  for (QLabel* l : {panel->lblStatusHostGPIOSupply, panel->lblStatusConsole1Supply, panel->lblStatusConsole2Supply}) {
    EXPECT_EQ(l->text(), "On") << S(l->objectName());
    EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(Qt::black)) << S(l->objectName());
  }

  // Audio board running with every rail good and both links fitted.
  EXPECT_EQ(panel->lblStatusAudioStatus->text(), "running");
  for (QCheckBox* box : AudioBoxes()) EXPECT_TRUE(box->isChecked()) << S(box->objectName());

  // Every self test passed; the NOR flash box is not shown.
  for (QCheckBox* box : SelfTests()) EXPECT_TRUE(box->isChecked()) << S(box->objectName());
  EXPECT_TRUE(panel->chkStatusHostTestNORFlash->isHidden());
  EXPECT_EQ(panel->chkStatusHostTestNVRam->text(), "NV-RAM Storage");

  for (TSRLED* led : {panel->ledSystemTempStatus, panel->ledSystemHumStatus}) {
    EXPECT_TRUE(led->Checked());
    EXPECT_EQ(led->Caption(), "GOOD");
    EXPECT_EQ(led->LedColor(), kGreen);
  }

  // The internal supply with sensors, one external supply, the third slot empty.
  for (int n = 0; n < 2; ++n) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(Present(n)->isChecked());
    for (TSRSpeedButton* b : Rails(n)) {
      EXPECT_TRUE(b->isEnabled()) << S(b->objectName());
      EXPECT_TRUE(b->Checked()) << S(b->objectName());
      EXPECT_EQ(b->ColorOn(), kGreen) << S(b->objectName());
      EXPECT_EQ(b->Caption(), "on");
      EXPECT_EQ(b->Tag(), n);
    }
    for (TSRLED* led : Leds(n)) {
      EXPECT_TRUE(led->Checked());
      EXPECT_EQ(led->LedColor(), kGreen);
    }
  }
  EXPECT_FALSE(Present(2)->isChecked());
  for (TSRSpeedButton* b : Rails(2)) EXPECT_FALSE(b->isEnabled());
  for (TSRLED* led : Leds(2)) EXPECT_FALSE(led->Checked());
  EXPECT_EQ(panel->lblStatusPSU1_Temperature->text(), celsius(r.PSU_Info[0].Temperature));
  EXPECT_EQ(panel->lblStatusPSU1_Humidity->text(), QString::asprintf("%.1f %%", r.PSU_Info[0].Humidity / 10.0));

  const THealthSummary s = panel->Summaries();
  EXPECT_EQ(s.EnvironmentStatus, 0u);
  EXPECT_EQ(s.EnvironmentHint, "Temperature:  " + Doubled(panel->lblStatusPSU1_Temperature->text()) +
                                   " |   humidity:  " + Doubled(panel->lblStatusPSU1_Humidity->text()));
  EXPECT_EQ(s.PowerStatus, 0u);
  EXPECT_EQ(s.PowerHint, "");
}

TEST_F(HealthPanel, RailButtonsSwitchTheUnitsRails) {
  struct Case {
    TSRSpeedButton* button;
    int module, rail;
    std::uint8_t switchesAfter;
  };
  // Off and on again; the button follows the unit's next report.
  const Case cases[] = {
      {panel->btnStatusPSU2_12V, 1, 1, 0x0D},    {panel->btnStatusPSU2_12V, 1, 1, 0x0F},
      {panel->btnStatusPSU1_24VIn, 0, 3, 0x07},  {panel->btnStatusPSU1_3V3, 0, 0, 0x06},
      {panel->btnStatusPSU1_12VNEG, 0, 2, 0x02},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(S(c.button->objectName()) + (c.button->Checked() ? " off" : " on"));
    const bool wasDown = c.button->Checked();
    QTest::mouseClick(c.button, Qt::LeftButton);
    const TMPUCommandMsg& sent = form->ControlMsg();
    EXPECT_EQ(sent.Opcode(), MPU_OP_POWER_CONTROL);
    EXPECT_EQ(sent.PayloadLen(), 3);
    EXPECT_EQ(sent.Payload()[0], c.module);
    EXPECT_EQ(sent.Payload()[1], c.rail);
    EXPECT_EQ(sent.Payload()[2], wasDown ? 0 : 1);
    ASSERT_TRUE(WaitFor([&] { return c.button->Checked() != wasDown; }));
    EXPECT_EQ(unit->Status().RailSwitches[static_cast<std::size_t>(c.module)], c.switchesAfter);
  }
  // With its 24 V input off the internal supply's +24V and +48V fail.
  EXPECT_EQ(panel->ledStatusPSU1_24V->LedColor(), kRed);
  EXPECT_EQ(panel->ledStatusPSU1_48V->LedColor(), kRed);
  EXPECT_EQ(panel->btnStatusPSU1_24VIn->ColorOn(), kRed);
  EXPECT_EQ(form->UpdateControlsCount(), 0u);
}

TEST_F(HealthPanel, ShowingAReportOrAGuardedClickSendsNothing) {
  TMPUHealthInfo r = Report();
  r.PSU_Info[0].RailSwitches = 0x00;
  r.PSU_Info[1].RailSwitches = 0x05;
  panel->MPUHealthInfo(r);
  EXPECT_EQ(form->UpdateControlsCount(), 0u);
  EXPECT_FALSE(panel->btnStatusPSU1_24VIn->Checked());
  EXPECT_TRUE(panel->btnStatusPSU2_3V3->Checked());

  form->BeginUpdateControls();
  QTest::mouseClick(panel->btnStatusPSU2_12V, Qt::LeftButton);
  form->EndUpdateControls();
  EXPECT_FALSE(panel->btnStatusPSU2_12V->Checked());
  // The unit handles frames in order: a rail command sent above would have
  // been applied before this report.
  ASSERT_TRUE(Refresh([&] { return panel->btnStatusPSU2_12V->Checked(); }));
  const auto switches = unit->Status().RailSwitches;
  EXPECT_EQ(switches[0], 0x0F);
  EXPECT_EQ(switches[1], 0x0F);
  EXPECT_TRUE(panel->btnStatusPSU1_24VIn->Checked());
}

TEST_F(HealthPanel, DisconnectedShowsNothingOfTheUnit) {
  QTest::mouseClick(form->btnDisconnect, Qt::LeftButton);
  ASSERT_EQ(form->MPU().ConnectionStatus(), csClosed);
  // A late report changes nothing while the connection is not open.
  panel->MPUHealthInfo(Report());

  EXPECT_FALSE(panel->btnHealthStatusRefresh->isEnabled());
  EXPECT_FALSE(form->findChild<QGroupBox*>("grpDiagnostics")->isEnabled());
  for (QLabel* l : HostLabels()) EXPECT_EQ(l->text(), "-") << S(l->objectName());
  EXPECT_EQ(panel->lblStatusPSU1_Temperature->text(), "-");
  EXPECT_EQ(panel->lblStatusPSU1_Humidity->text(), "-");
  EXPECT_EQ(panel->lblStatusAudioStatus->text(), "not present");
  for (QCheckBox* box : AudioBoxes()) EXPECT_FALSE(box->isChecked()) << S(box->objectName());
  for (QCheckBox* box : SelfTests()) EXPECT_FALSE(box->isChecked()) << S(box->objectName());
  for (TSRLED* led : {panel->ledSystemTempStatus, panel->ledSystemHumStatus}) EXPECT_FALSE(led->Checked());
  for (int n = 0; n < 3; ++n) {
    EXPECT_FALSE(Present(n)->isChecked());
    for (TSRSpeedButton* b : Rails(n)) EXPECT_FALSE(b->isEnabled());
    for (TSRLED* led : Leds(n)) EXPECT_FALSE(led->Checked());
  }
  EXPECT_EQ(panel->Summaries().PowerHint, "");
}

TEST_F(HealthPanel, SupplyBitsChooseSwitchStatesAndColours) {
  struct Case {
    std::uint8_t switches;
    std::uint16_t status;
    std::array<bool, 4> down;   // +24V in, +12V, -12V, +3V3
    std::array<bool, 4> green;  // their "on" colours
    bool led24, led48;
  };
  const Case cases[] = {
      {0x0A, 0x0010, {true, true, false, false}, {true, false, false, false}, false, false},
      {0x05, 0x00E4, {false, false, true, true}, {false, false, true, true}, true, true},
      {0x0F, 0x0028, {true, true, true, true}, {false, true, false, false}, false, true},
      {0xF0, 0xFF03, {false, false, false, false}, {false, false, false, false}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "switches " << int(c.switches) << " status " << c.status);
    TMPUHealthInfo r = Report();
    r.PSU_Info[1] = {0, 1, c.status, c.switches, 0, 0, 0};
    panel->MPUHealthInfo(r);
    EXPECT_TRUE(Present(1)->isChecked());
    const auto rails = Rails(1);
    for (std::size_t i = 0; i < rails.size(); ++i) {
      EXPECT_TRUE(rails[i]->isEnabled()) << i;
      EXPECT_EQ(rails[i]->Checked(), c.down[i]) << i;
      EXPECT_EQ(rails[i]->ColorOn(), c.green[i] ? kGreen : kRed) << i;
    }
    EXPECT_TRUE(panel->ledStatusPSU2_24V->Checked());
    EXPECT_TRUE(panel->ledStatusPSU2_48V->Checked());
    EXPECT_EQ(panel->ledStatusPSU2_24V->LedColor(), c.led24 ? kGreen : kRed);
    EXPECT_EQ(panel->ledStatusPSU2_48V->LedColor(), c.led48 ? kGreen : kRed);
  }

  // A supply that goes away: cleared, disabled and dark.
  TMPUHealthInfo r = Report();
  r.PSU_Info[1].Kind = 0;
  panel->MPUHealthInfo(r);
  EXPECT_FALSE(Present(1)->isChecked());
  for (TSRSpeedButton* b : Rails(1)) EXPECT_FALSE(b->isEnabled());
  for (TSRLED* led : Leds(1)) EXPECT_FALSE(led->Checked());
}

TEST_F(HealthPanel, InternalSupplySensorsShowOnlyWhenReported) {
  TMPUHealthInfo r = Report();
  r.PSU_Info[0].Temperature = -5;
  r.PSU_Info[0].Humidity = 1000;
  panel->MPUHealthInfo(r);
  EXPECT_EQ(panel->lblStatusPSU1_Temperature->text(), "-0.5 \u00B0C");
  EXPECT_EQ(panel->lblStatusPSU1_Humidity->text(), "100.0 %");

  // Present without sensors: the last readings stay.
  r.PSU_Info[0].Kind = 1;
  r.PSU_Info[0].Temperature = 999;
  panel->MPUHealthInfo(r);
  EXPECT_EQ(panel->lblStatusPSU1_Temperature->text(), "-0.5 \u00B0C");
  EXPECT_EQ(panel->lblStatusPSU1_Humidity->text(), "100.0 %");

  r.PSU_Info[0].Kind = 0;
  panel->MPUHealthInfo(r);
  EXPECT_EQ(panel->lblStatusPSU1_Temperature->text(), "-");
  EXPECT_EQ(panel->lblStatusPSU1_Humidity->text(), "-");
}

TEST_F(HealthPanel, StatusCodesShowTheirTexts) {
  const char* const xmos[] = {"idle/reset",          "booting up",           "bootup timeout",
                              "running",             "driver link active",   "firmware pgoramming",
                              "fw programming finished", "unkown"};
  const char* const board[] = {"idle/reset", "booting up", "bootup timeout", "running", "programming error",
                               "unkown"};
  TMPUHealthInfo r = Report();
  for (std::uint8_t code = 0; code < 8; ++code) {
    r.XMOS_RunStatus = code == 7 ? 200 : code;
    r.AB_RunStatus = code < 5 ? code : 5;
    panel->MPUHealthInfo(r);
    EXPECT_EQ(panel->lblStatusXMOSStatus->text(), xmos[code]);
    EXPECT_EQ(panel->lblStatusAudioStatus->text(), board[std::min<int>(code, 5)]);
  }

  // No USB audio module, no audio board.
  r.XMOS_ModId = 0;
  r.AB_Present = 0;
  panel->MPUHealthInfo(r);
  EXPECT_EQ(panel->lblStatusXMOS1V8Supply->text(), "-");
  EXPECT_EQ(panel->lblStatusXMOS1VSupply->text(), "-");
  EXPECT_EQ(panel->lblStatusXMOSStatus->text(), "not present");
  EXPECT_EQ(panel->lblStatusAudioStatus->text(), "not present");
  EXPECT_EQ(panel->lblStatusHost12VIn->text(), "12.050 volt");
  EXPECT_EQ(panel->lblStatusHostTemperature->text(), "38.5 \u00B0C");

  // Supply states: text, text colour, and a red background for a fault.
  struct State {
    std::uint8_t code;
    const char* text;
    QColor color;  // invalid: the label's usual colour
    bool filled;
  };
  const QColor normal = panel->palette().color(QPalette::WindowText);
  const State states[] = {{1, "On", Qt::black, false},
                          {2, "Fault", Qt::red, true},
                          {0, "Off", normal, false},
                          {7, "???", normal, false}};
  for (const State& st : states) {
    SCOPED_TRACE(st.text);
    r = Report();
    r.Host_GPIO_Ok = r.FCS1_Pwr_Status = r.FCS2_Pwr_Status = st.code;
    panel->MPUHealthInfo(r);
    for (QLabel* l : {panel->lblStatusHostGPIOSupply, panel->lblStatusConsole1Supply, panel->lblStatusConsole2Supply}) {
      EXPECT_EQ(l->text(), st.text) << S(l->objectName());
      EXPECT_EQ(l->palette().color(QPalette::WindowText), st.color) << S(l->objectName());
      EXPECT_EQ(l->autoFillBackground(), st.filled) << S(l->objectName());
      if (st.filled) {
        EXPECT_EQ(l->palette().color(QPalette::Window).hue(), 0);
      }
    }
  }
}

TEST_F(HealthPanel, AudioBoardSuppliesShowOnlyWhileItRuns) {
  struct Case {
    std::uint8_t run;
    std::uint16_t psu;
    std::array<bool, 6> ticked;  // +12V, -12V, +6V5, +5V, LK5, LK6
  };
  const Case cases[] = {
      {3, 0x008D, {true, true, true, true, true, true}},
      {3, 0x0030, {false, false, false, false, false, false}},
      {3, 0x0009, {true, true, false, false, true, true}},
      {3, 0xFF72, {false, false, false, false, false, false}},
      {1, 0x008D, {false, false, false, false, false, false}},
      {4, 0x0000, {false, false, false, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "run " << int(c.run) << " psu " << c.psu);
    TMPUHealthInfo r = Report();
    r.AB_RunStatus = c.run;
    r.AB_PSUStatus = c.psu;
    panel->MPUHealthInfo(r);
    const auto boxes = AudioBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(boxes[i]->isChecked(), c.ticked[i]) << S(boxes[i]->objectName());
  }
}

TEST_F(HealthPanel, SelfTestBoxesTickTheTestsThatPassed) {
  const QList<QCheckBox*> boxes = SelfTests();
  for (std::uint32_t failures : {0x00000100u, 0x0000FFFFu, 0xFFFF0000u, 0x00008001u}) {
    SCOPED_TRACE(failures);
    TMPUHealthInfo r = Report();
    r.Host_TestFailures = failures;
    panel->MPUHealthInfo(r);
    for (int bit = 0; bit < boxes.size(); ++bit)
      EXPECT_EQ(boxes[bit]->isChecked(), ((failures >> bit) & 1u) == 0) << S(boxes[bit]->objectName());
  }
}

TEST_F(HealthPanel, SummaryLedsShowTheEnvironmentStates) {
  const std::pair<const char*, std::uint32_t> expected[] = {
      {"GOOD", 0x00FF00}, {"ELEVATED", 0x00FFFF}, {"WARNING", 0x409FFF}, {"CRITICAL", 0x0000FF}, {"???", 0xFF0000}};
  for (std::uint8_t code = 0; code < 5; ++code) {
    SCOPED_TRACE(int(code));
    TMPUHealthInfo r = Report();
    r.TemperatureStatus = code;
    r.HumidityStatus = static_cast<std::uint8_t>(code == 4 ? 255 : 3 - code);
    panel->MPUHealthInfo(r);
    const auto& [tempText, tempColor] = expected[code];
    const auto& [humText, humColor] = expected[code == 4 ? 4 : 3 - code];
    EXPECT_TRUE(panel->ledSystemTempStatus->Checked());
    EXPECT_EQ(panel->ledSystemTempStatus->Caption(), tempText);
    EXPECT_EQ(ColorToBgr(panel->ledSystemTempStatus->LedColor()), tempColor);
    EXPECT_TRUE(panel->ledSystemHumStatus->Checked());
    EXPECT_EQ(panel->ledSystemHumStatus->Caption(), humText);
    EXPECT_EQ(ColorToBgr(panel->ledSystemHumStatus->LedColor()), humColor);
  }
}

TEST_F(HealthPanel, EnvironmentSummaryFromTheStates) {
  panel->MPUHealthInfo(Report());  // 41.2 °C, 38.5 %
  const QString t = "41.2  \u00B0C";
  const QString h = "38.5  %";
  struct Case {
    std::uint8_t temperature, humidity;
    std::uint32_t status;
    QString hint;
  };
  const Case cases[] = {
      {0, 0, 0, "Temperature:  " + t + " |   humidity:  " + h},
      {1, 1, 0, "Temperature:  " + t + " |   humidity:  " + h},
      {2, 0, 1, "High  mixer  temperture:  " + t + " |   humidity:  " + h},
      {3, 1, 3, "Mixer  overheating:  " + t + " |   humidity:  " + h},
      {0, 2, 1, "Temperature:  " + t + " |   High  mixer  humidity:  " + h},
      {2, 2, 1, "High  mixer  temperture:  " + t + " |   High  mixer  humidity:  " + h},
      {3, 2, 3, "Mixer  overheating:  " + t + " |   High  mixer  humidity:  " + h},
      {1, 3, 3, "Temperature:  " + t + " |   Mixer  humidiy  too  high!  -  shut  down  system"},
      {4, 0, 0, "humidity:  " + h},
      {4, 2, 1, "High  mixer  humidity:  " + h},
      {0, 9, 0, "Temperature:  " + t},
      {9, 9, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.temperature) << "/" << int(c.humidity));
    const THealthSummary s = panel->Summaries(c.temperature, c.humidity);
    EXPECT_EQ(s.EnvironmentStatus, c.status);
    EXPECT_EQ(S(s.EnvironmentHint), S(c.hint));
  }
}

TEST_F(HealthPanel, EnvironmentSummaryUsesTheUnitsStates) {
  // Thresholds far below the unit's readings: critical temperature, high humidity.
  form->SendMixerSettingsMsg(-48, -48, 5, 3, -12, 0, 10, 20, 30, 33, 0, 0);
  ASSERT_TRUE(Refresh([&] { return panel->ledSystemTempStatus->Caption() == "CRITICAL"; }));
  EXPECT_EQ(panel->ledSystemHumStatus->Caption(), "WARNING");
  const THealthSummary s = panel->Summaries();
  EXPECT_EQ(s.EnvironmentStatus, 3u);
  EXPECT_EQ(S(s.EnvironmentHint), S("Mixer  overheating:  " + Doubled(panel->lblStatusPSU1_Temperature->text()) +
                                    " |   High  mixer  humidity:  " +
                                    Doubled(panel->lblStatusPSU1_Humidity->text())));
}

TEST_F(HealthPanel, PowerSummaryNamesTheFailedRails) {
  struct Supply {
    std::uint8_t kind, switches;
    std::uint16_t status;
  };
  struct Case {
    const char* what;
    Supply psu1, psu2, psu3;
    std::uint32_t status;
    QString hint;
  };
  const Supply good{1, 0x0F, 0x00FC};
  const Case cases[] = {
      {"all good", good, good, good, 0, ""},
      {"main input failed hides the rest", {1, 0x0F, 0x0000}, good, good, 2, "PSU1  main  +24V  Error"},
      {"every rail behind a good input", {1, 0x0F, 0x0010}, good, good, 2,
       "PSU1  +12V  Error   |   PSU1  -12V  Error   |   PSU1  +3v3  Error   |   PSU1  +48V  Error"},
      {"rails switched off are not errors", {1, 0x08, 0x0010}, good, good, 2, "PSU1  +48V  Error"},
      {"input switched off: not examined", {1, 0x07, 0x0000}, good, good, 0, ""},
      {"absent: not examined", {0, 0x0F, 0x0000}, good, good, 0, ""},
      {"second supply", good, {2, 0x0F, 0x00BC}, good, 2, "PSU2  -12V  Error"},
      {"both supplies", {1, 0x0F, 0x0000}, {1, 0x0F, 0x0010}, good, 2,
       "PSU1  main  +24V  Error   |   PSU2  +12V  Error   |   PSU2  -12V  Error   |   PSU2  +3v3  Error   |"
       "   PSU2  +48V  Error"},
      {"third supply is not examined", good, good, {1, 0x0F, 0x0000}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMPUHealthInfo r = Report();
    const Supply* supplies[] = {&c.psu1, &c.psu2, &c.psu3};
    for (std::size_t i = 0; i < 3; ++i)
      r.PSU_Info[i] = {0, supplies[i]->kind, supplies[i]->status, supplies[i]->switches, 300, 400, 0};
    panel->MPUHealthInfo(r);
    const THealthSummary s = panel->Summaries(0, 0);
    EXPECT_EQ(s.PowerStatus, c.status);
    EXPECT_EQ(S(s.PowerHint), S(c.hint));
  }
}

TEST(HealthHintText, QuotesJoinsTrimsAndCuts) {
  struct Case {
    QStringList items;
    QString text;
  };
  const Case cases[] = {
      {{}, ""},
      {{""}, ""},
      {{"a", "b"}, "a|b"},
      {{"a b"}, "a  b"},
      {{"x|y", "z"}, "x|y |z"},
      {{"a\tb", "c"}, "a\tb |c"},
      {{"", "c"}, "|c"},
      {{" one ", "two"}, "one   |two"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(S(c.items.join(',')));
    EXPECT_EQ(S(HealthHintText(c.items)), S(c.text));
  }

  EXPECT_EQ(HealthHintText({QString(300, 'x')}).size(), 256);
  EXPECT_EQ(HealthHintText({QString(300, 'x')}, 10), QString(10, 'x'));
  // A character outside the basic plane is never cut in half.
  const QString clef = QString::fromUcs4(U"\U0001D11E");
  const QString cut = HealthHintText({QString(255, 'x') + clef});
  EXPECT_EQ(cut, QString(255, 'x'));
}

}  // namespace
}  // namespace mpu::pages
