#include "view/ExportMessagesHtml.h"

#include "app/AppError.h"
#include "app/AppInfo.h"
#include "app/FileUtil.h"
#include "app/TextUtil.h"
#include "app/Translation.h"
#include "model/KikText.h"
#include "view/BubbleHtml.h"
#include "view/ViewData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QUrl>

#include <stdexcept>

// Bubbles of an exported page: media are copied into "files" and linked
// relative to the page, so that the folder can be moved as a whole.
class HtmlExportBubbles : public BubbleHtmlBuilder
{
public:
    explicit HtmlExportBubbles(const QString &folder)
        : m_files(QDir(folder).filePath(QStringLiteral("files"))),
          m_emoji(QDir(folder).filePath(QStringLiteral("emoji")))
    {}

    mutable QStringList copied;

protected:
    QString linkAttributes() const override { return QStringLiteral(" target=\"_blank\""); }
    QString emptyPhoto() const override { return QStringLiteral("files/empty_photo.jpg"); }
    // Only the emoji images a page uses are copied (the program's folder
    // holds a few thousand).
    QString emojiSource(const QString &hex) const override
    {
        const QString name = hex + QStringLiteral(".png");
        if (!m_emojiDone.contains(hex)) {
            m_emojiDone.insert(hex);
            const QString target = m_emoji.filePath(name);
            const QString source = ViewData::dataPath(QStringLiteral("emoji/") + name);
            if (!QFileInfo::exists(target) && QFileInfo::exists(source)) {
                if (!m_emoji.exists())
                    QDir().mkpath(m_emoji.path());
                if (!copyExportFile(source, target))
                    throw AppError(QStringLiteral("Cannot copy %1 to %2.").arg(source, target));
                copied.append(target);
            }
        }
        return QStringLiteral("emoji/") + name;
    }

    QString kikEmojiSource(const QString &hexKey) const override
    {
        return QStringLiteral("kikemoji/") + hexKey + QStringLiteral(".png");
    }

    QString mediaTarget(const _KikMessage *message) override
    {
        const QFileInfo content(message->content_path);
        if (message->content_path.isEmpty() || !content.isFile() || content.size() <= 0)
            return BubblePage::safeWebAddress(fileUrl(message));
        QString name = safeLeafName(content.fileName());
        if (name.isEmpty())
            name = QStringLiteral("attachment");
        if (content.suffix().isEmpty()) {
            const QString suffix = safeLeafName(
                QFileInfo(message->attachment.value(QStringLiteral("string:file-name")).toString()).suffix());
            if (!suffix.isEmpty())
                name += QLatin1Char('.') + suffix;
        }
        return copyIntoFiles(content.absoluteFilePath(), name);
    }

    // Previews are copied too: the cache folder they come from is not part
    // of the export and may be gone when the page is opened.
    QString imageSource(const QString &image) override
    {
        if (image.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
            || image.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
            const QString remote = BubblePage::safeRemoteImage(image);
            return remote.isEmpty() ? emptyPhoto() : remote;
        }
        const QFileInfo info(image);
        if (image.isEmpty() || !info.isFile() || info.size() <= 0)
            return emptyPhoto();
        QString name = safeLeafName(info.fileName());
        if (name.isEmpty())
            name = QStringLiteral("preview");
        return copyIntoFiles(info.absoluteFilePath(), name);
    }

private:
    QString copyIntoFiles(const QString &source, const QString &name)
    {
        // A file copied once for this page is linked again, not copied twice.
        const auto known = m_bySource.constFind(source);
        if (known != m_bySource.cend())
            return known.value();
        const QString target = uniqueFilePath(m_files.filePath(name));
        if (!copyExportFile(source, target))
            throw AppError(QStringLiteral("Cannot copy %1 to %2.").arg(source, target));
        copied.append(target);
        const QString link = QStringLiteral("files/")
                             + QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(target).fileName()));
        m_bySource.insert(source, link);
        return link;
    }

    QDir m_files;
    QDir m_emoji;
    QHash<QString, QString> m_bySource;
    mutable QSet<QString> m_emojiDone;
};

ExportMessagesHtml::ExportMessagesHtml(const QString &folder, const QString &fileName)
    : m_folder(folder), m_file(QDir(folder).filePath(fileName)),
      m_bubbles(std::make_unique<HtmlExportBubbles>(folder))
{
    if (!QDir(folder).mkpath(QStringLiteral("files")))
        throw AppError(QStringLiteral("Cannot create the folder %1.")
                           .arg(QDir(folder).filePath(QStringLiteral("files"))));
}

ExportMessagesHtml::~ExportMessagesHtml() = default;

void ExportMessagesHtml::begin()
{
    m_file.open();
    QTextStream &out = m_file.stream();
    const QString start = BubblePage::documentStart();
    const qsizetype split = start.indexOf(QLatin1String("<html"));
    out << start.left(split) << '\n' << start.mid(split) << '\n';
    out << "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />" << '\n';
    out << QStringLiteral("<title>%1</title>")
               .arg(htmlEscaped(QCoreApplication::translate("ids", AppInfo::kTitle)))
        << '\n';
    out << "<link href=\"files/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head><body>" << '\n';
}

void ExportMessagesHtml::write(const _KikMessage *message)
{
    const qint64 minute = BubblePage::minuteOf(message->ts);
    QTextStream &out = m_file.stream();
    if (m_first || minute != m_lastMinute)
        out << QStringLiteral("<div class=\"dt\">%1</div>").arg(BubblePage::dateText(message->ts)) << '\n';
    m_first = false;
    m_lastMinute = minute;
    out << m_bubbles->bubble(message) << '\n';
}

void ExportMessagesHtml::end()
{
    m_file.stream() << "</body></html>" << '\n';
    m_file.close();
}

QStringList ExportMessagesHtml::copiedFiles() const
{
    return m_bubbles->copied;
}
