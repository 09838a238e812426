// The whole `transfer SOURCE --to-android SERIAL --yes` of N iPhone messages
// onto an emulated phone that holds N, and N/10 pictures with their
// thumbnails (tests/emulators/adb_phone_emulator.py,
// real adb client), beside the offline `transfer SOURCE --to-ab PHONE.ab
// --out NEW.ab` of the same data, measured in the same run. One row per kind
// of phone: rooted with the helper app, rooted without it (plain adb), and
// not rooted (adb backup and restore).
// Usage: android_transfer_bench [N [KIND...]] (N defaults to 100000; KIND is
// helper, adb or backup, all three by default). On a rooted phone the
// thumbnails come down, and the files the merge adds go up, in tar archives.
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QString kSource = QStringLiteral(VELLORAN_SOURCE_DIR);

bool runFixture(const QString &script, const QStringList &args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{kSource + QStringLiteral("/tests/fixtures/") + script} + args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Runs the command-line tool; the wall time in seconds, negative on failure
// (then the tool's error output is printed). `json` receives its answer.
double timeCli(const QStringList &args, QJsonObject *json)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/velloran-kik");
    QElapsedTimer timer;
    timer.start();
    QProcess p;
    p.start(program, args);
    p.closeWriteChannel();
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s\n", p.readAllStandardError().right(2000).constData());
        return -1;
    }
    const double elapsed = double(timer.nsecsElapsed()) / 1e9;
    *json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    return elapsed;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString bulk = QStringLiteral("--bulk=%1").arg(n);
    // A phone with that many messages holds pictures too: one image message
    // with a thumbnail of its own for every ten messages.
    const QString thumbs = QStringLiteral("--thumbs=%1").arg(n / 10);

    // The iPhone's Kik folder with N messages in 50 chats.
    const QString ios = dir.filePath(QStringLiteral("com.kik.chat"));
    if (!runFixture(QStringLiteral("make_ios_kik_store.py"),
                    {ios, dir.filePath(QStringLiteral("expected.json")), QStringLiteral("--bulk"),
                     QString::number(n), QStringLiteral("50")})) {
        std::fprintf(stderr, "the iPhone fixture failed\n");
        return 1;
    }
    // The phone's data with N messages, as a backup archive and as phones.
    const QString tree = dir.filePath(QStringLiteral("tree"));
    const QString ab = dir.filePath(QStringLiteral("phone.ab"));
    if (!runFixture(QStringLiteral("make_android_kik.py"), {QStringLiteral("tree"), tree, bulk, thumbs})
        || !runFixture(QStringLiteral("make_android_kik.py"), {QStringLiteral("ab"), tree, ab})) {
        std::fprintf(stderr, "the Android fixture failed\n");
        return 1;
    }
    struct Kind
    {
        const char *name;
        const char *serial;
        bool rooted;
        const char *helper;
        const char *label;
    };
    const Kind all[] = {{"helper", "HELPER1", true, "installed", "rooted, helper app"},
                        {"adb", "ADBONLY1", true, "absent", "rooted, plain adb"},
                        {"backup", "PLAIN1", false, "absent", "not rooted, backup/restore"}};
    QList<Kind> kinds;
    for (const Kind &kind : all) {
        bool wanted = argc <= 2;
        for (int i = 2; i < argc; ++i)
            wanted = wanted || QByteArray(argv[i]) == kind.name;
        if (wanted)
            kinds.append(kind);
    }
    QJsonArray phones;
    for (const auto &kind : kinds) {
        const QString root = dir.filePath(QStringLiteral("phones/") + QString::fromLatin1(kind.serial));
        if (!runFixture(QStringLiteral("make_android_kik.py"),
                        {QStringLiteral("phone"), root, bulk, thumbs})) {
            std::fprintf(stderr, "the phone fixture failed\n");
            return 1;
        }
        phones.append(QJsonObject{{QStringLiteral("serial"), QString::fromLatin1(kind.serial)},
                                  {QStringLiteral("state"), QStringLiteral("device")},
                                  {QStringLiteral("root"), root},
                                  {QStringLiteral("rooted"), kind.rooted},
                                  {QStringLiteral("helper"), QString::fromLatin1(kind.helper)},
                                  {QStringLiteral("sdk"), 29},
                                  {QStringLiteral("manufacturer"), QStringLiteral("Google")},
                                  {QStringLiteral("model"), QStringLiteral("Pixel 4")}});
    }
    QFile config(dir.filePath(QStringLiteral("config.json")));
    config.open(QIODevice::WriteOnly);
    config.write(QJsonDocument(QJsonObject{{QStringLiteral("phones"), phones}}).toJson());
    config.close();
    QProcess emulator;
    emulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!Bench::startAdbEmulator(emulator, config.fileName(), 3600))
        return 1;
    qunsetenv("TERM");

    const QString source = QStringLiteral("ios:") + ios;
    QJsonObject offlineJson;
    const double offline =
        timeCli({QStringLiteral("--data-root"), dir.filePath(QStringLiteral("data-offline")),
                 QStringLiteral("--json"), QStringLiteral("transfer"), source, QStringLiteral("--to-ab"), ab,
                 QStringLiteral("--out"), dir.filePath(QStringLiteral("new.ab"))},
                &offlineJson);
    if (offline < 0) {
        std::fprintf(stderr, "the offline transfer failed\n");
        return 1;
    }
    std::printf("%d iPhone messages onto a phone holding %d and %d thumbnails\n", n, n, n / 10);
    std::printf("%-30s %8.2f s  (phone messages %d -> %d)\n", "offline transfer --to-ab", offline,
                offlineJson.value(QLatin1String("phone_messages_before")).toInt(),
                offlineJson.value(QLatin1String("phone_messages_after")).toInt());
    std::fflush(stdout);
    int status = 0;
    for (const auto &kind : kinds) {
        QJsonObject json;
        const double phone =
            timeCli({QStringLiteral("--data-root"),
                     dir.filePath(QStringLiteral("data-") + QString::fromLatin1(kind.serial)),
                     QStringLiteral("--json"), QStringLiteral("--yes"), QStringLiteral("transfer"), source,
                     QStringLiteral("--to-android"), QString::fromLatin1(kind.serial)},
                    &json);
        if (phone < 0) {
            std::printf("%-30s failed\n", kind.label);
            status = 1;
            continue;
        }
        std::printf("%-30s %8.2f s  ratio %.2fx (target at most 2x)  verified %d of %d\n", kind.label, phone,
                    phone / offline, json.value(QLatin1String("verified")).toInt(),
                    json.value(QLatin1String("messages")).toInt());
        std::fflush(stdout);
    }
    emulator.closeWriteChannel();
    emulator.waitForFinished(10000);
    return status;
}
