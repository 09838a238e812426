// The export job: writes messages as text (also ".doc"), CSV, PDF (one
// file per chat) or HTML (one page per chat with its media) and reports to
// a JobProgress. A cancel stops it at the next message (or, for PDF, the
// next piece of a long message); on cancel or failure nothing it wrote is
// left behind, nothing that was there before is removed, and a cancel is
// not reported as an error.
#pragma once

#include "model/KikRecords.h"

#include <QSet>
#include <QStringList>
#include <QThread>

class JobProgress;

namespace ExportFormat {
inline constexpr int Text = 0;
inline constexpr int Csv = 1;
inline constexpr int Pdf = 2;
inline constexpr int Html = 3;
} // namespace ExportFormat

class ExportMessagesThread : public QThread
{
    Q_OBJECT
public:
    // outPath: a file for text and CSV, a folder (created) for PDF and HTML.
    ExportMessagesThread(const KikMessageList &messages, const QString &outPath, int format,
                         JobProgress *progress, QObject *parent = nullptr);
    ~ExportMessagesThread() override;

    // The files the export wrote (pages and PDFs; for text and CSV the one
    // file), valid after a successful run.
    QStringList writtenFiles() const { return m_written; }
    bool succeeded() const { return m_succeeded; }
    // True when the last run ended because the user cancelled it.
    bool wasCancelled() const { return m_cancelled; }
    QString errorText() const { return m_error; }

    // The file name of a chat's PDF or HTML page: the partner's display
    // name without control characters, U+202A, U+00A0 and U+202C, made
    // safe as a file name and shortened, plus the suffix; "unknown-chat" +
    // suffix without a chat or partner.
    static QString chatFileName(const _KikChat *chat, const QString &suffix);

protected:
    void run() override;

private:
    // Throws JobCancelled once the user cancelled.
    void throwIfCancelled() const;
    void exportAll();
    void prepareHtmlFolder();
    void copyFolderFiles(const QString &from, const QString &to);
    void removeOutput();
    QString createdSubFolder(const QString &name);
    QString freeChatFilePath(const QString &fileName, QSet<QString> &used) const;
    void forgetCleanups();

    KikMessageList m_messages;
    QString m_outPath;
    int m_format;
    JobProgress *m_progress;
    QStringList m_written;     // result files
    QStringList m_created;     // every file made (for removal)
    QStringList m_createdDirs; // folders made (for removal)
    QList<int> m_cleanups;     // AbortCleanup handles of what is being written
    bool m_succeeded = false;
    bool m_cancelled = false;
    QString m_error;
};
