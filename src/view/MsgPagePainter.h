// Paints messages as bubbles onto pages: date headers, group sender names,
// text or preview images inside nine-part bubble frames, page numbers. Used
// by printing (on a printer) and by the PDF export (on a PDF writer).
#pragma once

#include "model/KikRecords.h"

#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QList>
#include <QMargins>
#include <QPainter>
#include <QRect>
#include <QStringList>

#include <functional>

class QPagedPaintDevice;

class MsgPagePainter
{
public:
    MsgPagePainter();

    // Starts painting on the device (not owned); throws AppError
    // when painting cannot start.
    void begin(QPagedPaintDevice *device);
    // Asked between pieces of work: when it answers true, paint() throws
    // JobCancelled and leaves the message unfinished (the caller discards
    // the pages).
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    void paint(const _KikMessage *message);
    void end();

    int pageNumber() const { return m_pageNumber; }
    int currentY() const { return m_currentY; }
    QRect contentRect() const { return m_content; }

    // Height of the page-number strip below the content rectangle.
    static constexpr int kNumberStrip = 18;
    static constexpr int kNumberGap = 2;

    // Frame insets (corner sizes) and content padding of each side, as
    // QMargins(left, top, right, bottom).
    static QMargins frameInsets(bool own);
    static QMargins contentPadding(bool own);
    // The text cut into pieces of at most `maxLength` characters, each laid
    // out by itself; a piece ends after a space or line break when one lies
    // in its second half, and never between the halves of a surrogate pair.
    static QStringList layoutPieces(const QString &text, qsizetype maxLength = 2000);
    // A preview scaled to at most 200 px on its longer side.
    static QSize scaledImageSize(const QSize &size);

private:
    void throwIfCancelled() const;
    void startPage();
    void ensureSpace(int height);
    void drawFrame(const QRect &rect, bool own);
    void paintDateHeader(const QDateTime &ts);
    void paintSender(const QString &sender, int height);
    void paintImageBubble(const _KikMessage *message, const QString &sender, int senderHeight);
    void paintTextBubble(const _KikMessage *message, const QString &sender, int senderHeight);
    static QSize bubbleSize(const QSize &inner, bool own);

    QPagedPaintDevice *m_device = nullptr;
    QPainter m_painter;
    QRect m_content;
    int m_currentY = 0;
    int m_pageNumber = 1;
    qint64 m_lastMinute = 0;
    bool m_anyMinute = false;
    QList<QImage> m_frames[2]; // [0] others ("bb1"), [1] own ("bb2")
    QImage m_emptyPhoto;
    QFont m_numberFont;
    QFont m_dateFont;
    QFont m_textFont;
    std::function<bool()> m_cancelled;
};
