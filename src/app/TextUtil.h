// Text helpers: HTML escaping and MD5 identifiers.
#pragma once

#include <QByteArray>
#include <QString>

// Replaces "&", "<", ">" and line feeds by their HTML forms, in place, and
// returns the result.
QString htmlEscape(QString &text);
QString htmlEscaped(const QString &text);

// Escapes a value for use inside a double-quoted HTML attribute.
QString htmlAttributeEscaped(const QString &text);

// MD5 of the UTF-8 bytes as 32 lower-case hex digits.
QString md5Hex(const QString &text);

// MD5 of the bytes as hex digits, grouped 8-4-4-4-12 when asUuid is set.
QString md5Uuid(const QByteArray &bytes, bool asUuid);

// Removes HTML tags and turns "<br/>" into line feeds (for terminals).
QString stripHtml(const QString &html);
