// Builds a Kik iOS app folder with tests/fixtures/make_ios_kik_store.py and
// reads the builder's account of what it wrote.
#pragma once

#include "support/TestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

struct IOSKikStoreFixture
{
    QTemporaryDir dir;
    QString app;
    QJsonObject expected;

    // Returns false (with a test failure) when the builder did not run.
    bool build(const QStringList &extra = {})
    {
        app = dir.filePath(QStringLiteral("com.kik.chat"));
        const QString json = dir.filePath(QStringLiteral("expected.json"));
        const auto result =
            TestSupport::runPython(QStringLiteral("make_ios_kik_store.py"), QStringList{app, json} + extra);
        EXPECT_EQ(result.exitCode, 0) << result.err.constData();
        if (result.exitCode != 0)
            return false;
        expected = QJsonDocument::fromJson(TestSupport::readFile(json)).object();
        return !expected.isEmpty();
    }

    QJsonObject users() const { return expected.value(QStringLiteral("users")).toObject(); }
    QJsonObject chats() const { return expected.value(QStringLiteral("chats")).toObject(); }
    QJsonObject messages() const { return expected.value(QStringLiteral("messages")).toObject(); }
    // The thumbnail file name the builder expects for a message's preview.
    QString previewName(const QString &uid) const
    {
        return messages().value(uid).toObject().value(QStringLiteral("preview")).toString();
    }
};
