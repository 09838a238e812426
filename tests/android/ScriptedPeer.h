// A stand-in for the helper app's socket: it delivers prepared bytes and
// records what the desktop sends, so the protocol code can be driven without
// a phone. Waiting for more data fails at once, as a closed socket would.
#pragma once

#include <QByteArray>
#include <QIODevice>

#include <memory>

class ScriptedPeer : public QIODevice
{
public:
    explicit ScriptedPeer(const QByteArray &incoming) : m_in(incoming), m_out(std::make_shared<QByteArray>())
    {
        open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    }

    // What the desktop sent; stays readable after the device is gone.
    std::shared_ptr<QByteArray> sent() const { return m_out; }
    qint64 unread() const { return m_in.size() - m_pos; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return unread() + QIODevice::bytesAvailable(); }
    bool waitForReadyRead(int) override { return unread() > 0; }
    bool waitForBytesWritten(int) override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, unread());
        if (n <= 0)
            return 0;
        memcpy(data, m_in.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_out->append(data, size);
        return size;
    }

private:
    QByteArray m_in;
    qint64 m_pos = 0;
    std::shared_ptr<QByteArray> m_out;
};
