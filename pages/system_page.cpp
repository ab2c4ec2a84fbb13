#include "pages/system_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "pages/health_panel.h"

namespace mpu::pages {

TSystemPage::TSystemPage(TMainForm& main, QWidget* parent) : TMainPage(main, "tabSystem", parent) {
  auto* diagnostics = new QGroupBox(" Diagnostics ", this);
  diagnostics->setObjectName("grpDiagnostics");
  FHealthPanel = new THealthPanel(main, diagnostics);
  auto* inner = new QVBoxLayout(diagnostics);
  inner->addWidget(FHealthPanel);
  auto* layout = new QHBoxLayout(this);
  layout->addStretch(1);
  layout->addWidget(diagnostics, 2);
}

void TSystemPage::UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus session) {
  FHealthPanel->UpdateControlStates(connection, session);
}

}  // namespace mpu::pages
