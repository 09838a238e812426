// The one exception type of a failure the user is told about. Its message
// is UTF-8 text (often HTML with "<br/>"), shown as it is by the error box,
// the command-line tool and the logs. Cancellation is not a failure: see
// jobs/JobCancelled.h.
#pragma once

#include <QString>

#include <stdexcept>
#include <string>

class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &text) : std::runtime_error(text.toStdString()) {}
    explicit AppError(const char *utf8) : std::runtime_error(utf8) {}
    explicit AppError(const std::string &utf8) : std::runtime_error(utf8) {}

    // The message as the user reads it.
    QString text() const { return QString::fromUtf8(what()); }
};
