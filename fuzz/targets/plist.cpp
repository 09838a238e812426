// Property lists (XML and binary) from phones and backups.
#include "FuzzSupport.h"
#include "device/CFType.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    const CFType root = CFType::fromPlistData(Fuzz::bytes(data, size));
    if (root.isNull())
        return 0;
    // Visits every value the way readers do, without recursion of its own.
    std::vector<CFType> pending{root};
    std::size_t visited = 0;
    while (!pending.empty() && ++visited < 100000) {
        const CFType value = pending.back();
        pending.pop_back();
        value.toText();
        value.toQString();
        value.toBytes();
        value.toDateTime();
        value.toInt64();
        if (value.isDictionary()) {
            for (const CFType &key : value.keys())
                pending.push_back(value.value(key));
        } else if (value.isArray()) {
            for (int i = 0; i < value.count(); ++i)
                pending.push_back(value.at(i));
        }
    }
    root.toPlistData(CFType::BinaryFormat);
    root.toPlistData(CFType::XmlFormat);
    return 0;
}
