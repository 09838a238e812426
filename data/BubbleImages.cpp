#include "BubbleImages.h"

#include <QPainter>
#include <QPainterPath>

namespace BubbleImages {
namespace {

constexpr int kFrameWidth = 64;
constexpr int kFrameHeight = 56;

QImage frame(bool own)
{
    QImage image(kFrameWidth, kFrameHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor fill = own ? QColor(0xd9, 0xf5, 0xc4) : QColor(0xff, 0xff, 0xff);
    const QColor line = own ? QColor(0x9c, 0xc9, 0x7d) : QColor(0xc4, 0xc4, 0xcc);
    // The body leaves room for the tail on the sender's side.
    const QRectF body = own ? QRectF(1.5, 1.5, kFrameWidth - 10, kFrameHeight - 6)
                            : QRectF(8.5, 1.5, kFrameWidth - 10, kFrameHeight - 6);
    QPainterPath path;
    path.addRoundedRect(body, 9, 9);
    QPainterPath tail;
    if (own) {
        tail.moveTo(body.right() - 8, body.bottom() - 12);
        tail.lineTo(kFrameWidth - 1.0, body.bottom() + 2);
        tail.lineTo(body.right() - 14, body.bottom());
    } else {
        tail.moveTo(body.left() + 8, body.bottom() - 12);
        tail.lineTo(1.0, body.bottom() + 2);
        tail.lineTo(body.left() + 14, body.bottom());
    }
    tail.closeSubpath();
    path = path.united(tail);
    painter.setPen(QPen(line, 1.2));
    painter.setBrush(fill);
    painter.drawPath(path);
    return image;
}

} // namespace

QMargins frameInsets(bool own)
{
    // left, top, right, bottom
    return own ? QMargins(16, 12, 19, 17) : QMargins(14, 11, 12, 12);
}

QList<QImage> framePieces(bool own)
{
    const QImage whole = frame(own);
    const QMargins m = frameInsets(own);
    const int xs[4] = {0, m.left(), kFrameWidth - m.right(), kFrameWidth};
    const int ys[4] = {0, m.top(), kFrameHeight - m.bottom(), kFrameHeight};
    QList<QImage> pieces;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            pieces.append(whole.copy(xs[col], ys[row], xs[col + 1] - xs[col], ys[row + 1] - ys[row]));
    }
    return pieces;
}

QImage emptyPhoto()
{
    QImage image(128, 128, QImage::Format_RGB32);
    image.fill(QColor(0xe4, 0xe6, 0xea));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xb8, 0xbc, 0xc6));
    painter.drawEllipse(QPointF(86, 40), 12, 12);
    QPolygonF hills;
    hills << QPointF(12, 108) << QPointF(48, 56) << QPointF(72, 88) << QPointF(88, 72) << QPointF(116, 108);
    painter.drawPolygon(hills);
    return image;
}

QList<Emoticon> emoticons()
{
    return {
        {":)", 0},  {":(", 1},  {";)", 2},  {":P", 3},  {":D", 4},   {":O", 5},   {":'(", 6},
        {":@", 7},  {":$", 8},  {":|", 9},  {":S", 10}, {"B)", 11},  {"O:)", 12}, {">:)", 13},
        {":*", 14}, {"<3", 15}, {"8|", 16}, {":/", 17}, {"(y)", 18}, {"(n)", 19},
    };
}

QImage emoticonImage(const Emoticon &emoticon)
{
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int mood = emoticon.mood;
    if (mood == 15) { // heart
        QPainterPath heart;
        heart.moveTo(20, 34);
        heart.cubicTo(2, 22, 4, 6, 20, 13);
        heart.cubicTo(36, 6, 38, 22, 20, 34);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xe8, 0x3a, 0x4c));
        p.drawPath(heart);
        return image;
    }
    const QColor face = mood == 7 || mood == 13 ? QColor(0xf2, 0x74, 0x52) : QColor(0xff, 0xcc, 0x33);
    p.setPen(QPen(QColor(0xc8, 0x8a, 0x10), 1.5));
    p.setBrush(face);
    p.drawEllipse(QRectF(2, 2, 36, 36));
    p.setPen(QPen(QColor(0x3a, 0x2a, 0x10), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    // Eyes.
    if (mood == 2) {
        p.drawPoint(QPointF(14, 15));
        p.drawLine(QPointF(23, 15), QPointF(28, 15));
    } else if (mood == 11) {
        p.setBrush(QColor(0x20, 0x20, 0x20));
        p.drawRect(QRectF(9, 12, 9, 5));
        p.drawRect(QRectF(22, 12, 9, 5));
        p.drawLine(QPointF(18, 14), QPointF(22, 14));
        p.setBrush(Qt::NoBrush);
    } else if (mood == 16 || mood == 5) {
        p.drawEllipse(QPointF(14, 15), 3, 3);
        p.drawEllipse(QPointF(26, 15), 3, 3);
    } else {
        p.drawPoint(QPointF(14, 15));
        p.drawPoint(QPointF(26, 15));
    }
    if (mood == 12) { // halo
        p.setPen(QPen(QColor(0xf5, 0xd0, 0x20), 2));
        p.drawEllipse(QRectF(10, 0, 20, 5));
        p.setPen(QPen(QColor(0x3a, 0x2a, 0x10), 2.4, Qt::SolidLine, Qt::RoundCap));
    }
    // Mouth.
    switch (mood) {
    case 1:
    case 6:
    case 7:
        p.drawArc(QRectF(12, 24, 16, 10), 0, 180 * 16);
        break;
    case 3:
        p.drawArc(QRectF(11, 18, 18, 10), 180 * 16, 180 * 16);
        p.setBrush(QColor(0xe8, 0x5a, 0x6c));
        p.drawEllipse(QRectF(20, 26, 6, 6));
        break;
    case 4:
        p.setBrush(QColor(0x80, 0x20, 0x20));
        p.drawChord(QRectF(10, 16, 20, 16), 180 * 16, 180 * 16);
        break;
    case 5:
    case 16:
        p.drawEllipse(QRectF(16, 25, 8, 8));
        break;
    case 9:
    case 17:
        p.drawLine(QPointF(13, mood == 17 ? 29 : 28), QPointF(27, mood == 17 ? 26 : 28));
        break;
    case 10:
        p.drawLine(QPointF(12, 28), QPointF(17, 25));
        p.drawLine(QPointF(17, 25), QPointF(23, 30));
        p.drawLine(QPointF(23, 30), QPointF(28, 27));
        break;
    case 14:
        p.drawEllipse(QRectF(17, 25, 6, 6));
        break;
    case 18:
    case 19:
        p.drawText(QRectF(0, 18, 40, 18), Qt::AlignCenter, QString::fromLatin1(mood == 18 ? "+" : "-"));
        break;
    default:
        p.drawArc(QRectF(11, 17, 18, 12), 200 * 16, 140 * 16);
    }
    if (mood == 6) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x40, 0x90, 0xf0));
        p.drawEllipse(QRectF(10, 18, 4, 6));
    }
    if (mood == 8) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf0, 0x80, 0x80, 160));
        p.drawEllipse(QRectF(6, 20, 7, 5));
        p.drawEllipse(QRectF(27, 20, 7, 5));
    }
    return image;
}

} // namespace BubbleImages
