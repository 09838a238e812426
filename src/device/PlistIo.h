// Safe wrappers around libplist's parse and serialise functions. libplist
// writes its result only when the out-pointer starts as NULL, and hands back
// buffers that must be freed by it; these wrappers do both once, here.
#pragma once

#include <QByteArray>

#include <memory>

typedef void *plist_t;

struct PlistDeleter
{
    void operator()(void *node) const;
};
// An owned libplist root node.
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

namespace PlistIo {

// Parses XML or binary property-list bytes; null when they are not one.
PlistPtr fromData(const QByteArray &bytes);
// Serialises a node; empty on failure or a null node.
QByteArray toXml(plist_t node);
QByteArray toBinary(plist_t node);

} // namespace PlistIo
