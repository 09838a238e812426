// An output file with a UTF-8 text stream, as the text exporters use it.
#pragma once

#include <QFile>
#include <QString>
#include <QTextStream>

class ExportFile
{
public:
    explicit ExportFile(const QString &path) : m_file(path) {}

    // Opens for writing (truncating); throws with the file's error text.
    void open();
    QTextStream &stream() { return m_stream; }
    // Flushes and closes; throws when anything could not be written.
    void close();
    QString path() const { return m_file.fileName(); }

private:
    QFile m_file;
    QTextStream m_stream;
};

// Copies a file for an export: the target must not exist yet (it is
// created, never followed or overwritten); a partly written target is
// removed again. Unlike QFile::copy it does not wait for each file to reach
// the disk, which makes copying thousands of media files many times faster.
bool copyExportFile(const QString &source, const QString &target);
