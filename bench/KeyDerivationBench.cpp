// Password key derivation of an iOS 10.2+ backup (DPIC 10,000,000 rounds of
// PBKDF2-HMAC-SHA256, then ITER 10,000 of PBKDF2-HMAC-SHA1), beside Python's
// hashlib (OpenSSL) with the same parameters, and mbed TLS's PBKDF2.
#include "BenchSupport.h"

#include "ios/KeyBag.h"

#include <QCoreApplication>
#include <QtEndian>

#include <mbedtls/md.h>
#include <mbedtls/pkcs5.h>

namespace {
QByteArray item(const char *tag, const QByteArray &value)
{
    char len[4];
    qToBigEndian<quint32>(quint32(value.size()), len);
    return QByteArray(tag, 4) + QByteArray(len, 4) + value;
}
QByteArray u32(quint32 v)
{
    char b[4];
    qToBigEndian<quint32>(v, b);
    return QByteArray(b, 4);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const quint32 dpic = argc > 1 ? quint32(atol(argv[1])) : 10000000u;
    const quint32 iter = 10000;
    const QByteArray salt(20, 's');
    const QByteArray dpsl(20, 'd');
    const KeyBag bag =
        KeyBag::parse(item("UUID", QByteArray(16, 'u')) + item("SALT", salt) + item("ITER", u32(iter))
                      + item("DPIC", u32(dpic)) + item("DPSL", dpsl));
    QElapsedTimer timer;
    timer.start();
    const QByteArray key = bag.passwordKey("password");
    const double ours = double(timer.nsecsElapsed()) / 1e9;

    const QString script = QStringLiteral("import hashlib\n"
                                          "k = hashlib.pbkdf2_hmac('sha256', b'password', b'd'*20, %1, 32)\n"
                                          "hashlib.pbkdf2_hmac('sha1', k, b's'*20, %2, 32)\n")
                               .arg(dpic)
                               .arg(iter);
    const double python =
        Bench::timeProcess(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script});

    // mbed TLS on a tenth of the rounds, scaled.
    const quint32 mbedRounds = qMax<quint32>(dpic / 10, 1);
    mbedtls_md_context_t md;
    mbedtls_md_init(&md);
    mbedtls_md_setup(&md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), 1);
    unsigned char out[32];
    timer.restart();
    mbedtls_pkcs5_pbkdf2_hmac(&md, reinterpret_cast<const unsigned char *>("password"), 8,
                              reinterpret_cast<const unsigned char *>(dpsl.constData()), 20, mbedRounds, 32,
                              out);
    const double mbed = double(timer.nsecsElapsed()) / 1e9 * double(dpic) / double(mbedRounds);
    mbedtls_md_free(&md);

    std::printf("DPIC %u, ITER %u\n", dpic, iter);
    std::printf("python3 hashlib (baseline): %.2f s\n", python);
    std::printf("passwordKey (ours):         %.2f s  = %.2fx of baseline (target <= 1.5x)\n", ours,
                ours / python);
    std::printf("mbed TLS PBKDF2 (scaled):   %.2f s  (not used: see README)\n", mbed);
    std::printf("key: %s\n", key.toHex().constData());
    return 0;
}
