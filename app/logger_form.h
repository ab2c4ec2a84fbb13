// TLoggerForm: the trace log window. It holds at most 501 lines and saves
// them in the encoding the user picks.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace mpu::app {

enum class LogEncoding { Ansi, Utf16LE, Utf16BE, Utf8 };

// The bytes of a saved log: every line followed by CR LF, with the byte
// order mark a Windows editor writes (none for ANSI, which is ISO 8859-1
// with '?' for characters it lacks).
QByteArray EncodeLogLines(const QStringList& lines, LogEncoding encoding);

class TLoggerForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxLines = 500;

  explicit TLoggerForm(QWidget* parent = nullptr);

  // Appends a line; a list that holds more than 500 lines is cleared first.
  void LogMesg(const QString& aMsg);
  QStringList Lines() const;
  void Clear();

  // Writes the lines to `fileName`; false (with the reason in `error`) when
  // the file cannot be written.
  bool SaveTo(const QString& fileName, LogEncoding encoding, QString* error = nullptr) const;

 private:
  void SaveClicked();

  QListWidget* lbTraceMessages;
  QPushButton* btnClear;
  QPushButton* btnSave;
  QPushButton* btnHide;
};

}  // namespace mpu::app
