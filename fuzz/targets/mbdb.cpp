// Manifest.mbdb, the file index of iTunes backups up to iOS 9.
#include "FuzzSupport.h"
#include "ios/MbdbReader.h"

#include <QBuffer>

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    QByteArray input = Fuzz::bytes(data, size);
    QBuffer device(&input);
    device.open(QIODevice::ReadOnly);
    try {
        readMbdb(device);
    } catch (const std::runtime_error &) {
        // A clear refusal is the expected answer to damaged input.
    }
    return 0;
}
