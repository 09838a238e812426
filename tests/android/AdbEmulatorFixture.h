// A fixture with two emulated phones behind the emulated adb server: EMU0001
// rooted with the helper app installed, EMU0002 not rooted without it; both
// carry Kik's data.
#pragma once

#include "support/AdbEmulator.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace adbemu {

using TestSupport::ProcessResult;

inline const QString kRooted = QStringLiteral("EMU0001");
inline const QString kPlain = QStringLiteral("EMU0002");

class AdbEmulatorFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(AdbEmulator::adbProgram()).isExecutable())
            GTEST_SKIP() << "the adb client is not installed";
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(AdbEmulator::makeKikPhone(rootOf(kRooted)));
        ASSERT_TRUE(AdbEmulator::makeKikPhone(rootOf(kPlain)));
        QJsonObject plain = AdbEmulator::phone(kPlain, rootOf(kPlain), false);
        plain.insert(QStringLiteral("model"), QStringLiteral("Galaxy S9"));
        plain.insert(QStringLiteral("helper"), QStringLiteral("absent"));
        m_phones = {AdbEmulator::phone(kRooted, rootOf(kRooted), true), plain};
    }

    bool start()
    {
        const bool started = m_emulator.start({{QStringLiteral("phones"), m_phones}}, 300);
        EXPECT_TRUE(started) << m_emulator.errorText().toStdString();
        return started;
    }

    QString rootOf(const QString &serial) const { return m_dir.filePath(serial); }
    QString appFile(const QString &serial, const QString &relative) const
    {
        return rootOf(serial) + QStringLiteral("/data/data/kik.android/") + relative;
    }
    QString local(const QString &name) const { return m_dir.filePath(name); }

    ProcessResult adb(const QStringList &arguments, int timeoutMs = 60000)
    {
        return m_emulator.adb(arguments, timeoutMs);
    }
    ProcessResult shell(const QString &serial, const QStringList &arguments)
    {
        return adb(QStringList{QStringLiteral("-s"), serial, QStringLiteral("shell")} + arguments);
    }
    // Python reads an .ab file with zlib and tarfile alone: "dump" also
    // reads Kik's tables, "inspect" only lists the entries.
    QJsonObject inspect(const QString &archive, const QString &how = QStringLiteral("dump"))
    {
        const ProcessResult r = TestSupport::runPython(QStringLiteral("make_android_kik.py"), {how, archive});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out).object();
    }

    QTemporaryDir m_dir;
    QJsonArray m_phones;
    AdbEmulator m_emulator;
};

inline QStringList entryNames(const QJsonObject &dump)
{
    QStringList names;
    for (const QJsonValue &entry : dump.value(QStringLiteral("entries")).toArray())
        names << entry.toObject().value(QStringLiteral("name")).toString();
    return names;
}

} // namespace adbemu
