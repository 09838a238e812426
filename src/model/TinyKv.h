// The "tinykv" byte encoding of attachment maps: the bytes "tinykv", then
// each key and its tagged value, little-endian lengths, no count and no end
// marker.
#pragma once

#include <QByteArray>
#include <QVariantMap>

QByteArray encodeAttachmentMap(const QVariantMap &map);

// Never fails loudly: data without the "tinykv" mark, or holding a value
// that cannot be read (unknown tag, short read, too deep nesting), gives an
// empty map; a key cut short ends reading with the entries read so far.
QVariantMap decodeAttachmentMap(const QByteArray &data);
