#include "app/DirectSocketIo.h"

// Windows keeps Qt's buffered path for now: TransmitFile and overlapped
// receives would be its counterparts.

namespace DirectSocketIo {

Result receive(qintptr, char *, qint64, int)
{
    return {Status::Unsupported, 0, QString()};
}

bool canSendFile()
{
    return false;
}

Result sendFile(qintptr, int, qint64, qint64, int)
{
    return {Status::Unsupported, 0, QString()};
}

} // namespace DirectSocketIo
