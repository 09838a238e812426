#include "device/PlistIo.h"

#include <plist/plist.h>

#include <algorithm>
#include <limits>

void PlistDeleter::operator()(void *node) const
{
    if (node)
        plist_free(static_cast<plist_t>(node));
}

namespace PlistIo {

namespace {

// Free the buffers that libplist's serialisers hand back, with its own
// functions (the library may use another allocator than ours).
struct XmlBufferFree
{
    void operator()(char *p) const { plist_to_xml_free(p); }
};
struct BinaryBufferFree
{
    void operator()(char *p) const { plist_to_bin_free(p); }
};

bool looksLikePlist(const QByteArray &bytes)
{
    if (bytes.startsWith("bplist00"))
        return bytes.size() >= 40; // header plus the 32-byte trailer
    // XML: libplist's XML reader wants something that starts like markup.
    for (char c : bytes) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        return c == '<';
    }
    return false;
}

quint64 bigEndian(const uchar *p, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | p[i];
    return value;
}

// libplist 2.2 aborts (an assertion) when a dictionary key read from a
// binary property list holds a NUL character and the keys are listed, so
// such files are refused before parsing. In a sound file every key
// reference and character lies in bytes of its own, so reading more than
// the file's size is refused as well (objects can overlap to make the scan
// quadratic).
class BinaryKeyScan
{
public:
    explicit BinaryKeyScan(const QByteArray &bytes)
        : m_data(reinterpret_cast<const uchar *>(bytes.constData())), m_size(quint64(bytes.size())),
          m_budget(m_size)
    {}

    bool keyHoldsNulOrOverlaps()
    {
        const uchar *trailer = m_data + m_size - 32;
        m_offsetSize = trailer[6];
        const int refSize = trailer[7];
        m_objects = bigEndian(trailer + 8, 8);
        m_table = bigEndian(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || refSize < 1 || refSize > 8 || m_table >= m_size
            || m_objects > (m_size - m_table) / quint64(m_offsetSize))
            return false; // libplist refuses such a trailer itself
        for (quint64 object = 0; object < m_objects; ++object) {
            quint64 at = 0;
            const quint64 count = length(offsetOf(object), 0xD0, at);
            for (quint64 i = 0; i < std::min(count, (m_table - at) / quint64(refSize)); ++i) {
                if (!spend(1))
                    return true;
                const quint64 key = bigEndian(m_data + at + i * quint64(refSize), refSize);
                if (key < m_objects && stringHoldsNul(offsetOf(key)))
                    return true;
            }
        }
        return m_budget == 0;
    }

private:
    quint64 offsetOf(quint64 object) const
    {
        return bigEndian(m_data + m_table + object * quint64(m_offsetSize), m_offsetSize);
    }

    bool spend(quint64 units)
    {
        if (units > m_budget) {
            m_budget = 0;
            return false;
        }
        m_budget -= units;
        return true;
    }

    // The element count of an object of type `type` at `offset` (0 for
    // another type or a malformed header); `at` is set to its first element.
    quint64 length(quint64 offset, uchar type, quint64 &at) const
    {
        if (offset >= m_table || (m_data[offset] & 0xF0) != type)
            return 0;
        quint64 count = m_data[offset] & 0x0F;
        at = offset + 1;
        if (count == 0x0F) {
            if (at >= m_table || (m_data[at] & 0xF0) != 0x10 || (m_data[at] & 0x0F) > 3)
                return 0;
            const int size = 1 << (m_data[at] & 0x0F);
            if (at + 1 + quint64(size) > m_table)
                return 0;
            count = bigEndian(m_data + at + 1, size);
            at += 1 + quint64(size);
        }
        return count;
    }

    // An ASCII (0x5), UTF-16 (0x6) or UTF-8 (0x7) string holding NUL.
    bool stringHoldsNul(quint64 offset)
    {
        if (offset >= m_table)
            return false;
        const uchar type = m_data[offset] & 0xF0;
        quint64 at = 0;
        const quint64 count = length(offset, type, at);
        if (type != 0x50 && type != 0x60 && type != 0x70)
            return false;
        const quint64 unit = type == 0x60 ? 2 : 1;
        if (count > (m_table - at) / unit || !spend(count))
            return false;
        for (quint64 i = 0; i < count; ++i) {
            if (bigEndian(m_data + at + i * unit, int(unit)) == 0)
                return true;
        }
        return false;
    }

    const uchar *m_data;
    quint64 m_size;
    quint64 m_budget;
    int m_offsetSize = 0;
    quint64 m_objects = 0;
    quint64 m_table = 0;
};

} // namespace

PlistPtr fromData(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int>::max() || !looksLikePlist(bytes))
        return PlistPtr();
    if (bytes.startsWith("bplist00") && BinaryKeyScan(bytes).keyHoldsNulOrOverlaps())
        return PlistPtr();
    plist_t root = nullptr; // must start as NULL or libplist leaves it alone
    if (bytes.startsWith("bplist00"))
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &root);
    else
        plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &root);
    return PlistPtr(root);
}

QByteArray toXml(plist_t node)
{
    if (!node)
        return {};
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &out, &length);
    std::unique_ptr<char, XmlBufferFree> owner(out);
    return out ? QByteArray(out, qsizetype(length)) : QByteArray();
}

QByteArray toBinary(plist_t node)
{
    if (!node)
        return {};
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &out, &length);
    std::unique_ptr<char, BinaryBufferFree> owner(out);
    return out ? QByteArray(out, qsizetype(length)) : QByteArray();
}

} // namespace PlistIo
