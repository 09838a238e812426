// The helper app's line protocol as the phone speaks it: the first byte
// picks what the desktop asks, up to three requests on one channel (its
// base-5 digits: a download, a named download, a superuser command, an
// upload, the greeting and device information), the rest is everything the
// phone answers, fed through an in-memory socket.
#include "FuzzSupport.h"
#include "android/AndroidDevice.h"
#include "android/HelperChannel.h"
#include "android/SimpleProtocol.h"
#include "jobs/JobCancelled.h"

#include <QFile>

#include <memory>
#include <stdexcept>

namespace {

void request(HelperChannel &channel, QIODevice *peer, int choice, int round)
{
    const QString folder = Fuzz::scratchFolder();
    const QString local = folder + QStringLiteral("/file%1").arg(round);
    switch (choice) {
    case 0:
        channel.downloadFile(QStringLiteral("/data/data/kik.android/databases/kikDatabase.db"), QString(),
                             local, true);
        break;
    case 1:
        channel.downloadFile(QStringLiteral("/data/data/kik.android/files/content_manager"),
                             QStringLiteral("a b"), local, true);
        break;
    case 2:
        channel.suCommand(QStringLiteral("id"));
        break;
    case 3: {
        QFile file(local);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QByteArray(600 * 1024, 'k')); // two blocks
        file.close();
        channel.uploadFile(local, QStringLiteral("/sdcard/up"));
        break;
    }
    default: {
        simpleprotocol::expectReply(peer, QStringLiteral("$ready:"), 1000);
        const QString hello = simpleprotocol::readReply(peer, 1000);
        AndroidDevice device;
        parseDeviceInfo(hello.mid(7), device);
        break;
    }
    }
}

void exchange(std::uint8_t choices, QByteArray said)
{
    auto socket = std::make_unique<Fuzz::PeerDevice>(std::move(said));
    QIODevice *peer = socket.get();
    HelperChannel channel(std::move(socket), nullptr);
    int choice = choices;
    for (int round = 0; round < 3; ++round, choice /= 5)
        request(channel, peer, choice % 5, round);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    if (size == 0)
        return 0;
    Fuzz::clearScratch();
    try {
        exchange(data[0], Fuzz::bytes(data + 1, size - 1));
    } catch (const JobCancelled &) {
    } catch (const std::runtime_error &) {
    }
    return 0;
}
