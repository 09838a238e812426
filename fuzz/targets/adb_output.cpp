// What the program reads from adb's output: the device list, the package
// list, the success and error lines of installs and forwards, and whether
// `su -c id` ran as the superuser. adb hands its output over as Latin-1.
#include "FuzzSupport.h"
#include "android/AdbDevice.h"
#include "android/AdbDeviceInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    const QString output = QString::fromLatin1(Fuzz::bytes(data, size));
    for (const AdbDevice &device : parseAdbDevices(output)) {
        device.isReady();
        device.isOfflineOrUnauthorized();
    }
    parseAdbPackages(output);
    adbOutputHasSuccessLine(output);
    adbOutputHasErrorLine(output);
    idOutputIsRoot(output);
    return 0;
}
