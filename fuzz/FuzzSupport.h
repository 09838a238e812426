// Shared set-up of the fuzz targets: a quiet Qt log and scratch files.
#pragma once

#include "device/MobileDevice.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace Fuzz {

// Drops Qt's log output (parsers warn on every bad input) once per process.
void quietLog();

// The input as a byte array (a copy: parsers may keep it).
QByteArray bytes(const std::uint8_t *data, std::size_t size);

// A scratch folder of this process, created on first use; its contents
// may be removed with clearScratch().
QString scratchFolder();
void clearScratch();

// A peer that says the fuzz bytes and nothing more: reads deliver them in
// order, then the device reports no more data (as a closed socket would);
// everything written to it is dropped, so the input is never changed.
class PeerDevice : public QIODevice
{
public:
    explicit PeerDevice(QByteArray said);
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QByteArray m_said;
    qsizetype m_position = 0;
};

// A device service connection that answers with the fuzz bytes: each
// receive takes the next bytes (short at the end), sends are swallowed.
class PeerConnection : public MobileDeviceConnection
{
public:
    explicit PeerConnection(QByteArray said) : m_said(std::move(said)) {}
    int waitSocket(int timeoutMs, bool forReading) override;
    int sendData(const char *data, int length, int timeoutMs) override;
    int receiveData(char *buffer, int length, int timeoutMs) override;
    void close() override {}

private:
    QByteArray m_said;
    qsizetype m_position = 0;
};

} // namespace Fuzz
