#include "android/AdbDevice.h"

#include <QRegularExpression>

bool AdbDevice::isReady() const
{
    return state.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0;
}

bool AdbDevice::isOfflineOrUnauthorized() const
{
    return state.compare(QLatin1String("offline"), Qt::CaseInsensitive) == 0
           || state.compare(QLatin1String("unauthorized"), Qt::CaseInsensitive) == 0;
}

namespace {

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'));
}

} // namespace

QList<AdbDevice> parseAdbDevices(const QString &output)
{
    static const QRegularExpression pattern(
        QStringLiteral("([a-zA-Z0-9\\-_]+)[^a-zA-Z0-9\\-_]+([a-zA-Z0-9\\-_]+)"));
    QList<AdbDevice> devices;
    bool afterHeader = false;
    for (const QString &raw : lines(output)) {
        const QString line = raw.trimmed();
        if (!afterHeader) {
            afterHeader = line.compare(QLatin1String("List of devices attached"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const QRegularExpressionMatch m = pattern.match(line);
        if (m.hasMatch())
            devices.append(AdbDevice{line, m.captured(1), m.captured(2)});
    }
    return devices;
}

QSet<QString> parseAdbPackages(const QString &output)
{
    QSet<QString> packages;
    for (const QString &raw : lines(output)) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("package:")))
            packages.insert(line.mid(8).trimmed());
    }
    return packages;
}

bool adbOutputHasSuccessLine(const QString &output)
{
    for (const QString &raw : lines(output)) {
        if (raw.trimmed().compare(QLatin1String("Success"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool adbOutputHasErrorLine(const QString &output)
{
    for (const QString &raw : lines(output)) {
        if (raw.trimmed().toLower().startsWith(QLatin1String("error:")))
            return true;
    }
    return false;
}
