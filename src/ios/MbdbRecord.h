// One entry of a backup's file index (a file, folder or link of the device),
// read from Manifest.mbdb or Manifest.db.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>

struct MbdbRecord
{
    QString domain;
    QString relativePath;
    QString linkTarget;
    QByteArray dataHash;
    QByteArray encryptionKey; // 4 bytes of class, then the 40-byte wrapped key
    std::uint16_t mode = 0;
    std::uint32_t inodeHigh = 0;
    std::uint32_t inodeLow = 0;
    std::uint32_t userId = 0;
    std::uint32_t groupId = 0;
    std::uint32_t modifiedTime = 0; // Unix seconds
    std::uint32_t accessedTime = 0;
    std::uint32_t createdTime = 0;
    std::uint64_t fileSize = 0;
    std::uint8_t protectionClass = 0;
    QList<QPair<QByteArray, QByteArray>> properties;
    // Manifest.db only: 1 file, 2 folder, 4 link (0 from Manifest.mbdb).
    int flags = 0;
    // Manifest.db only: the file id as stored (content in "ab/abcdef...").
    QString storedFileId;

    // Folder versus file is decided by the mode's file type (S_IFDIR), or by
    // the Manifest.db flags when the mode carries no type. A record of size 0
    // is not a folder for that reason alone: empty files exist.
    bool isDir() const;
    bool isLink() const;
    bool isFile() const { return !isDir() && !isLink(); }
};

// Record table: file id → record.
using MbdbRecordTable = QHash<QString, MbdbRecord>;

// Lower-case hex SHA-1 of the UTF-8 bytes of domain + "-" + relative path.
QString fileId(const QString &domain, const QString &relativePath);

// True when `id` is a file id that names a file inside the backup folder:
// 40 lower- or upper-case hexadecimal digits and nothing else.
bool isSafeFileId(const QString &id);
