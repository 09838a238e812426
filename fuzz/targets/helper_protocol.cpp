// The helper app's line protocol as the phone speaks it: the first byte
// picks what the desktop asks (a download, a named download, a superuser
// command, an upload, the greeting and device information), the rest is
// everything the phone answers, fed through an in-memory socket.
#include "FuzzSupport.h"
#include "android/AndroidDevice.h"
#include "android/HelperChannel.h"
#include "android/SimpleProtocol.h"
#include "jobs/JobCancelled.h"

#include <QFile>

#include <memory>
#include <stdexcept>

namespace {

void exchange(std::uint8_t choice, QByteArray said)
{
    const QString folder = Fuzz::scratchFolder();
    auto socket = std::make_unique<Fuzz::PeerDevice>(std::move(said));
    QIODevice *peer = socket.get();
    switch (choice % 5) {
    case 0:
        HelperChannel(std::move(socket), nullptr)
            .downloadFile(QStringLiteral("/data/data/kik.android/databases/kikDatabase.db"), QString(),
                          folder + QStringLiteral("/download"), true);
        break;
    case 1:
        HelperChannel(std::move(socket), nullptr)
            .downloadFile(QStringLiteral("/data/data/kik.android/files/content_manager"),
                          QStringLiteral("a b"), folder + QStringLiteral("/named"), true);
        break;
    case 2:
        HelperChannel(std::move(socket), nullptr).suCommand(QStringLiteral("id"));
        break;
    case 3: {
        const QString local = folder + QStringLiteral("/upload");
        QFile file(local);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QByteArray(600 * 1024, 'k')); // two blocks
        file.close();
        HelperChannel(std::move(socket), nullptr).uploadFile(local, QStringLiteral("/sdcard/up"));
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
