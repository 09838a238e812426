#include "view/BubbleLinks.h"

#include "app/TextUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QUrlQuery>

BubbleLink classifyBubbleLink(const QUrl &url)
{
    BubbleLink link;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file") || scheme.isEmpty()) {
        const QString path = url.path();
        if (path == QLatin1String("/pre_page")) {
            link.kind = BubbleLink::PreviousPage;
        } else if (path == QLatin1String("/next_page")) {
            link.kind = BubbleLink::NextPage;
        } else if (url.isLocalFile()) {
            link.kind = BubbleLink::LocalFile;
            link.path = url.toLocalFile();
        }
        return link;
    }
    if (scheme == QLatin1String("atta")) {
        const QUrlQuery query(url);
        const QByteArray hex = query.queryItemValue(QStringLiteral("ph")).toLatin1();
        static const QRegularExpression hexDigits(QStringLiteral("^(?:[0-9a-fA-F]{2})+$"));
        static const QRegularExpression plainSuffix(QStringLiteral("^[A-Za-z0-9]{1,16}$"));
        const QString suffix = query.queryItemValue(QStringLiteral("sf")).toLower();
        if (!hexDigits.match(QString::fromLatin1(hex)).hasMatch() || !plainSuffix.match(suffix).hasMatch())
            return link;
        link.kind = BubbleLink::Attachment;
        link.path = QString::fromUtf8(QByteArray::fromHex(hex));
        link.suffix = suffix;
        return link;
    }
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        link.kind = BubbleLink::WebAddress;
    return link;
}

namespace BubbleLinks {

bool opensDirectly(const QString &path)
{
    static const QStringList suffixes = {
        QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("bmp"),
        QStringLiteral("gif"), QStringLiteral("mp3"),  QStringLiteral("mp4"), QStringLiteral("mov"),
    };
    return suffixes.contains(QFileInfo(path).suffix().trimmed().toLower());
}

QString shortPath(const QString &path)
{
    const QStringList parts = QDir::fromNativeSeparators(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() < 3)
        return path;
    return QStringLiteral("...") + QLatin1Char('/') + parts.mid(parts.size() - 3).join(QLatin1Char('/'));
}

QString temporaryAttachmentCopy(const QString &contentPath, const QString &suffix)
{
    const QFileInfo content(contentPath);
    if (contentPath.isEmpty() || !content.isFile())
        return QString();
    const QString copy = QDir(QDir::tempPath()).filePath(md5Hex(contentPath) + QLatin1Char('.') + suffix);
    QFile::remove(copy);
    if (!QFile::copy(contentPath, copy))
        return QString();
    return copy;
}

} // namespace BubbleLinks
