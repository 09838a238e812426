#include "model/TinyKv.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QtEndian>

#include <cstring>
#include <optional>

namespace {

constexpr char kMagic[] = "tinykv";
constexpr qsizetype kMagicSize = 6;
// Nested maps and lists deeper than this are refused instead of recursing
// without bound on hostile input.
constexpr int kMaxDepth = 32;

void putU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void putU64(QByteArray &out, quint64 value)
{
    char bytes[8];
    qToLittleEndian(value, bytes);
    out.append(bytes, 8);
}

void putBytes(QByteArray &out, const QByteArray &bytes)
{
    putU32(out, quint32(bytes.size()));
    out.append(bytes);
}

bool isMapType(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
    case QMetaType::QJsonObject:
        return true;
    default:
        return false;
    }
}

bool isListType(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
    case QMetaType::QByteArrayList:
    case QMetaType::QJsonArray:
        return true;
    default:
        return false;
    }
}

void encodeValue(QByteArray &out, const QVariant &value);

QByteArray encodeMap(const QVariantMap &map)
{
    QByteArray out(kMagic, kMagicSize);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        putBytes(out, it.key().toUtf8());
        encodeValue(out, it.value());
    }
    return out;
}

void encodeValue(QByteArray &out, const QVariant &value)
{
    if (isMapType(value)) {
        out.append('{');
        putBytes(out, encodeMap(value.toMap()));
        return;
    }
    if (isListType(value)) {
        const QVariantList list = value.toList();
        QByteArray payload;
        putU32(payload, quint32(list.size()));
        for (const QVariant &element : list)
            encodeValue(payload, element);
        out.append('[');
        putBytes(out, payload);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
        out.append('i');
        putU32(out, quint32(value.toInt()));
        return;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        out.append('l');
        putU64(out, quint64(value.toLongLong()));
        return;
    case QMetaType::Double:
    case QMetaType::Float: {
        out.append('d');
        const double d = value.toDouble();
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        putU64(out, bits);
        return;
    }
    case QMetaType::QString:
        out.append('s');
        putBytes(out, value.toString().toUtf8());
        return;
    case QMetaType::QByteArray:
        out.append('v');
        putBytes(out, value.toByteArray());
        return;
    default:
        out.append('n');
        return;
    }
}

class Reader
{
public:
    explicit Reader(const QByteArray &data) : m_data(data) {}

    bool atEnd() const { return m_pos >= m_data.size(); }

    std::optional<quint32> u32()
    {
        if (m_data.size() - m_pos < 4)
            return std::nullopt;
        const quint32 v = qFromLittleEndian<quint32>(m_data.constData() + m_pos);
        m_pos += 4;
        return v;
    }

    std::optional<quint64> u64()
    {
        if (m_data.size() - m_pos < 8)
            return std::nullopt;
        const quint64 v = qFromLittleEndian<quint64>(m_data.constData() + m_pos);
        m_pos += 8;
        return v;
    }

    std::optional<char> byte()
    {
        if (atEnd())
            return std::nullopt;
        return m_data.at(m_pos++);
    }

    // A length-prefixed byte string; the length is checked against what is
    // left before anything is allocated.
    std::optional<QByteArray> bytes()
    {
        const auto n = u32();
        if (!n || quint64(*n) > quint64(m_data.size() - m_pos))
            return std::nullopt;
        QByteArray out = m_data.mid(m_pos, qsizetype(*n));
        m_pos += qsizetype(*n);
        return out;
    }

private:
    const QByteArray &m_data;
    qsizetype m_pos = 0;
};

std::optional<QVariantMap> decodeMap(const QByteArray &data, int depth);

std::optional<QVariant> decodeValue(Reader &reader, int depth)
{
    const auto tag = reader.byte();
    if (!tag)
        return std::nullopt;
    switch (*tag) {
    case '{': {
        const auto payload = reader.bytes();
        if (!payload || depth >= kMaxDepth)
            return std::nullopt;
        const auto map = decodeMap(*payload, depth + 1);
        if (!map)
            return std::nullopt;
        return QVariant(*map);
    }
    case '[': {
        const auto payload = reader.bytes();
        if (!payload || depth >= kMaxDepth)
            return std::nullopt;
        Reader inner(*payload);
        const auto count = inner.u32();
        if (!count)
            return std::nullopt;
        QVariantList list;
        // Every element takes at least one byte, so a count larger than the
        // payload is a lie; never reserve by it.
        for (quint32 i = 0; i < *count; ++i) {
            const auto element = decodeValue(inner, depth + 1);
            if (!element)
                return std::nullopt;
            list.append(*element);
        }
        return QVariant(list);
    }
    case 'i': {
        const auto v = reader.u32();
        if (!v)
            return std::nullopt;
        return QVariant(int(qint32(*v)));
    }
    case 'l': {
        const auto v = reader.u64();
        if (!v)
            return std::nullopt;
        return QVariant(qint64(*v));
    }
    case 'd': {
        const auto v = reader.u64();
        if (!v)
            return std::nullopt;
        double d;
        const quint64 bits = *v;
        std::memcpy(&d, &bits, sizeof d);
        return QVariant(d);
    }
    case 's': {
        const auto b = reader.bytes();
        if (!b)
            return std::nullopt;
        return QVariant(QString::fromUtf8(*b));
    }
    case 'v': {
        const auto b = reader.bytes();
        if (!b)
            return std::nullopt;
        return QVariant(*b);
    }
    case 'n':
        return QVariant();
    default:
        return std::nullopt;
    }
}

std::optional<QVariantMap> decodeMap(const QByteArray &data, int depth)
{
    if (!data.startsWith(QByteArray::fromRawData(kMagic, kMagicSize)))
        return QVariantMap();
    const QByteArray body = data.mid(kMagicSize);
    Reader reader(body);
    QVariantMap map;
    while (!reader.atEnd()) {
        const auto key = reader.bytes();
        if (!key)
            break; // no further key: the end of the data
        const auto value = decodeValue(reader, depth);
        if (!value)
            return std::nullopt;
        map.insert(QString::fromUtf8(*key), *value);
    }
    return map;
}

} // namespace

QByteArray encodeAttachmentMap(const QVariantMap &map)
{
    return encodeMap(map);
}

QVariantMap decodeAttachmentMap(const QByteArray &data)
{
    return decodeMap(data, 0).value_or(QVariantMap());
}
