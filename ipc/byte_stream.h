// Byte streams handed between the pipe transport and its owner: an
// in-memory stream with a growth policy suited to pipe messages, and a
// stream over an anonymous temporary file for long messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ipc/unique_fd.h"

namespace mpu::ipc {

// A seekable byte stream. Reads and writes start at Position and advance
// it; a write past the end grows the stream. Write throws std::bad_alloc or
// std::system_error when the bytes cannot be stored.
class TByteStream {
 public:
  virtual ~TByteStream() = default;

  virtual std::uint64_t Size() const = 0;
  std::uint64_t Position() const { return FPosition; }
  // Moves to `position`, at most to the end.
  void Seek(std::uint64_t position);

  // Copies up to out.size() bytes from Position; returns the count (0 at the end).
  virtual std::size_t Read(std::span<std::uint8_t> out) = 0;
  virtual void Write(std::span<const std::uint8_t> in) = 0;
  // Empties the stream.
  virtual void Clear() = 0;

  // Every byte of the stream, read from position 0; Position ends at the end.
  std::vector<std::uint8_t> ReadAll();

 protected:
  std::uint64_t FPosition = 0;
};

// Memory stream whose block grows, when a larger capacity is asked for, to
// the request plus 65,535 bytes for requests up to 65,535 bytes and to the
// request plus a quarter for larger ones, so that a message growing chunk
// by chunk is reallocated rarely. A fresh block is zero-filled; a capacity
// of 0 frees the block.
class TFastMemStream final : public TByteStream {
 public:
  static constexpr std::size_t kSmallGrowth = 65535;

  TFastMemStream() = default;

  std::uint64_t Size() const override { return FSize; }
  std::size_t Read(std::span<std::uint8_t> out) override;
  void Write(std::span<const std::uint8_t> in) override;
  // Frees the block.
  void Clear() override;

  // Asks for at least `capacity` bytes (0: free the block). Never shrinks
  // otherwise.
  void SetCapacity(std::size_t capacity);
  std::size_t Capacity() const { return FCapacity; }
  // Sets the size; new bytes are zero. 0 frees the block.
  void SetSize(std::size_t size);
  // Size and position 0, keeping the block for the next message.
  void Truncate();
  // Declares the first `size` bytes of the block (at most Capacity) as the
  // stream's content after they were written through Data().
  void SetFilledSize(std::size_t size);

  std::uint8_t* Data() { return FBlock.get(); }
  const std::uint8_t* Data() const { return FBlock.get(); }
  std::span<const std::uint8_t> Bytes() const { return {FBlock.get(), FSize}; }

  // The capacity a request grows the block to.
  static std::size_t GrownCapacity(std::size_t request);

 private:
  std::unique_ptr<std::uint8_t[]> FBlock;
  std::size_t FCapacity = 0;
  std::size_t FSize = 0;
};

// Stream over an unnamed temporary file (O_TMPFILE): the file has no name
// and disappears when the stream closes it.
class TTempFileStream final : public TByteStream {
 public:
  // Creates the file in $TMPDIR, or /tmp when TMPDIR is unset or empty.
  // Returns nullptr, with errno set, when it cannot be created.
  static std::unique_ptr<TTempFileStream> Create();
  static std::unique_ptr<TTempFileStream> CreateIn(const std::string& directory);

  std::uint64_t Size() const override { return FSize; }
  std::size_t Read(std::span<std::uint8_t> out) override;
  void Write(std::span<const std::uint8_t> in) override;
  void Clear() override;

  // Takes over an open read-write file.
  explicit TTempFileStream(TUniqueFd fd) : FFd(std::move(fd)) {}

  int Handle() const { return FFd.Get(); }

 private:
  TUniqueFd FFd;
  std::uint64_t FSize = 0;
};

// The directory for temporary files: $TMPDIR, or /tmp.
std::string TempDirectory();

}  // namespace mpu::ipc
