// An AFC client on a device service's connection: opened inside one app's
// container through house_arrest, it lists folders, reads file information
// and reads files. Replies come in the order of the requests; only file
// information requests of a listing are sent ahead of their replies.
#pragma once

#include "device/MobileDevice.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

// What the device says about one path.
struct AfcFileRecord
{
    QString path;
    qint64 size = 0;
    QDateTime modified; // invalid when the device gave none
    QString kind;       // "S_IFREG", "S_IFDIR", "S_IFLNK", …

    bool isFile() const { return kind.compare(QLatin1String("S_IFREG"), Qt::CaseInsensitive) == 0; }
    bool isFolder() const { return kind.compare(QLatin1String("S_IFDIR"), Qt::CaseInsensitive) == 0; }
    // The last element of the path.
    QString name() const { return path.section(QLatin1Char('/'), -1); }
};

class AfcConnection
{
public:
    static constexpr int kDefaultTimeoutMs = 60000;
    static constexpr int kPipelineDepth = 32;

    // A connection to be opened in an app's container with open().
    explicit AfcConnection(MobileDevicePtr device);
    // A connection that already speaks AFC (tests, other services).
    explicit AfcConnection(std::unique_ptr<MobileDeviceConnection> socket);
    ~AfcConnection();
    AfcConnection(const AfcConnection &) = delete;
    AfcConnection &operator=(const AfcConnection &) = delete;

    // Starts house_arrest and asks for the container of `appId`; throws the
    // device's errors or "can not find <appId>.<br/><reply>" when refused.
    void open(const QString &appId);
    void close();
    bool isOpen() const { return m_socket != nullptr; }
    // Bounds each wait for a reply (tests shorten it).
    void setTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }

    // Requests; these throw the packet-level errors.
    QStringList listDirectory(const QString &path);
    QMap<QString, QString> fileInfo(const QString &path);
    QByteArray request(quint64 operation, const QByteArray &parameters);

    // Never throw: an empty record (neither file nor folder) or an empty list
    // on any error. Listings leave out "." and ".." and everything that is
    // neither a regular file nor a folder.
    AfcFileRecord fileRecord(const QString &path);
    QList<AfcFileRecord> listRecords(const QString &path);
    // The records of many paths, in order. The requests go out up to
    // kPipelineDepth ahead of the replies (the phone answers them in
    // order), so a folder of thousands of files does not wait one round
    // trip per file.
    QList<AfcFileRecord> fileRecords(const QStringList &paths);

    // A read-only file handle, 0 on any failure.
    quint64 openRead(const QString &path);
    // Reads up to `size` bytes in requests of at most 64 KiB; the count
    // read (short at the end of the file), -1 on any error.
    qint64 read(quint64 handle, char *buffer, qint64 size);
    // Closes a non-zero handle, swallowing errors; the handle becomes 0.
    void closeFile(quint64 &handle);

    // The app-container request on a house_arrest connection.
    static void vendContainer(MobileDeviceConnection &socket, const QString &appId, int timeoutMs);

private:
    void send(quint64 operation, const QByteArray &parameters);
    QByteArray receive();
    [[noreturn]] void broken(const QString &text);

    MobileDevicePtr m_device;
    std::unique_ptr<MobileDeviceConnection> m_socket;
    quint64 m_packetNumber = 0;
    int m_timeoutMs = kDefaultTimeoutMs;
    // Set after a framing error: the stream can no longer be trusted, so
    // every later request fails at once instead of waiting.
    QString m_brokenText;
};

// An open device file, closed when it goes out of scope.
class AfcOpenFile
{
public:
    AfcOpenFile(AfcConnection &afc, const QString &path) : m_afc(afc), m_handle(afc.openRead(path)) {}
    ~AfcOpenFile() { m_afc.closeFile(m_handle); }
    AfcOpenFile(const AfcOpenFile &) = delete;
    AfcOpenFile &operator=(const AfcOpenFile &) = delete;

    bool isOpen() const { return m_handle != 0; }
    qint64 read(char *buffer, qint64 size) { return m_afc.read(m_handle, buffer, size); }
    void close() { m_afc.closeFile(m_handle); }

private:
    AfcConnection &m_afc;
    quint64 m_handle;
};
