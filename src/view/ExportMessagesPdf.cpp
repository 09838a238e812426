#include "view/ExportMessagesPdf.h"

#include "app/AppError.h"
#include "app/AppInfo.h"

#include <QPageSize>

#include <stdexcept>

ExportMessagesPdf::ExportMessagesPdf(const QString &path) : m_path(path), m_writer(path)
{
    m_writer.setPageSize(QPageSize(QPageSize::A4));
    m_writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    m_writer.setResolution(96); // bubble sizes are screen pixels
    m_writer.setCreator(QString::fromLatin1(AppInfo::kTitle));
}

void ExportMessagesPdf::begin()
{
    try {
        m_painter.begin(&m_writer);
    } catch (const std::exception &) {
        throw AppError(QStringLiteral("Cannot write the PDF file %1.").arg(m_path));
    }
}

void ExportMessagesPdf::write(const _KikMessage *message)
{
    m_painter.paint(message);
}

void ExportMessagesPdf::end()
{
    m_painter.end();
}
