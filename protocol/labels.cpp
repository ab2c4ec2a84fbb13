#include "protocol/labels.h"

#include <algorithm>

namespace mpu {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Walks `text` character by character (a valid surrogate pair is one
// character), calling put(codePoint) for at most `maxChars` characters.
template <class Put>
std::size_t ForEachChar(std::u16string_view text, std::size_t maxChars, Put put) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size() && chars < maxChars; ++i, ++chars) {
    char32_t cp = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      cp = 0x10000 + ((char32_t(text[i]) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
      ++i;
    }
    put(cp);
  }
  return chars;
}

template <class Map>
std::size_t WriteField(std::u16string_view text, std::size_t maxChars, std::span<std::uint8_t> field, Map map) {
  std::fill(field.begin(), field.end(), std::uint8_t{0});
  if (field.empty()) return 0;
  const std::size_t limit = std::min(maxChars, field.size() - 1);
  std::size_t pos = 0;
  return ForEachChar(text, limit, [&](char32_t cp) { field[pos++] = map(cp); });
}

}  // namespace

std::size_t PrepareLabel(std::u16string_view text, std::size_t maxChars, std::span<std::uint8_t> field) {
  return WriteField(text, maxChars, field, [](char32_t cp) {
    return static_cast<std::uint8_t>(cp >= 0x20 && cp <= 0x7E ? cp : U'_');
  });
}

std::size_t WriteLatin1Field(std::u16string_view text, std::size_t maxChars, std::span<std::uint8_t> field) {
  return WriteField(text, maxChars, field, [](char32_t cp) {
    return static_cast<std::uint8_t>(cp != 0 && cp <= 0xFF ? cp : U'?');
  });
}

std::u16string ReadLatin1Field(std::span<const std::uint8_t> field) {
  std::u16string out;
  for (std::uint8_t b : field) {
    if (b == 0) break;
    out.push_back(static_cast<char16_t>(b));
  }
  return out;
}

}  // namespace mpu
