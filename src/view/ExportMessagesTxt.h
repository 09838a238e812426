// Plain-text export (also saved as ".doc"): one line per message with
// fixed-width date, direction and name columns.
#pragma once

#include "view/AbsFormatExport.h"
#include "view/ExportFile.h"

#include "model/KikRecords.h"

class ExportMessagesTxt : public AbsFormatExport<_KikMessage>
{
public:
    explicit ExportMessagesTxt(const QString &path) : m_file(path) {}
    void begin() override;
    void write(const _KikMessage *message) override;
    void end() override;

private:
    ExportFile m_file;
};
