// The local databases below the data root's "local_databases", and the check
// of a name typed for a new or chosen one.
#pragma once

#include <QString>
#include <QStringList>

namespace LocalDatabases {

// Names of the folders below `parent` that hold "velloran-kik.db".
QStringList list(const QString &parent);
// The same below the data root's "local_databases".
QStringList list();

// The folder of the database NAME below the data root's "local_databases".
QString folderOf(const QString &name);

// Whether the folder holds a local database file.
bool exists(const QString &folder);

struct NameCheck
{
    QString name;                   // the trimmed name when accepted
    const char *errorKey = nullptr; // IDS_ key of the warning, or null when accepted
    bool ok() const { return errorKey == nullptr; }
};

// Trims the text; refuses an empty name and one holding \ / : * ? " < > |
// or a line break or tab. Also refuses "." and "..", which name no folder of
// their own.
NameCheck checkName(const QString &text);

// Removes the database folder with everything in it (a link to a folder
// elsewhere: only the link).
void remove(const QString &folder);

} // namespace LocalDatabases
