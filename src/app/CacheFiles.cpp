#include "app/CacheFiles.h"

#include "app/DataRoot.h"
#include "app/DeviceBackupRoot.h"
#include "app/FileUtil.h"

void clearCacheFiles()
{
    removeTree(DataRoot::iosCacheFolder().absolutePath());
    clearTempBackupRoot();
    removeTree(DataRoot::androidCacheFolder().absolutePath());
}
