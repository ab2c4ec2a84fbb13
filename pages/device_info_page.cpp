#include "pages/device_info_page.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace mpu::pages {

TDeviceInfoPage::TDeviceInfoPage(TMainForm& main, QWidget* parent) : TMainPage(main, "tabInfo", parent) {
  memoDeviceInfo = new QPlainTextEdit(this);
  memoDeviceInfo->setObjectName("memoDeviceInfo");
  memoDeviceInfo->setReadOnly(true);
  memoDeviceInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memoDeviceInfo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(memoDeviceInfo);
}

void TDeviceInfoPage::SetLines(const QStringList& lines) { memoDeviceInfo->setPlainText(lines.join('\n')); }

QStringList TDeviceInfoPage::Lines() const { return memoDeviceInfo->toPlainText().split('\n'); }

}  // namespace mpu::pages
