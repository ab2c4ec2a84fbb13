// What travels on the pipe besides the owner's bytes: the 16-byte control
// markers that frame a long message, the chunk size, the socket options and
// the socket address a pipe name stands for. Shared by the server and the
// client side.
//
// A pipe is an AF_UNIX SOCK_SEQPACKET socket in the abstract namespace, so
// message boundaries are kept and any local user may connect. A message of
// at most kPipeChunkSize bytes travels as one socket message; a longer one
// as a start marker, chunks of at most kPipeChunkSize bytes and an end
// marker.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include <QString>
#include <QStringView>

namespace mpu::ipc {

inline constexpr std::size_t kPipeChunkSize = 65534;
inline constexpr std::size_t kPipeMarkerSize = 16;

// Four ASCII characters as the little-endian word they form on the wire.
constexpr std::uint32_t FourCC(const char (&code)[5]) {
  return std::uint32_t(std::uint8_t(code[0])) | std::uint32_t(std::uint8_t(code[1])) << 8 |
         std::uint32_t(std::uint8_t(code[2])) << 16 | std::uint32_t(std::uint8_t(code[3])) << 24;
}

inline constexpr std::uint32_t kMarkerMagic = FourCC("MAGC");
inline constexpr std::uint32_t kMarkerStart = FourCC("STMB");
inline constexpr std::uint32_t kMarkerEnd = FourCC("ETMB");

// The marker 16, "MAGC", command, "MAGC".
std::array<std::uint8_t, kPipeMarkerSize> MakePipeMarker(std::uint32_t command);

// The command of a message that is a control marker (16 bytes: 16, "MAGC",
// command, "MAGC"); nullopt for any other message.
std::optional<std::uint32_t> PipeMarkerCommand(std::span<const std::uint8_t> message);

// Pipe names: 1 to 256 UTF-16 units, no backslash.
inline constexpr qsizetype kMaxPipeNameLength = 256;
bool IsValidPipeName(QStringView name);

// The abstract socket address of a pipe name: a NUL byte, then the name's
// UTF-8 bytes. A name whose UTF-8 form is longer than the 107 bytes an
// address can hold becomes its first 90 bytes, '#', and 16 hex digits of
// the 64-bit FNV-1a hash of the whole UTF-8 name.
struct TPipeAddress {
  sockaddr_un Address{};
  socklen_t Length = 0;
};
TPipeAddress PipeAddress(QStringView name);

// Send buffer asked for on both ends; the kernel doubles it within its
// limit. It holds several full chunks, so a chunk never fails for its size.
inline constexpr int kPipeSocketBuffer = 256 * 1024;
// Raises the socket's send buffer to kPipeSocketBuffer when it is smaller.
void ConfigurePipeSocket(int fd);

// Default limit on one received message, single or long.
inline constexpr std::uint64_t kDefaultMaxMessageSize = 256ull * 1024 * 1024;

// A received message of 0 bytes and the end of the stream both read as 0
// bytes on a SOCK_SEQPACKET socket. After such a read: true when the peer
// has closed and nothing but empty messages is left.
bool PeerHasClosed(int fd);

}  // namespace mpu::ipc
