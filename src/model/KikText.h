// Text forms of users and messages.
#pragma once

#include "model/KikRecords.h"

#include <QRegularExpression>
#include <QString>

#include <functional>

// The user's display name; for a nameless group the names of its members
// joined with ","; "Unknown" when nothing is known.
QString displayName(const _KikUser *user);

// The one-line text of a message: "[IMAGE]", "[VIDEO]", "[<card title>]" or
// the body with render instructions and emoji as bracketed tags.
QString summaryText(const _KikMessage *message);

// The "string:file-url" value of the attachment map, or empty.
QString fileUrl(const _KikMessage *message);

// Copies the text, replacing every match (left to right, restarting after
// each match) by the replacer's result.
QString replaceMatches(const QString &text, const QRegularExpression &expression,
                       const std::function<QString(const QRegularExpressionMatch &)> &replacer);
