// Decrypting one 512 MiB file of an encrypted backup, beside
// `openssl enc -d -aes-256-cbc` on the same ciphertext. Also shows the CBC
// primitives alone, in memory: OpenSSL's (which extraction uses) and mbed
// TLS's (several times slower, so not used for bulk decryption).
#include "BenchSupport.h"

#include "ios/BackupManifest.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <mbedtls/aes.h>
#include <openssl/evp.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int mib = argc > 1 ? atoi(argv[1]) : 512;
    QTemporaryDir dir;
    const QString backupDir = dir.filePath(QStringLiteral("backup"));
    std::printf("building a backup with one %d MiB encrypted file...\n", mib);
    if (!Bench::buildBackup(backupDir,
                            {QStringLiteral("mbdb-enc"), QStringLiteral("--big"), QString::number(mib)})) {
        std::fprintf(stderr, "fixture builder failed\n");
        return 1;
    }
    const QString domain = QStringLiteral("AppDomain-com.kik.chat");
    const QString path = QStringLiteral("Documents/big.bin");
    const QString id = fileId(domain, path);
    const QString cipherPath = QDir(backupDir).filePath(id);
    // The builder's file key (see make_itunes_backup.py).
    const QByteArray key =
        QCryptographicHash::hash(QByteArray(QByteArray("file") + id.toLatin1()), QCryptographicHash::Sha256);
    const double size = double(QFileInfo(cipherPath).size()) / (1024.0 * 1024.0);

    const double opensslSeconds =
        Bench::timeProcess(QStringLiteral("openssl"),
                           {QStringLiteral("enc"), QStringLiteral("-d"), QStringLiteral("-aes-256-cbc"),
                            QStringLiteral("-K"), QString::fromLatin1(key.toHex()), QStringLiteral("-iv"),
                            QString(32, QLatin1Char('0')), QStringLiteral("-in"), cipherPath,
                            QStringLiteral("-out"), dir.filePath(QStringLiteral("openssl.out"))});
    QFile::remove(dir.filePath(QStringLiteral("openssl.out")));

    BackupManifest manifest(backupDir);
    manifest.readProperties();
    if (!manifest.unlock(QStringLiteral("secret")))
        return 1;
    manifest.buildIndex();
    const MbdbRecord *record = manifest.findRecord(domain, path);
    const double rssBefore = Bench::peakRssMiB();
    QElapsedTimer timer;
    timer.start();
    manifest.extractFile(*record, dir.filePath(QStringLiteral("ours.out")));
    const double oursSeconds = double(timer.nsecsElapsed()) / 1e9;
    const double rssAfter = Bench::peakRssMiB();
    QFile::remove(dir.filePath(QStringLiteral("ours.out")));

    // mbed TLS CBC over 64 MiB in memory, for comparison.
    QByteArray buf(64 << 20, 'x');
    QByteArray out(buf.size(), '\0');
    mbedtls_aes_context aes;
    mbedtls_aes_init(&aes);
    mbedtls_aes_setkey_dec(&aes, reinterpret_cast<const unsigned char *>(key.constData()), 256);
    unsigned char iv[16] = {};
    timer.restart();
    for (qsizetype off = 0; off < buf.size(); off += 8192)
        mbedtls_aes_crypt_cbc(&aes, MBEDTLS_AES_DECRYPT, 8192, iv,
                              reinterpret_cast<const unsigned char *>(buf.constData()) + off,
                              reinterpret_cast<unsigned char *>(out.data()) + off);
    const double mbedSeconds = double(timer.nsecsElapsed()) / 1e9;
    mbedtls_aes_free(&aes);

    EVP_CIPHER_CTX *evp = EVP_CIPHER_CTX_new();
    unsigned char iv2[16] = {};
    EVP_DecryptInit_ex(evp, EVP_aes_256_cbc(), nullptr,
                       reinterpret_cast<const unsigned char *>(key.constData()), iv2);
    EVP_CIPHER_CTX_set_padding(evp, 0);
    timer.restart();
    for (qsizetype off = 0; off < buf.size(); off += 8192) {
        int written = 0;
        EVP_DecryptUpdate(evp, reinterpret_cast<unsigned char *>(out.data()) + off, &written,
                          reinterpret_cast<const unsigned char *>(buf.constData()) + off, 8192);
    }
    const double evpSeconds = double(timer.nsecsElapsed()) / 1e9;
    EVP_CIPHER_CTX_free(evp);

    std::printf("ciphertext:                 %.0f MiB\n", size);
    std::printf("openssl enc -d (baseline):  %.2f s  %.0f MiB/s\n", opensslSeconds, size / opensslSeconds);
    std::printf("extractFile (ours):         %.2f s  %.0f MiB/s  = %.0f %% of openssl (target >= 60 %%)\n",
                oursSeconds, size / oursSeconds, 100.0 * opensslSeconds / oursSeconds);
    std::printf("peak memory before/after:   %.1f / %.1f MiB (flat: no growth with file size)\n", rssBefore,
                rssAfter);
    std::printf("OpenSSL CBC in memory:      %.0f MiB/s (the primitive extraction uses)\n",
                64.0 / evpSeconds);
    std::printf("mbed TLS CBC in memory:     %.0f MiB/s (not used for bulk decryption)\n",
                64.0 / mbedSeconds);
    return 0;
}
