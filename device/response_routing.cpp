// Routing of received control frames by opcode range: source and mixer
// messages become events, system messages are decoded here.
#include "device/aldrane_mpu.h"

#include <algorithm>

namespace mpu {

void TAldraneMPU::RouteResponse() {
  TMPUResponseMsg& frame = FControlMsgRxBuf;
  const std::uint8_t opcode = frame.Opcode();
  const std::uint16_t len = frame.PayloadLen();
  switch (ClassifyOpcode(opcode)) {
    case OpcodeClass::Dropped:
      return;
    case OpcodeClass::Source:
      if (OnReceiveSourceMessage) OnReceiveSourceMessage(*this, frame);
      return;
    case OpcodeClass::Mixer:
      if (OnReceiveMixerMessage) OnReceiveMixerMessage(*this, frame);
      return;
    case OpcodeClass::Reserved:
      frame.SetOpcode(0);
      return;
    case OpcodeClass::System:
      break;
  }

  if (len < MinAnswerPayloadLen(opcode)) return;
  switch (opcode) {
    case MPU_OP_FIRMWARE_INFO:
      if (FConnectionStatus != csOpened) return;
      FFirmwareInfo = frame.FirmwareInfo();
      if (OnReceiveFirmwaresInfo) OnReceiveFirmwaresInfo(*this);
      return;
    case MPU_OP_HEALTH_INFO:
      FHealthInfo = frame.HealthMsg();
      if (OnHealthInfo) OnHealthInfo(*this, FHealthInfo);
      return;
    case MPU_OP_SESSION:
      HandleSessionAnswer();
      return;
    case MPU_OP_MARKER:
      if (frame.Marker().MarkerId >= kFirstServerMarkerId && OnReceiveMixerMessage) OnReceiveMixerMessage(*this, frame);
      return;
    case MPU_OP_CONFIG_STORE:
      FConfigVersion = frame.MixerConfig().Version;
      if (OnConfigInfo) OnConfigInfo(*this, FConfigVersion);
      return;
    case MPU_OP_MASS_UPDATE:
      FMassUpdateActive = frame.MassUpdateControl().Active != 0;
      if (OnMassUpdateChange) OnMassUpdateChange(*this, FMassUpdateActive);
      return;
    case MPU_OP_CONSOLE_LIST:
      if (frame.ConsoleList().ConsoleCount == 0) return;
      RebuildConsoleList();
      return;
    case MPU_OP_CONSOLE_BRIGHTNESS: {
      if (FConsoleList.empty()) return;
      const TMPUConsoleBrightnessMessage b = frame.ConsoleBrightness();
      TMPUConsole* console = GetConsole(b.ConsoleId);
      if (console == nullptr) return;
      console->ReportedBrightness(b.Brightness);
      if (OnConsoleBrightnessChange) OnConsoleBrightnessChange(*this, *console);
      return;
    }
    case MPU_OP_FIRMWARE_UPLOAD:
      HandleUploadAnswer(frame.FirmwareXfer());
      return;
    case MPU_OP_FIRMWARE_DOWNLOAD:
      HandleDownloadAnswer(frame.FirmwareXfer());
      return;
    case MPU_OP_FIRMWARE_PROGRAM:
      HandleProgramAnswer(frame.FirmwareProg());
      return;
    case MPU_OP_BOARD_TAG_READ:
      if (OnReceiveBoardTagInfo) OnReceiveBoardTagInfo(*this, frame.BoardInfoTag());
      return;
    case MPU_OP_AB_DIRECT_READ: {
      const TMPUABDirectMessage msg = frame.ABDirectMsg();
      if (msg.Count > 0 && OnReceiveReadAudioBoardMessage) OnReceiveReadAudioBoardMessage(*this, msg);
      return;
    }
    default:
      return;
  }
}

void TAldraneMPU::HandleSessionAnswer() {
  const TMPUSessionMessage answer = FControlMsgRxBuf.SessionControl();
  if (answer.Active != 0 && answer.Key == FSessionKey) {
    if (FSessionStatus == ssInitializing) SetSessionStatus(ssLoggedOn);
    return;
  }
  if (FSessionStatus != ssLoggedOff) {
    FSessionKey = 0;
    SetSessionStatus(ssLoggedOff);
  }
}

void TAldraneMPU::RebuildConsoleList() {
  const TMPUConsoleListMessage list = FControlMsgRxBuf.ConsoleList();
  auto raise = [this] {
    if (OnConsoleListChange) OnConsoleListChange(*this);
  };
  try {
    FConsoleMaxCount = list.MaxConsoles;
    FStripCount = list.StripCount;
    FStripMaxCount = list.MaxStrips;
    ClearConsoleList();
    // The record holds eight entries; a larger count reads no further.
    const std::size_t count = std::min<std::size_t>(list.ConsoleCount, TMPUConsoleListMessage::kMaxEntries);
    for (std::size_t i = 0; i < count; ++i) {
      const TMPUConsoleEntry& e = list.Consoles[i];
      AddConsole(static_cast<TMPU_CONSOLE_TYPE>(e.ConsoleType), static_cast<TMPU_CONSOLE_INTERFACE>(e.Interface),
                 e.PortNumber, static_cast<TMPU_LOCATION_TYPE>(e.Location), e.StripCount, e.Brightness);
    }
  } catch (...) {
    raise();  // also after a failed rebuild
    throw;
  }
  raise();
}

}  // namespace mpu
