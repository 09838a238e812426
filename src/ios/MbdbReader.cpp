#include "ios/MbdbReader.h"

#include "app/AppError.h"

#include <QFile>

#include <stdexcept>

namespace {

constexpr qint64 kHeaderSize = 6;
constexpr char kMagic[] = "mbdb";
constexpr std::uint16_t kAbsent = 0xFFFF;

// Reads big-endian fields from a device through a buffer; every short read
// throws with the device's error text.
class MbdbStream
{
public:
    explicit MbdbStream(QIODevice &device) : m_device(device) {}

    bool atEnd()
    {
        fill(1);
        return m_pos >= m_buffer.size();
    }

    QByteArray bytes(qint64 n)
    {
        fill(n);
        if (m_buffer.size() - m_pos < n)
            fail();
        QByteArray out = m_buffer.mid(m_pos, n);
        m_pos += n;
        return out;
    }

    template <typename T>
    T number()
    {
        fill(sizeof(T));
        if (m_buffer.size() - m_pos < qint64(sizeof(T)))
            fail();
        T v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            v = T((v << 8) | static_cast<unsigned char>(m_buffer[m_pos + qsizetype(i)]));
        m_pos += qint64(sizeof(T));
        return v;
    }

    // A length-prefixed string; `absent` is set for the length 0xFFFF.
    QByteArray string(bool *absent = nullptr)
    {
        const auto length = number<std::uint16_t>();
        if (absent)
            *absent = length == kAbsent;
        if (length == kAbsent || length == 0)
            return {};
        return bytes(length); // at most 0xFFFE bytes: bounded
    }

private:
    void fill(qint64 n)
    {
        if (m_buffer.size() - m_pos >= n)
            return;
        m_buffer.remove(0, m_pos);
        m_pos = 0;
        const qint64 want = qMax<qint64>(n - m_buffer.size(), 256 * 1024);
        const QByteArray more = m_device.read(want);
        m_buffer += more;
    }

    [[noreturn]] void fail()
    {
        QString text = m_device.errorString();
        if (text.isEmpty() || text == QLatin1String("Unknown error"))
            text = QStringLiteral("Unexpected end of Manifest.mbdb.");
        throw AppError(QStringLiteral("%1 (truncated record)").arg(text));
    }

    QIODevice &m_device;
    QByteArray m_buffer;
    qint64 m_pos = 0;
};

} // namespace

MbdbRecordTable readMbdb(QIODevice &device)
{
    MbdbStream in(device);
    // "mbdb" and the format version (5 0).
    if (!in.bytes(kHeaderSize).startsWith(kMagic))
        throw AppError("Manifest.mbdb is not an iTunes backup manifest: it does not start with \"mbdb\".");
    MbdbRecordTable table;
    // The few domains are shared by many records: one copy of each.
    QHash<QByteArray, QString> domains;
    while (!in.atEnd()) {
        MbdbRecord r;
        const QByteArray domain = in.string();
        const auto known = domains.constFind(domain);
        r.domain = known != domains.constEnd() ? *known : *domains.insert(domain, QString::fromUtf8(domain));
        r.relativePath = QString::fromUtf8(in.string());
        r.linkTarget = QString::fromUtf8(in.string());
        r.dataHash = in.string();
        r.encryptionKey = in.string();
        r.mode = in.number<std::uint16_t>();
        r.inodeHigh = in.number<std::uint32_t>();
        r.inodeLow = in.number<std::uint32_t>();
        r.userId = in.number<std::uint32_t>();
        r.groupId = in.number<std::uint32_t>();
        r.modifiedTime = in.number<std::uint32_t>();
        r.accessedTime = in.number<std::uint32_t>();
        r.createdTime = in.number<std::uint32_t>();
        r.fileSize = in.number<std::uint64_t>();
        r.protectionClass = in.number<std::uint8_t>();
        const auto count = in.number<std::uint8_t>();
        for (int i = 0; i < count; ++i) {
            QByteArray name = in.string();
            QByteArray value = in.string();
            r.properties.append({name, value});
        }
        const QString id = fileId(r.domain, r.relativePath);
        table.insert(id, std::move(r));
    }
    return table;
}

MbdbRecordTable readMbdb(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return readMbdb(file);
}

bool hasMbdbMagic(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == kMagic;
}
