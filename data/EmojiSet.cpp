#include "EmojiSet.h"

#include <QByteArray>
#include <QList>

namespace EmojiSet {

QList<uint> producedCodePoints()
{
    static const uint symbols[] = {
        0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B, 0x23EB, 0x23EC,
        0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B,
        0x2693, 0x26AA, 0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744,
        0x2747, 0x274E, 0x2795, 0x2796, 0x2797, 0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030,
    };
    QList<uint> points;
    for (uint cp = 0xE000; cp <= 0xE537; ++cp)
        points.append(cp);
    for (uint cp : symbols)
        points.append(cp);
    for (uint cp = 0x1F000; cp <= 0x1F7FF; ++cp)
        points.append(cp);
    return points;
}

uint softBankSjisToPua(uint sjis)
{
    // SoftBank's six emoji rows: each Shift_JIS half-row (trail bytes
    // 41–7E, 80–9B or A1–FA) maps onto one block of 90 private-use codes.
    const uint lead = sjis >> 8;
    const uint trail = sjis & 0xFF;
    uint base = 0;
    uint index = 0;
    if (trail >= 0x41 && trail <= 0x9B && trail != 0x7F) {
        index = trail - 0x41 - (trail > 0x7F ? 1 : 0);
        base = lead == 0xF9 ? 0xE001 : lead == 0xF7 ? 0xE101 : lead == 0xFB ? 0xE401 : 0;
    } else if (trail >= 0xA1 && trail <= 0xFA) {
        index = trail - 0xA1;
        base = lead == 0xF7 ? 0xE201 : lead == 0xF9 ? 0xE301 : lead == 0xFB ? 0xE501 : 0;
    }
    if (base == 0)
        return 0;
    return base + index;
}

QMap<uint, QString> parseEmojiSources(const QByteArray &text)
{
    QMap<uint, QString> map;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() < 4 || fields.at(3).trimmed().isEmpty())
            continue;
        bool ok = false;
        const uint sjis = fields.at(3).trimmed().toUInt(&ok, 16);
        const uint pua = ok ? softBankSjisToPua(sjis) : 0;
        if (pua == 0 || pua > 0xE537 || map.contains(pua))
            continue;
        QString emoji;
        for (const QByteArray &part : fields.at(0).trimmed().split(' ')) {
            const uint cp = part.toUInt(&ok, 16);
            if (!ok || cp > 0x10FFFF)
                break;
            const char32_t c = cp;
            emoji += QString::fromUcs4(&c, 1);
        }
        if (ok && !emoji.isEmpty()) {
            // Keycaps and symbols show as emoji only with the emoji variant selector.
            if (emoji.size() == 2 && emoji.at(1) == QChar(0x20E3))
                emoji.insert(1, QChar(0xFE0F));
            map.insert(pua, emoji);
        }
    }
    return map;
}

} // namespace EmojiSet
