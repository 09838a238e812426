// A bare client of the emulated usbmuxd for tests: usbmuxd requests, the
// length-framed plists of lockdownd and house_arrest, and AFC packets.
// Plists are exchanged as QVariant trees (dictionaries as QVariantMap).
#pragma once

#include <QByteArray>
#include <QTcpSocket>
#include <QVariantMap>

class MuxTestClient
{
public:
    explicit MuxTestClient(int usbmuxdPort);

    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    // One usbmuxd request and its answer (empty when none came).
    QVariantMap mux(const QVariantMap &request);
    // The next message usbmuxd pushes after Listen.
    QVariantMap nextPushed(int timeoutMs = 10000);
    // Connect to a port of a phone; afterwards the socket is a pipe to it.
    bool connectTo(quint32 deviceId, quint16 port);

    // A 32-bit big-endian framed plist each way.
    QVariant exchange(const QVariantMap &request);
    void sendFramed(const QVariantMap &request);
    QVariant readFramed();

    struct AfcReply
    {
        bool complete = false; // a whole packet arrived
        quint64 entireLength = 0;
        quint64 packetNumber = 0;
        quint64 operation = 0;
        quint64 status = ~0ULL; // for operation 1
        QByteArray data;        // for operation 2
    };
    AfcReply afc(quint64 operation, const QByteArray &parameters, int timeoutMs = 10000);

    // Waits (bounded) until the peer closes the connection.
    bool waitForClose(int timeoutMs = 10000);
    // Exactly `size` raw bytes, or empty when they did not come in time.
    QByteArray readExact(qint64 size, int timeoutMs = 10000);
    void write(const QByteArray &bytes);

private:
    QTcpSocket m_socket;
    quint32 m_tag = 0;
    quint64 m_afcPacket = 0;
};

QByteArray afcPath(const QString &path);
QByteArray afcHandle(quint64 handle, quint64 extra);
