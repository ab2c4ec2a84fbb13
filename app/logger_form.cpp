#include "app/logger_form.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace mpu::app {

QByteArray EncodeLogLines(const QStringList& lines, LogEncoding encoding) {
  QString text;
  for (const QString& line : lines) text += line + QStringLiteral("\r\n");
  QByteArray out;
  switch (encoding) {
    case LogEncoding::Ansi:
      out = text.toLatin1();  // characters outside ISO 8859-1 become '?'
      break;
    case LogEncoding::Utf8:
      out = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
      break;
    case LogEncoding::Utf16LE:
    case LogEncoding::Utf16BE: {
      const bool le = encoding == LogEncoding::Utf16LE;
      out.reserve(2 + text.size() * 2);
      out.append(le ? "\xFF\xFE" : "\xFE\xFF", 2);
      for (const QChar c : text) {
        const char16_t u = c.unicode();
        const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        if (le) {
          out.append(lo);
          out.append(hi);
        } else {
          out.append(hi);
          out.append(lo);
        }
      }
      break;
    }
  }
  return out;
}

TLoggerForm::TLoggerForm(QWidget* parent) : QDialog(parent) {
  setObjectName("LoggerForm");
  setWindowTitle("Trace Log");
  setModal(false);
  resize(760, 520);

  lbTraceMessages = new QListWidget(this);
  lbTraceMessages->setObjectName("lbTraceMessages");
  lbTraceMessages->setUniformItemSizes(true);
  QFont mono("DejaVu Sans Mono");
  mono.setStyleHint(QFont::Monospace);
  lbTraceMessages->setFont(mono);

  btnClear = new QPushButton("Clear", this);
  btnClear->setObjectName("btnClear");
  btnClear->setToolTip("Clear trace log");
  btnSave = new QPushButton("Save", this);
  btnSave->setObjectName("btnSave");
  btnSave->setToolTip("Save log entires to a file");
  btnHide = new QPushButton("Hide", this);
  btnHide->setObjectName("btnHide");

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnClear);
  buttons->addWidget(btnSave);
  buttons->addStretch(1);
  buttons->addWidget(btnHide);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lbTraceMessages, 1);
  layout->addLayout(buttons);

  connect(btnClear, &QPushButton::clicked, this, &TLoggerForm::Clear);
  connect(btnSave, &QPushButton::clicked, this, &TLoggerForm::SaveClicked);
  connect(btnHide, &QPushButton::clicked, this, &QDialog::hide);
}

void TLoggerForm::LogMesg(const QString& aMsg) {
  if (lbTraceMessages->count() > kMaxLines) lbTraceMessages->clear();
  lbTraceMessages->addItem(aMsg);
  lbTraceMessages->scrollToBottom();
}

QStringList TLoggerForm::Lines() const {
  QStringList lines;
  lines.reserve(lbTraceMessages->count());
  for (int i = 0; i < lbTraceMessages->count(); ++i) lines << lbTraceMessages->item(i)->text();
  return lines;
}

void TLoggerForm::Clear() { lbTraceMessages->clear(); }

bool TLoggerForm::SaveTo(const QString& fileName, LogEncoding encoding, QString* error) const {
  QFile file(fileName);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    if (error) *error = file.errorString();
    return false;
  }
  const QByteArray bytes = EncodeLogLines(Lines(), encoding);
  if (file.write(bytes) != bytes.size()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

void TLoggerForm::SaveClicked() {
  if (lbTraceMessages->count() == 0) return;
  QFileDialog dialog(this, "Save received messages to log file");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter("Text file (*.txt)");
  dialog.setDefaultSuffix("txt");
  dialog.selectFile("Tracelog");
  // The encoding choice sits under the file type row of the dialog.
  auto* encodingBox = new QComboBox(&dialog);
  encodingBox->setObjectName("cmbEncoding");
  encodingBox->addItems({"ANSI", "Unicode (little endian)", "Unicode (big endian)", "UTF-8"});
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel("Encoding:", &dialog), row, 0);
    grid->addWidget(encodingBox, row, 1);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  static const LogEncoding kEncodings[] = {LogEncoding::Ansi, LogEncoding::Utf16LE, LogEncoding::Utf16BE,
                                           LogEncoding::Utf8};
  QString error;
  if (!SaveTo(dialog.selectedFiles().first(), kEncodings[std::max(0, encodingBox->currentIndex())], &error))
    QMessageBox::critical(this, windowTitle(), "The trace log could not be saved: " + error);
}

}  // namespace mpu::app
