// velloran-kik export SOURCE --format txt|doc|csv|pdf|html --out PATH
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliProgress.h"
#include "cli/CliSource.h"
#include "view/ExportMessagesThread.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

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

    const bool perChat = code == ExportFormat::Pdf || code == ExportFormat::Html;
    checkCliOutput(out, perChat ? OutputPath::Kind::Folder : OutputPath::Kind::File,
                   sourceInputPaths(ctx, ctx.args.value(0)));

    CliProgress progress(ctx);
    const LoadedSource source = loadSource(ctx, ctx.args.value(0), &progress);
    progress.checkSignals();
    if (progress.interrupted())
        return CliExit::Cancelled;
    const KikMessageList messages = selectedMessages(source, ctx);

    ExportMessagesThread job(messages, out, code, &progress);
    const int result = progress.runJob(job);
    if (result != CliExit::Ok)
        return result;
    QJsonArray files;
    for (const QString &file : job.writtenFiles())
        files.append(file);
    const QJsonObject json{
        {QStringLiteral("format"), format},
        {QStringLiteral("out"), out},
        {QStringLiteral("messages"), int(messages.size())},
        {QStringLiteral("files"), files},
    };
    ctx.printResult(json, progress.successText());
    return CliExit::Ok;
}

QList<CliOptionSpec> exportOptions()
{
    QList<CliOptionSpec> options{
        {QStringLiteral("format"), QStringLiteral("txt|doc|csv|pdf|html"),
         QStringLiteral("the export format"), false},
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
