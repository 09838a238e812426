#include "ios/KeyBag.h"

#include "app/AppError.h"
#include "ios/BackupCrypto.h"

#include <QString>

#include <stdexcept>

namespace {

constexpr std::uint32_t kWrapPassword = 2;
// No real bag item comes close; a larger length means a damaged bag.
constexpr std::uint32_t kMaxItemLength = 1024 * 1024;
constexpr std::uint32_t kMaxIterations = 100'000'000;

bool isClassTag(const QByteArray &tag)
{
    return tag == "CLAS" || tag == "WRAP" || tag == "WPKY" || tag == "KTYP" || tag == "PBKY";
}

} // namespace

std::uint32_t KeyBag::toUInt(const QByteArray &value)
{
    std::uint32_t v = 0;
    for (int i = 0; i < value.size() && i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(value[i]);
    return v;
}

KeyBag KeyBag::parse(const QByteArray &bytes)
{
    KeyBag bag;
    Attributes current;
    bool inClass = false;
    bool seenUuid = false;
    auto storeClass = [&] {
        if (inClass)
            bag.m_classes.insert(toUInt(current.value("CLAS")), current);
        current.clear();
    };
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        if (bytes.size() - pos < 8)
            throw AppError("The backup key bag is truncated.");
        const QByteArray tag = bytes.mid(pos, 4);
        const std::uint32_t length = toUInt(bytes.mid(pos + 4, 4));
        pos += 8;
        if (length > kMaxItemLength || qsizetype(length) > bytes.size() - pos)
            throw AppError("The backup key bag is truncated.");
        const QByteArray value = bytes.mid(pos, qsizetype(length));
        pos += qsizetype(length);
        if (tag == "UUID") {
            if (!seenUuid) {
                seenUuid = true;
                bag.m_attributes.insert(tag, value);
                continue;
            }
            storeClass();
            inClass = true;
            current.insert(tag, value);
        } else if (inClass && isClassTag(tag)) {
            current.insert(tag, value);
        } else {
            bag.m_attributes.insert(tag, value);
        }
    }
    storeClass();
    if (!seenUuid)
        throw AppError("The backup key bag is not valid.");
    return bag;
}

QByteArray KeyBag::passwordKey(const QByteArray &password) const
{
    const QByteArray salt = m_attributes.value("SALT");
    const std::uint32_t iterations = toUInt(m_attributes.value("ITER"));
    if (salt.isEmpty() || iterations == 0 || iterations > kMaxIterations)
        throw AppError("The backup key bag has no valid SALT and ITER.");
    QByteArray first = password;
    if (m_attributes.contains("DPSL") && m_attributes.contains("DPIC")) {
        const std::uint32_t dpic = toUInt(m_attributes.value("DPIC"));
        if (dpic == 0 || dpic > kMaxIterations)
            throw AppError("The backup key bag has no valid DPIC.");
        first = BackupCrypto::pbkdf2Sha256(password, m_attributes.value("DPSL"), dpic, 32);
    }
    return BackupCrypto::pbkdf2Sha1(first, salt, iterations, 32);
}

void KeyBag::checkWrappedKeys() const
{
    bool any = false;
    for (const Attributes &cls : m_classes) {
        if (!(toUInt(cls.value("WRAP")) & kWrapPassword))
            continue;
        const qsizetype size = cls.value("WPKY").size();
        if (size != 40)
            throw AppError(QStringLiteral("The backup key bag is damaged: a class key "
                                          "wrapped with the password has %1 bytes "
                                          "instead of 40.")
                               .arg(size));
        any = true;
    }
    if (!any)
        throw AppError("The backup key bag is damaged: it holds no class keys wrapped with the password.");
}

bool KeyBag::unlockWithKey(const QByteArray &passwordKey)
{
    checkWrappedKeys();
    QMap<std::uint32_t, Attributes> unlocked = m_classes;
    bool any = false;
    for (auto it = unlocked.begin(); it != unlocked.end(); ++it) {
        if (!(toUInt(it->value("WRAP")) & kWrapPassword))
            continue;
        const QByteArray wrapped = it->value("WPKY");
        if (wrapped.size() != 40)
            return false;
        const QByteArray key = BackupCrypto::aesKeyUnwrap(passwordKey, wrapped);
        if (key.isEmpty())
            return false;
        it->insert("WPKY", key);
        any = true;
    }
    if (!any)
        return false;
    m_classes = unlocked;
    m_unlocked = true;
    return true;
}

bool KeyBag::unlock(const QByteArray &password)
{
    // Checked before the slow key derivation, and so that a damaged bag is
    // never reported as a wrong password.
    checkWrappedKeys();
    return unlockWithKey(passwordKey(password));
}

QByteArray KeyBag::classKey(std::uint32_t protectionClass) const
{
    if (!m_unlocked)
        return {};
    const auto it = m_classes.constFind(protectionClass);
    if (it == m_classes.constEnd() || !(toUInt(it->value("WRAP")) & kWrapPassword))
        return {};
    return it->value("WPKY");
}
