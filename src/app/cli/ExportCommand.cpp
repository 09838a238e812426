// velloran-kik export SOURCE --format txt|doc|csv|pdf|html --out PATH
#include "app/cli/CliCommand.h"
#include "app/cli/CliSource.h"
#include "app/cli/ConsoleProgressBar.h"

#include "app/TextUtil.h"
#include "jobs/JobProgress.h"
#include "view/ExportMessagesThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <csignal>

namespace {

// Progress of the export on stderr; errors and success are kept for the
// result.
class ExportProgress : public JobProgress
{
public:
    explicit ExportProgress(bool quiet) : m_bar(ConsoleProgressBar::forStderr(quiet)) {}

    void updateProgress(const QString &status, int percent, const QString &text) override
    {
        m_bar.update(status, percent, text);
    }
    void errorOccurred(const QString &text) override { error = text; }
    void succeed(const QString &text) override { success = text; }
    void finish() { m_bar.finish(); }

    QString error;
    QString success;

private:
    ConsoleProgressBar m_bar;
};

std::atomic<JobProgress *> g_running{nullptr};

void onStopSignal(int)
{
    if (JobProgress *progress = g_running.load())
        progress->cancelled.store(true);
}

int formatCode(const QString &format)
{
    if (format == QLatin1String("txt") || format == QLatin1String("doc"))
        return ExportFormat::Text;
    if (format == QLatin1String("csv"))
        return ExportFormat::Csv;
    if (format == QLatin1String("pdf"))
        return ExportFormat::Pdf;
    if (format == QLatin1String("html"))
        return ExportFormat::Html;
    throw CliUsageError(
        QStringLiteral("--format must be txt, doc, csv, pdf or html, not \"%1\"").arg(format).toStdString());
}

int runExport(CliContext &ctx)
{
    if (!ctx.has(QStringLiteral("format")) || !ctx.has(QStringLiteral("out")))
        throw CliUsageError("export needs --format and --out");
    const QString format = ctx.value(QStringLiteral("format")).toLower();
    const int code = formatCode(format);
    const QString out = QFileInfo(ctx.value(QStringLiteral("out"))).absoluteFilePath();

    ExportProgress progress(ctx.global.quiet);
    LoadedSource source;
    try {
        source = loadSource(ctx, ctx.args.value(0), &progress);
    } catch (const CliUsageError &) {
        throw;
    } catch (const std::exception &error) {
        progress.finish();
        ctx.printError(stripHtml(QString::fromUtf8(error.what())));
        return CliExit::Failed;
    }
    const KikMessageList messages = selectedMessages(source, ctx);

    ExportMessagesThread job(messages, out, code, &progress);
    QEventLoop loop;
    QObject::connect(&job, &QThread::finished, &loop, &QEventLoop::quit);
    g_running = &progress;
    auto *previousInt = std::signal(SIGINT, onStopSignal);
    auto *previousTerm = std::signal(SIGTERM, onStopSignal);
    job.start();
    loop.exec();
    job.wait();
    // Deliver the job's last queued reports.
    QCoreApplication::sendPostedEvents(&progress);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    g_running = nullptr;
    progress.finish();

    if (job.wasCancelled())
        return CliExit::Cancelled;
    if (!job.succeeded()) {
        ctx.printError(stripHtml(progress.error.isEmpty() ? job.errorText() : progress.error));
        return CliExit::Failed;
    }
    QJsonArray files;
    for (const QString &file : job.writtenFiles())
        files.append(file);
    const QJsonObject json{
        {QStringLiteral("format"), format},
        {QStringLiteral("out"), out},
        {QStringLiteral("messages"), int(messages.size())},
        {QStringLiteral("files"), files},
    };
    ctx.printResult(json, progress.success);
    return CliExit::Ok;
}

QList<CliOptionSpec> exportOptions()
{
    QList<CliOptionSpec> options{
        {QStringLiteral("format"), QStringLiteral("txt|doc|csv|pdf|html"), QStringLiteral("the export format"), false},
        {QStringLiteral("out"), QStringLiteral("PATH"),
         QStringLiteral("the file (txt, doc, csv) or the folder, created (pdf, html)"), false},
    };
    options += cliSourceOptions();
    return options;
}

const CliRegistration registration({
    {QStringLiteral("export")},
    QStringLiteral("SOURCE"),
    QStringLiteral("Export the messages of a source as text, Word text, CSV, PDF or HTML."),
    exportOptions(),
    1,
    1,
    runExport,
});

} // namespace
