#include "device/PlistShape.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace PlistShape {

namespace {

bool startsAt(const QByteArray &bytes, qsizetype at, QByteArrayView word)
{
    return QByteArrayView(bytes).sliced(at).startsWith(word);
}

// Nesting of <array> and <dict> elements; comments and CDATA sections are
// skipped, since neither opens an element.
bool xmlIsBounded(const QByteArray &bytes)
{
    int depth = 0;
    qsizetype at = bytes.indexOf('<');
    while (at >= 0) {
        if (startsAt(bytes, at, "<!--")) {
            const qsizetype end = bytes.indexOf("-->", at + 4);
            if (end < 0)
                return true; // unterminated: libplist refuses it
            at = bytes.indexOf('<', end + 3);
            continue;
        }
        if (startsAt(bytes, at, "<![CDATA[")) {
            const qsizetype end = bytes.indexOf("]]>", at + 9);
            if (end < 0)
                return true;
            at = bytes.indexOf('<', end + 3);
            continue;
        }
        const bool closing = startsAt(bytes, at, "</");
        const qsizetype nameAt = at + (closing ? 2 : 1);
        qsizetype nameLength = 0;
        if (startsAt(bytes, nameAt, "array"))
            nameLength = 5;
        else if (startsAt(bytes, nameAt, "dict"))
            nameLength = 4;
        const qsizetype tagEnd = bytes.indexOf('>', at);
        if (tagEnd < 0)
            return true;
        const char after = nameAt + nameLength < bytes.size() ? bytes.at(nameAt + nameLength) : 0;
        const bool container = nameLength > 0
                               && (after == '>' || after == '/' || after == ' ' || after == '\t'
                                   || after == '\r' || after == '\n');
        if (container) {
            if (closing)
                --depth;
            else if (bytes.at(tagEnd - 1) != '/' && ++depth > kMaxDepth)
                return false;
        }
        at = bytes.indexOf('<', tagEnd + 1);
    }
    return true;
}

quint64 bigEndian(const uchar *p, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | p[i];
    return value;
}

// The object graph of a binary property list, walked without recursion.
class BinaryWalk
{
public:
    explicit BinaryWalk(const QByteArray &bytes)
        : m_data(reinterpret_cast<const uchar *>(bytes.constData())), m_size(quint64(bytes.size()))
    {}

    bool isBounded()
    {
        if (m_size < 8 + 32)
            return true;
        const uchar *trailer = m_data + m_size - 32;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_objects = bigEndian(trailer + 8, 8);
        const quint64 root = bigEndian(trailer + 16, 8);
        m_table = bigEndian(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || m_objects == 0
            || root >= m_objects || m_table >= m_size || m_objects > (m_size - m_table) / m_offsetSize)
            return true; // not a binary property list libplist would accept
        const quint64 budget = m_objects + quint64(kMaxExtraNodes);
        return walk(root, budget);
    }

private:
    struct Info
    {
        bool done = false;
        int depth = 0;
        quint64 nodes = 0;
    };
    struct Frame
    {
        quint64 object;
        std::vector<quint64> children;
        size_t next = 0;
        int depth = 1;
        quint64 nodes = 1;
    };

    // The objects a container refers to; false when the object is malformed.
    // `container` tells an array, set or dictionary from a scalar.
    bool children(quint64 object, std::vector<quint64> &out, bool &container) const
    {
        out.clear();
        container = false;
        const quint64 offset = bigEndian(m_data + m_table + object * m_offsetSize, m_offsetSize);
        if (offset >= m_table)
            return false;
        const uchar marker = m_data[offset];
        const uchar type = marker & 0xF0;
        if (type != 0xA0 && type != 0xC0 && type != 0xD0)
            return true; // a scalar
        container = true;
        quint64 count = marker & 0x0F;
        quint64 at = offset + 1;
        if (count == 0x0F) {
            if (at >= m_table || (m_data[at] & 0xF0) != 0x10)
                return false;
            const int size = 1 << (m_data[at] & 0x0F);
            if (size > 8 || at + 1 + quint64(size) > m_table)
                return false;
            count = bigEndian(m_data + at + 1, size);
            at += 1 + quint64(size);
        }
        const quint64 refs = type == 0xD0 ? 2 : 1;
        if (count > (m_table - at) / m_refSize / refs)
            return false;
        out.reserve(size_t(count * refs));
        for (quint64 i = 0; i < count * refs; ++i) {
            const quint64 ref = bigEndian(m_data + at + i * m_refSize, m_refSize);
            if (ref >= m_objects)
                return false;
            out.push_back(ref);
        }
        return true;
    }

    // Depth counts containers only: a scalar adds no level.
    bool walk(quint64 root, quint64 budget)
    {
        std::unordered_map<quint64, Info> seen;
        std::vector<Frame> stack;
        // Pushes a container; a scalar is recorded as done at once.
        auto enter = [&](quint64 object) {
            Frame frame{object, {}, 0, 1, 1};
            bool container = false;
            if (!children(object, frame.children, container))
                return false;
            if (!container) {
                seen[object] = Info{true, 0, 1};
                return true;
            }
            seen[object]; // on the path: a reference back to it is a cycle
            stack.push_back(std::move(frame));
            return int(stack.size()) <= kMaxDepth;
        };
        if (!enter(root))
            return false;
        while (!stack.empty()) {
            Frame &top = stack.back();
            if (top.next == top.children.size()) {
                const Info info{true, top.depth, top.nodes};
                seen[top.object] = info;
                stack.pop_back();
                if (stack.empty())
                    return info.nodes <= budget;
                Frame &parent = stack.back();
                parent.depth = std::max(parent.depth, info.depth + 1);
                parent.nodes += info.nodes;
                if (parent.nodes > budget || parent.depth > kMaxDepth)
                    return false;
                continue;
            }
            const quint64 child = top.children[top.next++];
            auto known = seen.find(child);
            if (known == seen.end()) {
                if (!enter(child))
                    return false;
                known = seen.find(child);
                if (!known->second.done)
                    continue; // a container, now on top of the stack
            } else if (!known->second.done) {
                return false; // a cycle: libplist refuses it too
            }
            Frame &parent = stack.back();
            parent.depth = std::max(parent.depth, known->second.depth + 1);
            parent.nodes += known->second.nodes;
            if (parent.nodes > budget || parent.depth > kMaxDepth)
                return false;
        }
        return true;
    }

    const uchar *m_data;
    quint64 m_size;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_objects = 0;
    quint64 m_table = 0;
};

} // namespace

bool isBounded(const QByteArray &bytes)
{
    if (bytes.startsWith("bplist00"))
        return BinaryWalk(bytes).isBounded();
    return xmlIsBounded(bytes);
}

} // namespace PlistShape
