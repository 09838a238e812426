// Draws the bubble frame pieces, the empty-photo placeholder and the Kik
// emoticons written into the shipped data folders.
#pragma once

#include <QImage>
#include <QList>
#include <QMargins>
#include <QString>

namespace BubbleImages {

// Corner sizes of the nine-part frames (left, top, right, bottom).
QMargins frameInsets(bool own);

// The nine pieces, row by row from the top left ("bbN_01" … "bbN_09").
QList<QImage> framePieces(bool own);

QImage emptyPhoto();

struct Emoticon
{
    const char *token;
    int mood; // selects eyes and mouth
};
// The twenty Kik emoticons; their images are named by the lower-case hex of
// the token's bytes.
QList<Emoticon> emoticons();
QImage emoticonImage(const Emoticon &emoticon);

} // namespace BubbleImages
