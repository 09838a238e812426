// AFC replies as an iPhone sends them, through an in-memory connection: the
// first byte picks what the desktop does (list a folder with the file
// information of its entries, read one file's information, open and read a
// file, copy a folder tree), the rest is every byte the phone answers.
#include "FuzzSupport.h"
#include "device/AfcConnection.h"
#include "device/IOSAfcFileDownload.h"
#include "jobs/JobCancelled.h"

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

void exchange(std::uint8_t choice, QByteArray said)
{
    AfcConnection afc(std::make_unique<Fuzz::PeerConnection>(std::move(said)));
    afc.setTimeoutMs(100);
    switch (choice % 5) {
    case 0:
        for (const AfcFileRecord &record : afc.listRecords(QStringLiteral("/Documents"))) {
            record.name();
            record.modified.toString();
        }
        break;
    case 1:
        afc.fileRecord(QStringLiteral("/Documents/kik.sqlite"));
        break;
    case 2:
        afc.fileInfo(QStringLiteral("/Documents/kik.sqlite"));
        break;
    case 3: {
        AfcOpenFile file(afc, QStringLiteral("/Documents/kik.sqlite"));
        if (!file.isOpen())
            return;
        std::vector<char> buffer(200 * 1024);
        while (file.read(buffer.data(), qint64(buffer.size())) > 0) {
        }
        break;
    }
    default: {
        AfcFileRecord root;
        root.path = QStringLiteral("/Documents");
        root.kind = QStringLiteral("S_IFDIR");
        IOSAfcFileDownload download(nullptr, nullptr);
        download.downloadFolderThrow(afc, root, Fuzz::scratchFolder(), false);
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
    } catch (const std::runtime_error &) {
    } catch (const JobCancelled &) {
        // Nothing cancels here.
    }
    return 0;
}
