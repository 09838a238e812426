#pragma once

#include <QString>

// One column of a table as SQLite describes it.
struct _SqliteCol
{
    QString name;
    QString type; // declared type, as written in CREATE TABLE
    bool notNull = false;
    bool primaryKey = false;
    bool hasDefault = false;
};
