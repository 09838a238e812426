#include "cli/CliCommand.h"

#include "app/TextUtil.h"
#include "cli/CliMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

void writeOut(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QList<CliCommandSpec> &registry()
{
    static QList<CliCommandSpec> commands;
    return commands;
}

} // namespace

QString CliContext::value(const QString &option, const QString &fallback) const
{
    const QStringList list = options.value(option);
    return list.isEmpty() ? fallback : list.last();
}

void CliContext::printJson(const QJsonValue &value) const
{
    QJsonDocument doc;
    if (value.isArray())
        doc = QJsonDocument(value.toArray());
    else
        doc = QJsonDocument(value.toObject());
    writeOut(stdout, doc.toJson(QJsonDocument::Indented));
}

void CliContext::printText(const QString &text) const
{
    if (text.isEmpty())
        return;
    QByteArray bytes = text.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    writeOut(stdout, bytes);
}

void CliContext::printResult(const QJsonValue &json, const QString &text) const
{
    if (global.json)
        printJson(json);
    else
        printText(stripHtml(text));
}

void CliContext::printError(const QString &text) const
{
    QByteArray bytes = withoutCachePaths(stripHtml(text)).trimmed().toUtf8();
    bytes.append('\n');
    writeOut(stderr, bytes);
}

void CliRegistry::add(const CliCommandSpec &command)
{
    registry().append(command);
}

const QList<CliCommandSpec> &CliRegistry::commands()
{
    return registry();
}
