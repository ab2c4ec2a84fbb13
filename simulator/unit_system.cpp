// The unit's system commands (192..255) apart from firmware transfers:
// firmware list, health, session, configuration store, mass update,
// consoles, board tags, power rails, markers and the audio-board registers.
#include <algorithm>
#include <cmath>
#include <utility>

#include "simulator/unit_logic.h"

namespace mpu::sim {
namespace {

// The environment status of a reading against three rising thresholds.
std::uint8_t EnvLevel(double value, double elevated, double warning, double critical) {
  if (value >= critical) return static_cast<std::uint8_t>(EnvStatus::Critical);
  if (value >= warning) return static_cast<std::uint8_t>(EnvStatus::Warning);
  if (value >= elevated) return static_cast<std::uint8_t>(EnvStatus::Elevated);
  return static_cast<std::uint8_t>(EnvStatus::Good);
}

}  // namespace

void UnitLogic::HandleSystemCommand(const TMPUCommandMsg& msg, Clock::time_point now) {
  const std::uint8_t op = msg.Opcode();
  switch (op) {
    case MPU_OP_FIRMWARE_INFO:
      return AnswerFirmwareInfo(false, now);
    case MPU_OP_HEALTH_INFO:
      return Answer(op, HealthReport());
    case MPU_OP_SESSION:
      return HandleSession(msg.SessionControl(), now);
    case MPU_OP_HOST_READY:
      hostReady_ = true;
      return;
    case MPU_OP_MARKER:
      return Answer(op, msg.Marker());  // the echo tells the host its frames were handled
    case MPU_OP_CONFIG_STORE:
      return HandleConfigStore(msg.MixerConfigStore());
    case MPU_OP_MASS_UPDATE:
      return HandleMassUpdate(msg.MassUpdateControl(), now);
    case MPU_OP_CONSOLE_LIST:
      return Answer(op, mix_.Consoles);
    case MPU_OP_CONSOLE_LIST_WRITE:
      return HandleConsoleListWrite(msg.ConsoleList());
    case MPU_OP_CONSOLE_BRIGHTNESS: {
      const TMPUConsoleBrightnessMessage r = msg.ConsoleBrightness();
      if (r.ConsoleId >= mix_.Consoles.ConsoleCount ||
          r.ConsoleId >= TMPUConsoleListMessage::kMaxEntries)
        return Ignore();
      TMPUConsoleEntry& console = mix_.Consoles.Consoles[r.ConsoleId];
      console.Brightness = std::min<std::uint8_t>(r.Brightness, 7);
      return Report(op, TMPUConsoleBrightnessMessage{r.ConsoleId, console.Brightness});
    }
    case MPU_OP_POWER_CONTROL:
      return HandlePowerControl(msg.PowerControl());
    case MPU_OP_FIRMWARE_UPLOAD:
      return HandleUpload(msg.FirmwareXfer());
    case MPU_OP_FIRMWARE_DOWNLOAD:
      return HandleDownload(msg.FirmwareXfer());
    case MPU_OP_FIRMWARE_PROGRAM:
      return HandleProgram(msg.FirmwareProg(), now);
    case MPU_OP_BOARD_TAG_READ:
      return HandleBoardTagRead(msg.BoardInfoTag());
    case MPU_OP_BOARD_TAG_WRITE:
      return HandleBoardTagWrite(msg.BoardInfoTag());
    case MPU_OP_WRITE_UNLOCK:
      writeUnlocked_ = msg.WriteUnlock().Key == MPU_WRITE_UNLOCK_KEY;
      return;
    case MPU_OP_AB_DIRECT_WRITE:
      return HandleAudioBoard(msg.ABDirectMsg(), false);
    case MPU_OP_AB_DIRECT_READ:
      return HandleAudioBoard(msg.ABDirectMsg(), true);
    default:
      return Ignore();
  }
}

TMPUFirmwareInfoMsg UnitLogic::FirmwareInfo() const {
  TMPUFirmwareInfoMsg r;
  r.Signature = TMPUFirmwareInfoMsg::kSignature;
  r.PacketPageSize = config_.PacketPageSize;
  r.ControlPacketSize = config_.ControlPages;
  r.DataPacketSize = config_.DataPages;
  r.AuxPacketSize = config_.AuxPages;
  std::size_t n = 0;
  auto add = [&r, &n](std::uint8_t id, std::uint8_t major, std::uint8_t minor, std::uint16_t build,
                      std::uint8_t dev) {
    if (n < TMPUFirmwareInfoMsg::kMaxFirmwares)
      r.Firmwares[n++] = {id, major, minor, build, dev, {}};
  };
  for (const FirmwareImage& img : images_)
    if (img.FirmwareId != static_cast<std::uint8_t>(FirmwareId::Console))
      add(img.FirmwareId, img.Major, img.Minor, img.Build, 0);
  // One entry per console of the list.
  const std::size_t consoles = std::min<std::size_t>(mix_.Consoles.ConsoleCount, kMaxConsoles);
  for (std::size_t d = 0; d < consoles; ++d) {
    const Version& v = consoleVersions_[d];
    add(static_cast<std::uint8_t>(FirmwareId::Console), v.Major, v.Minor, v.Build,
        static_cast<std::uint8_t>(d));
  }
  r.FirmwareCount = static_cast<std::uint8_t>(n);
  return r;
}

TMPUHealthInfo UnitLogic::HealthReport() {
  // Readings wander a little around their nominal values.
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  auto drift = [&](double& v, double nominal, double step, double range) {
    v = nominal + std::clamp((v - nominal) * 0.9 + step * noise(healthRng_), -range, range);
  };
  drift(health_.Vdd120, 12050, 12, 60);
  drift(health_.Vdd50, 5010, 4, 25);
  drift(health_.Vdd33, 3305, 3, 15);
  drift(health_.HostTemp, 385, 3, 25);
  drift(health_.XmosVdd10, 1002, 1, 6);
  drift(health_.XmosVdd18, 1801, 2, 9);
  drift(health_.PsuTemp, 412, 3, 25);
  drift(health_.PsuHumidity, 385, 5, 40);

  TMPUHealthInfo r;
  r.Host_VDD120 = static_cast<std::uint16_t>(std::lround(health_.Vdd120));
  r.Host_VDD50 = static_cast<std::uint16_t>(std::lround(health_.Vdd50));
  r.Host_VDD33 = static_cast<std::uint16_t>(std::lround(health_.Vdd33));
  r.Host_Temp = static_cast<std::uint16_t>(std::lround(health_.HostTemp));
  r.XMOS_VDD10 = static_cast<std::uint16_t>(std::lround(health_.XmosVdd10));
  r.XMOS_VDD18 = static_cast<std::uint16_t>(std::lround(health_.XmosVdd18));
  r.XMOS_ModId = 1;
  r.XMOS_RunStatus = hostOpen_ ? 4 : 3;  // driver link active / running
  r.Host_GPIO_Ok = 1;
  r.FCS1_Pwr_Status = WireBool(mix_.Consoles.ConsoleCount >= 1);
  r.FCS2_Pwr_Status = WireBool(mix_.Consoles.ConsoleCount >= 2);
  r.Host_TestFailures = 0;
  r.AB_Present = 1;
  r.AB_RunStatus = 3;                                                    // running
  r.AB_PSUStatus = kABPsuNeg12VIn | kABPsu6V5 | kABPsu12VIn | kABPsu5V;  // links LK5 and LK6 fitted

  double hottest = health_.HostTemp;
  for (std::size_t i = 0; i < psus_.size(); ++i) {
    const PowerSupply& p = psus_[i];
    TMPUPowerSupplyInfo& info = r.PSU_Info[i];
    if (p.Kind == 0) continue;
    info.Kind = p.Kind;
    info.RailSwitches = p.Switches;
    // A rail is good while it is switched on; the 24 V input feeds +24 V and +48 V.
    std::uint16_t good = 0;
    if (p.Switches & (1u << static_cast<unsigned>(PowerRail::V3_3))) good |= kPsuGood3V3;
    if (p.Switches & (1u << static_cast<unsigned>(PowerRail::V12))) good |= kPsuGood12V;
    if (p.Switches & (1u << static_cast<unsigned>(PowerRail::VNeg12))) good |= kPsuGoodNeg12V;
    if (p.Switches & (1u << static_cast<unsigned>(PowerRail::V24In)))
      good |= kPsuGood24VIn | kPsuGood48V | kPsuGood24V;
    info.RailHealth = good;
    if (p.Kind >= 2) {
      info.Temperature = static_cast<std::int16_t>(std::lround(health_.PsuTemp));
      info.Humidity = static_cast<std::uint16_t>(std::lround(health_.PsuHumidity));
      hottest = std::max(hottest, health_.PsuTemp);
    }
  }
  const TMPUMixerSettingsMessage& s = mix_.Settings;
  r.TemperatureStatus = EnvLevel(hottest, s.TempElevated, s.TempWarning, s.TempCritical);
  r.HumidityStatus =
      EnvLevel(health_.PsuHumidity, s.HumWarning - 100.0, s.HumWarning, s.HumWarning + 100.0);
  return r;
}

void UnitLogic::HandleSession(const TMPUSessionMessage& req, Clock::time_point now) {
  // The answer grants (Active 1) or not, and carries the key of the session
  // the unit holds afterwards.
  bool granted = false;
  if (req.Active != 0) {
    if (sessionActive_ && sessionKey_ == req.Key) {
      granted = true;  // renewal
    } else if (!sessionActive_ && !refuseSessions_) {
      sessionActive_ = true;
      sessionKey_ = req.Key;
      granted = true;
    }
    if (granted) sessionExpiry_ = now + config_.SessionLease;
  } else if (sessionActive_ && sessionKey_ == req.Key) {
    sessionActive_ = false;
    sessionKey_ = 0;
  }
  Answer(MPU_OP_SESSION, TMPUSessionMessage{WireBool(granted), sessionActive_ ? sessionKey_ : 0});
}

void UnitLogic::HandleConfigStore(const TMPUConfigStoreMessage& req) {
  if (req.ControlFlags & 0x0002) {  // default configuration, then reboot to load it
    stored_ = DefaultMixerConfig();
    rebootRequested_ = true;
  } else if (req.ControlFlags & 0x0001) {
    stored_ = mix_;
  } else {
    Answer(MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{kConfigReportVersion, configVersion_});
  }
}

void UnitLogic::HandleMassUpdate(const TMPUMassUpdateMessage& req, Clock::time_point now) {
  massUpdate_ = req.Active != 0;
  massUpdateSilent_ = massUpdate_ && req.Silent != 0;
  massUpdateExpiry_ = now + config_.MassUpdateLease;
  Answer(MPU_OP_MASS_UPDATE,
         TMPUMassUpdateMessage{WireBool(massUpdate_), WireBool(massUpdateSilent_)});
}

void UnitLogic::HandleConsoleListWrite(const TMPUConsoleListMessage& list) {
  TMPUConsoleListMessage l;
  l.MaxConsoles = kMaxConsoles;
  l.MaxStrips = kStripCount;
  const std::size_t count = std::min<std::size_t>(list.ConsoleCount, kMaxConsoles);
  std::size_t strips = 0;
  for (std::size_t i = 0; i < count; ++i) {
    TMPUConsoleEntry e = list.Consoles[i];
    e.ConsoleId = static_cast<std::uint8_t>(i);
    if (e.Location > MPU_LOCATION_ST2) e.Location = MPU_LOCATION_CR1;
    if (e.Interface > MPU_CONSOLE_INTF_USB) e.Interface = MPU_CONSOLE_INTF_SERIAL;
    if (e.ConsoleType > MPU_CONSOLE_TYPE_FENDRAL) e.ConsoleType = MPU_CONSOLE_TYPE_NONE;
    e.Brightness = std::min<std::uint8_t>(e.Brightness, 7);
    e.Reserved1 = 0;
    e.Reserved2 = {};
    strips += e.StripCount;
    l.Consoles[i] = e;
  }
  l.ConsoleCount = static_cast<std::uint8_t>(count);
  l.StripCount = static_cast<std::uint8_t>(std::min(strips, kStripCount));
  // The list is written to the store at once; the unit reboots to use it.
  mix_.Consoles = stored_.Consoles = l;
  rebootRequested_ = true;
}

void UnitLogic::HandleBoardTagRead(const TMPUBoardTagMessage& req) {
  if (req.BoardId > kMaxBoardId) return Ignore();
  for (const TMPUBoardTagMessage& t : boardTags_)
    if (t.BoardId == req.BoardId && t.DeviceId == req.DeviceId)
      return Answer(MPU_OP_BOARD_TAG_READ, t);
  TMPUBoardTagMessage blank;  // a board without a tag answers an empty one
  blank.BoardId = req.BoardId;
  blank.DeviceId = req.DeviceId;
  Answer(MPU_OP_BOARD_TAG_READ, blank);
}

void UnitLogic::HandleBoardTagWrite(const TMPUBoardTagMessage& tag) {
  // A tag is written only right after the write-unlock code; the unlock is
  // used up by the write.
  if (!std::exchange(writeUnlocked_, false) || tag.BoardId > kMaxBoardId) return Ignore();
  TMPUBoardTagMessage t = tag;
  t.SerialNo.back() = t.Revision.back() = t.Batch.back() = t.Manufacturer.back() =
      t.QualityCheck.back() = 0;
  for (TMPUBoardTagMessage& existing : boardTags_)
    if (existing.BoardId == t.BoardId && existing.DeviceId == t.DeviceId) return void(existing = t);
  boardTags_.push_back(t);
}

void UnitLogic::HandleAudioBoard(const TMPUABDirectMessage& msg, bool read) {
  const std::size_t address = msg.Address & kABAddressMask;
  const std::size_t count = std::min<std::size_t>(msg.Count, kABMaxCount);
  if (read) {
    TMPUABDirectMessage a;
    a.Address = msg.Address;
    a.Count = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < count; ++i)
      a.Values[i] = address + i < abRegisters_.size() ? abRegisters_[address + i] : 0;
    return Answer(MPU_OP_AB_DIRECT_READ, a);
  }
  // Register writes, and the clock speed at 0x0FFF; registers past the
  // last one are not there.
  for (std::size_t i = 0; i < count && address + i < abRegisters_.size(); ++i)
    abRegisters_[address + i] = msg.Values[i];
}

void UnitLogic::HandlePowerControl(const TMPUPowerControlMessage& msg) {
  if (msg.ModuleId >= psus_.size() || msg.RailId >= kPowerRailCount ||
      psus_[msg.ModuleId].Kind == 0)
    return Ignore();
  const auto bit = static_cast<std::uint8_t>(1u << msg.RailId);
  std::uint8_t& sw = psus_[msg.ModuleId].Switches;
  sw = static_cast<std::uint8_t>(msg.Active != 0 ? (sw | bit) : (sw & ~bit));
}

}  // namespace mpu::sim
