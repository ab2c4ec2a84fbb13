// The operating-system check at start-up: the oldest Linux kernel the
// program supports.
#pragma once

#include <QString>

namespace mpu::app {

inline constexpr int kMinKernelMajor = 4;
inline constexpr int kMinKernelMinor = 19;

// True when a kernel release such as "6.1.0-13-amd64" is at least the
// oldest supported one. A release that cannot be read counts as supported.
bool KernelSupported(const QString& release);
// The release of the running kernel (uname).
QString RunningKernelRelease();
// "This programme requires Linux 4.19 or later!"
QString OsErrorText();

}  // namespace mpu::app
