// Property-list messages from a device service (4-byte big-endian length,
// then the plist), through an in-memory connection: the first byte picks
// whether the desktop reads messages until the stream ends or asks for an
// app's container (house_arrest), the rest is what the phone answers.
#include "FuzzSupport.h"
#include "device/AfcConnection.h"
#include "device/PlistFraming.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    if (size == 0)
        return 0;
    Fuzz::PeerConnection peer(Fuzz::bytes(data + 1, size - 1));
    try {
        if (data[0] % 2 == 0) {
            CFType request = CFType::newDictionary();
            request.setValue(QStringLiteral("Request"), CFType::fromString(QStringLiteral("GetValue")));
            for (int i = 0; i < 64; ++i) {
                const CFType message = mobiledevice_recmsg(peer, request, 100);
                // What arrived goes out again as a message, as replies are
                // forwarded to the backup tool.
                mobiledevice_sendmsg(peer, message, i % 2 == 0, 100);
            }
        } else {
            AfcConnection::vendContainer(peer, QStringLiteral("com.kik.chat"), 100);
        }
    } catch (const std::runtime_error &) {
    }
    return 0;
}
