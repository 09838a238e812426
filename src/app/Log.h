// The daily log file, installed as Qt's message handler.
#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

namespace Log {

// Deletes the oldest files of the folder until `keep` remain, then installs
// the message handler that appends to "log-yyyyMMdd.txt" in that folder.
void install(const QString &folder, int keep = 10);

// Whether debug messages are echoed on standard output (the desktop program
// does; the command-line tool keeps stdout for its results).
void setEchoToStdout(bool echo);

// Deletes the first (count - keep) plain files of the folder by name.
void prune(const QString &folder, int keep);

// One formatted log line: "(D hh:mm:ss) text\n" and its siblings W, C, F.
// A message of a named logging category says so before its text:
// "(D hh:mm:ss) velloran.android: text\n". Qt's "default" category, used by
// plain qDebug() and friends, and a null category add nothing.
QByteArray formatLine(QtMsgType type, const QTime &time, const QString &message,
                      const char *category = nullptr);

// The file name used for a process that logs first on `day`.
QString fileNameFor(const QDate &day);

// Writes one message as the installed handler would (without aborting on
// fatal messages). The file is chosen by the first message of the process.
void write(QtMsgType type, const QString &message, const char *category = nullptr);

// Closes the open file and forgets its name so the next message opens a new
// one; for tests that simulate a new process start.
void resetForTests(const QDate &day = QDate());

// Path of the file this process writes to, empty before the first message.
QString currentFile();

} // namespace Log
