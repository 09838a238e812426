// Connected phones for the devices command. Each kind of phone (iPhone,
// Android) registers a lister from its own file; the command shows the rows
// of every lister in registration order.
#pragma once

#include "cli/CliCommand.h"

#include <QList>
#include <QString>

#include <functional>

struct CliDeviceRow
{
    QString kind; // "iphone" or "android"
    QString id;   // UDID or adb serial
    QString name;
    QString state;
};

// Returns the connected phones of one kind. A lister whose device stack cannot
// be reached throws AppError with a message that says how to start it.
using CliDeviceLister = std::function<QList<CliDeviceRow>(CliContext &ctx)>;

struct CliDeviceListerRegistration
{
    CliDeviceListerRegistration(const QString &kind, CliDeviceLister lister);
};

struct CliDeviceListing
{
    QList<CliDeviceRow> rows;
    QStringList problems; // one message per lister that failed
};

// Runs every registered lister; a failing lister adds its message to
// `problems` and leaves the other kinds listed.
CliDeviceListing listCliDevices(CliContext &ctx);
