// velloran-kik ab unpack FILE DIR / ab pack DIR FILE: Android backup archives.
#include "android/AndroidBackup.h"
#include "android/AndroidOffline.h"
#include "app/SafeFile.h"
#include "app/StagedFolder.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSignals.h"

#include <QFileInfo>
#include <QJsonObject>

#include <stdexcept>

namespace {

int runUnpack(CliContext &ctx)
{
    checkCliOutput(ctx.args.at(1), OutputPath::Kind::Folder, {ctx.args.at(0)});
    // Unpacked beside the target first: a failed or stopped unpack leaves
    // no partial tree.
    StagedFolder staged(ctx.args.at(1));
    const int entries = extractAndroidBackup(ctx.args.at(0), QDir(staged.tempPath()),
                                             QString::fromLatin1(kAbCorruptedMessage));
    if (CliSignals::stopRequested())
        return CliExit::Cancelled;
    staged.commit();
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
    checkCliOutput(target, OutputPath::Kind::File, {source.absolutePath()});
    // Written beside the target and renamed at the end, so that a failed
    // pack leaves an existing file of that name as it was.
    StagedFile staged(target);
    const int entries = createAndroidBackup(source, staged.tempPath());
    if (CliSignals::stopRequested())
        return CliExit::Cancelled;
    staged.commit();
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
