#include "ipc/byte_stream.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>

namespace mpu::ipc {

void TByteStream::Seek(std::uint64_t position) {
  FPosition = std::min(position, Size());
}

std::vector<std::uint8_t> TByteStream::ReadAll() {
  Seek(0);
  const std::uint64_t size = Size();
  if (size > std::numeric_limits<std::size_t>::max()) throw std::bad_alloc();
  std::vector<std::uint8_t> all(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < all.size()) {
    const std::size_t n = Read(std::span(all).subspan(done));
    if (n == 0) break;
    done += n;
  }
  all.resize(done);
  return all;
}

// ---------------------------------------------------------------------------

std::size_t TFastMemStream::GrownCapacity(std::size_t request) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  if (request <= kSmallGrowth) return request + kSmallGrowth;
  if (request > kMax - request / 4) throw std::bad_alloc();
  return request + request / 4;
}

void TFastMemStream::SetCapacity(std::size_t capacity) {
  if (capacity == 0) {
    FBlock.reset();
    FCapacity = 0;
    FSize = 0;
    FPosition = 0;
    return;
  }
  if (capacity <= FCapacity) return;
  const std::size_t grown = GrownCapacity(capacity);
  auto block = std::make_unique<std::uint8_t[]>(grown);  // zero-filled
  if (FSize != 0) std::memcpy(block.get(), FBlock.get(), FSize);
  FBlock = std::move(block);
  FCapacity = grown;
}

void TFastMemStream::SetSize(std::size_t size) {
  if (size == 0) {
    SetCapacity(0);
    return;
  }
  SetCapacity(size);
  if (size > FSize) std::memset(FBlock.get() + FSize, 0, size - FSize);
  FSize = size;
  FPosition = std::min<std::uint64_t>(FPosition, FSize);
}

void TFastMemStream::Truncate() {
  FSize = 0;
  FPosition = 0;
}

void TFastMemStream::SetFilledSize(std::size_t size) {
  FSize = std::min(size, FCapacity);
  FPosition = 0;
}

void TFastMemStream::Clear() {
  SetCapacity(0);
}

std::size_t TFastMemStream::Read(std::span<std::uint8_t> out) {
  const std::size_t pos = static_cast<std::size_t>(FPosition);
  const std::size_t n = std::min(out.size(), FSize - pos);
  if (n != 0) std::memcpy(out.data(), FBlock.get() + pos, n);
  FPosition += n;
  return n;
}

void TFastMemStream::Write(std::span<const std::uint8_t> in) {
  if (in.empty()) return;
  const std::size_t pos = static_cast<std::size_t>(FPosition);
  if (in.size() > std::numeric_limits<std::size_t>::max() - pos) throw std::bad_alloc();
  const std::size_t end = pos + in.size();
  if (end > FSize) {
    SetCapacity(end);
    FSize = end;
  }
  std::memcpy(FBlock.get() + pos, in.data(), in.size());
  FPosition = end;
}

// ---------------------------------------------------------------------------

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string("/tmp");
}

std::unique_ptr<TTempFileStream> TTempFileStream::Create() {
  return CreateIn(TempDirectory());
}

std::unique_ptr<TTempFileStream> TTempFileStream::CreateIn(const std::string& directory) {
  TUniqueFd fd(
      ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (!fd) return nullptr;
  return std::make_unique<TTempFileStream>(std::move(fd));
}

std::size_t TTempFileStream::Read(std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size() && FPosition < FSize) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - done, FSize - FPosition));
    const ssize_t n = ::pread(FFd.Get(), out.data() + done, want, static_cast<off_t>(FPosition));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::system_error(errno, std::system_category(), "pread");
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    FPosition += static_cast<std::uint64_t>(n);
  }
  return done;
}

void TTempFileStream::Write(std::span<const std::uint8_t> in) {
  std::size_t done = 0;
  while (done < in.size()) {
    const ssize_t n =
        ::pwrite(FFd.Get(), in.data() + done, in.size() - done, static_cast<off_t>(FPosition));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::system_error(errno, std::system_category(), "pwrite");
    done += static_cast<std::size_t>(n);
    FPosition += static_cast<std::uint64_t>(n);
    FSize = std::max(FSize, FPosition);
  }
}

void TTempFileStream::Clear() {
  if (::ftruncate(FFd.Get(), 0) != 0)
    throw std::system_error(errno, std::system_category(), "ftruncate");
  FSize = 0;
  FPosition = 0;
}

}  // namespace mpu::ipc
