// TMPUConsole: one console (control surface) of the unit's console list.
#pragma once

#include <cstdint>

#include "protocol/mixer_types.h"

namespace mpu {

class TMPUConsole {
 public:
  TMPUConsole(int id, TMPU_CONSOLE_TYPE consoleType, TMPU_CONSOLE_INTERFACE intfType, std::uint32_t portNo,
              TMPU_LOCATION_TYPE location, std::uint32_t stripCount, std::uint32_t brightness)
      : FId(id),
        FInterfaceType(intfType),
        FPortNo(portNo),
        FConsoleType(consoleType),
        FLocation(location),
        FStripCount(stripCount),
        FBrightness(brightness) {}

  bool Modified() const { return FModified; }
  int Id() const { return FId; }
  TMPU_CONSOLE_INTERFACE InterfaceType() const { return FInterfaceType; }
  std::uint32_t PortNo() const { return FPortNo; }
  TMPU_CONSOLE_TYPE ConsoleType() const { return FConsoleType; }
  TMPU_LOCATION_TYPE Location() const { return FLocation; }
  std::uint32_t StripCount() const { return FStripCount; }
  std::uint32_t Brightness() const { return FBrightness; }

  // Each setter marks the console modified only when the value changes.
  void SetInterfaceType(TMPU_CONSOLE_INTERFACE v) { Assign(FInterfaceType, v); }
  void SetConsoleType(TMPU_CONSOLE_TYPE v) { Assign(FConsoleType, v); }
  void SetLocation(TMPU_LOCATION_TYPE v) { Assign(FLocation, v); }
  void SetStripCount(std::uint32_t v) { Assign(FStripCount, v); }
  void SetBrightness(std::uint32_t v) { Assign(FBrightness, v); }

  // The brightness the unit reported; not an edit.
  void ReportedBrightness(std::uint32_t v) { FBrightness = v; }
  void ClearModified() { FModified = false; }

 private:
  template <class T>
  void Assign(T& field, T value) {
    if (field == value) return;
    field = value;
    FModified = true;
  }

  bool FModified = false;
  int FId;
  TMPU_CONSOLE_INTERFACE FInterfaceType;
  std::uint32_t FPortNo;
  TMPU_CONSOLE_TYPE FConsoleType;
  TMPU_LOCATION_TYPE FLocation;
  std::uint32_t FStripCount;
  std::uint32_t FBrightness;
};

}  // namespace mpu
