// Colour helpers shared by the drawn controls.
#pragma once

#include <QColor>

#include <cstdint>

namespace mpu {

// A colour given as 0x00BBGGRR (red in the lowest byte).
inline QColor ColorFromBgr(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                static_cast<int>((bgr >> 16) & 0xFFu));
}

// The same colour back as 0x00BBGGRR.
inline std::uint32_t ColorToBgr(const QColor& color) {
  return static_cast<std::uint32_t>(color.red()) | (static_cast<std::uint32_t>(color.green()) << 8) |
         (static_cast<std::uint32_t>(color.blue()) << 16);
}

}  // namespace mpu
