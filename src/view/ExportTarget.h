// What the export save dialog's choice means: the format code and the
// output path (a file for text and CSV, a folder for PDF and HTML).
#pragma once

#include <QString>
#include <QStringList>

struct ExportTarget
{
    int format = -1;
    QString path;
};

namespace ExportTargets {

// The dialog's filters in their order: text, Word text, CSV, PDF, HTML.
QStringList filters();

// The target for the chosen file name and filter: ".txt", ".doc" or ".csv"
// appended when the name has no suffix (".doc" holds the text format); for
// PDF and HTML the suffix is removed and "-pdf" or "-html" appended, which
// names the output folder. Throws AppError "unknown export
// format." for any other filter.
ExportTarget forChoice(const QString &fileName, const QString &filter);

} // namespace ExportTargets
