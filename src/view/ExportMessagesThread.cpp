#include "view/ExportMessagesThread.h"

#include "app/AbortCleanup.h"
#include "app/AppError.h"
#include "app/FileUtil.h"
#include "app/OutputPath.h"
#include "app/SafeFile.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"
#include "model/KikText.h"
#include "model/MessageOrder.h"
#include "view/ExportFile.h"
#include "view/ExportMessagesCsv.h"
#include "view/ExportMessagesHtml.h"
#include "view/ExportMessagesPdf.h"
#include "view/ExportMessagesTxt.h"
#include "view/ViewData.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

#include <memory>
#include <stdexcept>

ExportMessagesThread::ExportMessagesThread(const KikMessageList &messages, const QString &outPath, int format,
                                           JobProgress *progress, QObject *parent)
    : QThread(parent), m_messages(messages), m_outPath(outPath), m_format(format), m_progress(progress)
{}

ExportMessagesThread::~ExportMessagesThread()
{
    wait();
}

QString ExportMessagesThread::chatFileName(const _KikChat *chat, const QString &suffix)
{
    if (!chat || !chat->user)
        return QStringLiteral("unknown-chat") + suffix;
    static const QRegularExpression unwanted(QStringLiteral("[\\t\\n\\r\\x{202A}\\x{00A0}\\x{202C}]"));
    QString name = displayName(chat->user);
    name.remove(unwanted);
    name = shortenFileName(sanitiseFileName(name).trimmed(), kMaxFileNameBytes - 32);
    // Names that would leave nothing usable, or only dots, get the fallback.
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        name = QStringLiteral("unknown-chat");
    return name + suffix;
}

void ExportMessagesThread::throwIfCancelled() const
{
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();
}

void ExportMessagesThread::forgetCleanups()
{
    for (const int handle : std::as_const(m_cleanups))
        AbortCleanup::forget(handle);
    m_cleanups.clear();
}

QString ExportMessagesThread::createdSubFolder(const QString &name)
{
    const QString path = QDir(m_outPath).filePath(name);
    if (!QFileInfo::exists(path)) {
        if (!QDir().mkpath(path))
            throw AppError(QStringLiteral("Cannot create the folder %1.").arg(path));
        m_createdDirs.append(path);
    }
    return path;
}

void ExportMessagesThread::copyFolderFiles(const QString &from, const QString &to)
{
    const QDir source(from);
    if (!source.exists())
        throw AppError(QStringLiteral("The program's data folder %1 is missing.").arg(from));
    const QDir target(to);
    for (const QString &name : source.entryList(QDir::Files)) {
        throwIfCancelled();
        const QString destination = target.filePath(name);
        const QFileInfo existing(destination);
        const bool replaceable = existing.isFile() && !existing.isSymLink();
        if ((existing.exists() || existing.isSymLink()) && (!replaceable || !QFile::remove(destination)))
            throw AppError(QStringLiteral("Cannot replace %1.").arg(destination));
        if (!copyExportFile(source.filePath(name), destination))
            throw AppError(QStringLiteral("Cannot copy %1 to %2.").arg(source.filePath(name), destination));
        m_created.append(destination);
    }
}

void ExportMessagesThread::prepareHtmlFolder()
{
    copyFolderFiles(ViewData::dataPath(QStringLiteral("kikbb")), createdSubFolder(QStringLiteral("files")));
    // The page exporters copy the emoji images they use.
    if (!QDir(ViewData::dataPath(QStringLiteral("emoji"))).exists())
        throw AppError(QStringLiteral("The program's data folder %1 is missing.")
                           .arg(ViewData::dataPath(QStringLiteral("emoji"))));
    createdSubFolder(QStringLiteral("emoji"));
    copyFolderFiles(ViewData::dataPath(QStringLiteral("kikemoji")),
                    createdSubFolder(QStringLiteral("kikemoji")));
}

void ExportMessagesThread::exportAll()
{
    JobReport::progress(m_progress, ids("IDS_EXPORTING_MESSAGES_TO_FILE"), 0, QString());
    if (m_format < ExportFormat::Text || m_format > ExportFormat::Html)
        throw AppError("not support export format.");
    if (m_format == ExportFormat::Pdf || m_format == ExportFormat::Html)
        sortMessages(m_messages);
    else
        sortMessagesByTime(m_messages);

    const bool perChat = m_format == ExportFormat::Pdf || m_format == ExportFormat::Html;
    OutputPath::check(m_outPath, perChat ? OutputPath::Kind::Folder : OutputPath::Kind::File);
    if (perChat && !QFileInfo::exists(m_outPath)) {
        if (!QDir().mkpath(m_outPath))
            throw AppError(QStringLiteral("Cannot create the folder %1.").arg(m_outPath));
        m_createdDirs.append(m_outPath);
        m_cleanups.append(AbortCleanup::add(m_outPath));
    }
    // Text and CSV are written beside the target and renamed over it when
    // complete: a failed export leaves the target as it was.
    std::unique_ptr<StagedFile> staged;
    QSet<QString> usedNames;

    std::shared_ptr<AbsFormatExport<_KikMessage>> exporter;
    std::shared_ptr<ExportMessagesHtml> html;
    const _KikChat *openChat = nullptr;
    const auto finish = [&]() {
        if (!exporter)
            return;
        exporter->end();
        if (html)
            m_created.append(html->copiedFiles());
        exporter.reset();
        html.reset();
    };
    const qsizetype n = m_messages.size();
    int lastPercent = -1;
    try {
        for (qsizetype i = 0; i < n; ++i) {
            throwIfCancelled();
            // One report per percent: a million messages make a hundred.
            const int percent = int((i + 1) * 100 / n);
            if (percent != lastPercent || i == 0) {
                JobReport::progress(m_progress, QString(), percent,
                                    QStringLiteral("Messages: %1/%2").arg(i + 1).arg(n));
                lastPercent = percent;
            }
            const _KikMessage *message = m_messages.at(i);
            if (!perChat) {
                if (!exporter) {
                    staged = std::make_unique<StagedFile>(m_outPath);
                    if (m_format == ExportFormat::Text)
                        exporter = std::make_shared<ExportMessagesTxt>(staged->tempPath());
                    else
                        exporter = std::make_shared<ExportMessagesCsv>(staged->tempPath());
                    exporter->begin();
                }
            } else {
                if (m_format == ExportFormat::Html && i == 0)
                    prepareHtmlFolder();
                if (!exporter || message->chat != openChat) {
                    finish();
                    openChat = message->chat;
                    const QString suffix =
                        m_format == ExportFormat::Pdf ? QStringLiteral(".pdf") : QStringLiteral(".html");
                    // Two chats whose partners share a name get two files.
                    const QString path = freeChatFilePath(chatFileName(message->chat, suffix), usedNames);
                    if (m_format == ExportFormat::Pdf) {
                        auto pdf = std::make_shared<ExportMessagesPdf>(path);
                        JobProgress *progress = m_progress;
                        pdf->setCancelCheck([progress] { return progress && progress->isCancelled(); });
                        exporter = pdf;
                    } else {
                        html = std::make_shared<ExportMessagesHtml>(m_outPath, QFileInfo(path).fileName());
                        exporter = html;
                    }
                    m_created.append(path);
                    m_written.append(path);
                    if (m_createdDirs.isEmpty())
                        m_cleanups.append(AbortCleanup::add(path));
                    exporter->begin();
                }
            }
            exporter->write(message);
        }
        // A cancel while the last message was written still discards it all.
        throwIfCancelled();
        finish();
        if (staged)
            staged->commit();
    } catch (...) {
        if (html)
            m_created.append(html->copiedFiles());
        exporter.reset();
        html.reset();
        throw;
    }
    if (!perChat && n > 0)
        m_written.append(m_outPath);
    m_succeeded = true;
}

QString ExportMessagesThread::freeChatFilePath(const QString &fileName, QSet<QString> &used) const
{
    // A name taken by an earlier chat of this export, or by a file that is
    // there already, gets a number; names are compared as a file system
    // that ignores case would.
    QString path = uniqueFilePath(QDir(m_outPath).filePath(fileName));
    const QFileInfo info(path);
    for (int n = 1; used.contains(QFileInfo(path).fileName().toLower()); ++n)
        path = uniqueFilePath(QDir(m_outPath).filePath(
            QStringLiteral("%1(%2).%3").arg(info.completeBaseName()).arg(n).arg(info.suffix())));
    used.insert(QFileInfo(path).fileName().toLower());
    return path;
}

void ExportMessagesThread::removeOutput()
{
    // Folders this job made go as a whole; in folders that were there
    // before, only the files this job wrote are removed.
    for (const QString &file : std::as_const(m_created)) {
        bool insideCreated = false;
        for (const QString &dir : std::as_const(m_createdDirs))
            insideCreated = insideCreated || file.startsWith(dir + QLatin1Char('/'));
        if (!insideCreated)
            SafeFile::removeCreated(file);
    }
    for (qsizetype i = m_createdDirs.size() - 1; i >= 0; --i)
        removeTree(m_createdDirs.at(i));
    m_written.clear();
}

void ExportMessagesThread::run()
{
    try {
        exportAll();
        forgetCleanups();
        // Only files that are there are reported.
        m_written.erase(std::remove_if(m_written.begin(), m_written.end(),
                                       [](const QString &file) { return !QFileInfo(file).isFile(); }),
                        m_written.end());
        JobReport::success(m_progress, ids("IDS_SUC_EXPORT_%1_MMS").arg(m_messages.size()));
    } catch (const JobCancelled &) {
        // The user stopped it: what was written goes, and nothing is
        // reported (the dialog is closing already).
        m_succeeded = false;
        m_cancelled = true;
        removeOutput();
        forgetCleanups();
    } catch (const std::exception &error) {
        m_succeeded = false;
        m_error = QString::fromUtf8(error.what());
        removeOutput();
        forgetCleanups();
        JobReport::error(m_progress, m_error);
    }
}
