#include "view/MsgPagePainter.h"

#include "model/KikText.h"
#include "view/BubbleHtml.h"
#include "view/ViewData.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPagedPaintDevice>

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

MsgPagePainter::MsgPagePainter()
    : m_numberFont(sized(12)), m_dateFont(sized(13)), m_textFont(sized(10))
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

void MsgPagePainter::begin(QPagedPaintDevice *device)
{
    m_device = device;
    const QPageLayout layout = device->pageLayout();
    const QRect paint = layout.paintRectPixels(device->logicalDpiX());
    // The page number strip lies below the content, inside the margins.
    m_content = QRect(0, 0, paint.width(), paint.height() - kNumberStrip - kNumberGap);
    if (!m_painter.begin(device))
        throw std::runtime_error("Cannot start painting the pages.");
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
    // A bubble taller than a whole page is drawn on a fresh page and cut.
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

void MsgPagePainter::paint(const _KikMessage *message)
{
    const int width = m_content.width();
    const qint64 minute = BubblePage::minuteOf(message->ts);
    if (!m_anyMinute || minute != m_lastMinute) {
        const QString text = BubblePage::dateText(message->ts);
        m_painter.setFont(m_dateFont);
        const QRect box = m_painter.boundingRect(QRect(0, 0, width - 20, 100000),
                                                 Qt::TextWordWrap | Qt::AlignCenter, text);
        ensureSpace(box.height());
        m_painter.setPen(kDateColour);
        m_painter.drawText(QRect(m_content.left() + 10, m_currentY, width - 20, box.height()),
                           Qt::TextWordWrap | Qt::AlignCenter, text);
        m_currentY += box.height() + 11;
        m_lastMinute = minute;
        m_anyMinute = true;
    }

    const bool own = message->was_me;
    const QMargins pad = contentPadding(own);
    const QMargins insets = frameInsets(own);
    QString sender;
    if (!own && message->chat && message->chat->user && message->chat->user->is_group && message->target_user)
        sender = displayName(message->target_user);

    // Measure the content.
    QImage image;
    QString text;
    QSize inner;
    if (isMedia(message)) {
        const QFileInfo preview(message->preview_path);
        if (!message->preview_path.isEmpty() && preview.isFile() && preview.size() > 0)
            image = QImage(message->preview_path);
        if (image.isNull())
            image = m_emptyPhoto;
        inner = scaledImageSize(image.size());
    } else {
        text = summaryText(message);
        const int maxText = qMax(40, int(width * 0.8) - pad.left() - pad.right());
        m_painter.setFont(m_textFont);
        inner = m_painter.boundingRect(QRect(0, 0, maxText, 100000), Qt::TextWordWrap, text).size();
        inner.setWidth(qMin(inner.width(), maxText));
    }
    const QSize bubble(qMax(inner.width() + pad.left() + pad.right(), insets.left() + insets.right() + 1),
                       qMax(inner.height() + pad.top() + pad.bottom(), insets.top() + insets.bottom() + 1));
    int senderHeight = 0;
    if (!sender.isEmpty()) {
        m_painter.setFont(m_textFont);
        senderHeight = m_painter.fontMetrics().height() + 2;
    }
    ensureSpace(senderHeight + bubble.height());
    const int x = own ? m_content.right() + 1 - bubble.width() : m_content.left();
    if (!sender.isEmpty()) {
        m_painter.setFont(m_textFont);
        m_painter.setPen(kSenderColour);
        m_painter.drawText(QRect(m_content.left() + 4, m_currentY, width - 8, senderHeight),
                           Qt::AlignLeft | Qt::AlignVCenter, sender);
        m_currentY += senderHeight;
    }
    const QRect frame(QPoint(x, m_currentY), bubble);
    drawFrame(frame, own);
    const QRect inside(QPoint(x + pad.left(), m_currentY + pad.top()), inner);
    if (!image.isNull()) {
        m_painter.drawImage(inside, image);
    } else {
        m_painter.setFont(m_textFont);
        m_painter.setPen(Qt::black);
        m_painter.drawText(inside, Qt::TextWordWrap, text);
    }
    m_currentY += bubble.height() + 10;
}

void MsgPagePainter::end()
{
    if (m_painter.isActive())
        m_painter.end();
}
