#include "view/BubbleHtml.h"

#include "app/TextUtil.h"
#include "model/Emoji.h"
#include "model/KikText.h"
#include "model/RenderInstructions.h"
#include "view/ViewData.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace BubblePage {

int pageCount(qsizetype messageCount)
{
    return int((messageCount + kPageSize - 1) / kPageSize);
}

int pageOfIndex(qsizetype index)
{
    return int(index / kPageSize) + 1;
}

QString dateText(const QDateTime &ts)
{
    return QLocale::c().toString(ts.toLocalTime(), QStringLiteral("dd MMM yyyy @ hh:mm AP"));
}

qint64 minuteOf(const QDateTime &ts)
{
    const qint64 secs = ts.isValid() ? ts.toSecsSinceEpoch() : 0;
    return secs >= 0 ? secs / 60 : -((-secs + 59) / 60);
}

QString documentStart()
{
    return QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                          "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
                          "<html xmlns=\"http://www.w3.org/1999/xhtml\">");
}

namespace {

bool looksLikeLocalPath(const QString &text)
{
    if (text.startsWith(QLatin1Char('/')) && !text.startsWith(QLatin1String("//")))
        return true;
    // "C:/…" or "C:\…"
    return text.size() > 2 && text.at(0).isLetter() && text.at(1) == QLatin1Char(':')
           && (text.at(2) == QLatin1Char('/') || text.at(2) == QLatin1Char('\\'));
}

} // namespace

QString safeLinkTarget(const QString &target)
{
    const QString text = target.trimmed();
    if (text.isEmpty())
        return QString();
    if (looksLikeLocalPath(text))
        return QUrl::fromLocalFile(text).toString(QUrl::FullyEncoded);
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid())
        return QString();
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("file")
        || scheme == QLatin1String("atta"))
        return url.toString(QUrl::FullyEncoded);
    return QString();
}

QString safeWebAddress(const QString &address)
{
    return safeRemoteImage(address);
}

QString safeRemoteImage(const QString &source)
{
    const QUrl url(source.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
        return url.toString(QUrl::FullyEncoded);
    return QString();
}

} // namespace BubblePage

namespace {

const QString kBackgroundCells =
    QStringLiteral("<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div>"
                   "<div class=\"bb_bg top_right\"></div><div class=\"bb_bg middle_left\"></div>"
                   "<div class=\"bb_bg middle_middle\"></div><div class=\"bb_bg middle_right\"></div>"
                   "<div class=\"bb_bg bottom_left\"></div><div class=\"bb_bg bottom_middle\"></div>"
                   "<div class=\"bb_bg bottom_right\"></div>");

// Characters that XML does not allow (controls other than tab, line feed
// and carriage return) are dropped so that exported pages stay well-formed.
QString withoutControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if ((u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D) || u == 0xFFFE || u == 0xFFFF)
            continue;
        out += ch;
    }
    return out;
}

QString escapedText(const QString &text)
{
    return htmlEscaped(withoutControls(text));
}

bool startsWith(const QString &text, const char *prefix)
{
    return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

bool usableFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

QString jsonValue(const _KikMessage *message, const char *name)
{
    const QString json = message->attachment.value(QStringLiteral("extra:jsonData")).toString();
    const QRegularExpression expression(QStringLiteral("\"?%1\"?:\"?([^\",]+)\"?").arg(QLatin1String(name)));
    const QRegularExpressionMatch match = expression.match(json);
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

QString BubbleHtmlBuilder::escapedWithEmoji(const QString &text) const
{
    return convertEmoji(escapedText(text), [this](const QString &hex) {
        return QStringLiteral("<img src=\"%1\" style=\"vertical-align:top;\" />")
            .arg(htmlAttributeEscaped(emojiSource(hex)));
    });
}

QString BubbleHtmlBuilder::emojiSource(const QString &hex) const
{
    return QStringLiteral("emoji/") + hex + QStringLiteral(".png");
}

QString BubbleHtmlBuilder::kikEmojiSource(const QString &hexKey) const
{
    return QUrl::fromLocalFile(
               ViewData::dataPath(QStringLiteral("kikemoji/") + hexKey + QStringLiteral(".png")))
        .toString(QUrl::FullyEncoded);
}

QString BubbleHtmlBuilder::emptyPhoto() const
{
    return QStringLiteral("kikbb/empty_photo.jpg");
}

QString BubbleHtmlBuilder::imageSource(const QString &image)
{
    if (startsWith(image, "http://") || startsWith(image, "https://")) {
        const QString remote = BubblePage::safeRemoteImage(image);
        return remote.isEmpty() ? emptyPhoto() : remote;
    }
    if (usableFile(image))
        return QUrl::fromLocalFile(QFileInfo(image).absoluteFilePath()).toString(QUrl::FullyEncoded);
    return emptyPhoto();
}

QString BubbleHtmlBuilder::mediaTarget(const _KikMessage *message)
{
    if (!usableFile(message->content_path))
        return BubblePage::safeWebAddress(fileUrl(message));
    const QFileInfo content(message->content_path);
    if (!content.suffix().isEmpty())
        return BubblePage::safeLinkTarget(content.absoluteFilePath());
    const QString suffix =
        QFileInfo(message->attachment.value(QStringLiteral("string:file-name")).toString()).suffix();
    if (!suffix.isEmpty()) {
        return QStringLiteral("atta:///?ph=%1&sf=%2")
            .arg(QString::fromLatin1(message->content_path.toUtf8().toHex()),
                 QString::fromLatin1(QUrl::toPercentEncoding(suffix)));
    }
    return BubblePage::safeLinkTarget(content.absoluteFilePath());
}

QString BubbleHtmlBuilder::imageLink(const QString &target, int max, const QString &image)
{
    const QString img = QStringLiteral("<img style=\"max-width:%1px;max-height:%2px;\" src=\"%3\" />")
                            .arg(max)
                            .arg(max)
                            .arg(htmlAttributeEscaped(imageSource(image)));
    if (target.isEmpty())
        return QStringLiteral("<a>") + img + QStringLiteral("</a>");
    return QStringLiteral("<a href=\"%1\"%2>").arg(htmlAttributeEscaped(target), linkAttributes()) + img
           + QStringLiteral("</a>");
}

QString BubbleHtmlBuilder::cardContent(const _KikMessage *message)
{
    const QString &sub = message->sub_app_id;
    const auto is = [&sub](const char *name) {
        return sub.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    const QString preview = message->preview_path;
    const auto wrap = [](const QString &inner) -> QString {
        return QStringLiteral("<div>") + inner + QStringLiteral("</div>");
    };
    if (is("Image Search"))
        return wrap(imageLink(BubblePage::safeWebAddress(jsonValue(message, "url")), 128, preview));
    if (is("Memes")) {
        const QString image = jsonValue(message, "image");
        const QString target = image.isEmpty()
                                   ? QString()
                                   : BubblePage::safeWebAddress(QLatin1String(ViewData::kMemeServer) + image);
        return wrap(imageLink(target, 128, preview));
    }
    if (is("Stickers")) {
        const QString sticker = message->attachment.value(QStringLiteral("extra:sticker_url")).toString();
        return wrap(imageLink(BubblePage::safeWebAddress(sticker), 128, preview));
    }
    if (is("Viral Videos")) {
        const QString title = message->attachment.value(QStringLiteral("string:title")).toString();
        return wrap(QStringLiteral("<div style=\"text-align:left; min-width:200px;\">"
                                   "<div style=\"float:left;margin:5px;\">")
                    + imageLink(BubblePage::safeWebAddress(jsonValue(message, "pic")), 64, preview)
                    + QStringLiteral("</div><div>") + escapedText(title)
                    + QStringLiteral("</div><div class=\"clear\"></div></div>"));
    }
    if (is("Sketch"))
        return wrap(imageLink(BubblePage::safeWebAddress(jsonValue(message, "image")), 128, preview));
    // "Kik Points" and every other card: the preview when there is one,
    // otherwise the card's title in brackets.
    if (usableFile(preview) || startsWith(preview, "http://") || startsWith(preview, "https://"))
        return wrap(imageLink(QString(), 128, preview));
    return wrap(escapedWithEmoji(QLatin1Char('[') + sub + QLatin1Char(']')));
}

QString BubbleHtmlBuilder::textContent(const _KikMessage *message) const
{
    QString html;
    if (!message->render_ins.isEmpty()) {
        html = applyRenderInstructions(
            withoutControls(message->body), message->render_ins,
            [this](const QString &key, const std::optional<QString> &value) {
                if (value) {
                    const QString src = QLatin1String(ViewData::kSmileyServer) + QStringLiteral("/smileys/")
                                        + QString::fromLatin1(QUrl::toPercentEncoding(*value))
                                        + QStringLiteral("/60x60.png");
                    return QStringLiteral("<img src=\"%1\" width=\"20\" height=\"20\"/>")
                        .arg(htmlAttributeEscaped(src));
                }
                if (!key.isEmpty()) {
                    const QString hex = QString::fromLatin1(key.toUtf8().toHex());
                    return QStringLiteral("<img src=\"%1\" width=\"20\" height=\"20\"/>")
                        .arg(htmlAttributeEscaped(kikEmojiSource(hex)));
                }
                return QStringLiteral("[EMOJI]");
            },
            true);
    } else {
        html = escapedText(message->body);
    }
    return convertEmoji(html, [this](const QString &hex) {
        return QStringLiteral("<img src=\"%1\" style=\"vertical-align:top;\" />")
            .arg(htmlAttributeEscaped(emojiSource(hex)));
    });
}

QString BubbleHtmlBuilder::content(const _KikMessage *message)
{
    const QString &app = message->app_id;
    if (startsWith(app, "com.kik.ext.camera") || startsWith(app, "com.kik.ext.gallery")
        || startsWith(app, "com.kik.ext.video"))
        return QStringLiteral("<div>") + imageLink(mediaTarget(message), 128, message->preview_path)
               + QStringLiteral("</div>");
    if (startsWith(app, "com.kik.cards"))
        return cardContent(message);
    return textContent(message);
}

QString BubbleHtmlBuilder::bubble(const _KikMessage *message)
{
    QString html = QStringLiteral("<div class=\"%1\">")
                       .arg(message->was_me ? QLatin1String("bb2") : QLatin1String("bb1"));
    html += kBackgroundCells;
    if (!message->was_me && message->chat && message->chat->user && message->chat->user->is_group
        && message->target_user) {
        html += QStringLiteral("<div class=\"handle\">") + escapedWithEmoji(displayName(message->target_user))
                + QStringLiteral("</div><div class=\"clear\"></div>");
    }
    html += content(message);
    html += QStringLiteral("</div><div class=\"clear\"></div>");
    return html;
}

QString BubbleHtmlBuilder::page(const KikMessageList &messages, int page)
{
    const int pages = BubblePage::pageCount(messages.size());
    if (page < 1 || page > pages)
        return QString();
    QString html = BubblePage::documentStart();
    html += QStringLiteral("<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
                           "<title>Bubble</title>"
                           "<link href=\"kikbb/style.css\" type=\"text/css\" rel=\"stylesheet\"/>"
                           "</head><body><a name=\"start\"></a>");
    if (page != 1)
        html += QStringLiteral("<p><a href=\"/pre_page\">&lt;&lt;Previous Page</a></p>");
    const qsizetype first = qsizetype(page - 1) * BubblePage::kPageSize;
    const qsizetype last = qMin(first + BubblePage::kPageSize, messages.size());
    qint64 previousMinute = 0;
    for (qsizetype i = first; i < last; ++i) {
        const _KikMessage *message = messages.at(i);
        html += QStringLiteral("<a name=\"sms_%1\"></a>").arg(message->_id);
        const qint64 minute = BubblePage::minuteOf(message->ts);
        if (i == first || minute != previousMinute)
            html += QStringLiteral("<div class=\"dt\">%1</div>").arg(BubblePage::dateText(message->ts));
        previousMinute = minute;
        html += bubble(message);
    }
    if (page != pages)
        html += QStringLiteral("<p><a href=\"/next_page\">&gt;&gt;Next Page</a></p>");
    html += QStringLiteral("<a name=\"end\"></a></body></html>");
    return html;
}
