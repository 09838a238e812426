#include "device/PlistIo.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>

void PlistDeleter::operator()(void *node) const
{
    if (node)
        plist_free(static_cast<plist_t>(node));
}

namespace PlistIo {

namespace {

// Frees a buffer that libplist allocated with malloc.
struct MallocFree {
    void operator()(char *p) const { std::free(p); }
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

} // namespace

PlistPtr fromData(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int>::max()
        || !looksLikePlist(bytes))
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
    std::unique_ptr<char, MallocFree> owner(out);
    return out ? QByteArray(out, qsizetype(length)) : QByteArray();
}

QByteArray toBinary(plist_t node)
{
    if (!node)
        return {};
    char *out = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &out, &length);
    std::unique_ptr<char, MallocFree> owner(out);
    return out ? QByteArray(out, qsizetype(length)) : QByteArray();
}

} // namespace PlistIo
