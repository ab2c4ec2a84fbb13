#include "pages/system_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "pages/health_panel.h"

namespace mpu::pages {

TSystemPage::TSystemPage(TMainForm& main, QWidget* parent) : TMainPage(main, "tabSystem", parent) {
  auto* diagnostics = new QGroupBox(" Diagnostics ", this);
  diagnostics->setObjectName("grpDiagnostics");
  diagnostics->setEnabled(false);
  grpDiagnostics = diagnostics;
  FHealthPanel = new THealthPanel(main, diagnostics);
  auto* inner = new QVBoxLayout(diagnostics);
  inner->addWidget(FHealthPanel);

  // Session, configuration, mass update and consoles go in the left column,
  // the general mixer settings below them; the diagnostics take the right.
  auto* layout = new QGridLayout(this);
  layout->setColumnStretch(0, 1);
  layout->setRowStretch(1, 1);
  layout->addWidget(diagnostics, 0, 1);
}

void TSystemPage::UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus session) {
  grpDiagnostics->setEnabled(connection == csOpened);
  FHealthPanel->UpdateControlStates(connection, session);
}

}  // namespace mpu::pages
