// The console list: a local copy of the unit's consoles, edited here and
// written back in one frame.
#include "device/aldrane_mpu.h"

#include <algorithm>

namespace mpu {

TMPUConsole* TAldraneMPU::AddConsole(TMPU_CONSOLE_TYPE aConsoleType, TMPU_CONSOLE_INTERFACE aIntfType,
                                     std::uint32_t aPortNo, TMPU_LOCATION_TYPE aLocation, std::uint32_t aStripCount,
                                     std::uint32_t aBrightness) {
  // The write frame carries eight entries; a larger maximum from the unit
  // is limited to that.
  const int limit = std::min<int>(FConsoleMaxCount, static_cast<int>(TMPUConsoleListMessage::kMaxEntries));
  if (ConsoleCount() >= limit) return nullptr;
  FConsoleList.push_back(std::make_unique<TMPUConsole>(ConsoleCount(), aConsoleType, aIntfType, aPortNo, aLocation,
                                                       aStripCount, aBrightness));
  return FConsoleList.back().get();
}

bool TAldraneMPU::RemoveConsole(TMPUConsole* aConsole) {
  const auto it = std::find_if(FConsoleList.begin(), FConsoleList.end(),
                               [aConsole](const std::unique_ptr<TMPUConsole>& c) { return c.get() == aConsole; });
  if (it == FConsoleList.end()) return false;
  FConsoleList.erase(it);
  return true;
}

void TAldraneMPU::ClearConsoleList() { FConsoleList.clear(); }

TMPUConsole* TAldraneMPU::GetConsole(int index) const {
  if (index < 0 || index >= ConsoleCount()) return nullptr;
  return FConsoleList[static_cast<std::size_t>(index)].get();
}

bool TAldraneMPU::CommitConsoleList() {
  if (FConsoleList.empty() || !FActive || FConnectionStatus != csOpened) return false;
  TMPUConsoleListMessage list;
  std::size_t n = 0;
  for (const auto& console : FConsoleList) {
    if (n == TMPUConsoleListMessage::kMaxEntries) break;
    TMPUConsoleEntry& e = list.Consoles[n];
    e.ConsoleId = static_cast<std::uint8_t>(n);
    e.StripCount = static_cast<std::uint8_t>(console->StripCount());
    e.Location = console->Location();
    e.Interface = console->InterfaceType();
    e.PortNumber = static_cast<std::uint16_t>(console->PortNo());
    e.ConsoleType = console->ConsoleType();
    e.Brightness = static_cast<std::uint8_t>(console->Brightness());
    console->ClearModified();
    ++n;
  }
  list.ConsoleCount = static_cast<std::uint8_t>(n);
  FControlMsgTxBuf.Prepare(MPU_OP_CONSOLE_LIST_WRITE, list);
  return QueueCommand();
}

bool TAldraneMPU::RequestConsoleList() {
  FControlMsgTxBuf.Prepare(MPU_OP_CONSOLE_LIST);
  return QueueCommand();
}

bool TAldraneMPU::SetConsoleBrightness(std::uint32_t aConsoleId, std::uint32_t aValue) {
  FControlMsgTxBuf.Prepare(MPU_OP_CONSOLE_BRIGHTNESS, TMPUConsoleBrightnessMessage{static_cast<std::uint8_t>(aConsoleId),
                                                                                  static_cast<std::uint8_t>(aValue)});
  return QueueCommand();
}

}  // namespace mpu
