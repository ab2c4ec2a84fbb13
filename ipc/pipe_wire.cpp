#include "ipc/pipe_wire.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include <QByteArray>

namespace mpu::ipc {
namespace {

void PutWord(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetWord(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

std::uint64_t Fnv1a64(const QByteArray& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : bytes) {
    h ^= static_cast<std::uint8_t>(c);
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

std::array<std::uint8_t, kPipeMarkerSize> MakePipeMarker(std::uint32_t command) {
  std::array<std::uint8_t, kPipeMarkerSize> m{};
  PutWord(&m[0], static_cast<std::uint32_t>(kPipeMarkerSize));
  PutWord(&m[4], kMarkerMagic);
  PutWord(&m[8], command);
  PutWord(&m[12], kMarkerMagic);
  return m;
}

std::optional<std::uint32_t> PipeMarkerCommand(std::span<const std::uint8_t> message) {
  if (message.size() != kPipeMarkerSize) return std::nullopt;
  if (GetWord(&message[0]) != kPipeMarkerSize || GetWord(&message[4]) != kMarkerMagic ||
      GetWord(&message[12]) != kMarkerMagic)
    return std::nullopt;
  return GetWord(&message[8]);
}

bool IsValidPipeName(QStringView name) {
  return !name.isEmpty() && name.size() <= kMaxPipeNameLength && !name.contains(u'\\');
}

TPipeAddress PipeAddress(QStringView name) {
  TPipeAddress a;
  a.Address.sun_family = AF_UNIX;
  constexpr std::size_t kRoom = sizeof(a.Address.sun_path) - 1;  // after the leading NUL
  QByteArray bytes = name.toUtf8();
  if (static_cast<std::size_t>(bytes.size()) > kRoom) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(bytes)));
    bytes = bytes.left(90) + '#' + QByteArray(hash, 16);
  }
  a.Address.sun_path[0] = '\0';
  std::memcpy(a.Address.sun_path + 1, bytes.constData(), static_cast<std::size_t>(bytes.size()));
  a.Length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                    static_cast<std::size_t>(bytes.size()));
  return a;
}

void ConfigurePipeSocket(int fd) {
  int current = 0;
  socklen_t len = sizeof current;
  if (::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &current, &len) == 0 &&
      current >= 2 * kPipeSocketBuffer)
    return;
  const int want = kPipeSocketBuffer;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &want,
               sizeof want);  // best effort: the default already fits a chunk
}

bool PeerHasClosed(int fd) {
  pollfd p{fd, POLLIN | POLLRDHUP, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  if ((p.revents & (POLLRDHUP | POLLHUP)) == 0) return false;
  int queued = 0;
  if (::ioctl(fd, SIOCINQ, &queued) != 0) return true;
  return queued == 0;
}

}  // namespace mpu::ipc
