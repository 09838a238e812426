#include "model/RenderInstructions.h"

#include "app/TextUtil.h"

#include <algorithm>

namespace {

class FieldReader
{
public:
    explicit FieldReader(const QByteArray &data) : m_data(data) {}

    // One 2-byte field; its second byte as a signed number.
    std::optional<int> field()
    {
        if (m_data.size() - m_pos < 2)
            return std::nullopt;
        const int value = static_cast<signed char>(m_data.at(m_pos + 1));
        m_pos += 2;
        return value;
    }

    std::optional<QByteArray> bytes(int n)
    {
        if (n < 0 || m_data.size() - m_pos < n)
            return std::nullopt;
        QByteArray out = m_data.mid(m_pos, n);
        m_pos += n;
        return out;
    }

private:
    const QByteArray &m_data;
    qsizetype m_pos = 0;
};

QString slice(const QString &body, qsizetype from, qsizetype to, bool escape)
{
    from = std::clamp<qsizetype>(from, 0, body.size());
    to = std::clamp<qsizetype>(to, 0, body.size());
    if (to <= from)
        return QString();
    QString part = body.mid(from, to - from);
    if (escape)
        htmlEscape(part);
    return part;
}

} // namespace

QList<RenderInstruction> parseRenderInstructions(const QByteArray &data)
{
    QList<RenderInstruction> records;
    FieldReader reader(data);
    for (;;) {
        if (!reader.field()) // reserved
            break;
        const auto start = reader.field();
        const auto end = start ? reader.field() : std::nullopt;
        const auto keyLength = end ? reader.field() : std::nullopt;
        if (!keyLength || *keyLength < 0)
            break;
        const auto key = reader.bytes(*keyLength);
        if (!key)
            break;
        const auto valueLength = reader.field();
        if (!valueLength)
            break;
        RenderInstruction record;
        record.start = *start;
        record.end = *end;
        record.key = *key;
        if (*valueLength > 0) {
            const auto value = reader.bytes(*valueLength);
            if (!value)
                break;
            record.value = *value;
        }
        records.append(record);
    }
    return records;
}

QString applyRenderInstructions(const QString &body, const QByteArray &data, const RenderReplacer &replacer,
                                bool escape)
{
    QString out;
    qsizetype shift = 0;
    qsizetype copied = 0;
    for (const RenderInstruction &record : parseRenderInstructions(data)) {
        if (record.start >= record.end)
            continue;
        const qsizetype shiftBefore = shift;
        shift = shiftBefore + record.key.size() - 1;
        const qsizetype p = record.start - shiftBefore;
        if (copied < p)
            out += slice(body, copied, p, escape);
        std::optional<QString> value;
        if (record.value)
            value = QString::fromUtf8(*record.value);
        out += replacer(QString::fromUtf8(record.key), value);
        copied = record.end - shift;
    }
    if (copied != body.size())
        out += slice(body, copied, body.size(), escape);
    return out;
}
