// The backup key bag of an encrypted backup: its attributes and classes, and
// unlocking the password-wrapped class keys.
#pragma once

#include <QByteArray>
#include <QMap>

#include <cstdint>

class KeyBag
{
public:
    using Attributes = QMap<QByteArray, QByteArray>;

    // Parses the items (4-byte tag, 4-byte big-endian length, value).
    // Throws AppError on a truncated or malformed bag.
    static KeyBag parse(const QByteArray &bytes);

    const Attributes &attributes() const { return m_attributes; }
    const QMap<std::uint32_t, Attributes> &classes() const { return m_classes; }

    // The key derived from the password: PBKDF2-HMAC-SHA1 with SALT/ITER,
    // preceded by PBKDF2-HMAC-SHA256 with DPSL/DPIC when the bag has them.
    QByteArray passwordKey(const QByteArray &password) const;

    // Unwraps every password-wrapped class key ("WRAP" & 2) with the
    // password; true when all of them unwrap. On success their "WPKY" holds
    // the 32-byte class key. Throws AppError when the bag is
    // damaged (no such class key, or one of the wrong length): that is not
    // a wrong password.
    bool unlock(const QByteArray &password);
    // Same with an already derived password key.
    bool unlockWithKey(const QByteArray &passwordKey);

    // The unlocked key of a class, or empty.
    QByteArray classKey(std::uint32_t protectionClass) const;

    static std::uint32_t toUInt(const QByteArray &value);

private:
    void checkWrappedKeys() const;

    Attributes m_attributes;
    QMap<std::uint32_t, Attributes> m_classes;
    bool m_unlocked = false;
};
