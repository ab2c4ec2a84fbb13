// The health panel of the System page: power modules, host board, audio
// board and self-test results from the unit's health report, the power-rail
// buttons, Refresh and the two summary LEDs.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

#include "device/mpu_types.h"
#include "protocol/system_records.h"

namespace mpu::pages {

class TMainForm;

// The environment and power summaries handed to IPC clients.
struct THealthSummary {
  std::uint32_t EnvironmentStatus = 0;
  QString EnvironmentHint;  // at most 256 characters
  std::uint32_t PowerStatus = 0;
  QString PowerHint;  // at most 256 characters
};

class THealthPanel : public QWidget {
  Q_OBJECT

 public:
  THealthPanel(TMainForm& main, QWidget* parent = nullptr);

  void UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus session);
  // A health report (OnHealthInfo): shows it, inside the update guard.
  void MPUHealthInfo(const TMPUHealthInfo& info);
  // The summaries of the latest report as the panel shows it.
  THealthSummary Summaries() const;

 private:
  TMainForm& Main;
};

}  // namespace mpu::pages
