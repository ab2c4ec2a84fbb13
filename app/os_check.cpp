#include "app/os_check.h"

#include <QRegularExpression>

#include <sys/utsname.h>

namespace mpu::app {

bool KernelSupported(const QString& release) {
  static const QRegularExpression version(QStringLiteral("^(\\d+)\\.(\\d+)"));
  const QRegularExpressionMatch m = version.match(release);
  if (!m.hasMatch()) return true;
  const int major = m.captured(1).toInt(), minor = m.captured(2).toInt();
  return major > kMinKernelMajor || (major == kMinKernelMajor && minor >= kMinKernelMinor);
}

QString RunningKernelRelease() {
  utsname u{};
  if (uname(&u) != 0) return {};
  return QString::fromLocal8Bit(u.release);
}

QString OsErrorText() {
  return QStringLiteral("This programme requires Linux %1.%2 or later!").arg(kMinKernelMajor).arg(kMinKernelMinor);
}

}  // namespace mpu::app
