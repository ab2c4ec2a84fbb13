// The "Command Assembly" page: raw command frames typed field by field, and
// direct reads and writes of the audio board's registers.
#pragma once

#include <cstdint>
#include <optional>

#include "pages/main_page.h"
#include "protocol/system_records.h"

class QCheckBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace mpu::pages {

// An integer as the grids take it: decimal, or hexadecimal after "$" or
// "0x", with an optional sign; surrounding blanks are ignored. Hexadecimal
// values use all 32 bits ("$FFFFFFFF" is -1). nullopt when the text is no
// integer or does not fit 32 bits.
std::optional<std::int32_t> ParseGridInteger(const QString& text);

class TCommandAssemblyPage : public TMainPage {
  Q_OBJECT

 public:
  // Rows of the USB command grid.
  static constexpr int kUSBOpcodeRow = 0;
  static constexpr int kUSBRevisionRow = 1;
  static constexpr int kUSBPayloadLengthRow = 2;
  static constexpr int kUSBFirstDataRow = 3;
  static constexpr int kUSBDataRows = 16;
  // Rows of the audio-board grid.
  static constexpr int kABAddressRow = 0;
  static constexpr int kABDataLengthRow = 1;
  static constexpr int kABFirstDataRow = 2;
  static constexpr int kABDataRows = 32;
  // The register address that sets the board's SPI clock (in kHz).
  static constexpr std::uint16_t kABClockSpeedAddress = 0x0FFF;

  TCommandAssemblyPage(TMainForm& main, QWidget* parent = nullptr);

  void UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus session) override;

  // An audio-board read answer (OnReceiveReadAudioBoardMessage).
  void MPUReceiveABMessage(const TMPUABDirectMessage& msg);

  QTableWidget* editUSBCommand;
  QPushButton* btnUSBMsgClear;
  QPushButton* btnUSBMsgExecute;
  QTableWidget* editABCommand;
  QPushButton* btnABMsgClear;
  QPushButton* btnABMsgWrite;
  QPushButton* btnABMsgRead;
  QCheckBox* chkABMultiHAMEnable;
  QSpinBox* editABClockSpeed;
  QCheckBox* chkABLogSourceControlMsgs;

 private:
  void USBMsgClearClick();
  void USBMsgExecuteClick();
  void ABMsgClearClick();
  void ABMsgReadClick();
  void ABMsgWriteClick();
  void ABClockSpeedChange(int kHz);

  // The register count of the audio-board grid, at most kABDataRows
  // ("Data length" is corrected when it asked for more); 0 when nothing is
  // to be sent.
  int ABDataLength();
};

}  // namespace mpu::pages
