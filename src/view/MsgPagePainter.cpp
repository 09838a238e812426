#include "view/MsgPagePainter.h"

#include "app/AppError.h"
#include "jobs/JobCancelled.h"
#include "model/KikText.h"
#include "view/BubbleHtml.h"
#include "view/ViewData.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QTextLayout>

#include <cmath>
#include <memory>
#include <vector>

#include <stdexcept>

namespace {

const QColor kBackground(0xff, 0xff, 0xff);
const QColor kNumberColour(146, 146, 165);
const QColor kSenderColour(242, 116, 5);
const QColor kDateColour(0x70, 0x70, 0x78);

bool isMedia(const _KikMessage *message)
{
    const QString &app = message->app_id;
    return app.startsWith(QLatin1String("com.kik.ext.camera"), Qt::CaseInsensitive)
           || app.startsWith(QLatin1String("com.kik.ext.gallery"), Qt::CaseInsensitive)
           || app.startsWith(QLatin1String("com.kik.ext.video"), Qt::CaseInsensitive)
           || app.startsWith(QLatin1String("com.kik.cards"), Qt::CaseInsensitive);
}

QFont sized(int points)
{
    QFont font = QGuiApplication::font();
    font.setPointSize(points);
    return font;
}

} // namespace

MsgPagePainter::MsgPagePainter() : m_numberFont(sized(12)), m_dateFont(sized(13)), m_textFont(sized(10))
{
    for (int side = 0; side < 2; ++side) {
        for (int i = 1; i <= 9; ++i) {
            m_frames[side].append(QImage(ViewData::dataPath(
                QStringLiteral("kikbb/bb%1_%2.png").arg(side + 1).arg(i, 2, 10, QLatin1Char('0')))));
        }
    }
    m_emptyPhoto = QImage(ViewData::dataPath(QStringLiteral("kikbb/empty_photo.jpg")));
    if (m_emptyPhoto.isNull()) {
        m_emptyPhoto = QImage(128, 128, QImage::Format_RGB32);
        m_emptyPhoto.fill(QColor(0xe4, 0xe6, 0xea));
    }
}

void MsgPagePainter::throwIfCancelled() const
{
    if (m_cancelled && m_cancelled())
        throw JobCancelled();
}

QMargins MsgPagePainter::frameInsets(bool own)
{
    return own ? QMargins(16, 12, 19, 17) : QMargins(14, 11, 12, 12);
}

QMargins MsgPagePainter::contentPadding(bool own)
{
    return own ? QMargins(10, 7, 16, 8) : QMargins(16, 7, 10, 8);
}

QSize MsgPagePainter::scaledImageSize(const QSize &size)
{
    if (size.height() >= size.width() && size.height() > 200)
        return size.scaled(QSize(100000, 200), Qt::KeepAspectRatio);
    if (size.width() > size.height() && size.width() > 200)
        return size.scaled(QSize(200, 100000), Qt::KeepAspectRatio);
    return size;
}

QStringList MsgPagePainter::layoutPieces(const QString &text, qsizetype maxLength)
{
    QStringList pieces;
    qsizetype start = 0;
    while (text.size() - start > maxLength) {
        qsizetype end = start + maxLength;
        // The last space or line break of the second half of the piece.
        for (qsizetype i = end; i > start + maxLength / 2; --i) {
            const QChar c = text.at(i - 1);
            if (c == QChar::LineSeparator || c.isSpace()) {
                end = i;
                break;
            }
        }
        if (text.at(end - 1).isHighSurrogate())
            --end;
        pieces.append(text.mid(start, end - start));
        start = end;
    }
    pieces.append(text.mid(start));
    return pieces;
}

void MsgPagePainter::begin(QPagedPaintDevice *device)
{
    m_device = device;
    const QPageLayout layout = device->pageLayout();
    const QRect paint = layout.paintRectPixels(device->logicalDpiX());
    // The page number strip lies below the content, inside the margins.
    m_content = QRect(0, 0, paint.width(), paint.height() - kNumberStrip - kNumberGap);
    if (!m_painter.begin(device))
        throw AppError("Cannot start painting the pages.");
    m_pageNumber = 1;
    m_anyMinute = false;
    startPage();
}

void MsgPagePainter::startPage()
{
    m_painter.fillRect(m_content, kBackground);
    m_painter.setFont(m_numberFont);
    m_painter.setPen(kNumberColour);
    const QRect strip(m_content.left(), m_content.bottom() + 1 + kNumberGap, m_content.width(), kNumberStrip);
    m_painter.drawText(strip, Qt::AlignRight | Qt::AlignVCenter, QString::number(m_pageNumber));
    m_currentY = m_content.top();
}

void MsgPagePainter::ensureSpace(int height)
{
    // On a fresh page everything starts at the top, even what is taller
    // than the page (text bubbles split themselves before that happens).
    if (m_content.bottom() - m_currentY + 1 >= height || m_currentY == m_content.top())
        return;
    m_device->newPage();
    ++m_pageNumber;
    startPage();
}

void MsgPagePainter::drawFrame(const QRect &r, bool own)
{
    const QList<QImage> &pieces = m_frames[own ? 1 : 0];
    const QMargins m = frameInsets(own);
    const int xs[4] = {r.left(), r.left() + m.left(), r.right() + 1 - m.right(), r.right() + 1};
    const int ys[4] = {r.top(), r.top() + m.top(), r.bottom() + 1 - m.bottom(), r.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QImage &piece = pieces.at(row * 3 + col);
            const QRect target(QPoint(xs[col], ys[row]), QPoint(xs[col + 1] - 1, ys[row + 1] - 1));
            if (piece.isNull() || target.isEmpty())
                continue;
            m_painter.drawImage(target, piece);
        }
    }
}

void MsgPagePainter::paintDateHeader(const QDateTime &ts)
{
    const qint64 minute = BubblePage::minuteOf(ts);
    if (m_anyMinute && minute == m_lastMinute)
        return;
    const int width = m_content.width();
    const QString text = BubblePage::dateText(ts);
    m_painter.setFont(m_dateFont);
    const QRect box =
        m_painter.boundingRect(QRect(0, 0, width - 20, 100000), Qt::TextWordWrap | Qt::AlignCenter, text);
    ensureSpace(box.height());
    m_painter.setPen(kDateColour);
    m_painter.drawText(QRect(m_content.left() + 10, m_currentY, width - 20, box.height()),
                       Qt::TextWordWrap | Qt::AlignCenter, text);
    m_currentY += box.height() + 11;
    m_lastMinute = minute;
    m_anyMinute = true;
}

void MsgPagePainter::paintSender(const QString &sender, int height)
{
    m_painter.setFont(m_textFont);
    m_painter.setPen(kSenderColour);
    m_painter.drawText(QRect(m_content.left() + 4, m_currentY, m_content.width() - 8, height),
                       Qt::AlignLeft | Qt::AlignVCenter, sender);
    m_currentY += height;
}

QSize MsgPagePainter::bubbleSize(const QSize &inner, bool own)
{
    const QMargins pad = contentPadding(own);
    const QMargins insets = frameInsets(own);
    return QSize(qMax(inner.width() + pad.left() + pad.right(), insets.left() + insets.right() + 1),
                 qMax(inner.height() + pad.top() + pad.bottom(), insets.top() + insets.bottom() + 1));
}

void MsgPagePainter::paintImageBubble(const _KikMessage *message, const QString &sender, int senderHeight)
{
    const bool own = message->was_me;
    QImage image;
    const QFileInfo preview(message->preview_path);
    if (!message->preview_path.isEmpty() && preview.isFile() && preview.size() > 0)
        image = QImage(message->preview_path);
    if (image.isNull())
        image = m_emptyPhoto;
    const QSize inner = scaledImageSize(image.size());
    const QSize bubble = bubbleSize(inner, own);
    ensureSpace(senderHeight + bubble.height());
    if (!sender.isEmpty())
        paintSender(sender, senderHeight);
    const int x = own ? m_content.right() + 1 - bubble.width() : m_content.left();
    drawFrame(QRect(QPoint(x, m_currentY), bubble), own);
    const QMargins pad = contentPadding(own);
    m_painter.drawImage(QRect(QPoint(x + pad.left(), m_currentY + pad.top()), inner), image);
    m_currentY += bubble.height() + 10;
}

void MsgPagePainter::paintTextBubble(const _KikMessage *message, const QString &sender, int senderHeight)
{
    const bool own = message->was_me;
    const QMargins pad = contentPadding(own);
    const int maxText = qMax(40, int(m_content.width() * 0.8) - pad.left() - pad.right());

    // The text is laid out in lines once; a bubble that fits on a page is
    // drawn whole (on the next page when the rest of this one is too
    // short), a taller one goes on over as many pages as it needs, so that
    // no line of a long message is cut off.
    QString text = summaryText(message);
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    // Laid out in pieces of bounded length: the line breaker looks ahead to
    // the next break opportunity, so one endless word laid out whole would
    // cost time quadratic in its length. A piece ends at a space or line
    // break where there is one.
    std::vector<std::unique_ptr<QTextLayout>> layouts;
    QList<QTextLine> lines;
    qreal y = 0;
    qreal widest = 0;
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString &piece : layoutPieces(text)) {
        throwIfCancelled();
        auto &layout = layouts.emplace_back(std::make_unique<QTextLayout>(piece, m_textFont, m_device));
        layout->setTextOption(option);
        layout->beginLayout();
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLineWidth(maxText);
            line.setPosition(QPointF(0, y));
            y += line.height();
            widest = qMax(widest, line.naturalTextWidth());
            lines.append(line);
        }
        layout->endLayout();
    }
    const int innerWidth = qMin(maxText, int(std::ceil(widest)));
    const auto linesHeight = [&lines](qsizetype from, qsizetype to) -> int {
        if (from >= to)
            return 0;
        return int(std::ceil(lines.at(to - 1).position().y() + lines.at(to - 1).height()
                             - lines.at(from).position().y()));
    };
    const int pageHeight = m_content.height();
    const int fullHeight =
        senderHeight + bubbleSize(QSize(innerWidth, linesHeight(0, lines.size())), own).height();
    const int chrome = pad.top() + pad.bottom();

    qsizetype first = 0;
    bool firstPart = true;
    do {
        const int extra = firstPart ? senderHeight : 0;
        qsizetype last = lines.size();
        if (fullHeight <= pageHeight) {
            ensureSpace(fullHeight);
        } else {
            // As many lines as the rest of this page holds (a fresh page
            // holds at least one).
            const int room = m_content.bottom() + 1 - m_currentY - extra - chrome;
            last = first;
            while (last < lines.size() && linesHeight(first, last + 1) <= room)
                ++last;
            if (last == first && m_currentY != m_content.top()) {
                m_device->newPage();
                ++m_pageNumber;
                startPage();
                continue;
            }
            last = qMax(last, qMin(first + 1, lines.size()));
        }
        if (firstPart && !sender.isEmpty())
            paintSender(sender, senderHeight);
        const QSize bubble = bubbleSize(QSize(innerWidth, linesHeight(first, last)), own);
        const int x = own ? m_content.right() + 1 - bubble.width() : m_content.left();
        drawFrame(QRect(QPoint(x, m_currentY), bubble), own);
        m_painter.setFont(m_textFont);
        m_painter.setPen(Qt::black);
        const qreal top = first < lines.size() ? lines.at(first).position().y() : 0;
        for (qsizetype i = first; i < last; ++i) {
            throwIfCancelled();
            lines.at(i).draw(&m_painter, QPointF(x + pad.left(), m_currentY + pad.top() - top));
        }
        m_currentY += bubble.height() + 10;
        first = last;
        firstPart = false;
    } while (first < lines.size());
}

void MsgPagePainter::paint(const _KikMessage *message)
{
    paintDateHeader(message->ts);
    QString sender;
    if (!message->was_me && message->chat && message->chat->user && message->chat->user->is_group
        && message->target_user)
        sender = displayName(message->target_user);
    int senderHeight = 0;
    if (!sender.isEmpty()) {
        m_painter.setFont(m_textFont);
        senderHeight = m_painter.fontMetrics().height() + 2;
    }
    if (isMedia(message))
        paintImageBubble(message, sender, senderHeight);
    else
        paintTextBubble(message, sender, senderHeight);
}

void MsgPagePainter::end()
{
    if (m_painter.isActive())
        m_painter.end();
}
