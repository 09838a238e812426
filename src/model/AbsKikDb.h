// Base of the Kik database adapters (local database, iOS store, Android
// database): a connection that opens its file on first use and reads
// everything into a data set.
#pragma once

#include "db/Sqlite3DB.h"
#include "model/KikDataSet.h"

class AbsKikDb : public Sqlite3DB
{
public:
    AbsKikDb() = default;
    ~AbsKikDb() override = default;

    // Opens the database file on first use; returns at once when open.
    virtual void ensureOpen() = 0;
    // Reads every user, chat and message into the data set.
    virtual void loadAll(KikDataSet &dataSet) = 0;
};

using AbsKikDbPtr = std::shared_ptr<AbsKikDb>;
