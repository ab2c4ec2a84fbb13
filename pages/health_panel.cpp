#include "pages/health_panel.h"

namespace mpu::pages {

THealthPanel::THealthPanel(TMainForm& main, QWidget* parent) : QWidget(parent), Main(main) {
  setObjectName("pcMPUHealth");
}

void THealthPanel::UpdateControlStates(TMPUConnectionStatus, TMPUSessionStatus) {}

void THealthPanel::MPUHealthInfo(const TMPUHealthInfo&) {}

THealthSummary THealthPanel::Summaries() const { return {}; }

}  // namespace mpu::pages
