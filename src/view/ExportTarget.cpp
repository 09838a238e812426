#include "view/ExportTarget.h"

#include "app/AppError.h"
#include "view/ExportMessagesThread.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <stdexcept>

namespace ExportTargets {

namespace {

QString filterText(int index)
{
    static const char *const texts[] = {"Text Files(*.txt)", "Doc Files(*.doc)", "CSV Files(*.csv)",
                                        "PDF Files(*.pdf)", "HTML Files(*.html)"};
    return QCoreApplication::translate("ids", texts[index]);
}

QString withSuffix(const QString &path, const char *suffix)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QLatin1String(suffix) : path;
}

QString folderFor(const QString &path, const char *ending)
{
    const QFileInfo info(path);
    QString base = path;
    if (!info.suffix().isEmpty())
        base.chop(info.suffix().size() + 1);
    return base + QLatin1String(ending);
}

} // namespace

QStringList filters()
{
    QStringList list;
    for (int i = 0; i < 5; ++i)
        list.append(filterText(i));
    return list;
}

ExportTarget forChoice(const QString &fileName, const QString &filter)
{
    const int index = int(filters().indexOf(filter));
    switch (index) {
    case 0:
        return {ExportFormat::Text, withSuffix(fileName, ".txt")};
    case 1:
        return {ExportFormat::Text, withSuffix(fileName, ".doc")};
    case 2:
        return {ExportFormat::Csv, withSuffix(fileName, ".csv")};
    case 3:
        return {ExportFormat::Pdf, folderFor(fileName, "-pdf")};
    case 4:
        return {ExportFormat::Html, folderFor(fileName, "-html")};
    default:
        throw AppError("unknown export format.");
    }
}

} // namespace ExportTargets
