// The phone's side of an AFC connection over a socket pair, serving a small
// file tree from memory, with faults on demand. Packets are packed here by
// hand, independently of the client's own packet code.
#pragma once

#include "device/MobileDevice.h"

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

struct FakeAfcEntry
{
    QString kind = QStringLiteral("S_IFREG");
    QByteArray data;
    qint64 mtimeSeconds = 1600000000;
};

class FakeAfcPeer
{
public:
    FakeAfcPeer();
    ~FakeAfcPeer();

    // Adds a file (and its parent folders).
    void addFile(const QString &path, const QByteArray &data, qint64 mtimeSeconds = 1600000000);
    void addFolder(const QString &path);
    void addEntry(const QString &path, const FakeAfcEntry &entry);

    // The client's end; call once, then start().
    std::unique_ptr<MobileDeviceConnection> clientConnection();
    void start();

    // Raw reply bytes for a request instead of the normal answer; an empty
    // optional keeps the normal answer, an empty array sends nothing (a
    // stalled phone).
    std::function<std::optional<QByteArray>(quint64 operation, const QByteArray &parameters)> fault;
    // After this many successful reads of file data, reads answer status 4.
    std::atomic<int> readErrorAfter{-1};

    std::atomic<int> opens{0};
    std::atomic<int> reads{0};

    static QByteArray packet(quint64 operation, const QByteArray &payload);
    static QByteArray status(quint64 code);

private:
    QByteArray answer(quint64 operation, const QByteArray &parameters);
    void serve();

    int m_clientFd = -1;
    int m_peerFd = -1;
    QMutex m_mutex;
    QMap<QString, FakeAfcEntry> m_entries;
    QMap<quint64, QPair<QString, qint64>> m_open; // handle -> path, offset
    quint64 m_nextHandle = 5;
    std::thread m_thread;
};
