#include "view/ExportMessagesThread.h"

#include "app/FileUtil.h"
#include "app/Translation.h"
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

#include <memory>
#include <stdexcept>

ExportMessagesThread::ExportMessagesThread(const KikMessageList &messages, const QString &outPath,
                                           int format, JobProgress *progress, QObject *parent)
    : QThread(parent), m_messages(messages), m_outPath(outPath), m_format(format), m_progress(progress)
{
}

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
    name = sanitiseFileName(name).trimmed();
    // Names that would leave nothing usable, or only dots, get the fallback.
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        name = QStringLiteral("unknown-chat");
    return name + suffix;
}

QString ExportMessagesThread::createdSubFolder(const QString &name)
{
    const QString path = QDir(m_outPath).filePath(name);
    if (!QFileInfo::exists(path)) {
        if (!QDir().mkpath(path))
            throw std::runtime_error(QStringLiteral("Cannot create the folder %1.").arg(path).toStdString());
        m_createdDirs.append(path);
    }
    return path;
}

void ExportMessagesThread::copyFolderFiles(const QString &from, const QString &to)
{
    const QDir source(from);
    if (!source.exists())
        throw std::runtime_error(
            QStringLiteral("The program's data folder %1 is missing.").arg(from).toStdString());
    const QDir target(to);
    for (const QString &name : source.entryList(QDir::Files)) {
        if (m_progress && m_progress->isCancelled())
            return;
        const QString destination = target.filePath(name);
        if (QFileInfo::exists(destination))
            QFile::remove(destination);
        if (!copyExportFile(source.filePath(name), destination))
            throw std::runtime_error(
                QStringLiteral("Cannot copy %1 to %2.").arg(source.filePath(name), destination).toStdString());
        m_created.append(destination);
    }
}

void ExportMessagesThread::prepareHtmlFolder()
{
    copyFolderFiles(ViewData::dataPath(QStringLiteral("kikbb")), createdSubFolder(QStringLiteral("files")));
    // The page exporters copy the emoji images they use.
    if (!QDir(ViewData::dataPath(QStringLiteral("emoji"))).exists())
        throw std::runtime_error(QStringLiteral("The program's data folder %1 is missing.")
                                     .arg(ViewData::dataPath(QStringLiteral("emoji")))
                                     .toStdString());
    createdSubFolder(QStringLiteral("emoji"));
    copyFolderFiles(ViewData::dataPath(QStringLiteral("kikemoji")), createdSubFolder(QStringLiteral("kikemoji")));
}

void ExportMessagesThread::exportAll()
{
    JobReport::progress(m_progress, ids("IDS_EXPORTING_MESSAGES_TO_FILE"), 0, QString());
    if (m_format < ExportFormat::Text || m_format > ExportFormat::Html)
        throw std::runtime_error("not support export format.");
    if (m_format == ExportFormat::Pdf || m_format == ExportFormat::Html)
        sortMessages(m_messages);
    else
        sortMessagesByTime(m_messages);

    const bool perChat = m_format == ExportFormat::Pdf || m_format == ExportFormat::Html;
    if (perChat && !QFileInfo::exists(m_outPath)) {
        if (!QDir().mkpath(m_outPath))
            throw std::runtime_error(QStringLiteral("Cannot create the folder %1.").arg(m_outPath).toStdString());
        m_createdDirs.append(m_outPath);
    }

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
    try {
        for (qsizetype i = 0; i < n; ++i) {
            if (m_progress && m_progress->isCancelled())
                break;
            JobReport::progress(m_progress, QString(), int((i + 1) * 100 / n),
                                QStringLiteral("Messages: %1/%2").arg(i + 1).arg(n));
            const _KikMessage *message = m_messages.at(i);
            if (!perChat) {
                if (!exporter) {
                    if (m_format == ExportFormat::Text)
                        exporter = std::make_shared<ExportMessagesTxt>(m_outPath);
                    else
                        exporter = std::make_shared<ExportMessagesCsv>(m_outPath);
                    // A file that cannot be opened is left as it was; once
                    // opened (and emptied) it belongs to this export.
                    exporter->begin();
                    m_created.append(m_outPath);
                }
            } else {
                if (m_format == ExportFormat::Html && i == 0) {
                    prepareHtmlFolder();
                    if (m_progress && m_progress->isCancelled())
                        break;
                }
                if (!exporter || message->chat != openChat) {
                    finish();
                    openChat = message->chat;
                    const QString suffix = m_format == ExportFormat::Pdf ? QStringLiteral(".pdf")
                                                                         : QStringLiteral(".html");
                    // Two chats whose partners share a name get two files.
                    const QString path =
                        uniqueFilePath(QDir(m_outPath).filePath(chatFileName(message->chat, suffix)));
                    if (m_format == ExportFormat::Pdf) {
                        exporter = std::make_shared<ExportMessagesPdf>(path);
                    } else {
                        html = std::make_shared<ExportMessagesHtml>(m_outPath, QFileInfo(path).fileName());
                        exporter = html;
                    }
                    m_created.append(path);
                    m_written.append(path);
                    exporter->begin();
                }
            }
            exporter->write(message);
        }
        if (m_progress && m_progress->isCancelled()) {
            exporter.reset();
            html.reset();
            m_cancelled = true;
            return;
        }
        finish();
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

void ExportMessagesThread::removeOutput()
{
    // Folders this job made go as a whole; in folders that were there
    // before, only the files this job wrote are removed.
    for (const QString &file : std::as_const(m_created)) {
        bool insideCreated = false;
        for (const QString &dir : std::as_const(m_createdDirs))
            insideCreated = insideCreated || file.startsWith(dir + QLatin1Char('/'));
        if (!insideCreated)
            QFile::remove(file);
    }
    for (qsizetype i = m_createdDirs.size() - 1; i >= 0; --i)
        removeTree(m_createdDirs.at(i));
    m_written.clear();
}

void ExportMessagesThread::run()
{
    try {
        exportAll();
        if (m_cancelled) {
            removeOutput();
            return;
        }
        JobReport::success(m_progress, ids("IDS_SUC_EXPORT_%1_MMS").arg(m_messages.size()));
    } catch (const std::exception &error) {
        m_succeeded = false;
        m_error = QString::fromUtf8(error.what());
        removeOutput();
        JobReport::error(m_progress, m_error);
    }
}
