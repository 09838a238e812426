// AFC packets: a 40-byte little-endian header ("CFA6LPAA", entire length,
// this length, packet number, operation) followed by the parameters.
#pragma once

#include <QByteArray>

#include <cstdint>

namespace Afc {

inline constexpr int kHeaderSize = 40;
inline constexpr char kMagic[] = "CFA6LPAA";
// Reply payloads above this are refused before anything is allocated (the
// largest reply asked for is a 64 KiB read; listings of big folders come
// next).
inline constexpr quint64 kMaxReplyPayload = 32 * 1024 * 1024;

enum Operation : quint64 {
    OpStatus = 1,
    OpData = 2,
    OpReadDir = 3,
    OpGetFileInfo = 10,
    OpFileOpen = 13,
    OpFileOpenResult = 14,
    OpFileRead = 15,
    OpFileClose = 20,
    OpFilePositionResult = 19,
};

inline constexpr quint64 kModeReadOnly = 1;

struct Header
{
    bool magicOk = false;
    quint64 entireLength = 0;
    quint64 thisLength = 0;
    quint64 packetNumber = 0;
    quint64 operation = 0;
};

// The header of a request carrying `parameterBytes` bytes of parameters.
QByteArray requestHeader(quint64 operation, quint64 packetNumber, int parameterBytes);
// Reads a header out of exactly kHeaderSize bytes.
Header parseHeader(const char *bytes);

// Little-endian 64-bit helpers for parameters and payloads.
QByteArray uint64Bytes(quint64 value);
// The first 8 bytes as a number; 0 when fewer are there.
quint64 firstUint64(const QByteArray &bytes);

// A path parameter: UTF-8, then one zero byte.
QByteArray pathParameter(const QString &path);
// Zero-terminated UTF-8 strings, one after the other (an unterminated tail
// counts as one more string).
QList<QString> splitStrings(const QByteArray &payload);

} // namespace Afc
