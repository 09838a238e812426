#include "model/LocalDatabases.h"

#include "app/DataRoot.h"
#include "app/FileUtil.h"
#include "model/KikLocalDb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace LocalDatabases {

QStringList list(const QString &parent)
{
    QStringList names;
    const QDir dir(parent);
    const QStringList folders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : folders) {
        if (exists(dir.filePath(name)))
            names.append(name);
    }
    return names;
}

QStringList list()
{
    return list(DataRoot::localDatabaseFolder().absolutePath());
}

QString folderOf(const QString &name)
{
    return DataRoot::localDatabaseFolder().filePath(name);
}

bool exists(const QString &folder)
{
    const QFileInfo file(QDir(folder).filePath(QString::fromLatin1(KikLocalDb::kDbFileName)));
    return file.isFile();
}

NameCheck checkName(const QString &text)
{
    NameCheck check;
    check.name = text.trimmed();
    static const QRegularExpression invalid(QStringLiteral("[\\\\/:\\*\\?\"<>|\\n\\r\\t]+"));
    if (check.name.isEmpty())
        check.errorKey = "IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME";
    else if (check.name.contains(invalid) || check.name == QLatin1String(".")
             || check.name == QLatin1String(".."))
        check.errorKey = "IDS_INVALID_LOCALDB_NAME";
    if (!check.ok())
        check.name.clear();
    return check;
}

void remove(const QString &folder)
{
    // A database folder that is a link to a folder elsewhere is taken out of
    // the list by removing the link; the files it points to are not ours.
    const QFileInfo info(folder);
    if (info.isSymLink()) {
        QFile::remove(info.absoluteFilePath());
        return;
    }
    removeTree(folder);
}

} // namespace LocalDatabases
