// Adapter over Kik's Android database "kikDatabase.db": reads it into the
// conversation model and writes users, memberships, messages and attachment
// contents into it. It never creates Kik's tables, only indexes of its own
// (prefix "bt_idx_").
#pragma once

#include "db/DbSchema.h"
#include "model/AbsKikDb.h"

#include <QDir>
#include <QString>

class AndroidKikDb : public AbsKikDb
{
public:
    // An empty path stands for "apps/kik.android/db/kikDatabase.db" below
    // the root. The file is opened by the first operation.
    AndroidKikDb(const QDir &root, const QString &databasePath = QString());
    ~AndroidKikDb() override = default;

    void ensureOpen() override;
    void loadAll(KikDataSet &dataSet) override;

    qint64 insertUserThrow(const _KikUser *user);
    void insertMemberThrow(const _KikMember &member);
    qint64 insertMsgThrow(const _KikMessage *message);
    void insertAttachmentsThrow(const _KikMessage *message);
    qint64 insertContentThrow(const QString &contentId, int contentType, const QString &name,
                              const QString &value);
    qint64 setRetainCountThrow(const QString &contentId, int retainCount);

    qint64 findMessageIdByUid(const QString &uid);
    qint64 findUserIdByJid(const QString &jid);

    static QString emojiFromRenderInstructions(const QString &body, const QByteArray &renderIns);

    QDir rootFolder() const { return m_root; }
    QString databasePath() const { return m_databasePath; }

private:
    QDir m_root;
    QString m_databasePath;
    DbSchema m_schema;
};
