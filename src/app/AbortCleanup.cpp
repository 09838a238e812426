#include "app/AbortCleanup.h"

#include "app/SafeFile.h"

#include <QFileInfo>
#include <QMap>

#include <mutex>

namespace {

std::mutex g_mutex;
QMap<int, QString> g_paths; // guarded by g_mutex
int g_next = 1;

} // namespace

namespace AbortCleanup {

int add(const QString &path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const int handle = g_next++;
    g_paths.insert(handle, path);
    return handle;
}

void forget(int handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_paths.remove(handle);
}

void removeAll()
{
    QMap<int, QString> paths;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        paths.swap(g_paths);
    }
    // Newest first: files inside a registered folder go before the folder.
    const QList<QString> newestLast = paths.values();
    for (auto it = newestLast.crbegin(); it != newestLast.crend(); ++it)
        SafeFile::removeCreated(*it);
}

} // namespace AbortCleanup
