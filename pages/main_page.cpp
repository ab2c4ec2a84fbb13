#include "pages/main_page.h"

namespace mpu::pages {

TMainPage::TMainPage(TMainForm& main, const QString& objectName, QWidget* parent) : QWidget(parent), Main(main) {
  setObjectName(objectName);
}

void TMainPage::UpdateControlStates(TMPUConnectionStatus, TMPUSessionStatus) {}

void TMainPage::SessionStatusChanged(TMPUConnectionStatus, TMPUSessionStatus) {}

void TMainPage::RefreshPage() {}

}  // namespace mpu::pages
