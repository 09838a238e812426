#include "ios/BackupCrypto.h"
#include "ios/OpenSslError.h"

#include <gtest/gtest.h>

#include <openssl/err.h>
#include <openssl/evp.h>

using namespace BackupCrypto;

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}
} // namespace

// RFC 3394 section 4 test vectors.
TEST(AesKeyUnwrap, Rfc3394Vectors)
{
    // 4.1: 128 bits of key data with a 128-bit key.
    EXPECT_EQ(aesKeyUnwrap(hex("000102030405060708090A0B0C0D0E0F"),
                           hex("1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5")),
              hex("00112233445566778899AABBCCDDEEFF"));
    // 4.3: 128 bits of key data with a 256-bit key.
    EXPECT_EQ(aesKeyUnwrap(hex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"),
                           hex("64E8C3F9CE0F5BA263E9777905818A2A93C8191E7D6E8AE7")),
              hex("00112233445566778899AABBCCDDEEFF"));
    // 4.6: 256 bits of key data with a 256-bit key.
    EXPECT_EQ(
        aesKeyUnwrap(hex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"),
                     hex("28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21")),
        hex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F"));
}

TEST(AesKeyUnwrap, RefusesTamperedAndMalformedInput)
{
    const QByteArray kek = hex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
    QByteArray wrapped =
        hex("28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21");
    QByteArray tampered = wrapped;
    tampered[20] = char(tampered[20] ^ 1);
    EXPECT_TRUE(aesKeyUnwrap(kek, tampered).isEmpty());
    QByteArray wrongKek = kek;
    wrongKek[0] = 1;
    EXPECT_TRUE(aesKeyUnwrap(wrongKek, wrapped).isEmpty());
    EXPECT_TRUE(aesKeyUnwrap(kek, wrapped.left(39)).isEmpty());
    EXPECT_TRUE(aesKeyUnwrap(kek, wrapped.left(16)).isEmpty());
    EXPECT_TRUE(aesKeyUnwrap(kek, QByteArray()).isEmpty());
    EXPECT_TRUE(aesKeyUnwrap(kek.left(31), wrapped).isEmpty());
}

TEST(Pbkdf2, KnownVectors)
{
    // RFC 6070.
    EXPECT_EQ(pbkdf2Sha1("password", "salt", 2, 20).toHex(),
              QByteArray("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"));
    EXPECT_EQ(pbkdf2Sha1("password", "salt", 4096, 20).toHex(),
              QByteArray("4b007901b765489abead49d926f721d065a429c1"));
    // RFC 7914 section 11 style vector for HMAC-SHA256 (1 round).
    EXPECT_EQ(pbkdf2Sha256("password", "salt", 1, 32).toHex(),
              QByteArray("120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"));
    EXPECT_THROW(pbkdf2Sha1("password", "salt", 0), std::runtime_error);
}

// NIST SP 800-38A F.2.6, decrypted in two calls to check the chaining.
TEST(CbcDecryptor, ChainsAcrossCalls)
{
    const QByteArray key = hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const QByteArray iv = hex("000102030405060708090a0b0c0d0e0f");
    const QByteArray cipher = hex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                                  "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
    const QByteArray plain = hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                                 "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    CbcDecryptor cbc(key, iv);
    QByteArray out(64, '\0');
    auto *in = reinterpret_cast<const unsigned char *>(cipher.constData());
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    ASSERT_TRUE(cbc.decrypt(in, 16, o));
    ASSERT_TRUE(cbc.decrypt(in + 16, 48, o + 16));
    EXPECT_EQ(out, plain);
}

TEST(CbcDecryptor, RefusesPartialBlocksAndBadKeys)
{
    CbcDecryptor cbc(QByteArray(32, 'k'));
    unsigned char in[17] = {};
    unsigned char out[17] = {};
    EXPECT_FALSE(cbc.decrypt(in, 17, out));
    EXPECT_TRUE(cbc.decrypt(in, 0, out));
    EXPECT_THROW(CbcDecryptor(QByteArray(16, 'k')), std::runtime_error);
}

namespace {
// `data` bytes of 'x' followed by `count` bytes of `tail`.
QByteArray block(int data, int count, char tail)
{
    QByteArray out(data, 'x');
    out.append(QByteArray(count, tail));
    return out;
}
} // namespace

TEST(Pkcs7Padding, OnlyAWholeValidPaddingCounts)
{
    EXPECT_EQ(pkcs7PaddingLength(block(15, 1, 1)), 1);
    EXPECT_EQ(pkcs7PaddingLength(block(12, 4, 4)), 4);
    EXPECT_EQ(pkcs7PaddingLength(block(0, 16, 16)), 16);
    // A last byte in range whose run is too short: page data, not padding.
    EXPECT_EQ(pkcs7PaddingLength(block(13, 3, 4)), 0);
    EXPECT_EQ(pkcs7PaddingLength(block(15, 1, 0)), 0);
    EXPECT_EQ(pkcs7PaddingLength(block(15, 1, 17)), 0);
    EXPECT_EQ(pkcs7PaddingLength(block(0, 8, 1)), 0); // not a whole block
}

TEST(OpenSslError, NamesOpenSslsReasonsOnceThenNone)
{
    ERR_clear_error();
    EXPECT_EQ(openSslErrorText(QStringLiteral("Key derivation failed.")),
              QStringLiteral("Key derivation failed."));
    ERR_raise(ERR_LIB_EVP, EVP_R_BAD_DECRYPT);
    const QString text = openSslErrorText(QStringLiteral("Key derivation failed."));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Key derivation failed. ("))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("bad decrypt"))) << text.toStdString();
    // The queue was emptied: the next failure does not repeat the reason.
    EXPECT_EQ(openSslErrorText(QStringLiteral("next")), QStringLiteral("next"));
}
