#include "model/MessageOrder.h"

#include <algorithm>
#include <vector>

namespace {

qint64 msOf(const QDateTime &time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

template <typename T, typename Less>
void mergeSort(QList<T> &items, Less less)
{
    const qsizetype n = items.size();
    if (n < 2)
        return;
    std::vector<T> a(items.begin(), items.end());
    std::vector<T> b(a.size());
    for (qsizetype width = 1; width < n; width *= 2) {
        for (qsizetype lo = 0; lo < n; lo += 2 * width) {
            const qsizetype mid = std::min(lo + width, n);
            const qsizetype hi = std::min(lo + 2 * width, n);
            qsizetype i = lo, j = mid, k = lo;
            while (i < mid && j < hi) {
                // Take from the right only when it is strictly smaller: stable.
                if (less(a[j], a[i]))
                    b[k++] = a[j++];
                else
                    b[k++] = a[i++];
            }
            while (i < mid)
                b[k++] = a[i++];
            while (j < hi)
                b[k++] = a[j++];
        }
        a.swap(b);
    }
    std::copy(a.begin(), a.end(), items.begin());
}

} // namespace

bool lessThanByTime(const _KikMessage *a, const _KikMessage *b)
{
    const qint64 ta = msOf(a->ts);
    const qint64 tb = msOf(b->ts);
    // Differences in unsigned arithmetic: any two 64-bit values are allowed.
    const quint64 keyDiff = a->sort_key > b->sort_key ? quint64(a->sort_key) - quint64(b->sort_key)
                                                      : quint64(b->sort_key) - quint64(a->sort_key);
    const quint64 msDiff = ta > tb ? quint64(ta) - quint64(tb) : quint64(tb) - quint64(ta);
    if (keyDiff <= 10 && msDiff / 1000 <= 60)
        return a->sort_key < b->sort_key;
    return ta < tb;
}

bool lessThan(const _KikMessage *a, const _KikMessage *b)
{
    if (a->chat && b->chat && a->chat != b->chat && a->chat->_id != b->chat->_id)
        return a->chat->_id < b->chat->_id;
    return lessThanByTime(a, b);
}

void sortMessages(KikMessageList &messages)
{
    mergeSort(messages, lessThan);
}

void sortMessagesByTime(KikMessageList &messages)
{
    mergeSort(messages, lessThanByTime);
}

bool chatLessThan(const _KikChat *a, const _KikChat *b)
{
    return msOf(a->last_ts) > msOf(b->last_ts);
}

void sortChats(QList<_KikChat *> &chats)
{
    mergeSort(chats, chatLessThan);
}
