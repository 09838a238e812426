// velloran-kik ab unpack FILE DIR / ab pack DIR FILE: Android backup archives.
#include "android/AndroidBackup.h"
#include "android/AndroidOffline.h"
#include "app/cli/CliCommand.h"

#include <QFileInfo>
#include <QJsonObject>

#include <filesystem>
#include <stdexcept>

namespace {

int runUnpack(CliContext &ctx)
{
    const int entries = extractAndroidBackup(ctx.args.at(0), QDir(ctx.args.at(1)),
                                             QString::fromLatin1(kAbCorruptedMessage));
    ctx.printResult(QJsonObject{{QStringLiteral("entries"), entries}},
                    QStringLiteral("Unpacked %1 files into %2.").arg(entries).arg(ctx.args.at(1)));
    return CliExit::Ok;
}

int runPack(CliContext &ctx)
{
    const QDir source(ctx.args.at(0));
    if (!source.exists())
        throw CliUsageError(QStringLiteral("no such folder: %1").arg(ctx.args.at(0)).toStdString());
    const QString target = QFileInfo(ctx.args.at(1)).absoluteFilePath();
    // An archive inside the folder would be packed into itself.
    if (target.startsWith(source.absolutePath() + QLatin1Char('/')))
        throw CliUsageError(QStringLiteral("the archive must lie outside %1").arg(ctx.args.at(0)).toStdString());
    // Written beside the target and renamed at the end, so that a failed
    // pack leaves an existing file of that name as it was.
    const QString partial = target + QStringLiteral(".part");
    const int entries = createAndroidBackup(source, partial);
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial.toStdWString()),
                            std::filesystem::path(target.toStdWString()), error);
    if (error) {
        QFile::remove(partial);
        throw std::runtime_error(
            QStringLiteral("cant rename %1 to %2.").arg(partial, target).toStdString());
    }
    ctx.printResult(QJsonObject{{QStringLiteral("entries"), entries}},
                    QStringLiteral("Packed %1 files into %2.").arg(entries).arg(ctx.args.at(1)));
    return CliExit::Ok;
}

const CliRegistration unpackRegistration({
    {QStringLiteral("ab"), QStringLiteral("unpack")},
    QStringLiteral("FILE DIR"),
    QStringLiteral("Unpack an Android backup archive into a folder."),
    {},
    2,
    2,
    runUnpack,
});

const CliRegistration packRegistration({
    {QStringLiteral("ab"), QStringLiteral("pack")},
    QStringLiteral("DIR FILE"),
    QStringLiteral("Pack a folder into an Android backup archive for adb restore."),
    {},
    2,
    2,
    runPack,
});

} // namespace
