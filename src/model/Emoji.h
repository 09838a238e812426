// Emoji in message texts: the single-unit symbols and private-use range
// that Kik and iOS use, and surrogate pairs of the emoji planes.
#pragma once

#include <QString>

#include <functional>

// Receives the code point as upper-case hex digits without leading zeros.
using EmojiReplacer = std::function<QString(const QString &hexCodePoint)>;

QString convertEmoji(const QString &text, const EmojiReplacer &replacer);

// Whether the single UTF-16 unit is one of the replaced symbols.
bool isSingleUnitEmoji(char16_t unit);
