// The program's look: the Fusion style with a light blue palette.
#pragma once

class QApplication;

namespace mpu::app {

void ApplyTheme(QApplication& app);

}  // namespace mpu::app
