#include "ios/BackupCrypto.h"

#include "app/AppError.h"
#include "ios/OpenSslError.h"

#include <mbedtls/aes.h>
#include <openssl/err.h>
#include <openssl/evp.h> // PBKDF2 and AES-256-CBC

#include <cstring>
#include <limits>
#include <stdexcept>

namespace BackupCrypto {

namespace {

QByteArray pbkdf2(const EVP_MD *digest, const QByteArray &password, const QByteArray &salt,
                  std::uint32_t iterations, int length)
{
    if (iterations == 0 || iterations > 0x7fffffffu)
        throw AppError("Invalid key derivation iteration count.");
    if (length <= 0 || length > 1024)
        throw AppError("Invalid derived key length.");
    QByteArray out(length, '\0');
    ERR_clear_error(); // only this call's reasons go into its message
    // OpenSSL's PBKDF2 is used for throughput: mbed TLS 2.28 recomputes the
    // HMAC pads on every round and is several times slower on millions of
    // rounds (see bench/KeyDerivationBench.cpp).
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                          reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()),
                          int(iterations), digest, length, reinterpret_cast<unsigned char *>(out.data()))
        != 1)
        throw AppError(openSslErrorText(QStringLiteral("Key derivation failed.")));
    return out;
}

struct AesContext
{
    mbedtls_aes_context ctx;
    AesContext() { mbedtls_aes_init(&ctx); }
    ~AesContext() { mbedtls_aes_free(&ctx); }
    AesContext(const AesContext &) = delete;
    AesContext &operator=(const AesContext &) = delete;
};

} // namespace

QByteArray pbkdf2Sha1(const QByteArray &password, const QByteArray &salt, std::uint32_t iterations,
                      int length)
{
    return pbkdf2(EVP_sha1(), password, salt, iterations, length);
}

QByteArray pbkdf2Sha256(const QByteArray &password, const QByteArray &salt, std::uint32_t iterations,
                        int length)
{
    return pbkdf2(EVP_sha256(), password, salt, iterations, length);
}

QByteArray aesKeyUnwrap(const QByteArray &kek, const QByteArray &wrapped)
{
    if (kek.size() != 16 && kek.size() != 24 && kek.size() != 32)
        return {};
    if (wrapped.size() < 24 || wrapped.size() % 8 != 0 || wrapped.size() > 4096)
        return {};
    AesContext aes;
    if (mbedtls_aes_setkey_dec(&aes.ctx, reinterpret_cast<const unsigned char *>(kek.constData()),
                               unsigned(kek.size() * 8))
        != 0)
        return {};

    const int n = int(wrapped.size() / 8) - 1;
    unsigned char a[8];
    std::memcpy(a, wrapped.constData(), 8);
    QByteArray r = wrapped.mid(8);
    auto *rb = reinterpret_cast<unsigned char *>(r.data());
    unsigned char block[16];
    for (int j = 5; j >= 0; --j) {
        for (int i = n; i >= 1; --i) {
            const std::uint64_t t = std::uint64_t(n) * std::uint64_t(j) + std::uint64_t(i);
            for (int k = 0; k < 8; ++k)
                block[k] = a[k] ^ static_cast<unsigned char>(t >> (8 * (7 - k)));
            std::memcpy(block + 8, rb + 8 * (i - 1), 8);
            if (mbedtls_aes_crypt_ecb(&aes.ctx, MBEDTLS_AES_DECRYPT, block, block) != 0)
                return {};
            std::memcpy(a, block, 8);
            std::memcpy(rb + 8 * (i - 1), block + 8, 8);
        }
    }
    for (unsigned char byte : a) {
        if (byte != 0xA6)
            return {};
    }
    return r;
}

int pkcs7PaddingLength(const QByteArray &lastBlock)
{
    if (lastBlock.size() != 16)
        return 0;
    const int pad = static_cast<unsigned char>(lastBlock.back());
    if (pad < 1 || pad > 16)
        return 0;
    for (qsizetype i = lastBlock.size() - pad; i < lastBlock.size(); ++i) {
        if (static_cast<unsigned char>(lastBlock[i]) != pad)
            return 0;
    }
    return pad;
}

struct CbcDecryptor::Impl
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    ~Impl() { EVP_CIPHER_CTX_free(ctx); }
};

CbcDecryptor::CbcDecryptor(const QByteArray &key, const QByteArray &iv) : m_impl(std::make_unique<Impl>())
{
    if (key.size() != 32)
        throw AppError("AES-256 needs a 32-byte key.");
    if (!iv.isEmpty() && iv.size() != 16)
        throw AppError("AES-CBC needs a 16-byte initial value.");
    unsigned char zero[16] = {};
    const auto *ivBytes = iv.isEmpty() ? zero : reinterpret_cast<const unsigned char *>(iv.constData());
    // Padding off: every call decrypts exactly the whole blocks it is given,
    // and the context carries the chaining value to the next call.
    ERR_clear_error();
    if (!m_impl->ctx
        || EVP_DecryptInit_ex(m_impl->ctx, EVP_aes_256_cbc(), nullptr,
                              reinterpret_cast<const unsigned char *>(key.constData()), ivBytes)
               != 1
        || EVP_CIPHER_CTX_set_padding(m_impl->ctx, 0) != 1)
        throw AppError(openSslErrorText(QStringLiteral("Cannot set up AES-256-CBC.")));
}

CbcDecryptor::~CbcDecryptor() = default;

bool CbcDecryptor::decrypt(const unsigned char *in, std::size_t length, unsigned char *out)
{
    if (length % 16 != 0 || length > std::size_t(std::numeric_limits<int>::max()))
        return false;
    if (length == 0)
        return true;
    int written = 0;
    return EVP_DecryptUpdate(m_impl->ctx, out, &written, in, int(length)) == 1
           && std::size_t(written) == length;
}

} // namespace BackupCrypto
