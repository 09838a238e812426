// OpenSSL's own texts for the failures it queued in this thread, for the
// failure messages of the code that calls OpenSSL.
#pragma once

#include <QString>

// `what` followed by OpenSSL's reasons (oldest first, separated by "; "),
// as "what (reason; reason)", or `what` alone when OpenSSL queued none.
// Empties this thread's error queue, so a later failure does not carry an
// earlier one's reasons.
QString openSslErrorText(const QString &what);
