#include "view/ExportMessagesCsv.h"

#include "model/KikText.h"
#include "view/ExportText.h"

#include <QLocale>

void ExportMessagesCsv::begin()
{
    m_file.open();
    m_file.stream() << "date"
                    << ",send"
                    << ",user"
                    << ",content" << '\n';
}

void ExportMessagesCsv::write(const _KikMessage *message)
{
    m_file.stream() << QLocale::c().toString(message->ts.toLocalTime(), QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                    << ',' << (message->was_me ? '1' : '0') << ','
                    << ExportText::csvField(ExportText::messageName(message)) << ','
                    << ExportText::csvField(summaryText(message)) << '\n';
}

void ExportMessagesCsv::end()
{
    m_file.close();
}
