// End-to-end fixture for the Android jobs: the real adb client against the
// emulated adb server, one Kik phone folder per serial, a data root of its
// own, and helpers that run the jobs as the window would.
#pragma once

#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidLoadKikThread.h"
#include "android/AndroidOffline.h"
#include "android/AndroidPhone.h"
#include "android/AndroidRestoreKikThread.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"
#include "support/AdbEmulator.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class AndroidPhoneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(AdbEmulator::adbProgram()).isExecutable())
            GTEST_SKIP() << "the adb client is not installed";
        ASSERT_TRUE(m_dir.isValid());
    }

    // A phone with Kik's data; `options` are added to the emulator's phone,
    // `flags` given to the fixture that makes its folder.
    QJsonObject kikPhone(const QString &serial, bool rooted, const QString &helper,
                         const QJsonObject &options = {}, const QStringList &flags = {})
    {
        EXPECT_TRUE(AdbEmulator::makeKikPhone(rootOf(serial), flags));
        QJsonObject phone = AdbEmulator::phone(serial, rootOf(serial), rooted);
        phone.insert(QStringLiteral("helper"), helper);
        phone.insert(QStringLiteral("sdk"), 29);
        phone.insert(QStringLiteral("release"), QStringLiteral("10"));
        for (auto it = options.begin(); it != options.end(); ++it)
            phone.insert(it.key(), it.value());
        return phone;
    }

    bool start(const QJsonArray &phones)
    {
        const bool started = m_emulator.start({{QStringLiteral("phones"), phones}}, 300);
        EXPECT_TRUE(started) << m_emulator.errorText().toStdString();
        if (started)
            m_emulator.applyToThisProcess();
        return started;
    }

    QString rootOf(const QString &serial) const { return m_dir.filePath(QStringLiteral("phones/") + serial); }
    QString kikFolder(const QString &serial) const
    {
        return rootOf(serial) + QStringLiteral("/data/data/kik.android");
    }

    // Every file below a folder with its content hash: equal maps mean a
    // byte-identical folder.
    static QMap<QString, QByteArray> snapshot(const QString &folder)
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            files.insert(QDir(folder).relativeFilePath(path),
                         QCryptographicHash::hash(TestSupport::readFile(path), QCryptographicHash::Md5));
        }
        return files;
    }

    // Runs the USB connection job; the device it produced.
    AndroidDevice connect(const QString &serial, HeadlessProgress &progress)
    {
        AndroidConnectWithUSBThread job(serial, &progress);
        JobRunner::runToEnd(job);
        return job.device();
    }

    AndroidDevice connectOk(const QString &serial)
    {
        HeadlessProgress progress;
        const AndroidDevice device = connect(serial, progress);
        EXPECT_EQ(progress.result(), HeadlessProgress::Succeeded) << progress.errorText().toStdString();
        return device;
    }

    void load(AndroidPhone &phone, HeadlessProgress &progress, bool fetch = true)
    {
        AndroidLoadKikThread job(&phone, QDir(m_dir.filePath(QStringLiteral("archives"))), fetch, &progress);
        JobRunner::runToEnd(job);
    }

    // A load with fetching that must succeed; the failure names the job's error.
    ::testing::AssertionResult loadsOk(AndroidPhone &phone)
    {
        HeadlessProgress loaded;
        load(phone, loaded);
        if (loaded.result() == HeadlessProgress::Succeeded)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the load failed: " << loaded.errorText().toStdString();
    }

    // With `reportsInJobThread` the progress object takes the job's reports
    // on the job's own thread, so a cancel it decides on is seen by the job
    // at its very next check.
    AndroidMergeResult restore(AndroidPhone &phone, const KikMessageList &messages,
                               HeadlessProgress &progress, bool reportsInJobThread = false)
    {
        AndroidRestoreKikThread job(&phone, messages, &progress);
        if (reportsInJobThread)
            progress.moveToThread(&job);
        JobRunner::runToEnd(job);
        return job.result();
    }

    // The messages of another Kik tree, to be transferred; `thumbs` more
    // image messages with thumbnails of their own ("thumb-o-t-1"..).
    AndroidLoaded otherMessages(int thumbs = 0)
    {
        const QString tree = otherTree();
        QDir(tree).removeRecursively();
        const auto r = TestSupport::runPython(QStringLiteral("make_android_kik.py"),
                                              {QStringLiteral("tree"), tree, QStringLiteral("--other"),
                                               QStringLiteral("--thumbs=%1").arg(thumbs)});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return loadAndroidTree(QDir(tree));
    }

    QString otherTree() const { return m_dir.filePath(QStringLiteral("other")); }
    // A thumbnail of the other tree as the transfer should leave it on a phone.
    QByteArray otherThumb(const QString &name) const
    {
        return TestSupport::readFile(otherTree() + QStringLiteral("/apps/kik.android/f/staging/thumbs/")
                                     + name);
    }

    // The uids of the phone's database as it is now in its folder.
    QStringList phoneUids(const QString &serial)
    {
        const QString copy = m_dir.filePath(QStringLiteral("read-") + serial);
        QDir(copy).removeRecursively();
        QDir().mkpath(copy + QStringLiteral("/apps/kik.android/db"));
        for (const QString &ending : {QString(), QStringLiteral("-wal")}) {
            const QString from = kikFolder(serial) + QStringLiteral("/databases/kikDatabase.db") + ending;
            if (QFileInfo::exists(from))
                QFile::copy(from, copy + QStringLiteral("/apps/kik.android/db/kikDatabase.db") + ending);
        }
        const AndroidLoaded loaded = loadAndroidTree(QDir(copy));
        QStringList uids;
        for (const _KikMessage *m : std::as_const(loaded.data->messages))
            uids << m->uid;
        return uids;
    }

    QTemporaryDir m_dir;
    TestSupport::ScopedDataRoot m_dataRoot;
    AdbEmulator m_emulator;
};
