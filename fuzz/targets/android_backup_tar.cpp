// The tar stream inside an Android backup archive: the input is wrapped in
// a valid header and zlib stream, so every run reaches the entry reader.
#include "FuzzSupport.h"
#include "android/AndroidBackup.h"

#include <QFile>

#include <zlib.h>

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    Fuzz::clearScratch();
    uLongf packedSize = compressBound(uLong(size));
    QByteArray packed(qsizetype(packedSize), Qt::Uninitialized);
    if (compress(reinterpret_cast<Bytef *>(packed.data()), &packedSize, data, uLong(size)) != Z_OK)
        return 0;
    packed.truncate(qsizetype(packedSize));

    const QString archive = Fuzz::scratchFolder() + QStringLiteral("/in.ab");
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    file.write(kAndroidBackupHeader);
    file.write(packed);
    file.close();
    try {
        extractAndroidBackup(archive, QDir(Fuzz::scratchFolder() + QStringLiteral("/out")),
                             QStringLiteral("damaged"));
    } catch (const std::runtime_error &) {
    }
    return 0;
}
