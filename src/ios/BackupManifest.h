// One iTunes/Finder backup folder: its properties (Manifest.plist), its file
// index (Manifest.mbdb or Manifest.db) with a browsable tree, its key bag,
// and extraction of single files, decrypted when the backup is encrypted.
#pragma once

#include "ios/BackupFileNode.h"
#include "ios/KeyBag.h"
#include "ios/MbdbRecord.h"

#include <QDateTime>
#include <QDir>
#include <QMutex>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

class BackupManifest : public QObject
{
    Q_OBJECT
public:
    // Called after every chunk: (total source size, bytes done, context).
    using ProgressCallback = void (*)(qint64 total, qint64 done, void *context);

    explicit BackupManifest(const QString &folderPath, QObject *parent = nullptr);
    ~BackupManifest() override;

    // Reads Manifest.plist. Throws "Cannot find <path>" when it is missing,
    // the file's error text when it cannot be read, and a clear text when it
    // is not a property list.
    void readProperties();

    QString uniqueDeviceId() const { return m_udid; }
    QString deviceName() const { return m_deviceName; }
    QDateTime backupDate() const { return m_date; } // UTC instant
    QString productType() const { return m_productType; }
    QString productVersion() const { return m_productVersion; }
    QString serialNumber() const { return m_serial; }
    bool isEncrypted() const { return m_encrypted; }
    QByteArray backupKeyBag() const { return m_keyBagBytes; }
    QString displayName() const { return m_displayName; }
    QDir folder() const { return m_folder; }
    QString folderPath() const { return m_folder.absolutePath(); }
    // Lower-case hex MD5 of the folder's absolute path.
    QString backupKey() const;

    // True when the folder holds Manifest.db (iOS 10 and later).
    bool usesManifestDb() const;
    // True when the folder holds Manifest.plist and either manifest.
    static bool looksLikeBackup(const QString &folderPath);

    // Parses the key bag afresh and unlocks it with the password; true when
    // every password-wrapped class key unwraps. Throws on a damaged key bag.
    // May run on a worker thread while nothing else uses this object.
    bool unlock(const QString &password);
    bool isUnlocked() const;
    QByteArray classKey(std::uint32_t protectionClass) const;

    // Reads the manifest (decrypting an encrypted Manifest.db into a
    // temporary file first) and builds the tree; does nothing when it is
    // built already. Throws on unreadable or damaged manifests.
    void buildIndex();
    bool isIndexed() const { return m_indexed; }

    const MbdbRecordTable &records() const { return m_records; }
    const QList<BackupFileNode *> &topLevelNodes() const { return m_topLevel; }
    const BackupFileNode *topLevelNode(const QString &name) const;

    // The record of one domain and path, or null.
    const MbdbRecord *findRecord(const QString &domain, const QString &relativePath) const;
    // The records of a domain whose path is `prefix` or lies below it
    // (every record of the domain for an empty prefix), sorted by path.
    QList<const MbdbRecord *> recordsUnder(const QString &domain, const QString &prefix) const;

    // Path of a record's content file inside the backup folder, or empty
    // when its file id could resolve outside the folder.
    QString contentPath(const MbdbRecord &record) const;

    // Writes one record to `destination`: a folder is created, a file is
    // copied (decrypted when the backup is encrypted) through a temporary
    // file beside it and renamed into place, with its modification time set.
    // Throws on any failure (a symbolic link is refused: callers skip
    // records whose isLink() is true); nothing half-written is left.
    void extractFile(const MbdbRecord &record, const QString &destination,
                     ProgressCallback progress = nullptr, void *context = nullptr) const;
    void extractFile(const BackupFileNode *node, const QString &destination,
                     ProgressCallback progress = nullptr, void *context = nullptr) const;

    // Extracts `record` below `folder` at its path relative to `prefix`
    // (the record's whole path when `prefix` is empty). Refuses (throws)
    // names that would leave the folder. Returns the written path.
    QString extractInto(const MbdbRecord &record, const QString &folder, const QString &prefix = QString(),
                        ProgressCallback progress = nullptr, void *context = nullptr) const;

private:
    void indexRecords(MbdbRecordTable table);
    void buildTree();
    QByteArray fileKey(const MbdbRecord &record) const;
    MbdbRecordTable readEncryptedManifestDb() const;

    QDir m_folder;
    QString m_udid;
    QString m_deviceName;
    QDateTime m_date;
    QString m_productType;
    QString m_productVersion;
    QString m_serial;
    bool m_encrypted = false;
    QByteArray m_keyBagBytes;
    QByteArray m_manifestKey;
    QString m_displayName;

    mutable QMutex m_keyMutex;
    std::optional<KeyBag> m_keyBag;

    bool m_indexed = false;
    MbdbRecordTable m_records;
    std::vector<std::unique_ptr<BackupFileNode>> m_nodes;
    QList<BackupFileNode *> m_topLevel;
};
