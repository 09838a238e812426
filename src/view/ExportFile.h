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
