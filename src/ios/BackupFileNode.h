// A node of a backup's browsable tree: a group ("Applications",
// "AppDomainGroup", a domain), an application, a folder or a file.
#pragma once

#include "ios/MbdbRecord.h"

#include <QList>
#include <QString>

struct BackupFileNode
{
    QString name;
    MbdbRecord record;
    bool hasRecord = false; // false for group nodes and folders without a record
    BackupFileNode *parent = nullptr;
    QList<BackupFileNode *> children;

    bool isDir() const { return !hasRecord || record.isDir(); }
    const BackupFileNode *child(const QString &childName) const
    {
        for (const BackupFileNode *c : children) {
            if (c->name == childName)
                return c;
        }
        return nullptr;
    }
};
