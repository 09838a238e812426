// The cryptographic primitives of encrypted iTunes backups behind one small
// interface: PBKDF2 (HMAC-SHA1 and HMAC-SHA256), RFC 3394 AES key unwrap and
// streaming AES-256-CBC decryption. The key unwrap runs on mbed TLS's AES
// block cipher; PBKDF2 and CBC come from OpenSSL's libcrypto, which is
// several times faster on millions of rounds and on bulk decryption.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>

namespace BackupCrypto {

// PBKDF2 with HMAC-SHA1 / HMAC-SHA256; returns `length` bytes. Throws on an
// iteration count of 0.
QByteArray pbkdf2Sha1(const QByteArray &password, const QByteArray &salt, std::uint32_t iterations,
                      int length = 32);
QByteArray pbkdf2Sha256(const QByteArray &password, const QByteArray &salt, std::uint32_t iterations,
                        int length = 32);

// RFC 3394 key unwrap with AES (128, 192 or 256-bit key) and the default
// initial value A6A6A6A6A6A6A6A6. Returns an empty array when the wrapped
// data is malformed (not 24 or more bytes in 8-byte blocks), the key has a
// wrong size, or the integrity check fails.
QByteArray aesKeyUnwrap(const QByteArray &kek, const QByteArray &wrapped);

// The length of the PKCS#7 padding that ends `lastBlock` (the last 16
// plaintext bytes): 1 to 16 when the last n bytes all hold n, else 0.
int pkcs7PaddingLength(const QByteArray &lastBlock);

// AES-256-CBC decryption carried across calls: the last ciphertext block of
// one call is the chaining value of the next.
class CbcDecryptor
{
public:
    // `key` must be 32 bytes, `iv` 16 bytes (all zero when empty).
    explicit CbcDecryptor(const QByteArray &key, const QByteArray &iv = QByteArray());
    ~CbcDecryptor();
    CbcDecryptor(const CbcDecryptor &) = delete;
    CbcDecryptor &operator=(const CbcDecryptor &) = delete;

    // Decrypts `length` bytes (a multiple of 16) from `in` into `out`
    // (room for `length` bytes). Returns false when the length is not a
    // multiple of 16; nothing is decrypted then.
    bool decrypt(const unsigned char *in, std::size_t length, unsigned char *out);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace BackupCrypto
