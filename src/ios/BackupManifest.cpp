#include "ios/BackupManifest.h"

#include "app/AppError.h"
#include "device/CFType.h"
#include "ios/BackupCrypto.h"
#include "ios/ManifestDbReader.h"
#include "ios/MbdbReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr qint64 kMaxManifestPlistSize = 64 * 1024 * 1024;
const QString kListedDomains =
    QStringLiteral("=Domain=MediaDomain=RootDomain=HomeDomain=SystemPreferencesDomain=MobileDeviceDomain="
                   "WirelessDomain=DatabaseDomain=CameraRollDomain=HealthDomain=KeychainDomain="
                   "KeyboardDomain=ManagedPreferencesDomain=");

} // namespace

BackupManifest::BackupManifest(const QString &folderPath, QObject *parent)
    : QObject(parent), m_folder(QDir(folderPath).absolutePath())
{}

BackupManifest::~BackupManifest() = default;

QString BackupManifest::backupKey() const
{
    const QByteArray path = QDir::cleanPath(m_folder.absolutePath()).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Md5).toHex());
}

bool BackupManifest::usesManifestDb() const
{
    return !QFileInfo::exists(m_folder.filePath(QStringLiteral("Manifest.mbdb")))
           && QFileInfo::exists(m_folder.filePath(QStringLiteral("Manifest.db")));
}

bool BackupManifest::looksLikeBackup(const QString &folderPath)
{
    const QDir dir(folderPath);
    if (!QFileInfo(dir.filePath(QStringLiteral("Manifest.plist"))).isFile())
        return false;
    // Manifest.mbdb is read whenever it is there, so it decides.
    const QString mbdb = dir.filePath(QStringLiteral("Manifest.mbdb"));
    if (QFileInfo::exists(mbdb))
        return hasMbdbMagic(mbdb);
    return QFileInfo(dir.filePath(QStringLiteral("Manifest.db"))).isFile();
}

void BackupManifest::readProperties()
{
    const QString path = m_folder.filePath(QStringLiteral("Manifest.plist"));
    if (!QFileInfo::exists(path))
        throw AppError(QStringLiteral("Cannot find ") + path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(file.errorString());
    if (file.size() > kMaxManifestPlistSize)
        throw AppError(QStringLiteral("%1 is too large to be a backup manifest.").arg(path));
    const CFType root = CFType::fromPlistData(file.readAll());
    if (!root.isDictionary())
        throw AppError(QStringLiteral("%1 is not a valid property list.").arg(path));

    const CFType lockdown = root.value(QStringLiteral("Lockdown"));
    m_udid = lockdown.value(QStringLiteral("UniqueDeviceID")).toQString();
    m_deviceName = lockdown.value(QStringLiteral("DeviceName")).toQString();
    m_date = root.value(QStringLiteral("Date")).toDateTime();
    m_productType = lockdown.value(QStringLiteral("ProductType")).toQString();
    m_productVersion = lockdown.value(QStringLiteral("ProductVersion")).toQString();
    m_serial = lockdown.value(QStringLiteral("SerialNumber")).toQString();
    m_encrypted = root.value(QStringLiteral("IsEncrypted")).toBool(false);
    m_keyBagBytes = root.value(QStringLiteral("BackupKeyBag")).toBytes();
    m_manifestKey = root.value(QStringLiteral("ManifestKey")).toBytes();

    const QString name = m_folder.dirName();
    if (!m_udid.isEmpty() && name.contains(m_udid))
        m_displayName = QString(name).replace(m_udid, m_deviceName);
    else
        m_displayName = m_deviceName + QLatin1Char('-') + name;
}

bool BackupManifest::unlock(const QString &password)
{
    KeyBag bag = KeyBag::parse(m_keyBagBytes);
    if (!bag.unlock(password.toUtf8()))
        return false;
    QMutexLocker lock(&m_keyMutex);
    m_keyBag = std::move(bag);
    return true;
}

bool BackupManifest::isUnlocked() const
{
    QMutexLocker lock(&m_keyMutex);
    return m_keyBag.has_value();
}

QByteArray BackupManifest::classKey(std::uint32_t protectionClass) const
{
    QMutexLocker lock(&m_keyMutex);
    return m_keyBag ? m_keyBag->classKey(protectionClass) : QByteArray();
}

MbdbRecordTable BackupManifest::readEncryptedManifestDb() const
{
    if (!isUnlocked())
        throw AppError(QStringLiteral("The backup is encrypted: unlock it with its password first."));
    if (m_manifestKey.size() != 44)
        throw AppError(QStringLiteral("The backup's ManifestKey is not valid."));
    const auto *k = reinterpret_cast<const unsigned char *>(m_manifestKey.constData());
    const std::uint32_t cls = k[0] | (k[1] << 8) | (k[2] << 16) | (std::uint32_t(k[3]) << 24);
    const QByteArray classKeyBytes = classKey(cls);
    const QByteArray key = BackupCrypto::aesKeyUnwrap(classKeyBytes, m_manifestKey.mid(4));
    if (key.size() != 32)
        throw AppError(QStringLiteral("The backup's ManifestKey cannot be unwrapped."));

    const QString source = m_folder.filePath(QStringLiteral("Manifest.db"));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("can not open %1. %2").arg(source, in.errorString()));
    if (in.size() % 16 != 0)
        throw AppError(
            QStringLiteral("The backup's Manifest.db is damaged: its encrypted content is cut short."));

    QTemporaryDir temp; // removed with its file when this function returns
    if (!temp.isValid())
        throw AppError(QStringLiteral("Cannot create a temporary folder. %1").arg(temp.errorString()));
    const QString plainPath = temp.filePath(QStringLiteral("Manifest.db"));
    QFile out(plainPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(QStringLiteral("can not create %1. %2").arg(plainPath, out.errorString()));
    BackupCrypto::CbcDecryptor cbc(key);
    QByteArray chunk(64 * 1024, '\0');
    QByteArray plain(chunk.size(), '\0');
    QByteArray lastBlock;
    for (;;) {
        const qint64 n = in.read(chunk.data(), chunk.size());
        if (n < 0)
            throw AppError(in.errorString());
        if (n == 0)
            break;
        if (!cbc.decrypt(reinterpret_cast<const unsigned char *>(chunk.constData()), std::size_t(n),
                         reinterpret_cast<unsigned char *>(plain.data())))
            throw AppError(
                QStringLiteral("The backup's Manifest.db is damaged: its encrypted content is cut short."));
        if (out.write(plain.constData(), n) != n)
            throw AppError(out.errorString());
        lastBlock = plain.mid(int(n) - 16, 16);
    }
    // Remove the PKCS#7 padding when it is there. Without a valid padding
    // the bytes are left alone (a database page may well end in a byte from
    // 1 to 16).
    if (const int pad = BackupCrypto::pkcs7PaddingLength(lastBlock)) {
        if (!out.resize(out.size() - pad))
            throw AppError(out.errorString());
    }
    out.close();
    return readManifestDb(plainPath);
}

void BackupManifest::buildIndex()
{
    if (!m_topLevel.isEmpty() || m_indexed)
        return;
    MbdbRecordTable table;
    if (!QFileInfo::exists(m_folder.filePath(QStringLiteral("Manifest.mbdb")))
        && !QFileInfo::exists(m_folder.filePath(QStringLiteral("Manifest.db"))))
        throw AppError(QStringLiteral("%1 is not a complete iTunes backup: it holds neither Manifest.db "
                                      "nor Manifest.mbdb.")
                           .arg(QDir::toNativeSeparators(m_folder.absolutePath())));
    if (!usesManifestDb())
        table = readMbdb(m_folder.filePath(QStringLiteral("Manifest.mbdb")));
    else if (m_encrypted && !m_manifestKey.isEmpty())
        table = readEncryptedManifestDb();
    else
        table = readManifestDb(m_folder.filePath(QStringLiteral("Manifest.db")));
    indexRecords(std::move(table));
}

void BackupManifest::indexRecords(MbdbRecordTable table)
{
    m_records = std::move(table);
    buildTree();
    m_indexed = true;
}

void BackupManifest::buildTree()
{
    std::vector<const MbdbRecord *> sorted;
    sorted.reserve(std::size_t(m_records.size()));
    for (const MbdbRecord &r : std::as_const(m_records))
        sorted.push_back(&r);
    std::sort(sorted.begin(), sorted.end(), [](const MbdbRecord *a, const MbdbRecord *b) {
        const int d = QString::compare(a->domain, b->domain);
        return d != 0 ? d < 0 : QString::compare(a->relativePath, b->relativePath) < 0;
    });

    // Full key of a node → the node; needed only while building (to find a
    // node's parent), so it is dropped afterwards.
    QHash<QString, BackupFileNode *> keyMap;
    keyMap.reserve(qsizetype(sorted.size()));
    auto makeNode = [this, &keyMap](const QString &key, const QString &name, BackupFileNode *parent) {
        m_nodes.push_back(std::make_unique<BackupFileNode>());
        BackupFileNode *node = m_nodes.back().get();
        node->name = name;
        node->parent = parent;
        if (parent)
            parent->children.append(node);
        else
            m_topLevel.append(node);
        keyMap.insert(key, node);
        return node;
    };
    // The node of a key, made with every missing folder above it (a record
    // whose folder has no record of its own still gets a place).
    std::function<BackupFileNode *(const QString &)> nodeFor = [&](const QString &key) {
        if (BackupFileNode *found = keyMap.value(key))
            return found;
        const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
        BackupFileNode *parent = slash < 0 ? nullptr : nodeFor(key.left(slash));
        return makeNode(key, slash < 0 ? key : key.mid(slash + 1), parent);
    };

    static const QRegularExpression appDomain(QStringLiteral("^AppDomain([^-]*)-(.+)"));
    for (const MbdbRecord *r : sorted) {
        QString key;
        const QRegularExpressionMatch m = appDomain.match(r->domain);
        if (m.hasMatch()) {
            const QString group = m.captured(1).isEmpty() ? QStringLiteral("Applications")
                                                          : QStringLiteral("AppDomain") + m.captured(1);
            // The group is part of the key so that an app and its group
            // container with the same id stay apart.
            key = group + QLatin1Char('/') + m.captured(2);
        } else if (kListedDomains.contains(QLatin1Char('=') + r->domain + QLatin1Char('='))) {
            key = QString();
        } else {
            key = r->domain;
        }
        QString path = r->relativePath;
        while (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        if (!path.isEmpty())
            key = key.isEmpty() ? path : key + QLatin1Char('/') + path;
        if (key.isEmpty())
            continue; // the root record of a listed domain
        BackupFileNode *node = nodeFor(key);
        node->record = *r;
        node->hasRecord = true;
    }
}

const BackupFileNode *BackupManifest::topLevelNode(const QString &name) const
{
    for (const BackupFileNode *n : m_topLevel) {
        if (n->name == name)
            return n;
    }
    return nullptr;
}

const MbdbRecord *BackupManifest::findRecord(const QString &domain, const QString &relativePath) const
{
    const auto it = m_records.constFind(fileId(domain, relativePath));
    if (it != m_records.constEnd() && it->domain == domain && it->relativePath == relativePath)
        return &*it;
    return nullptr;
}

QList<const MbdbRecord *> BackupManifest::recordsUnder(const QString &domain, const QString &prefix) const
{
    QString base = prefix;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QList<const MbdbRecord *> out;
    for (const MbdbRecord &r : m_records) {
        if (r.domain != domain)
            continue;
        if (base.isEmpty() || r.relativePath == base
            || (r.relativePath.startsWith(base) && r.relativePath.size() > base.size()
                && r.relativePath.at(base.size()) == QLatin1Char('/')))
            out.append(&r);
    }
    std::sort(out.begin(), out.end(),
              [](const MbdbRecord *a, const MbdbRecord *b) { return a->relativePath < b->relativePath; });
    return out;
}
