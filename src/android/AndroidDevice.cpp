#include "android/AndroidDevice.h"

#include "app/DataRoot.h"
#include "app/FileUtil.h"

#include <QRegularExpression>
#include <QTime>

#include <atomic>
#include <mutex>

QString AndroidDevice::displayName() const
{
    QString name = manufacturer;
    if (!model.isEmpty())
        name += QLatin1Char(' ') + model;
    return name.trimmed();
}

QString AndroidDevice::deviceKey() const
{
    return overWifi ? uid : serial;
}

QDir AndroidDevice::cacheFolder() const
{
    QString name = safeLeafName(imei.isEmpty() ? serial : imei);
    if (name.isEmpty())
        name = safeLeafName(uid);
    if (name.isEmpty())
        name = QStringLiteral("unknown");
    QDir root = DataRoot::androidCacheFolder();
    root.mkpath(name);
    return QDir(root.absoluteFilePath(name));
}

QUrl AndroidDevice::storageFileUrl(const QString &path) const
{
    const QString base = externalStorage.isEmpty() ? QStringLiteral("/storage/emulated/0") : externalStorage;
    return QUrl::fromLocalFile(QDir(base).filePath(path));
}

QString AndroidDevice::stagingFolder() const
{
    QString base = externalStorage;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("Kik/su");
}

void parseDeviceInfo(const QString &info, AndroidDevice &device)
{
    static const QRegularExpression pair(QStringLiteral("([^=;]+)=([^=;]+);?"));
    auto number = [](const QString &text) {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        return ok ? value : 0;
    };
    qsizetype offset = 0;
    for (;;) {
        const QRegularExpressionMatch m = pair.match(info, offset, QRegularExpression::NormalMatch,
                                                     QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch() || m.capturedLength() == 0)
            break;
        offset = m.capturedEnd();
        const QString key = m.captured(1), value = m.captured(2);
        if (key == QLatin1String("version"))
            device.helperVersion = number(value);
        else if (key == QLatin1String("model"))
            device.model = value;
        else if (key == QLatin1String("manufacturer"))
            device.manufacturer = value;
        else if (key == QLatin1String("imei"))
            device.imei = value;
        else if (key == QLatin1String("uid"))
            device.uid = value;
        else if (key == QLatin1String("sdk"))
            device.androidVersion = value;
        else if (key == QLatin1String("sdk_id"))
            device.apiLevel = number(value);
        else if (key == QLatin1String("root"))
            device.rooted = number(value) != 0;
        else if (key == QLatin1String("storage1"))
            device.externalStorage = value;
    }
}

int channelPortFor(int minute, int second, int counter)
{
    return 10000 + (minute % 4) * 10000 + second * 100 + counter;
}

int nextChannelPort()
{
    static std::mutex mutex;
    static int counter = 1;
    std::lock_guard<std::mutex> lock(mutex);
    if (counter % 100 == 0)
        counter = 1;
    const QTime now = QTime::currentTime();
    return channelPortFor(now.minute(), now.second(), counter++);
}
