// The IPC frame exchanged with client applications, its payload records,
// enumerations, opcodes and error codes.
//
// One frame, TAldraneIPCServerMsg (4096 bytes), travels as one pipe
// message: a 32-byte header, then one payload record chosen by the opcode.
// Only the first PayloadLen + 32 bytes are sent. Everything is
// little-endian and packed; text fields are fixed arrays of UTF-16 units
// holding a NUL-terminated string. Records follow the style of protocol/:
// plain structs with kSize and a `fields` list of (offset, name, field).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/mixer_types.h"
#include "protocol/system_records.h"
#include "protocol/wire.h"

namespace mpu::ipc {

class TByteStream;

// ---------------------------------------------------------------------------
// UTF-16 text fields.

template <std::size_t N>
using WideChars = std::array<char16_t, N>;

// Copies `text` into a field of N units: cut to N - 1 units (never between
// the two halves of a surrogate pair), NUL-terminated, rest zero. Returns
// the units written without the terminator.
std::size_t WriteWideText(std::span<char16_t> field, std::u16string_view text);
// The text of a field up to its first NUL, or the whole field.
std::u16string ReadWideText(std::span<const char16_t> field);

template <std::size_t N>
std::size_t SetWideText(WideChars<N>& field, std::u16string_view text) {
  return WriteWideText(field, text);
}
template <std::size_t N>
std::u16string WideText(const WideChars<N>& field) {
  return ReadWideText(field);
}

// ---------------------------------------------------------------------------
// Enumerations (carried in Cardinal fields).

enum TAldraneServerConnectionStatus : std::uint32_t {
  pcsClosed = 0,
  pcsDisconnecting = 1,
  pcsConnecting = 2,
  pcsConnected = 3,     // server running, MPU not open
  pcsMPUConnected = 4,  // MPU link open
  pcsMPUSession = 5,    // MPU session logged on
};

enum TAldraneServerClientType : std::uint32_t {
  pctUnknown = 0,
  pctOnAirEnt = 1,
  pctOnAirPro = 2,
  pctSchedulingEnt = 3,
  pctSchedulingPro = 4,
};
inline constexpr std::uint32_t kClientTypeCount = 5;

// "Unknown", "OnAir Enterprise", ...; empty for a value outside the type.
std::string_view ClientTypeName(std::uint32_t clientType);

enum TAldraneServerMonitorId : std::uint32_t {
  pmoCRPresetPGM1 = 0,
  pmoCRPresetPGM2 = 1,
  pmoCRPresetREC = 2,
  pmoCRPresetAUX = 3,
  pmoCRPresetMISC = 4,
  pmoStudioSpeaker = 5,
  pmoHeadphonesA = 6,
  pmoHeadphonesB = 7,
  pmoMonitorCount = 8,
};

enum TAldraneServerDelayFunction : std::uint32_t {
  pdfNone = 0,
  pdfDelayIn = 1,
  pdfDelayOut = 2,
  pdfDelayDump = 3,
};

// Notification types of TAldraneServerNotifySetupMsg.
inline constexpr std::uint32_t IPC_NOTIFY_NONE = 0;
inline constexpr std::uint32_t IPC_NOTIFY_WINDOW_MESSAGE = 1;
inline constexpr std::uint32_t IPC_NOTIFY_PIPE_MESSAGE = 2;

// Values the server puts into its log-on answers.
inline constexpr std::uint32_t kIPCServerVersion = 0x0100;
inline constexpr std::uint32_t kIPCPacketSize = 4096;

// ---------------------------------------------------------------------------
// Opcodes. 103 and 104 mean one thing from clients and another from the
// server; no other number is reused.

inline constexpr std::uint32_t IPC_MSG_LOGON = 1;
inline constexpr std::uint32_t IPC_MSG_LOGOFF = 2;
inline constexpr std::uint32_t IPC_MSG_METERING_SETUP = 3;
inline constexpr std::uint32_t IPC_MSG_MENU_KEYS_SETUP = 4;
inline constexpr std::uint32_t IPC_MSG_PREVIEW_KEYS_SETUP = 5;
inline constexpr std::uint32_t IPC_MSG_HEALTH_SETUP = 6;
inline constexpr std::uint32_t IPC_MSG_CONNECTION_STATUS = 100;
inline constexpr std::uint32_t IPC_MSG_MIXER_STATS = 101;
inline constexpr std::uint32_t IPC_MSG_CR_MONITOR_PARAMS = 102;
inline constexpr std::uint32_t IPC_MSG_REQUEST_ONAIR_STATUS = 103;  // client to server
inline constexpr std::uint32_t IPC_MSG_CR_MONITOR_SELECT = 103;     // server to client
inline constexpr std::uint32_t IPC_MSG_REQUEST_STRIP_ID = 104;      // client to server
inline constexpr std::uint32_t IPC_MSG_MONITOR_SOURCE = 104;        // server to client
inline constexpr std::uint32_t IPC_MSG_PREVIEW_STATUS = 105;
inline constexpr std::uint32_t IPC_MSG_KEY_EVENT = 106;
inline constexpr std::uint32_t IPC_MSG_ONAIR_STATUS = 107;
inline constexpr std::uint32_t IPC_MSG_RECORD_PRESET_STATUS = 109;
inline constexpr std::uint32_t IPC_MSG_ALIAS_CONTROL_STATUS = 110;
inline constexpr std::uint32_t IPC_MSG_GUI_CONTROL = 111;
inline constexpr std::uint32_t IPC_MSG_MIXER_HEALTH = 112;
inline constexpr std::uint32_t IPC_MSG_DELAY_FUNCTION_STATUS = 113;
inline constexpr std::uint32_t IPC_MSG_SET_PREVIEW = 150;
inline constexpr std::uint32_t IPC_MSG_SET_TALLY = 151;
inline constexpr std::uint32_t IPC_MSG_LIVE_LOG = 152;
inline constexpr std::uint32_t IPC_MSG_DTX_MODE = 153;
inline constexpr std::uint32_t IPC_MSG_RECORD_PRESET = 154;
inline constexpr std::uint32_t IPC_MSG_ALIAS_CONTROL = 155;
inline constexpr std::uint32_t IPC_MSG_DELAY_FUNCTION = 156;
inline constexpr std::uint32_t IPC_MSG_INSOURCE_ACQUIRE = 200;
inline constexpr std::uint32_t IPC_MSG_VIRTUAL_CONTROL = 201;
inline constexpr std::uint32_t IPC_MSG_INSOURCE_ON = 202;
inline constexpr std::uint32_t IPC_MSG_INSOURCE_PFL = 203;
inline constexpr std::uint32_t IPC_MSG_INSOURCE_FADER = 204;
inline constexpr std::uint32_t IPC_MSG_INSOURCE_GAIN_TRIM = 205;
inline constexpr std::uint32_t IPC_MSG_INSOURCE_PAN = 206;
inline constexpr std::uint32_t IPC_MSG_INSOURCE_ON_STATUS = 210;
inline constexpr std::uint32_t IPC_MSG_INSOURCE_STRIP = 211;
inline constexpr std::uint32_t IPC_MSG_STRIP_EDIT = 212;
inline constexpr std::uint32_t IPC_MSG_LOAD_MIXER_PRESET = 300;
inline constexpr std::uint32_t IPC_MSG_EDIT_SOURCE_PROPERTIES = 301;
inline constexpr std::uint32_t IPC_MSG_ASSIGN_SOURCE = 302;
inline constexpr std::uint32_t IPC_MSG_EDIT_MONITOR = 303;
inline constexpr std::uint32_t IPC_MSG_SET_MONITOR_SEND_SOURCE = 304;
inline constexpr std::uint32_t IPC_MSG_CHANNEL_MENU = 305;
inline constexpr std::uint32_t IPC_MSG_ENTER_SOFT_MENU = 320;
inline constexpr std::uint32_t IPC_MSG_EXIT_SOFT_MENU = 321;
inline constexpr std::uint32_t IPC_MSG_REMOTE_PROCEDURE = 322;
inline constexpr std::uint32_t IPC_MSG_SERVER_SHUTDOWN = 1000;

// Error codes of answers (0 is success; -2 and -11 are not used).
inline constexpr std::int32_t IPC_ERR_CLIENT_CREATE = -1;
inline constexpr std::int32_t IPC_ERR_CLIENT_TYPE = -3;
inline constexpr std::int32_t IPC_ERR_BROADCAST_ID = -4;
inline constexpr std::int32_t IPC_ERR_ALREADY_LOGGED_ON = -5;
inline constexpr std::int32_t IPC_ERR_NOT_LOGGED_ON = -6;
inline constexpr std::int32_t IPC_ERR_NOTIFICATION_TYPE = -7;
inline constexpr std::int32_t IPC_ERR_INPUT_IN_USE = -8;
inline constexpr std::int32_t IPC_ERR_INPUT_MODE = -9;
inline constexpr std::int32_t IPC_ERR_MPU_NOT_OPEN = -10;
inline constexpr std::int32_t IPC_ERR_OUTPUT_SOURCE = -12;
inline constexpr std::int32_t IPC_ERR_PRESET_ID = -13;
inline constexpr std::int32_t IPC_ERR_ALIAS_REFUSED = -14;
inline constexpr std::int32_t IPC_ERR_ALIAS_TYPE = -15;

// ---------------------------------------------------------------------------
// Payload records.

struct TAldraneServerLogOnOffMsg {
  static constexpr std::size_t kSize = 24;
  std::uint32_t ClientType = 0;   // TAldraneServerClientType
  std::uint32_t AppHandle = 0;    // the client's main window, may be 0
  std::uint32_t BroadcastId = 0;  // studio served: 1 or 2
  std::uint32_t ServerVersion = 0;
  std::uint32_t PacketSize = 0;
  std::uint32_t MultiStudioMode = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ClientType", r.ClientType);
    v(4, "AppHandle", r.AppHandle);
    v(8, "BroadcastId", r.BroadcastId);
    v(12, "ServerVersion", r.ServerVersion);
    v(16, "PacketSize", r.PacketSize);
    v(20, "MultiStudioMode", r.MultiStudioMode);
  }
};

struct TAldraneServerNotifySetupMsg {
  static constexpr std::size_t kSize = 8;
  std::uint32_t NotificationType = 0;  // IPC_NOTIFY_*
  std::uint32_t Handle = 0;            // window receiving posted messages, else 0

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "NotificationType", r.NotificationType);
    v(4, "Handle", r.Handle);
  }
};

struct TAldraneServerConnectionMsg {
  static constexpr std::size_t kSize = 4;
  std::uint32_t Status = 0;  // TAldraneServerConnectionStatus

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Status", r.Status);
  }
};

struct TAldraneServerControlMsg {
  static constexpr std::size_t kSize = 8;
  std::uint32_t ControlId = 0;  // the source id for requests on an input
  std::int32_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ControlId", r.ControlId);
    v(4, "Value", r.Value);
  }
};

struct TAldraneServerMonitorSource {
  static constexpr std::size_t kSize = 46;
  static constexpr std::size_t kNameChars = 20;
  std::uint16_t Id = 0;       // a source id
  std::uint16_t Options = 0;  // 0
  WideChars<kNameChars + 1> Name{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Id", r.Id);
    v(2, "Options", r.Options);
    v(4, "Name", r.Name);
  }
};

struct TAldraneServerMonitorMsg {
  static constexpr std::size_t kSize = 50;
  std::uint32_t Id = 0;  // TAldraneServerMonitorId or a control-room preset id
  TAldraneServerMonitorSource SendSource{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Id", r.Id);
    v(4, "SendSource", r.SendSource);
  }
};

struct TAldraneServerMixerStatsMsg {
  static constexpr std::size_t kSize = 20;
  std::uint32_t InSourcePFcount = 0;
  std::uint32_t CRMicPFCount = 0;
  std::uint32_t CRMicLiveCount = 0;
  std::uint32_t STMicPFCount = 0;
  std::uint32_t STMicLiveCount = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "InSourcePFcount", r.InSourcePFcount);
    v(4, "CRMicPFCount", r.CRMicPFCount);
    v(8, "CRMicLiveCount", r.CRMicLiveCount);
    v(12, "STMicPFCount", r.STMicPFCount);
    v(16, "STMicLiveCount", r.STMicLiveCount);
  }
};

struct TAldraneServerMonitorParamsMsg {
  static constexpr std::size_t kSize = 374;
  std::uint8_t PrefadeActive = 0;
  std::uint8_t PreviewActive = 0;
  std::uint8_t APFActive = 0;
  std::uint8_t SplitActive = 0;
  std::uint16_t PresetId = 0;
  std::array<TAldraneServerMonitorSource, pmoMonitorCount>
      SendSources{};  // by TAldraneServerMonitorId

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "PrefadeActive", r.PrefadeActive);
    v(1, "PreviewActive", r.PreviewActive);
    v(2, "APFActive", r.APFActive);
    v(3, "SplitActive", r.SplitActive);
    v(4, "PresetId", r.PresetId);
    v(6, "SendSources", r.SendSources);
  }
};

struct TAldraneServerInsourceAquireMsg {
  static constexpr std::size_t kSize = 16;
  std::uint32_t SourceId = 0;
  std::uint32_t Mode = 0;      // TMPU_INSOURCE_MODE
  std::uint32_t Aquire = 0;    // 0 in answers, not read from requests
  std::uint32_t Assigned = 0;  // 0 in answers, not read from requests

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceId", r.SourceId);
    v(4, "Mode", r.Mode);
    v(8, "Aquire", r.Aquire);
    v(12, "Assigned", r.Assigned);
  }
};

struct TAldraneServerVControlMsg {
  static constexpr std::size_t kSize = 12;
  std::uint32_t SourceID = 0;
  std::uint32_t ControlId = 0;
  std::int32_t Value = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(4, "ControlId", r.ControlId);
    v(8, "Value", r.Value);
  }
};

struct TAldraneServerRecordPresetMsg {
  static constexpr std::size_t kSize = 234;
  static constexpr std::size_t kStrParamChars = 100;
  std::uint32_t SourceID = 0;  // output source to record on (16..31)
  std::int32_t PresetId = 0;
  std::uint32_t Active = 0;        // non-zero: start, 0: stop
  std::uint32_t SendSourceId = 0;  // in answers: the send source now routed
  std::int32_t Recordconfig = 0;
  std::int32_t Param1 = 0;
  std::int32_t Param2 = 0;
  std::int32_t Param3 = 0;
  WideChars<kStrParamChars + 1> StrParam1{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "SourceID", r.SourceID);
    v(4, "PresetId", r.PresetId);
    v(8, "Active", r.Active);
    v(12, "SendSourceId", r.SendSourceId);
    v(16, "Recordconfig", r.Recordconfig);
    v(20, "Param1", r.Param1);
    v(24, "Param2", r.Param2);
    v(28, "Param3", r.Param3);
    v(32, "StrParam1", r.StrParam1);
  }
};

struct TAldraneServerSoftMenuButton {
  static constexpr std::size_t kSize = 484;
  static constexpr std::size_t kShortLabelChars = 10;
  static constexpr std::size_t kCaptionChars = 30;
  static constexpr std::size_t kHintChars = 80;
  std::uint32_t Position = 0;  // 0..7
  std::uint32_t Kind = 0;      // 0 empty, 1 navigation, 2 function, 3 record preset
  std::int32_t ActionId = 0;   // menu id (-1 closes the menu), function id or record preset id
  std::uint32_t Enabled = 0;
  std::uint32_t Param = 0;  // channel (strip) id for channel menus, else 0
  std::array<std::uint8_t, 12> Unused1{};
  std::uint32_t Color = 0;  // kind 3: 0x00BBGGRR
  WideChars<kShortLabelChars + 1> ShortLabel{};
  WideChars<kCaptionChars + 1> Caption{};
  WideChars<kHintChars + 1> Hint{};
  std::array<std::uint8_t, 202> Unused2{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "Position", r.Position);
    v(4, "Kind", r.Kind);
    v(8, "ActionId", r.ActionId);
    v(12, "Enabled", r.Enabled);
    v(16, "Param", r.Param);
    v(20, "Unused1", r.Unused1);
    v(32, "Color", r.Color);
    v(36, "ShortLabel", r.ShortLabel);
    v(58, "Caption", r.Caption);
    v(120, "Hint", r.Hint);
    v(282, "Unused2", r.Unused2);
  }
};

struct TAldraneServerSoftMenuMsg {
  static constexpr std::size_t kSize = 3888;
  static constexpr std::size_t kHeaderSize = 16;
  static constexpr std::size_t kMaxButtons = 8;
  std::int32_t GroupId = 0;
  std::int32_t MenuId = 0;
  std::int32_t ButtonCount = 0;  // 0..8
  std::uint32_t Reserved = 0;
  std::array<TAldraneServerSoftMenuButton, kMaxButtons> Buttons{};

  // PayloadLen of an answer carrying `buttonCount` buttons (limited to 0..8).
  static constexpr std::uint16_t PayloadLenFor(std::int32_t buttonCount) {
    const std::int32_t n = buttonCount < 0 ? 0 : (buttonCount > 8 ? 8 : buttonCount);
    return static_cast<std::uint16_t>(kHeaderSize + TAldraneServerSoftMenuButton::kSize *
                                                        static_cast<std::size_t>(n));
  }

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "GroupId", r.GroupId);
    v(4, "MenuId", r.MenuId);
    v(8, "ButtonCount", r.ButtonCount);
    v(12, "Reserved", r.Reserved);
    v(16, "Buttons", r.Buttons);
  }
};

struct TAldraneServerRemoteProcedureMsg {
  static constexpr std::size_t kSize = 222;
  static constexpr std::size_t kStrParamChars = 100;
  std::int32_t ProcedureId = 0;
  std::int32_t Param1 = 0;
  std::int32_t Param2 = 0;
  std::int32_t Param3 = 0;
  std::int32_t Param4 = 0;
  WideChars<kStrParamChars + 1> StrParam1{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "ProcedureId", r.ProcedureId);
    v(4, "Param1", r.Param1);
    v(8, "Param2", r.Param2);
    v(12, "Param3", r.Param3);
    v(16, "Param4", r.Param4);
    v(20, "StrParam1", r.StrParam1);
  }
};

struct TAldraneServerAliasControlMsg {
  static constexpr std::size_t kSize = 218;
  static constexpr std::size_t kAliasNameChars = 100;
  WideChars<kAliasNameChars + 1> AliasName{};
  std::uint32_t AliasType = 0;
  std::int32_t Param1 = 0;  // non-zero: activate
  std::int32_t Param2 = 0;
  std::int32_t Param3 = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "AliasName", r.AliasName);
    v(202, "AliasType", r.AliasType);
    v(206, "Param1", r.Param1);
    v(210, "Param2", r.Param2);
    v(214, "Param3", r.Param3);
  }
};

struct TAldraneServerChannelMenuMsg {
  static constexpr std::size_t kSize = 16;
  std::int32_t GroupId = 0;
  std::int32_t LevelId = 0;
  std::int32_t ButtonCount = 0;
  std::uint32_t ChannelId = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "GroupId", r.GroupId);
    v(4, "LevelId", r.LevelId);
    v(8, "ButtonCount", r.ButtonCount);
    v(12, "ChannelId", r.ChannelId);
  }
};

struct TAldraneServerGUIControlMsg {
  static constexpr std::size_t kSize = 12;
  std::uint32_t GUIElementId = 0;
  std::int32_t Visible = 0;
  std::int32_t Enabled = 0;

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "GUIElementId", r.GUIElementId);
    v(4, "Visible", r.Visible);
    v(8, "Enabled", r.Enabled);
  }
};

struct TAldraneServerMixerHealthMsg {
  static constexpr std::size_t kSize = 1136;
  static constexpr std::size_t kMaxFirmwares = 10;
  static constexpr std::size_t kHintChars = 256;
  std::uint32_t FirmwareCount = 0;  // valid entries of Firmwares
  std::array<TMPUFirmwareInfo, kMaxFirmwares> Firmwares{};
  std::int32_t USBAudioInstalled = 0;  // module id of the USB audio module, 0: none
  std::int32_t MIC58Installded = 0;    // 1 when the audio board is present
  std::int32_t Reserved1 = 0;
  std::int32_t Reserved2 = 0;
  std::int32_t EnvironmentStatus = 0;  // 0 normal, 1 warning, 3 critical
  WideChars<kHintChars + 1> EnvironmentHint{};
  std::int32_t PowerStatus = 0;  // 0 normal, 2 power supply fault
  WideChars<kHintChars + 1> PowerHint{};

  template <class V, class S>
  static constexpr void fields(V&& v, S& r) {
    v(0, "FirmwareCount", r.FirmwareCount);
    v(4, "Firmwares", r.Firmwares);
    v(84, "USBAudioInstalled", r.USBAudioInstalled);
    v(88, "MIC58Installded", r.MIC58Installded);
    v(92, "Reserved1", r.Reserved1);
    v(96, "Reserved2", r.Reserved2);
    v(100, "EnvironmentStatus", r.EnvironmentStatus);
    v(104, "EnvironmentHint", r.EnvironmentHint);
    v(618, "PowerStatus", r.PowerStatus);
    v(622, "PowerHint", r.PowerHint);
  }
};

static_assert(wire::IsContiguous<TAldraneServerLogOnOffMsg>());
static_assert(wire::IsContiguous<TAldraneServerNotifySetupMsg>());
static_assert(wire::IsContiguous<TAldraneServerConnectionMsg>());
static_assert(wire::IsContiguous<TAldraneServerControlMsg>());
static_assert(wire::IsContiguous<TAldraneServerMonitorSource>());
static_assert(wire::IsContiguous<TAldraneServerMonitorMsg>());
static_assert(wire::IsContiguous<TAldraneServerMixerStatsMsg>());
static_assert(wire::IsContiguous<TAldraneServerMonitorParamsMsg>());
static_assert(wire::IsContiguous<TAldraneServerInsourceAquireMsg>());
static_assert(wire::IsContiguous<TAldraneServerVControlMsg>());
static_assert(wire::IsContiguous<TAldraneServerRecordPresetMsg>());
static_assert(wire::IsContiguous<TAldraneServerSoftMenuButton>());
static_assert(wire::IsContiguous<TAldraneServerSoftMenuMsg>());
static_assert(wire::IsContiguous<TAldraneServerRemoteProcedureMsg>());
static_assert(wire::IsContiguous<TAldraneServerAliasControlMsg>());
static_assert(wire::IsContiguous<TAldraneServerChannelMenuMsg>());
static_assert(wire::IsContiguous<TAldraneServerGUIControlMsg>());
static_assert(wire::IsContiguous<TAldraneServerMixerHealthMsg>());

// ---------------------------------------------------------------------------
// The frame.

inline constexpr std::string_view kIPCSignature = "$ALDR_IPCMSG$";
inline constexpr std::uint16_t kIPCRevision = 1;

class TAldraneIPCServerMsg {
 public:
  static constexpr std::size_t kSize = 4096;
  static constexpr std::size_t kHeaderSize = 32;
  static constexpr std::size_t kPayloadSize = kSize - kHeaderSize;
  static constexpr std::size_t kSignatureSize = 16;

  // All zero; InitServerMessage adds the signature and revision.
  TAldraneIPCServerMsg() = default;

  std::span<const std::uint8_t, kSignatureSize> Signature() const {
    return std::span(FBytes).first<kSignatureSize>();
  }
  std::uint16_t Revision() const { return wire::GetLE<std::uint16_t>(&FBytes[16]); }
  std::uint16_t PayloadLen() const { return wire::GetLE<std::uint16_t>(&FBytes[18]); }
  std::uint32_t Opcode() const { return wire::GetLE<std::uint32_t>(&FBytes[20]); }
  std::int32_t ErrorCode() const { return wire::GetLE<std::int32_t>(&FBytes[24]); }
  std::int32_t Reserved() const { return wire::GetLE<std::int32_t>(&FBytes[28]); }
  void SetRevision(std::uint16_t v) { wire::PutLE(&FBytes[16], v); }
  void SetPayloadLen(std::uint16_t v) { wire::PutLE(&FBytes[18], v); }
  void SetOpcode(std::uint32_t v) { wire::PutLE(&FBytes[20], v); }
  void SetErrorCode(std::int32_t v) { wire::PutLE(&FBytes[24], v); }
  void SetReserved(std::int32_t v) { wire::PutLE(&FBytes[28], v); }

  // The signature as text: its bytes up to the first NUL.
  std::string SignatureText() const;

  std::span<std::uint8_t, kSize> Bytes() { return FBytes; }
  std::span<const std::uint8_t, kSize> Bytes() const { return FBytes; }
  std::span<std::uint8_t, kPayloadSize> Payload() {
    return std::span(FBytes).subspan<kHeaderSize>();
  }
  std::span<const std::uint8_t, kPayloadSize> Payload() const {
    return std::span(FBytes).subspan<kHeaderSize>();
  }

  // The payload read as record R.
  template <wire::Record R>
  R View() const {
    static_assert(R::kSize <= kPayloadSize);
    return *wire::Decode<R>(Payload());
  }
  // Writes record R at the start of the payload; PayloadLen is not touched.
  template <wire::Record R>
  void SetView(const R& record) {
    static_assert(R::kSize <= kPayloadSize);
    wire::Encode(record, Payload());
  }
  // Writes record R and sets PayloadLen to its size.
  template <wire::Record R>
  void SetPayload(const R& record) {
    SetView(record);
    SetPayloadLen(static_cast<std::uint16_t>(R::kSize));
  }

  // The bytes that are sent: the header and PayloadLen payload bytes, at
  // most the whole frame.
  std::size_t WireSize() const;
  std::span<const std::uint8_t> WireBytes() const { return std::span(FBytes).first(WireSize()); }

  friend bool operator==(const TAldraneIPCServerMsg&, const TAldraneIPCServerMsg&) = default;

 private:
  std::array<std::uint8_t, kSize> FBytes{};
};

// Zero-fills the frame (or its first MessageSize bytes, at most the frame),
// then sets Signature and Revision.
void InitServerMessage(TAldraneIPCServerMsg& Msg);
void InitServerMessage(TAldraneIPCServerMsg& Msg, std::size_t MessageSize);

// A frame with signature, revision, opcode and, when given, the payload.
TAldraneIPCServerMsg MakeServerMessage(std::uint32_t opcode);
template <wire::Record R>
TAldraneIPCServerMsg MakeServerMessage(std::uint32_t opcode, const R& payload) {
  TAldraneIPCServerMsg msg = MakeServerMessage(opcode);
  msg.SetPayload(payload);
  return msg;
}

// Reads a received message as a frame: at most its first 4096 bytes into a
// zero-filled frame. nullopt, meaning the message is ignored, when fewer
// than PayloadLen + 32 bytes arrived or the signature text (up to its first
// NUL) is not "$ALDR_IPCMSG$". Revision, ErrorCode and Reserved are not
// checked.
std::optional<TAldraneIPCServerMsg> ReadServerMessage(std::span<const std::uint8_t> message);
// The same for a message stream, read from its current position.
std::optional<TAldraneIPCServerMsg> ReadServerMessage(TByteStream& stream);

// ---------------------------------------------------------------------------
// Opcode catalogue.

enum class TIPCDirection : std::uint8_t {
  ClientToServer = 1,
  ServerToClient = 2,
  Both = 3,
};

struct TIPCOpcodeInfo {
  static constexpr std::int32_t kNotSent = -1;
  std::uint32_t Opcode;
  std::string_view Name;
  TIPCDirection Direction;
  // PayloadLen of what clients send with this opcode, and of what the
  // server sends with it (answers included); kNotSent when that side never
  // sends it. Soft-menu answers give their largest size.
  std::int32_t ClientPayloadLen;
  std::int32_t ServerPayloadLen;
};

std::span<const TIPCOpcodeInfo> IPCOpcodeCatalogue();
// The entry of an opcode as sent in one direction (ClientToServer or
// ServerToClient); nullptr when that side never sends it.
const TIPCOpcodeInfo* FindIPCOpcode(std::uint32_t opcode, TIPCDirection sentBy);

}  // namespace mpu::ipc
