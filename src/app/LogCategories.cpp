#include "app/LogCategories.h"

Q_LOGGING_CATEGORY(lcApp, "velloran.app")
Q_LOGGING_CATEGORY(lcDb, "velloran.db")
Q_LOGGING_CATEGORY(lcModel, "velloran.model")
Q_LOGGING_CATEGORY(lcJobs, "velloran.jobs")
Q_LOGGING_CATEGORY(lcIos, "velloran.ios")
Q_LOGGING_CATEGORY(lcAndroid, "velloran.android")
Q_LOGGING_CATEGORY(lcDevice, "velloran.device")
Q_LOGGING_CATEGORY(lcView, "velloran.view")
Q_LOGGING_CATEGORY(lcGui, "velloran.gui")
Q_LOGGING_CATEGORY(lcUi, "velloran.ui")
Q_LOGGING_CATEGORY(lcCli, "velloran.cli")
