// velloran-kik backups / itunes files / itunes extract: iTunes and Finder
// backups found on this computer, their file records, and one file out.
#include "app/AppError.h"
#include "app/Translation.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSource.h"
#include "ios/BackupManifest.h"
#include "ios/BackupPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <stdexcept>

namespace {

QList<CliOptionSpec> passwordOptions()
{
    QList<CliOptionSpec> out;
    for (const CliOptionSpec &o : cliSourceOptions()) {
        if (o.name.startsWith(QLatin1String("password")))
            out << o;
    }
    return out;
}

// Opens, unlocks and indexes the backup in `dir`.
std::unique_ptr<BackupManifest> openBackup(CliContext &ctx, const QString &dir)
{
    if (!QFileInfo(dir).isDir())
        throw AppError(QStringLiteral("Cannot find %1").arg(dir));
    auto manifest = std::make_unique<BackupManifest>(dir);
    manifest->readProperties();
    if (manifest->isEncrypted()) {
        const QString password = sourcePassword(ctx);
        if (password.isEmpty())
            throw AppError(idsPlain("IDS_PWD_IS_NULL"));
        if (!manifest->unlock(password))
            throw AppError(idsPlain("IDS_INVALID_PASSWORD"));
    }
    manifest->buildIndex();
    return manifest;
}

QJsonValue msOrNull(const QDateTime &t)
{
    return t.isValid() ? QJsonValue(t.toMSecsSinceEpoch()) : QJsonValue(QJsonValue::Null);
}

int runBackups(CliContext &ctx)
{
    const QString root = ctx.value(QStringLiteral("root"), BackupPaths::defaultBackupRoot());
    // A folder named with --root must be there; the default one may be
    // missing on a computer that never made a backup.
    if (ctx.has(QStringLiteral("root")) && !QFileInfo(root).isDir())
        throw AppError(QStringLiteral("There is no folder %1.").arg(QDir::toNativeSeparators(root)));
    QDir dir(root);
    const QFileInfoList folders =
        dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
    QJsonArray list;
    QString text;
    for (const QFileInfo &folder : folders) {
        if (!BackupManifest::looksLikeBackup(folder.absoluteFilePath()))
            continue;
        BackupManifest m(folder.absoluteFilePath());
        try {
            m.readProperties();
        } catch (const std::exception &e) {
            ctx.printError(QStringLiteral("load %1 error. %2")
                               .arg(folder.absoluteFilePath(), QString::fromUtf8(e.what())));
            continue;
        }
        list.append(QJsonObject{
            {QStringLiteral("name"), m.displayName()},
            {QStringLiteral("device_name"), m.deviceName()},
            {QStringLiteral("udid"), m.uniqueDeviceId()},
            {QStringLiteral("product_type"), m.productType()},
            {QStringLiteral("product_version"), m.productVersion()},
            {QStringLiteral("date"), msOrNull(m.backupDate())},
            {QStringLiteral("encrypted"), m.isEncrypted()},
            {QStringLiteral("path"), m.folderPath()},
        });
        text += QStringLiteral("%1\t%2\t%3%4\n")
                    .arg(m.displayName(), m.backupDate().toLocalTime().toString(Qt::ISODate), m.folderPath(),
                         m.isEncrypted() ? QStringLiteral("\t(encrypted)") : QString());
    }
    ctx.printResult(list, text);
    return CliExit::Ok;
}

int runFiles(CliContext &ctx)
{
    const auto manifest = openBackup(ctx, ctx.args.value(0));
    const bool filter = ctx.has(QStringLiteral("domain"));
    const QString domain = ctx.value(QStringLiteral("domain"));
    QList<const MbdbRecord *> records;
    for (const MbdbRecord &r : manifest->records()) {
        if (!filter || r.domain == domain)
            records.append(&r);
    }
    std::sort(records.begin(), records.end(), [](const MbdbRecord *a, const MbdbRecord *b) {
        return a->domain != b->domain ? a->domain < b->domain : a->relativePath < b->relativePath;
    });
    QJsonArray list;
    QString text;
    for (const MbdbRecord *r : records) {
        const QString id =
            r->storedFileId.isEmpty() ? fileId(r->domain, r->relativePath) : r->storedFileId.toLower();
        list.append(QJsonObject{
            {QStringLiteral("domain"), r->domain},
            {QStringLiteral("path"), r->relativePath},
            {QStringLiteral("file_id"), id},
            {QStringLiteral("size"), qint64(r->fileSize)},
            {QStringLiteral("mode"), int(r->mode)},
            {QStringLiteral("mtime"), qint64(r->modifiedTime) * 1000},
            {QStringLiteral("protection_class"), int(r->protectionClass)},
            {QStringLiteral("is_dir"), r->isDir()},
        });
        text += QStringLiteral("%1\t%2\t%3\t%4\n")
                    .arg(r->domain, r->relativePath, QString::number(r->fileSize),
                         r->isDir() ? QStringLiteral("dir") : QString());
    }
    ctx.printResult(list, text);
    return CliExit::Ok;
}

int runExtract(CliContext &ctx)
{
    const QString out = ctx.args.value(3);
    QStringList inputs{ctx.args.value(0)};
    if (ctx.has(QStringLiteral("password-file")))
        inputs << ctx.value(QStringLiteral("password-file"));
    checkCliOutput(out, OutputPath::Kind::File, inputs);
    const auto manifest = openBackup(ctx, ctx.args.value(0));
    const QString domain = ctx.args.value(1);
    const QString path = ctx.args.value(2);
    const MbdbRecord *r = manifest->findRecord(domain, path);
    if (!r)
        throw AppError(QStringLiteral("%1 %2 is not in the backup.").arg(domain, path));
    manifest->extractFile(*r, out);
    const qint64 size = QFileInfo(out).isFile() ? QFileInfo(out).size() : 0;
    ctx.printResult(QJsonObject{{QStringLiteral("out"), out}, {QStringLiteral("size"), size}},
                    QStringLiteral("%1 (%2 bytes)\n").arg(out).arg(size));
    return CliExit::Ok;
}

const CliRegistration backupsRegistration({
    {QStringLiteral("backups")},
    QString(),
    QStringLiteral("List the iTunes backups found (default backup root, or --root)."),
    {{QStringLiteral("root"), QStringLiteral("DIR"), QStringLiteral("folder to look in"), false}},
    0,
    0,
    runBackups,
});

const CliRegistration filesRegistration({
    {QStringLiteral("itunes"), QStringLiteral("files")},
    QStringLiteral("DIR"),
    QStringLiteral("List the file records of an iTunes backup."),
    passwordOptions()
        + QList<CliOptionSpec>{{QStringLiteral("domain"), QStringLiteral("D"),
                                QStringLiteral("only records of this domain"), false}},
    1,
    1,
    runFiles,
});

const CliRegistration extractRegistration({
    {QStringLiteral("itunes"), QStringLiteral("extract")},
    QStringLiteral("DIR DOMAIN PATH OUT"),
    QStringLiteral("Write one file of an iTunes backup to OUT, decrypted."),
    passwordOptions(),
    4,
    4,
    runExtract,
});

} // namespace
