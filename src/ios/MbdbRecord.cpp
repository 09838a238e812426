#include "ios/MbdbRecord.h"

#include <QCryptographicHash>

namespace {
constexpr std::uint16_t kTypeMask = 0xF000;
constexpr std::uint16_t kTypeDir = 0x4000;
constexpr std::uint16_t kTypeLink = 0xA000;
} // namespace

bool MbdbRecord::isDir() const
{
    if (mode & kTypeMask)
        return (mode & kTypeMask) == kTypeDir;
    return flags == 2;
}

bool MbdbRecord::isLink() const
{
    if (mode & kTypeMask)
        return (mode & kTypeMask) == kTypeLink;
    return flags == 4 || !linkTarget.isEmpty();
}

QString fileId(const QString &domain, const QString &relativePath)
{
    const QByteArray name = (domain + QLatin1Char('-') + relativePath).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex());
}

bool isSafeFileId(const QString &id)
{
    if (id.size() != 40)
        return false;
    for (QChar c : id) {
        const char16_t u = c.unicode();
        const bool hex = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!hex)
            return false;
    }
    return true;
}
