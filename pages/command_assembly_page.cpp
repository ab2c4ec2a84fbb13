#include "pages/command_assembly_page.h"

namespace mpu::pages {

TCommandAssemblyPage::TCommandAssemblyPage(TMainForm& main, QWidget* parent)
    : TMainPage(main, "tabRawCommands", parent) {}

void TCommandAssemblyPage::UpdateControlStates(TMPUConnectionStatus, TMPUSessionStatus) {}

void TCommandAssemblyPage::MPUReceiveABMessage(const TMPUABDirectMessage&) {}

}  // namespace mpu::pages
