// The output checks of the commands: an output that is an input, lies
// inside one, or is a device, pipe, socket or the wrong kind of entry is a
// bad argument (usage error).
#pragma once

#include "app/OutputPath.h"

void checkCliOutput(const QString &output, OutputPath::Kind kind, const QStringList &inputs);
