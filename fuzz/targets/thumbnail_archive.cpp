// The archive of thumbnails a rooted phone's tar packs: the input is the
// archive, unpacked for a few names into a scratch folder.
#include "FuzzSupport.h"
#include "android/AndroidThumbnailBatch.h"

#include <QFile>
#include <QSet>

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Fuzz::quietLog();
    Fuzz::clearScratch();
    const QString archive = Fuzz::scratchFolder() + QStringLiteral("/thumbs.tar");
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    static const QSet<QString> wanted{QStringLiteral("thumb-a"), QStringLiteral("thumb-c"),
                                      QStringLiteral("thumb-e"), QStringLiteral("thumb-z")};
    try {
        AndroidThumbnailBatch::unpack(archive, wanted, Fuzz::scratchFolder() + QStringLiteral("/thumbs"),
                                      Fuzz::scratchFolder() + QStringLiteral("/work"));
    } catch (const std::runtime_error &) {
    }
    return 0;
}
