// Text in MPU frames: single-byte ISO 8859-1, NUL-terminated in fixed-width
// fields, the rest of the field zero.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mpu {

// Source label preparation: cut `text` to `maxChars` characters, replace
// every character outside printable ASCII (0x20..0x7E) by '_', and copy it
// NUL-terminated into `field`, zero-filling the rest. A surrogate pair counts
// as one character. The text is cut further if the field cannot hold
// maxChars characters plus the terminator. Returns the characters written.
std::size_t PrepareLabel(std::u16string_view text, std::size_t maxChars, std::span<std::uint8_t> field);

// Plain ISO 8859-1 text field (board tags): cut to `maxChars`, characters
// above U+00FF become '?', NUL-terminated, rest zero. Returns the
// characters written.
std::size_t WriteLatin1Field(std::u16string_view text, std::size_t maxChars, std::span<std::uint8_t> field);

// Reads a single-byte text field up to its first NUL (or its end) as UTF-16.
std::u16string ReadLatin1Field(std::span<const std::uint8_t> field);

}  // namespace mpu
