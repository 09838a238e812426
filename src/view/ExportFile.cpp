#include "view/ExportFile.h"

#include "app/AppError.h"

#include <stdexcept>

void ExportFile::open()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString()));
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
        throw AppError(QStringLiteral("%1: %2").arg(m_file.fileName(), error));
}

bool copyExportFile(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    QByteArray buffer;
    bool ok = true;
    while (ok) {
        buffer = in.read(1 << 20);
        if (buffer.isEmpty()) {
            ok = in.error() == QFileDevice::NoError && in.atEnd();
            break;
        }
        ok = out.write(buffer) == buffer.size();
    }
    out.close();
    ok = ok && out.error() == QFileDevice::NoError;
    if (!ok)
        out.remove();
    return ok;
}
