// The keyed archive in the "file" column of Manifest.db (iOS 10 and later).
#include "FuzzSupport.h"
#include "ios/ManifestDbReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    MbdbRecord record;
    parseFileArchive(Fuzz::bytes(data, size), record);
    return 0;
}
