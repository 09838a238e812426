#include "android/ArchiveError.h"

#include <archive.h>

QString archiveErrorText(archive *a, const QString &fallback)
{
    const char *text = a ? archive_error_string(a) : nullptr;
    return text ? QString::fromUtf8(text) : fallback;
}
