// A whole Android backup archive: text header, then the compressed body.
#include "FuzzSupport.h"
#include "android/AndroidBackup.h"

#include <QFile>

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    Fuzz::clearScratch();
    const QString archive = Fuzz::scratchFolder() + QStringLiteral("/in.ab");
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly) || file.write(Fuzz::bytes(data, size)) != qint64(size))
        return 0;
    file.close();
    try {
        extractAndroidBackup(archive, QDir(Fuzz::scratchFolder() + QStringLiteral("/out")),
                             QStringLiteral("damaged"));
    } catch (const std::runtime_error &) {
    }
    return 0;
}
