// PDF export: one file per chat, painted as bubbles on A4 pages with 20 pt
// margins.
#pragma once

#include "view/AbsFormatExport.h"
#include "view/MsgPagePainter.h"

#include "model/KikRecords.h"

#include <QPdfWriter>

class ExportMessagesPdf : public AbsFormatExport<_KikMessage>
{
public:
    explicit ExportMessagesPdf(const QString &path);
    void begin() override;
    void write(const _KikMessage *message) override;
    void end() override;

    int pageCount() const { return m_painter.pageNumber(); }
    void setCancelCheck(std::function<bool()> cancelled) { m_painter.setCancelCheck(std::move(cancelled)); }

private:
    QString m_path;
    QPdfWriter m_writer;
    MsgPagePainter m_painter;
};
