// The code points that the emoji conversion of message texts can produce,
// and the standard emoji a private-use code point stands for.
#pragma once

#include <QList>
#include <QMap>
#include <QString>

namespace EmojiSet {

// E000–E537, the single-unit symbols, and U+1F000–U+1F7FF (a high surrogate
// D83C or D83D with any low surrogate).
QList<uint> producedCodePoints();

// SoftBank Shift_JIS code (as in the SoftBank column of Unicode's
// EmojiSources.txt) to SoftBank's private-use code point; 0 when the code
// lies outside SoftBank's emoji rows.
uint softBankSjisToPua(uint sjis);

// Private-use code point -> the standard emoji text, read from the lines of
// EmojiSources.txt ("Unicode;DoCoMo;KDDI;SoftBank").
QMap<uint, QString> parseEmojiSources(const QByteArray &text);

} // namespace EmojiSet
