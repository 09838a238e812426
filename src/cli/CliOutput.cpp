#include "cli/CliOutput.h"

#include "cli/CliCommand.h"

void checkCliOutput(const QString &output, OutputPath::Kind kind, const QStringList &inputs)
{
    try {
        OutputPath::check(output, kind, inputs);
    } catch (const std::runtime_error &error) {
        throw CliUsageError(error.what());
    }
}
