#include "view/ExportFile.h"

#include <stdexcept>

void ExportFile::open()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString()).toStdString());
    m_stream.setDevice(&m_file);
    m_stream.setEncoding(QStringConverter::Utf8);
}

void ExportFile::close()
{
    if (!m_file.isOpen())
        return;
    m_stream.flush();
    const bool ok = m_stream.status() == QTextStream::Ok && m_file.error() == QFileDevice::NoError;
    const QString error = m_file.errorString();
    m_stream.setDevice(nullptr);
    m_file.close();
    if (!ok || m_file.error() != QFileDevice::NoError)
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(m_file.fileName(), error).toStdString());
}
