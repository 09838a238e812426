// Shared set-up of the presentation benchmarks.
#pragma once

#include "model/KikDataSet.h"
#include "view/ViewData.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <memory>

namespace BenchData {

// The data folders lie beside the programs; benchmarks are built one
// folder further.
inline void useProgramData()
{
    const QDir here(QCoreApplication::applicationDirPath());
    if (!QDir(here.filePath(QStringLiteral("kikbb"))).exists())
        ViewData::setProgramFolder(QDir::cleanPath(here.filePath(QStringLiteral("../src"))));
}

// Resident memory in KiB (Linux), or -1.
inline long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// `chats` chats with `perChat` messages each; every `mediaEvery`-th message
// (0: none) is a gallery image whose content and preview files are one of
// ten per chat below `mediaFolder`.
inline KikDataSetPtr makeMessages(int chats, int perChat, int mediaEvery, const QString &mediaFolder)
{
    auto data = std::make_shared<KikDataSet>();
    qint64 id = 1;
    // UTC, as every source loader makes its times.
    const QDateTime start(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC);
    for (int c = 0; c < chats; ++c) {
        auto ownedUser = std::make_unique<_KikUser>();
        _KikUser *user = ownedUser.get();
        user->_id = id++;
        user->display_name = QStringLiteral("Partner %1").arg(c);
        user->jid = QStringLiteral("partner%1@talk.kik.com").arg(c);
        data->addUser(std::move(ownedUser));
        auto ownedChat = std::make_unique<_KikChat>();
        _KikChat *chat = ownedChat.get();
        chat->_id = id++;
        chat->user = user;
        data->addChat(std::move(ownedChat));
        for (int i = 0; i < perChat; ++i) {
            auto ownedM = std::make_unique<_KikMessage>();
            _KikMessage *m = ownedM.get();
            m->_id = id++;
            m->sort_key = m->_id;
            m->ts = start.addSecs(qint64(i) * 47 + c);
            m->was_me = i % 3 == 0;
            m->chat = chat;
            m->target_user = user;
            m->body = QStringLiteral("Message %1 of chat %2: see you at 5 & bring <snacks> \U0001F600")
                          .arg(i)
                          .arg(c);
            if (mediaEvery > 0 && i % mediaEvery == 0) {
                const QString base =
                    QDir(mediaFolder).filePath(QStringLiteral("c%1-%2").arg(c).arg(i / mediaEvery % 10));
                m->app_id = QStringLiteral("com.kik.ext.gallery");
                m->content_path = base;
                m->preview_path = base + QStringLiteral("-prev.jpg");
                m->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("photo.jpg"));
                if (!QFile::exists(base)) {
                    QFile f(base);
                    if (f.open(QIODevice::WriteOnly))
                        f.write(QByteArray(20000, 'j'));
                    QFile p(m->preview_path);
                    if (p.open(QIODevice::WriteOnly))
                        p.write(QByteArray(3000, 'p'));
                }
            }
            chat->messages.append(m);
            data->addMessage(std::move(ownedM));
        }
    }
    return data;
}

} // namespace BenchData
