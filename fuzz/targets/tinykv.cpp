// Attachment maps in the "tinykv" encoding, as stored in local databases
// and read from phone data.
#include "model/TinyKv.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    const QVariantMap map = decodeAttachmentMap(Fuzz::bytes(data, size));
    // What was read is written back when a message is copied.
    decodeAttachmentMap(encodeAttachmentMap(map));
    return 0;
}
