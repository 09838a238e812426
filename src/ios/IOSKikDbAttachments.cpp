// Attachment descriptions of Kik's iOS store: the property list of each
// content id, its thumbnails and the metadata archive of camera, gallery and
// video content.
#include "ios/IOSKikDb.h"

#include "app/FileUtil.h"
#include "app/TextUtil.h"
#include "device/CFType.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Largest thumbnail stored; a description holding more is not a thumbnail.
constexpr qsizetype kMaxThumbnailBytes = 64 * 1024 * 1024;

bool isMediaApp(const QString &appId)
{
    static const QStringList prefixes = {QStringLiteral("com.kik.ext.camera"),
                                         QStringLiteral("com.kik.ext.gallery"),
                                         QStringLiteral("com.kik.ext.video")};
    for (const QString &prefix : prefixes) {
        if (appId.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Entries read between two cancel checks.
constexpr int kCancelCheckEvery = 4096;

// "name"/"value" (or "key"/"val") dictionaries of an array, as text pairs.
void readPairs(const CFType &array, const QString &nameKey, const QString &valueKey, const QString &prefix,
               QVariantMap &attachment, const std::function<void()> &checkCancel)
{
    const QList<CFType> items = array.items();
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i % kCancelCheckEvery == kCancelCheckEvery - 1)
            checkCancel();
        const CFType &item = items[i];
        if (!item.isDictionary())
            continue;
        const QString name = item.value(nameKey).toText();
        if (name.isEmpty())
            continue;
        attachment.insert(prefix + name, item.value(valueKey).toText());
    }
}

QVariant toVariant(const CFType &value)
{
    if (value.isDictionary()) {
        QVariantMap map;
        for (const CFType &key : value.keys())
            map.insert(key.toQString(), toVariant(value.value(key)));
        return map;
    }
    if (value.isArray()) {
        QVariantList list;
        for (const CFType &item : value.items())
            list.append(toVariant(item));
        return list;
    }
    return value.toText();
}

// Path of a file named by a store value below a folder; empty when the
// name is not a safe single file name.
QString leafPath(const QString &folder, const QString &name)
{
    const QString leaf = safeLeafName(name);
    return leaf.isEmpty() || leaf != name ? QString() : QDir(folder).filePath(leaf);
}

} // namespace

QString IOSKikDb::storeThumbnail(const QByteArray &data)
{
    if (m_access == Access::Untouched)
        return QString();
    const QString name = md5Uuid(data, true);
    const QString path = QDir(m_thumbFolder).filePath(name);
    const QFileInfo existing(path);
    if (existing.exists() && existing.size() > 0)
        return name;
    // Created new (O_EXCL: never through a link planted at the name, never
    // over another writer's file) and written in one call; a failed write
    // removes the file again. No temporary name and no sync to disk: for
    // thousands of small files each costs several times the write itself,
    // while a crash could cut short only the one write of a few kilobytes.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        // An empty file or a dangling link of that name: replaced.
        if (!QFile::remove(path) || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return QString();
    }
    const bool written = file.write(data) == data.size() && file.flush();
    file.close();
    if (!written) {
        file.remove();
        return QString();
    }
    return name;
}

void IOSKikDb::readImages(const CFType &images, QVariantMap &attachment)
{
    const QList<CFType> items = images.items();
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i % kCancelCheckEvery == kCancelCheckEvery - 1)
            throwIfCancelled();
        const CFType &item = items[i];
        if (!item.isDictionary())
            continue;
        const QString name = item.value(QStringLiteral("name")).toText();
        const CFType value = item.value(QStringLiteral("value"));
        if (name.isEmpty())
            continue;
        if (value.isData()) {
            const QByteArray data = value.toBytes();
            if (data.isEmpty() || data.size() > kMaxThumbnailBytes)
                continue;
            const QString file = storeThumbnail(data);
            if (!file.isEmpty())
                attachment.insert(QStringLiteral("image:") + name, file);
        } else if (value.isString() && !value.toQString().isEmpty()) {
            attachment.insert(QStringLiteral("image:") + name, value.toQString());
        }
    }
}

void IOSKikDb::readAttachment(_KikMessage &message)
{
    const QDir documents(QDir(m_kikFolder).filePath(QStringLiteral("Documents")));
    // The content id names files; one that is not a plain file name (a path,
    // "..") names nothing we read.
    const QString descriptionPath =
        leafPath(documents.filePath(QStringLiteral("attachments")), message.content_id);
    if (descriptionPath.isEmpty())
        return;
    const CFType description = CFType::fromPlistFile(descriptionPath);
    if (!description.isDictionary())
        return;
    QVariantMap &attachment = message.attachment;
    const CFType appId = description.value(QStringLiteral("app-id"));
    if (appId.isString())
        message.app_id = appId.toQString();
    const auto checkCancel = [this] { throwIfCancelled(); };
    readPairs(description.value(QStringLiteral("extra")), QStringLiteral("key"), QStringLiteral("val"),
              QStringLiteral("extra:"), attachment, checkCancel);
    readImages(description.value(QStringLiteral("image")), attachment);
    readPairs(description.value(QStringLiteral("string")), QStringLiteral("name"), QStringLiteral("value"),
              QStringLiteral("string:"), attachment, checkCancel);
    const CFType uris = description.value(QStringLiteral("uri"));
    if (uris.isArray()) {
        QVariantList list;
        for (const CFType &uri : uris.items()) {
            if (uri.isDictionary())
                list.append(toVariant(uri));
        }
        attachment.insert(QStringLiteral("uri"), list);
    }
    const QString fileUrlKey = QStringLiteral("string:file-url");
    if (isMediaApp(message.app_id) && attachment.value(fileUrlKey).toString().isEmpty()) {
        const QMap<QString, QString> metadata = readKeyedArchiveStrings(leafPath(
            documents.filePath(QStringLiteral("content_manager/metadata_cache")), message.content_id));
        const QString fileUrl = metadata.value(QStringLiteral("fileURL"));
        if (!fileUrl.isEmpty())
            attachment.insert(fileUrlKey, fileUrl);
    }
    message.sub_app_id = attachment.value(QStringLiteral("string:app-name")).toString();
    // Thumbnail names may come from the description itself: only plain file
    // names inside the thumbnail folder are used.
    auto thumb = [&](const QString &key) {
        return leafPath(m_thumbFolder, attachment.value(key).toString());
    };
    message.preview_path = thumb(QStringLiteral("image:preview"));
    message.icon_path = thumb(QStringLiteral("image:icon"));
    message.png_preview_path = thumb(QStringLiteral("image:png-preview"));
    message.content_path =
        leafPath(documents.filePath(QStringLiteral("content_manager/data_cache")), message.content_id);
}

QMap<QString, QString> IOSKikDb::readKeyedArchiveStrings(const QString &path)
{
    QMap<QString, QString> strings;
    if (path.isEmpty())
        return strings;
    const CFType archive = CFType::fromPlistFile(path);
    const QList<CFType> objects = archive.value(QStringLiteral("$objects")).items();
    if (objects.size() < 2)
        return strings;
    const CFType &dictionary = objects[1];
    const int n = dictionary.value(QStringLiteral("NS.keys")).count();
    // Keys sit at 2 .. n+1 and values at n+2 .. 2n+1; a shorter array is
    // another shape of archive and gives nothing.
    if (n <= 0 || objects.size() < 2 * qsizetype(n) + 2)
        return strings;
    for (int i = 2; i <= n + 1; ++i) {
        const QString key = objects[i].toText();
        if (!key.isEmpty())
            strings.insert(key, objects[i + n].toText());
    }
    return strings;
}
