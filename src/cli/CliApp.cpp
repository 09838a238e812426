#include "cli/CliApp.h"

#include "app/DataRoot.h"
#include "app/Log.h"
#include "app/LogCategories.h"
#include "cli/CliCommand.h"
#include "cli/CliSignals.h"
#include "jobs/JobCancelled.h"

#include <QCoreApplication>
#include <QDebug>

#include <algorithm>
#include <cstdio>

namespace {

void writeErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void writeOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString commandLine(const CliCommandSpec &command)
{
    QString line = command.words.join(QLatin1Char(' '));
    if (!command.arguments.isEmpty())
        line += QLatin1Char(' ') + command.arguments;
    for (const CliOptionSpec &option : command.options) {
        line += QStringLiteral(" [--") + option.name;
        if (!option.valueName.isEmpty())
            line += QLatin1Char(' ') + option.valueName;
        line += QLatin1Char(']');
    }
    return line;
}

QString commandUsage(const CliCommandSpec &command)
{
    QString text = QStringLiteral("Usage: velloran-kik [GLOBAL OPTIONS] ") + commandLine(command)
                   + QStringLiteral("\n\n") + command.summary + QLatin1Char('\n');
    if (!command.options.isEmpty()) {
        text += QStringLiteral("\nOptions:\n");
        for (const CliOptionSpec &option : command.options) {
            QString name = QStringLiteral("--") + option.name;
            if (!option.valueName.isEmpty())
                name += QLatin1Char(' ') + option.valueName;
            text += QStringLiteral("  %1  %2\n").arg(name, -24).arg(option.help);
        }
    }
    return text;
}

// The registered command whose words start the argument list, longest first.
const CliCommandSpec *matchCommand(const QStringList &args, qsizetype start, qsizetype &used)
{
    const CliCommandSpec *best = nullptr;
    used = 0;
    for (const CliCommandSpec &command : CliRegistry::commands()) {
        const qsizetype n = command.words.size();
        if (n <= used || start + n > args.size())
            continue;
        bool matches = true;
        for (qsizetype i = 0; i < n && matches; ++i)
            matches = args[start + i] == command.words[i];
        if (matches) {
            best = &command;
            used = n;
        }
    }
    return best;
}

// The usage of the commands whose first word is `word` ("localdb list",
// "localdb delete" for "localdb"), or empty when no command starts with it.
QString groupUsage(const QString &word)
{
    QList<const CliCommandSpec *> group;
    for (const CliCommandSpec &command : CliRegistry::commands()) {
        if (command.words.size() > 1 && command.words.first() == word)
            group.append(&command);
    }
    if (group.isEmpty())
        return QString();
    std::sort(group.begin(), group.end(),
              [](const CliCommandSpec *a, const CliCommandSpec *b) { return a->words < b->words; });
    QString text = QStringLiteral("Usage: velloran-kik [GLOBAL OPTIONS] %1 COMMAND [ARGS]\n\n"
                                  "Commands:\n")
                       .arg(word);
    for (const CliCommandSpec *command : group)
        text += QStringLiteral("  %1\n      %2\n").arg(commandLine(*command), command->summary);
    return text;
}

const CliOptionSpec *findOption(const CliCommandSpec &command, const QString &name)
{
    for (const CliOptionSpec &option : command.options) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

// Runs the command; a signal during the run makes it a cancelled one,
// whatever the command returned or threw on its way out.
int runCommand(CliContext &ctx)
{
    int code = CliExit::Failed;
    if (CliSignals::stopRequested()) {
        // Stopped while the program was starting: the command never runs.
        writeErr(QStringLiteral("Cancelled.\n"));
        return CliExit::Cancelled;
    }
    try {
        code = ctx.command->run(ctx);
    } catch (const CliUsageError &error) {
        writeErr(QStringLiteral("velloran-kik: %1\n").arg(QString::fromUtf8(error.what())));
        writeErr(commandUsage(*ctx.command));
        return CliExit::Usage;
    } catch (const JobCancelled &) {
        writeErr(QStringLiteral("Cancelled.\n"));
        return CliExit::Cancelled;
    } catch (const std::exception &error) {
        if (!CliSignals::stopRequested())
            ctx.printError(QString::fromUtf8(error.what()));
    }
    if (CliSignals::stopRequested() && code != CliExit::Ok) {
        writeErr(QStringLiteral("Cancelled.\n"));
        return CliExit::Cancelled;
    }
    return code;
}

} // namespace

QString cliUsage()
{
    QString text = QStringLiteral("Usage: velloran-kik [GLOBAL OPTIONS] COMMAND [ARGS]\n\n"
                                  "Global options:\n"
                                  "  --data-root DIR   use DIR as the data root\n"
                                  "  --json            machine-readable output on stdout\n"
                                  "  --quiet           no progress output\n"
                                  "  --yes             go on at once where the program would wait for Enter\n"
                                  "  --help            this text; COMMAND --help describes one command\n\n"
                                  "Commands:\n");
    QList<const CliCommandSpec *> sorted;
    for (const CliCommandSpec &command : CliRegistry::commands())
        sorted.append(&command);
    std::sort(sorted.begin(), sorted.end(),
              [](const CliCommandSpec *a, const CliCommandSpec *b) { return a->words < b->words; });
    for (const CliCommandSpec *command : sorted)
        text += QStringLiteral("  %1\n      %2\n").arg(commandLine(*command), command->summary);
    text += QStringLiteral("\nExit codes: 0 success, 1 the job failed, 2 usage error, 3 cancelled.\n");
    return text;
}

int runCli(const QStringList &args)
{
    CliContext ctx;
    qsizetype i = 0;
    try {
        for (; i < args.size() && args[i].startsWith(QLatin1String("--")); ++i) {
            const QString &arg = args[i];
            if (arg == QLatin1String("--json")) {
                ctx.global.json = true;
            } else if (arg == QLatin1String("--quiet")) {
                ctx.global.quiet = true;
            } else if (arg == QLatin1String("--yes")) {
                ctx.global.yes = true;
            } else if (arg == QLatin1String("--help")) {
                writeOut(cliUsage());
                return CliExit::Ok;
            } else if (arg == QLatin1String("--data-root")) {
                if (i + 1 >= args.size())
                    throw CliUsageError("--data-root needs a folder");
                ctx.global.dataRoot = args[++i];
                if (ctx.global.dataRoot.isEmpty())
                    throw CliUsageError("--data-root needs a folder, not an empty text");
            } else if (arg.startsWith(QLatin1String("--data-root="))) {
                ctx.global.dataRoot = arg.mid(12);
                if (ctx.global.dataRoot.isEmpty())
                    throw CliUsageError("--data-root needs a folder, not an empty text");
            } else {
                throw CliUsageError(QStringLiteral("unknown option: %1").arg(arg).toStdString());
            }
        }
        if (i >= args.size())
            throw CliUsageError("no command given");
        qsizetype used = 0;
        ctx.command = matchCommand(args, i, used);
        if (!ctx.command) {
            // A group word alone ("localdb") or with --help describes its commands.
            const QString group = groupUsage(args[i]);
            if (!group.isEmpty()) {
                if (i + 1 < args.size() && args[i + 1] == QLatin1String("--help")) {
                    writeOut(group);
                    return CliExit::Ok;
                }
                writeErr(QStringLiteral("velloran-kik: %1\n")
                             .arg(i + 1 < args.size()
                                      ? QStringLiteral("unknown command: %1 %2").arg(args[i], args[i + 1])
                                      : QStringLiteral("%1 needs a command").arg(args[i])));
                writeErr(group);
                return CliExit::Usage;
            }
            throw CliUsageError(QStringLiteral("unknown command: %1").arg(args[i]).toStdString());
        }
        i += used;
        bool optionsEnded = false;
        for (; i < args.size(); ++i) {
            const QString &arg = args[i];
            if (!optionsEnded && arg == QLatin1String("--")) {
                optionsEnded = true;
                continue;
            }
            if (optionsEnded || !arg.startsWith(QLatin1String("--")) || arg.size() == 2) {
                ctx.args.append(arg);
                continue;
            }
            if (arg == QLatin1String("--help")) {
                writeOut(commandUsage(*ctx.command));
                return CliExit::Ok;
            }
            QString name = arg.mid(2);
            QString value;
            bool hasInlineValue = false;
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            if (eq >= 0) {
                value = name.mid(eq + 1);
                name.truncate(eq);
                hasInlineValue = true;
            }
            const CliOptionSpec *option = findOption(*ctx.command, name);
            if (!option)
                throw CliUsageError(QStringLiteral("unknown option: --%1").arg(name).toStdString());
            if (option->valueName.isEmpty()) {
                if (hasInlineValue)
                    throw CliUsageError(QStringLiteral("--%1 takes no value").arg(name).toStdString());
            } else if (!hasInlineValue) {
                if (i + 1 >= args.size())
                    throw CliUsageError(
                        QStringLiteral("--%1 needs %2").arg(name, option->valueName).toStdString());
                value = args[++i];
            }
            if (!option->repeatable && ctx.options.contains(name))
                throw CliUsageError(QStringLiteral("--%1 given more than once").arg(name).toStdString());
            ctx.options[name].append(value);
        }
        if (ctx.args.size() < ctx.command->minArgs)
            throw CliUsageError("missing argument");
        if (ctx.command->maxArgs >= 0 && ctx.args.size() > ctx.command->maxArgs)
            throw CliUsageError(QStringLiteral("unexpected argument: %1").arg(ctx.args.last()).toStdString());
    } catch (const CliUsageError &error) {
        writeErr(QStringLiteral("velloran-kik: %1\n").arg(QString::fromUtf8(error.what())));
        if (ctx.command)
            writeErr(commandUsage(*ctx.command));
        else
            writeErr(QStringLiteral("Run 'velloran-kik --help' for the commands.\n"));
        return CliExit::Usage;
    }

    if (!ctx.global.dataRoot.isEmpty())
        DataRoot::setOverride(ctx.global.dataRoot);
    DataRoot::applyEnvironment();
    Log::install(DataRoot::logFolder().absolutePath(), 10);
    // Only the command's words: arguments may hold passwords.
    qCDebug(lcCli).noquote() << "velloran-kik" << ctx.command->words.join(QLatin1Char(' '));

    const int code = runCommand(ctx);
    CliSignals::commandEnded();
    return code;
}
