// Small conversation data sets for the presentation tests.
#pragma once

#include "model/KikDataSet.h"

#include <QDateTime>
#include <QString>

#include <memory>

class RecordingProgress;

struct ViewTestData
{
    KikDataSetPtr data = std::make_shared<KikDataSet>();
    qint64 nextId = 1;

    _KikUser *user(const QString &name, const QString &jid, bool group = false)
    {
        auto ownedU = std::make_unique<_KikUser>();
        _KikUser *u = ownedU.get();
        u->_id = nextId++;
        u->display_name = name;
        u->jid = jid;
        u->is_group = group;
        return data->addUser(std::move(ownedU));
    }

    _KikChat *chat(_KikUser *partner)
    {
        auto ownedC = std::make_unique<_KikChat>();
        _KikChat *c = ownedC.get();
        c->_id = nextId++;
        c->user = partner;
        return data->addChat(std::move(ownedC));
    }

    _KikMessage *message(_KikChat *c, const QString &body, const QDateTime &ts, bool wasMe = false,
                         _KikUser *sender = nullptr)
    {
        auto ownedM = std::make_unique<_KikMessage>();
        _KikMessage *m = ownedM.get();
        m->_id = nextId++;
        m->sort_key = m->_id;
        m->body = body;
        m->ts = ts;
        m->was_me = wasMe;
        m->chat = c;
        m->target_user = sender ? sender : (c ? c->user : nullptr);
        m->uid = QStringLiteral("uid-%1").arg(m->_id);
        if (c) {
            c->messages.append(m);
            if (!c->last_ts.isValid() || c->last_ts < ts)
                c->last_ts = ts;
        }
        return data->addMessage(std::move(ownedM));
    }
};

inline QDateTime localTime(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}
