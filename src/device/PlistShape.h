// A check of property-list bytes before libplist parses them: libplist
// recurses once per level of nesting while it parses and frees a tree, and
// expands a binary object each time it is referenced, so a hostile file of
// tens of thousands of nested arrays overflows the stack and one of a few
// hundred objects that each reference the next twice grows without bound.
#pragma once

#include <QByteArray>

namespace PlistShape {

// Deepest nesting of arrays and dictionaries accepted (a root container is
// level 1, scalars add none); real property lists stay below ten.
constexpr int kMaxDepth = 256;
// Most nodes a parsed tree may hold beyond one per object of the file.
constexpr qint64 kMaxExtraNodes = 8 * 1000 * 1000;

// True when the XML or binary property list nests at most kMaxDepth levels
// and (binary) expands to a bounded number of nodes. Bytes that are neither
// give true: libplist refuses them itself.
bool isBounded(const QByteArray &bytes);

} // namespace PlistShape
