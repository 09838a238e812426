// One logging category per module. A log line names the category of its
// message, and QT_LOGGING_RULES (or a qtlogging.ini) can switch a module's
// messages on or off, e.g. QT_LOGGING_RULES="velloran.android.debug=false".
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)     // velloran.app: start-up, data folders, files
Q_DECLARE_LOGGING_CATEGORY(lcDb)      // velloran.db: SQLite access and local databases
Q_DECLARE_LOGGING_CATEGORY(lcModel)   // velloran.model: the conversation model
Q_DECLARE_LOGGING_CATEGORY(lcJobs)    // velloran.jobs: background jobs
Q_DECLARE_LOGGING_CATEGORY(lcIos)     // velloran.ios: iPhone backups and Kik's iPhone data
Q_DECLARE_LOGGING_CATEGORY(lcAndroid) // velloran.android: Android phones and Kik's Android data
Q_DECLARE_LOGGING_CATEGORY(lcDevice)  // velloran.device: iPhone connections and backup tools
Q_DECLARE_LOGGING_CATEGORY(lcView)    // velloran.view: bubble view and exports
Q_DECLARE_LOGGING_CATEGORY(lcGui)     // velloran.gui: widgets shared by the windows
Q_DECLARE_LOGGING_CATEGORY(lcUi)      // velloran.ui: main window and dialogs
Q_DECLARE_LOGGING_CATEGORY(lcCli)     // velloran.cli: the command-line tool
