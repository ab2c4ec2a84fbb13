// The "Command Assembly" page: raw command frames typed field by field, and
// direct reads and writes of the audio board's registers.
#pragma once

#include "pages/main_page.h"
#include "protocol/system_records.h"

namespace mpu::pages {

class TCommandAssemblyPage : public TMainPage {
  Q_OBJECT

 public:
  TCommandAssemblyPage(TMainForm& main, QWidget* parent = nullptr);

  void UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus session) override;

  // An audio-board read answer (OnReceiveReadAudioBoardMessage).
  void MPUReceiveABMessage(const TMPUABDirectMessage& msg);
};

}  // namespace mpu::pages
