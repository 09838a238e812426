#include "device/BackupToolText.h"

#include <QStringList>

namespace BackupToolText {

namespace {

const QString kSolutionA = QStringLiteral(
    "A:<br/>Step 1) Restart your iPhone.<br/>Step 2) Connect your iPhone to iTunes to backup your "
    "iPhone on computer. <br/>Step 3) Run Velloran software to try again. <br/><br/>");
const QString kSolutionB = QStringLiteral(
    "B:<br/>Step 1) Delete the lockdown folder from your computer.(<a "
    "href=\"https://www.velloran.com/guides/reset-lockdown-in-itunes.php\">How to</a>) <br/>Step 2) "
    "Connect your iPhone to iTunes to backup your iPhone on computer.<br/>Step 3) Run Velloran "
    "software to try again. <br/>");

bool containsAny(const QString &text, const QStringList &phrases)
{
    for (const QString &phrase : phrases) {
        if (text.contains(phrase, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

bool succeeded(const QString &output)
{
    const QStringList lines = output.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed() == QLatin1String("Backup Successful."))
            return true;
    }
    return false;
}

QString worded(const QString &failure)
{
    QString text = failure;
    text.replace(QLatin1String("<"), QLatin1String("&lt;"));
    text.replace(QLatin1String(">"), QLatin1String("&gt;"));
    // The phone went away during the backup: the Windows tool's phrase, and
    // idevicebackup2's lost-connection lines.
    const QStringList lost = {
        QStringLiteral("Connection to device lost"),
        QStringLiteral("Could not receive from mobilebackup2"),
        QStringLiteral("No device found"),
        QStringLiteral("Device disconnected"),
    };
    // The phone could not be reached at all or is not set up.
    const QStringList unreachable = {
        QStringLiteral("until Setup is finished"),
        QStringLiteral("Could not connect to lockdownd"),
        QStringLiteral("Could not start service"),
    };
    if (containsAny(text, lost))
        return QStringLiteral("Connection to device lost. Please try the following solutions: <br/><br/>")
               + kSolutionA + kSolutionB;
    if (containsAny(text, unreachable))
        return QStringLiteral("Failed to connect your iPhone. Please try the following solutions: <br/><br/>")
               + kSolutionA + kSolutionB;
    return text + QStringLiteral("<br/><br/>Note: You can restart your device to try again.");
}

qint64 estimatedSeconds(qint64 bytesInUse)
{
    const qint64 usedMiB = bytesInUse / 1024 / 1024;
    if (usedMiB <= 0)
        return 60;
    return qMax<qint64>(1, qint64(double(usedMiB) * 0.03));
}

double progressAfter(qint64 elapsedSeconds, qint64 estimateSeconds)
{
    if (estimateSeconds <= 0)
        return 99;
    return qBound(0.0, double(elapsedSeconds) / double(estimateSeconds) * 99.0, 99.0);
}

} // namespace BackupToolText
