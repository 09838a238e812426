// Builds a backup folder with tests/fixtures/make_itunes_backup.py and reads
// the builder's description of its files.
#pragma once

#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

struct BackupFixture
{
    QTemporaryDir dir;
    QString path;
    QJsonArray files;
    QString udid;

    // kind: mbdb, db, mbdb-enc, db-enc. Returns false (with a test failure)
    // when the builder did not run.
    bool build(const QString &kind, const QStringList &extra = {},
               const QString &folderName = QStringLiteral("0123456789abcdef0123456789abcdef01234567"))
    {
        path = dir.filePath(folderName);
        const auto result =
            TestSupport::runPython(QStringLiteral("make_itunes_backup.py"), QStringList{path, kind} + extra);
        EXPECT_EQ(result.exitCode, 0) << result.err.constData();
        if (result.exitCode != 0)
            return false;
        const QJsonObject root = QJsonDocument::fromJson(result.out).object();
        files = root.value(QStringLiteral("files")).toArray();
        udid = root.value(QStringLiteral("udid")).toString();
        return !files.isEmpty();
    }

    QJsonObject file(const QString &domain, const QString &relativePath) const
    {
        for (const auto &v : files) {
            const QJsonObject o = v.toObject();
            if (o.value(QStringLiteral("domain")).toString() == domain
                && o.value(QStringLiteral("path")).toString() == relativePath)
                return o;
        }
        return {};
    }
};
