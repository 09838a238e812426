// The order of messages and chats for display, export and printing.
#pragma once

#include "model/KikRecords.h"

// Messages of different chats follow their chats' _id; within a chat,
// messages close in source sequence (10 ids) and time (60 s) keep the source
// order, others go by time.
bool lessThan(const _KikMessage *a, const _KikMessage *b);

// The same without grouping by chat.
bool lessThanByTime(const _KikMessage *a, const _KikMessage *b);

// Sorts with a stable merge sort. The order above is not transitive, which
// makes std::sort undefined; a merge sort only ever compares elements inside
// the ranges it merges, so it stays in bounds and gives the same result for
// the same input.
void sortMessages(KikMessageList &messages);
void sortMessagesByTime(KikMessageList &messages);

// Newest last_ts first.
bool chatLessThan(const _KikChat *a, const _KikChat *b);
void sortChats(QList<_KikChat *> &chats);
