// The helper app's channel: downloads, uploads and superuser commands over
// one simpleprotocol connection.
#pragma once

#include "android/AndroidChannel.h"

#include <memory>

class QFile;
class QIODevice;

class HelperChannel : public AndroidChannel
{
public:
    // Takes a connected socket that has already delivered "$ready:".
    HelperChannel(std::unique_ptr<QIODevice> socket, JobProgress *progress);
    ~HelperChannel() override;

    bool downloadFile(const QString &remote, const QString &name, const QString &local,
                      bool overwrite) override;
    void uploadFile(const QString &local, const QString &remote) override;
    int suCommand(const QString &command) override;
    void close() override;

    // How long one answer of the phone may take.
    static constexpr int kReplyTimeoutMs = 120000;
    // Upload block size.
    static constexpr qint64 kUploadBlockBytes = 512 * 1024;

private:
    void receiveBlocks(const QString &local, qint64 total);
    // Sends the file in blocks, straight from the file to the socket.
    void sendBlocksFromFile(QFile &file, qintptr socket, qint64 total, const QString &title);
    // Sends the file in blocks read into memory first (any device).
    void sendBlocksThroughMemory(QFile &file, qint64 total, const QString &title);
    // Drops the connection without a farewell, after a half-sent block.
    void abandon();

    std::unique_ptr<QIODevice> m_socket;
};
