#include "ipc/aldrane_ipc_server_types.h"

#include <algorithm>
#include <cstring>

#include "ipc/byte_stream.h"

namespace mpu::ipc {
namespace {

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

using D = TIPCDirection;
constexpr std::int32_t kNo = TIPCOpcodeInfo::kNotSent;
constexpr auto L = [](std::size_t n) { return static_cast<std::int32_t>(n); };

constexpr TIPCOpcodeInfo kCatalogue[] = {
    {IPC_MSG_LOGON, "IPC_MSG_LOGON", D::ClientToServer, L(TAldraneServerLogOnOffMsg::kSize),
     L(TAldraneServerLogOnOffMsg::kSize)},
    {IPC_MSG_LOGOFF, "IPC_MSG_LOGOFF", D::ClientToServer, 0, L(TAldraneServerLogOnOffMsg::kSize)},
    {IPC_MSG_METERING_SETUP, "IPC_MSG_METERING_SETUP", D::ClientToServer,
     L(TAldraneServerNotifySetupMsg::kSize), L(TAldraneServerNotifySetupMsg::kSize)},
    {IPC_MSG_MENU_KEYS_SETUP, "IPC_MSG_MENU_KEYS_SETUP", D::ClientToServer,
     L(TAldraneServerNotifySetupMsg::kSize), L(TAldraneServerNotifySetupMsg::kSize)},
    {IPC_MSG_PREVIEW_KEYS_SETUP, "IPC_MSG_PREVIEW_KEYS_SETUP", D::ClientToServer,
     L(TAldraneServerNotifySetupMsg::kSize), L(TAldraneServerNotifySetupMsg::kSize)},
    {IPC_MSG_HEALTH_SETUP, "IPC_MSG_HEALTH_SETUP", D::ClientToServer,
     L(TAldraneServerNotifySetupMsg::kSize), kNo},
    {IPC_MSG_CONNECTION_STATUS, "IPC_MSG_CONNECTION_STATUS", D::ServerToClient, kNo,
     L(TAldraneServerConnectionMsg::kSize)},
    {IPC_MSG_MIXER_STATS, "IPC_MSG_MIXER_STATS", D::Both, 0, L(TAldraneServerMixerStatsMsg::kSize)},
    {IPC_MSG_CR_MONITOR_PARAMS, "IPC_MSG_CR_MONITOR_PARAMS", D::Both, 0,
     L(TAldraneServerMonitorParamsMsg::kSize)},
    {IPC_MSG_REQUEST_ONAIR_STATUS, "IPC_MSG_REQUEST_ONAIR_STATUS", D::ClientToServer, 0, kNo},
    {IPC_MSG_CR_MONITOR_SELECT, "IPC_MSG_CR_MONITOR_SELECT", D::ServerToClient, kNo,
     L(TAldraneServerMonitorMsg::kSize)},
    {IPC_MSG_REQUEST_STRIP_ID, "IPC_MSG_REQUEST_STRIP_ID", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_MONITOR_SOURCE, "IPC_MSG_MONITOR_SOURCE", D::ServerToClient, kNo,
     L(TAldraneServerMonitorMsg::kSize)},
    {IPC_MSG_PREVIEW_STATUS, "IPC_MSG_PREVIEW_STATUS", D::ServerToClient, kNo,
     L(TAldraneServerControlMsg::kSize)},
    {IPC_MSG_KEY_EVENT, "IPC_MSG_KEY_EVENT", D::ServerToClient, kNo,
     L(TAldraneServerControlMsg::kSize)},
    {IPC_MSG_ONAIR_STATUS, "IPC_MSG_ONAIR_STATUS", D::ServerToClient, kNo,
     L(TAldraneServerControlMsg::kSize)},
    {IPC_MSG_RECORD_PRESET_STATUS, "IPC_MSG_RECORD_PRESET_STATUS", D::ServerToClient, kNo,
     L(TAldraneServerRecordPresetMsg::kSize)},
    {IPC_MSG_ALIAS_CONTROL_STATUS, "IPC_MSG_ALIAS_CONTROL_STATUS", D::ServerToClient, kNo,
     L(TAldraneServerAliasControlMsg::kSize)},
    {IPC_MSG_GUI_CONTROL, "IPC_MSG_GUI_CONTROL", D::ServerToClient, kNo,
     L(TAldraneServerGUIControlMsg::kSize)},
    {IPC_MSG_MIXER_HEALTH, "IPC_MSG_MIXER_HEALTH", D::ServerToClient, kNo,
     L(TAldraneServerMixerHealthMsg::kSize)},
    {IPC_MSG_DELAY_FUNCTION_STATUS, "IPC_MSG_DELAY_FUNCTION_STATUS", D::ServerToClient, kNo,
     L(TAldraneServerControlMsg::kSize)},
    {IPC_MSG_SET_PREVIEW, "IPC_MSG_SET_PREVIEW", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_SET_TALLY, "IPC_MSG_SET_TALLY", D::ClientToServer, L(TAldraneServerControlMsg::kSize),
     kNo},
    {IPC_MSG_LIVE_LOG, "IPC_MSG_LIVE_LOG", D::ClientToServer, L(TAldraneServerControlMsg::kSize),
     kNo},
    {IPC_MSG_DTX_MODE, "IPC_MSG_DTX_MODE", D::ClientToServer, L(TAldraneServerControlMsg::kSize),
     kNo},
    {IPC_MSG_RECORD_PRESET, "IPC_MSG_RECORD_PRESET", D::ClientToServer,
     L(TAldraneServerRecordPresetMsg::kSize), kNo},
    {IPC_MSG_ALIAS_CONTROL, "IPC_MSG_ALIAS_CONTROL", D::ClientToServer,
     L(TAldraneServerAliasControlMsg::kSize), kNo},
    {IPC_MSG_DELAY_FUNCTION, "IPC_MSG_DELAY_FUNCTION", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_INSOURCE_ACQUIRE, "IPC_MSG_INSOURCE_ACQUIRE", D::Both,
     L(TAldraneServerInsourceAquireMsg::kSize), L(TAldraneServerInsourceAquireMsg::kSize)},
    {IPC_MSG_VIRTUAL_CONTROL, "IPC_MSG_VIRTUAL_CONTROL", D::ServerToClient, kNo,
     L(TAldraneServerVControlMsg::kSize)},
    {IPC_MSG_INSOURCE_ON, "IPC_MSG_INSOURCE_ON", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_INSOURCE_PFL, "IPC_MSG_INSOURCE_PFL", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_INSOURCE_FADER, "IPC_MSG_INSOURCE_FADER", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_INSOURCE_GAIN_TRIM, "IPC_MSG_INSOURCE_GAIN_TRIM", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_INSOURCE_PAN, "IPC_MSG_INSOURCE_PAN", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_INSOURCE_ON_STATUS, "IPC_MSG_INSOURCE_ON_STATUS", D::ServerToClient, kNo,
     L(TAldraneServerControlMsg::kSize)},
    {IPC_MSG_INSOURCE_STRIP, "IPC_MSG_INSOURCE_STRIP", D::ServerToClient, kNo,
     L(TAldraneServerControlMsg::kSize)},
    {IPC_MSG_STRIP_EDIT, "IPC_MSG_STRIP_EDIT", D::ServerToClient, kNo,
     L(TAldraneServerControlMsg::kSize)},
    {IPC_MSG_LOAD_MIXER_PRESET, "IPC_MSG_LOAD_MIXER_PRESET", D::ClientToServer, 0, kNo},
    {IPC_MSG_EDIT_SOURCE_PROPERTIES, "IPC_MSG_EDIT_SOURCE_PROPERTIES", D::ClientToServer, 0, kNo},
    {IPC_MSG_ASSIGN_SOURCE, "IPC_MSG_ASSIGN_SOURCE", D::ClientToServer, 0, kNo},
    {IPC_MSG_EDIT_MONITOR, "IPC_MSG_EDIT_MONITOR", D::ClientToServer, 0, kNo},
    {IPC_MSG_SET_MONITOR_SEND_SOURCE, "IPC_MSG_SET_MONITOR_SEND_SOURCE", D::ClientToServer,
     L(TAldraneServerControlMsg::kSize), kNo},
    {IPC_MSG_CHANNEL_MENU, "IPC_MSG_CHANNEL_MENU", D::ClientToServer,
     L(TAldraneServerChannelMenuMsg::kSize), kNo},
    {IPC_MSG_ENTER_SOFT_MENU, "IPC_MSG_ENTER_SOFT_MENU", D::Both,
     L(TAldraneServerSoftMenuMsg::kSize), L(TAldraneServerSoftMenuMsg::kSize)},
    {IPC_MSG_EXIT_SOFT_MENU, "IPC_MSG_EXIT_SOFT_MENU", D::ClientToServer,
     L(TAldraneServerSoftMenuMsg::kSize), kNo},
    {IPC_MSG_REMOTE_PROCEDURE, "IPC_MSG_REMOTE_PROCEDURE", D::ClientToServer,
     L(TAldraneServerRemoteProcedureMsg::kSize), kNo},
    {IPC_MSG_SERVER_SHUTDOWN, "IPC_MSG_SERVER_SHUTDOWN", D::ServerToClient, kNo, 0},
};

}  // namespace

std::size_t WriteWideText(std::span<char16_t> field, std::u16string_view text) {
  if (field.empty()) return 0;
  std::size_t n = std::min(text.size(), field.size() - 1);
  // A cut between the halves of a pair would leave half a character.
  if (n > 0 && n < text.size() && IsHighSurrogate(text[n - 1])) --n;
  std::copy_n(text.begin(), n, field.begin());
  std::fill(field.begin() + static_cast<std::ptrdiff_t>(n), field.end(), u'\0');
  return n;
}

std::u16string ReadWideText(std::span<const char16_t> field) {
  const auto end = std::find(field.begin(), field.end(), u'\0');
  return std::u16string(field.begin(), end);
}

std::string_view ClientTypeName(std::uint32_t clientType) {
  static constexpr std::string_view kNames[kClientTypeCount] = {
      "Unknown", "OnAir Enterprise", "OnAir Professional", "Scheduling Enterprise",
      "Scheduling Professional"};
  return clientType < kClientTypeCount ? kNames[clientType] : std::string_view();
}

std::string TAldraneIPCServerMsg::SignatureText() const {
  const auto sig = Signature();
  const auto end = std::find(sig.begin(), sig.end(), std::uint8_t{0});
  return std::string(sig.begin(), end);
}

std::size_t TAldraneIPCServerMsg::WireSize() const {
  return std::min<std::size_t>(kHeaderSize + PayloadLen(), kSize);
}

void InitServerMessage(TAldraneIPCServerMsg& Msg) {
  InitServerMessage(Msg, TAldraneIPCServerMsg::kSize);
}

void InitServerMessage(TAldraneIPCServerMsg& Msg, std::size_t MessageSize) {
  const auto bytes = Msg.Bytes();
  std::fill_n(bytes.begin(), std::min(MessageSize, bytes.size()), std::uint8_t{0});
  std::copy(kIPCSignature.begin(), kIPCSignature.end(), bytes.begin());
  std::fill(bytes.begin() + kIPCSignature.size(),
            bytes.begin() + TAldraneIPCServerMsg::kSignatureSize, std::uint8_t{0});
  Msg.SetRevision(kIPCRevision);
}

TAldraneIPCServerMsg MakeServerMessage(std::uint32_t opcode) {
  TAldraneIPCServerMsg msg;
  InitServerMessage(msg);
  msg.SetOpcode(opcode);
  return msg;
}

std::optional<TAldraneIPCServerMsg> ReadServerMessage(std::span<const std::uint8_t> message) {
  TAldraneIPCServerMsg msg;
  const std::size_t received = std::min(message.size(), TAldraneIPCServerMsg::kSize);
  std::copy_n(message.begin(), received, msg.Bytes().begin());
  if (received < TAldraneIPCServerMsg::kHeaderSize + std::size_t{msg.PayloadLen()})
    return std::nullopt;
  if (msg.SignatureText() != kIPCSignature) return std::nullopt;
  return msg;
}

std::optional<TAldraneIPCServerMsg> ReadServerMessage(TByteStream& stream) {
  std::array<std::uint8_t, TAldraneIPCServerMsg::kSize> buffer{};
  std::size_t received = 0;
  while (received < buffer.size()) {
    const std::size_t n = stream.Read(std::span(buffer).subspan(received));
    if (n == 0) break;
    received += n;
  }
  return ReadServerMessage(std::span(buffer).first(received));
}

std::span<const TIPCOpcodeInfo> IPCOpcodeCatalogue() {
  return kCatalogue;
}

const TIPCOpcodeInfo* FindIPCOpcode(std::uint32_t opcode, TIPCDirection sentBy) {
  for (const TIPCOpcodeInfo& info : kCatalogue) {
    if (info.Opcode != opcode) continue;
    const std::int32_t len =
        sentBy == TIPCDirection::ClientToServer ? info.ClientPayloadLen : info.ServerPayloadLen;
    if (sentBy != TIPCDirection::Both && len != TIPCOpcodeInfo::kNotSent) return &info;
  }
  return nullptr;
}

}  // namespace mpu::ipc
