// The health panel of the System page: power modules, host board, audio
// board and self-test results from the unit's health report, the power-rail
// buttons, Refresh and the two summary LEDs.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>

#include "device/mpu_types.h"
#include "protocol/system_records.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace mpu {
class TSRLED;
class TSRSpeedButton;
}  // namespace mpu

namespace mpu::pages {

class TMainForm;

// The environment and power summaries handed to IPC clients.
struct THealthSummary {
  std::uint32_t EnvironmentStatus = 0;
  QString EnvironmentHint;  // at most 256 characters
  std::uint32_t PowerStatus = 0;
  QString PowerHint;  // at most 256 characters
};

// The items joined as delimited text: '|' between items, an item holding a
// blank, '|' or a control character enclosed in blanks with its blanks
// doubled; the result trimmed of blanks and control characters at both ends
// and cut to `maxChars` UTF-16 units (never inside a surrogate pair).
QString HealthHintText(const QStringList& items, int maxChars = 256);

class THealthPanel : public QWidget {
  Q_OBJECT

 public:
  // Colours of a good and of a failed rail.
  static inline const QColor kRailGood{0, 255, 0};
  static inline const QColor kRailFailed{255, 0, 0};
  static constexpr int kSupplyCount = 3;
  static constexpr int kSelfTestCount = 16;

  THealthPanel(TMainForm& main, QWidget* parent = nullptr);

  void UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus session);
  // A health report (OnHealthInfo): shows it, inside the update guard.
  void MPUHealthInfo(const TMPUHealthInfo& info);
  // The summaries of the latest report as the panel shows it: the
  // environment states of the device component's current report, the
  // readings and rail states from the page.
  THealthSummary Summaries() const;
  // The same with the two environment states given.
  THealthSummary Summaries(std::uint8_t TemperatureStatus, std::uint8_t HumidityStatus) const;

  // The four rails of a supply in the order of the page.
  enum RailButton { rb24VIn = 0, rb12V, rb12VNeg, rb3V3, kRailButtonCount };

  QTabWidget* pcMPUHealth = nullptr;
  QPushButton* btnHealthStatusRefresh = nullptr;
  TSRLED* ledSystemTempStatus = nullptr;
  TSRLED* ledSystemHumStatus = nullptr;

  // Power modules ("- PSU Int -" is supply 1, "- PSU Ext 1 -" 2, "- PSU Ext 2 -" 3).
  QCheckBox* chkStatusPSU1Present = nullptr;
  QCheckBox* chkStatusPSU2Present = nullptr;
  QCheckBox* chkStatusPSU3Present = nullptr;
  TSRSpeedButton* btnStatusPSU1_24VIn = nullptr;
  TSRSpeedButton* btnStatusPSU1_12V = nullptr;
  TSRSpeedButton* btnStatusPSU1_12VNEG = nullptr;
  TSRSpeedButton* btnStatusPSU1_3V3 = nullptr;
  TSRSpeedButton* btnStatusPSU2_24VIn = nullptr;
  TSRSpeedButton* btnStatusPSU2_12V = nullptr;
  TSRSpeedButton* btnStatusPSU2_12VNEG = nullptr;
  TSRSpeedButton* btnStatusPSU2_3V3 = nullptr;
  TSRSpeedButton* btnStatusPSU3_24VIn = nullptr;
  TSRSpeedButton* btnStatusPSU3_12V = nullptr;
  TSRSpeedButton* btnStatusPSU3_12VNEG = nullptr;
  TSRSpeedButton* btnStatusPSU3_3V3 = nullptr;
  TSRLED* ledStatusPSU1_24V = nullptr;
  TSRLED* ledStatusPSU1_48V = nullptr;
  TSRLED* ledStatusPSU2_24V = nullptr;
  TSRLED* ledStatusPSU2_48V = nullptr;
  TSRLED* ledStatusPSU3_24V = nullptr;
  TSRLED* ledStatusPSU3_48V = nullptr;
  QLabel* lblStatusPSU1_Temperature = nullptr;
  QLabel* lblStatusPSU1_Humidity = nullptr;

  // Host board and USB audio module.
  QLabel* lblStatusHost12VIn = nullptr;
  QLabel* lblStatusHost5VSupply = nullptr;
  QLabel* lblStatusHost3V3Supply = nullptr;
  QLabel* lblStatusHostTemperature = nullptr;
  QLabel* lblStatusHostGPIOSupply = nullptr;
  QLabel* lblStatusConsole1Supply = nullptr;
  QLabel* lblStatusConsole2Supply = nullptr;
  QLabel* lblStatusXMOS1V8Supply = nullptr;
  QLabel* lblStatusXMOS1VSupply = nullptr;
  QLabel* lblStatusXMOSStatus = nullptr;

  // Audio board.
  QLabel* lblStatusAudioStatus = nullptr;
  QCheckBox* chkStatusAudio_12VIn = nullptr;
  QCheckBox* chkStatusAudio_12VNegIn = nullptr;
  QCheckBox* chkStatusAudio_6V5 = nullptr;
  QCheckBox* chkStatusAudio_5V = nullptr;
  QCheckBox* chkStatusAudio_LK5 = nullptr;
  QCheckBox* chkStatusAudio_LK6 = nullptr;

  // Self tests, by bit of Host_TestFailures.
  QCheckBox* chkStatusHostTestFrontPanel = nullptr;
  QCheckBox* chkStatusHostTestGPIO1 = nullptr;
  QCheckBox* chkStatusHostTestGPIO2 = nullptr;
  QCheckBox* chkStatusHostTestGPIO3 = nullptr;
  QCheckBox* chkStatusHostTestUSBHub = nullptr;
  QCheckBox* chkStatusHostTestSensor = nullptr;
  QCheckBox* chkStatusHostTestEUI48Address = nullptr;
  QCheckBox* chkStatusHostTestEUI64Address = nullptr;
  QCheckBox* chkStatusHostTestNVRam = nullptr;
  QCheckBox* chkStatusHostTestNORFlash = nullptr;
  QCheckBox* chkStatusHostTestNANDFlash = nullptr;
  QCheckBox* chkStatusHostTestSDCard = nullptr;
  QCheckBox* chkStatusHostTestDRAMAddress = nullptr;
  QCheckBox* chkStatusHostTestDRAMWalk0 = nullptr;
  QCheckBox* chkStatusHostTestDRAMWalk1 = nullptr;
  QCheckBox* chkStatusHostTestDRAMPattern = nullptr;

 private:
  struct TSupplyControls {
    QCheckBox* Present = nullptr;
    std::array<TSRSpeedButton*, kRailButtonCount> Rails{};
    TSRLED* Led24V = nullptr;
    TSRLED* Led48V = nullptr;
  };

  QWidget* BuildPowerModules();
  QWidget* BuildHostBoard();
  QWidget* BuildAudioBoard();
  QWidget* BuildSelfTest();

  // Writes a report into the controls; `connected` false shows the
  // disconnected state whatever the report holds.
  void Show(const TMPUHealthInfo& info, bool connected);
  void ShowSupply(int index, const TMPUPowerSupplyInfo& supply, bool connected);
  void ShowSupplyState(QLabel* label, std::uint8_t code, bool connected);
  void ShowEnvStatus(TSRLED* led, std::uint8_t code, bool connected);
  void RailClicked(TSRSpeedButton* button, int rail);

  TMainForm& Main;
  std::array<TSupplyControls, kSupplyCount> FSupplies{};
  std::array<QCheckBox*, kSelfTestCount> FSelfTests{};
};

}  // namespace mpu::pages
