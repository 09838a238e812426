#include "model/Emoji.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr char16_t kSymbols[] = {
    0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B, 0x23EB, 0x23EC,
    0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B,
    0x2693, 0x26AA, 0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744,
    0x2747, 0x274E, 0x2795, 0x2796, 0x2797, 0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030,
};

QString hex(uint codePoint)
{
    return QString::number(codePoint, 16).toUpper();
}

} // namespace

bool isSingleUnitEmoji(char16_t unit)
{
    if (unit >= 0xE000 && unit <= 0xE537)
        return true;
    return std::find(std::begin(kSymbols), std::end(kSymbols), unit) != std::end(kSymbols);
}

QString convertEmoji(const QString &text, const EmojiReplacer &replacer)
{
    // First pass: single units.
    QString first;
    first.reserve(text.size());
    for (QChar ch : text) {
        if (isSingleUnitEmoji(ch.unicode()))
            first += replacer(hex(ch.unicode()));
        else
            first += ch;
    }
    // Second pass: a high surrogate D83C or D83D with the low surrogate after it.
    QString out;
    out.reserve(first.size());
    for (qsizetype i = 0; i < first.size(); ++i) {
        const char16_t high = first.at(i).unicode();
        if ((high == 0xD83C || high == 0xD83D) && i + 1 < first.size() && first.at(i + 1).isLowSurrogate()) {
            const char16_t low = first.at(i + 1).unicode();
            const uint codePoint = (uint(high) - 0xD800) * 0x400 + (uint(low) - 0xDC00) + 0x10000;
            out += replacer(hex(codePoint));
            ++i;
        } else {
            out += first.at(i);
        }
    }
    return out;
}
