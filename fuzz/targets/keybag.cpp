// The backup key bag of an encrypted iTunes backup.
#include "ios/KeyBag.h"
#include "FuzzSupport.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    try {
        KeyBag bag = KeyBag::parse(Fuzz::bytes(data, size));
        // Unwrapping with a fixed key exercises the class records without
        // the cost of a password derivation.
        bag.unlockWithKey(QByteArray(32, '\x42'));
        bag.classKey(3);
    } catch (const std::runtime_error &) {
    }
    return 0;
}
