// CSV export: "date,send,user,content", one record per message.
#pragma once

#include "view/AbsFormatExport.h"
#include "view/ExportFile.h"

#include "model/KikRecords.h"

class ExportMessagesCsv : public AbsFormatExport<_KikMessage>
{
public:
    explicit ExportMessagesCsv(const QString &path) : m_file(path) {}
    void begin() override;
    void write(const _KikMessage *message) override;
    void end() override;

private:
    ExportFile m_file;
};
