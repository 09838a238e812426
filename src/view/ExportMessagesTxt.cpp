#include "view/ExportMessagesTxt.h"

#include "model/KikText.h"
#include "view/ExportText.h"

#include <QLocale>

void ExportMessagesTxt::begin()
{
    m_file.open();
    m_file.stream() << QStringLiteral("Date").leftJustified(30) << QStringLiteral("Flag").leftJustified(6)
                    << QStringLiteral("Name").leftJustified(40) << QStringLiteral("Message") << '\n';
}

void ExportMessagesTxt::write(const _KikMessage *message)
{
    const QString date = QLocale::system().toString(message->ts.toLocalTime(), QLocale::ShortFormat);
    m_file.stream() << date.leftJustified(30)
                    << (message->was_me ? QStringLiteral("To") : QStringLiteral("From")).leftJustified(6)
                    << ExportText::oneLine(ExportText::messageName(message)).leftJustified(40)
                    << ExportText::oneLine(summaryText(message)) << '\n';
}

void ExportMessagesTxt::end()
{
    m_file.close();
}
