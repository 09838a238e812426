// The built-in English translation of the IDS_ keys.
#pragma once

#include <QString>

class QCoreApplication;

// Loads ":/en.qm" into a translator owned by the application and installs it.
// Returns false when the translation could not be loaded.
bool installTranslation(QCoreApplication &app);

// The English text of a translation key (IDS_...), or the key itself.
QString ids(const char *key);

// Plain-text form of an IDS_ text for terminals (tags removed).
QString idsPlain(const char *key);
