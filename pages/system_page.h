// The "System" page: session, configuration store, mass update, consoles,
// general mixer settings, and the diagnostics group with the health panel.
#pragma once

#include "pages/main_page.h"

namespace mpu::pages {

class THealthPanel;

class TSystemPage : public TMainPage {
  Q_OBJECT

 public:
  TSystemPage(TMainForm& main, QWidget* parent = nullptr);

  void UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus session) override;

  THealthPanel* HealthPanel() const { return FHealthPanel; }

 private:
  QWidget* grpDiagnostics;
  THealthPanel* FHealthPanel;
};

}  // namespace mpu::pages
