#include "app/cli/AndroidTransfer.h"

#include "app/cli/CliCommand.h"

int runTransferToAndroid(CliContext &)
{
    throw std::runtime_error("The transfer to a connected Android phone is not available yet.");
}
