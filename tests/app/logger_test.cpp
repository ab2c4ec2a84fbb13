// The trace log window: the 501-line rule and the bytes of each encoding.
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/logger_form.h"

namespace mpu::app {
namespace {

TEST(TraceLog, The502ndLineEmptiesTheListFirst) {
  TLoggerForm log;
  for (int i = 1; i <= 501; ++i) log.LogMesg(QString::number(i));
  EXPECT_EQ(log.Lines().size(), 501);
  log.LogMesg("502");
  EXPECT_EQ(log.Lines(), QStringList{"502"});
  log.Clear();
  EXPECT_TRUE(log.Lines().isEmpty());
}

TEST(TraceLog, EncodingsByteForByte) {
  const QStringList lines = {QString::fromUtf8("A\u00e9"), QString::fromUtf8("\u20ac")};
  struct Case {
    LogEncoding Encoding;
    QByteArray Bytes;
  };
  const Case cases[] = {
      {LogEncoding::Ansi, QByteArray("A\xE9\r\n?\r\n", 7)},
      {LogEncoding::Utf8, QByteArray("\xEF\xBB\xBF" "A\xC3\xA9\r\n\xE2\x82\xAC\r\n", 13)},
      {LogEncoding::Utf16LE, QByteArray("\xFF\xFE" "A\0\xE9\0\r\0\n\0\xAC\x20\r\0\n\0", 16)},
      {LogEncoding::Utf16BE, QByteArray("\xFE\xFF" "\0A\0\xE9\0\r\0\n\x20\xAC\0\r\0\n", 16)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(EncodeLogLines(lines, c.Encoding).toHex(' ').toStdString(), c.Bytes.toHex(' ').toStdString());
}

TEST(TraceLog, SaveWritesTheFileAndReportsFailure) {
  TLoggerForm log;
  log.LogMesg("12:00:00 | Connection to MPU established");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("Tracelog.txt");
  ASSERT_TRUE(log.SaveTo(path, LogEncoding::Utf8));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("\xEF\xBB\xBF" "12:00:00 | Connection to MPU established\r\n"));
  QString error;
  EXPECT_FALSE(log.SaveTo(dir.filePath("missing/dir/x.txt"), LogEncoding::Ansi, &error));
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace mpu::app
