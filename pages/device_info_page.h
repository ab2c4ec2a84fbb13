// The "Device Info" page: what the USB layer knows of the opened unit.
#pragma once

#include <QStringList>

#include "pages/main_page.h"

class QPlainTextEdit;

namespace mpu::pages {

class TDeviceInfoPage : public TMainPage {
  Q_OBJECT

 public:
  TDeviceInfoPage(TMainForm& main, QWidget* parent = nullptr);

  // Replaces the memo's lines.
  void SetLines(const QStringList& lines);
  QStringList Lines() const;

  QPlainTextEdit* memoDeviceInfo;
};

}  // namespace mpu::pages
