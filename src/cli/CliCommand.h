// Commands of the command-line tool. Each command registers itself from its
// own file with a static CliRegistration.
#pragma once

#include "app/AppError.h"

#include <QJsonValue>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

namespace CliExit {
inline constexpr int Ok = 0;
inline constexpr int Failed = 1;
inline constexpr int Usage = 2;
inline constexpr int Cancelled = 3;
} // namespace CliExit

struct CliOptionSpec
{
    QString name;      // without the leading "--"
    QString valueName; // empty for a flag
    QString help;
    bool repeatable = false;
};

struct CliGlobalOptions
{
    QString dataRoot;
    bool json = false;
    bool quiet = false;
    bool yes = false;
};

class CliContext;

struct CliCommandSpec
{
    QStringList words; // e.g. {"localdb", "list"}
    QString arguments; // e.g. "NAME"
    QString summary;
    QList<CliOptionSpec> options;
    int minArgs = 0;
    int maxArgs = 0; // -1: any number
    std::function<int(CliContext &)> run;
};

// A wrong or missing argument: printed with the command's usage, exit code 2.
class CliUsageError : public AppError
{
public:
    using AppError::AppError;
};

class CliContext
{
public:
    CliGlobalOptions global;
    const CliCommandSpec *command = nullptr;
    QStringList args;
    QMap<QString, QStringList> options; // values of each given option

    bool has(const QString &option) const { return options.contains(option); }
    QString value(const QString &option, const QString &fallback = QString()) const;
    QStringList values(const QString &option) const { return options.value(option); }

    // Result output: one JSON document with --json, else the text.
    void printJson(const QJsonValue &value) const;
    void printText(const QString &text) const;
    // Prints the result: JSON when --json was given, otherwise the text.
    void printResult(const QJsonValue &json, const QString &text) const;
    void printError(const QString &text) const;
};

class CliRegistry
{
public:
    static void add(const CliCommandSpec &command);
    static const QList<CliCommandSpec> &commands();
};

struct CliRegistration
{
    explicit CliRegistration(const CliCommandSpec &command) { CliRegistry::add(command); }
};
