// Text helpers shared by the text and CSV exporters.
#pragma once

#include "model/KikRecords.h"

#include <QString>

namespace ExportText {

// The name written beside a message: the sender for messages of others in
// a group chat, otherwise the chat partner; empty without chat or partner.
QString messageName(const _KikMessage *message);

// The text on one line: carriage returns removed, line feeds and the other
// line breaks (U+0085, U+2028, U+2029, vertical tab, form feed) replaced by
// one space each.
QString oneLine(const QString &text);

// A CSV field: enclosed in double quotes (inner quotes doubled) when it
// holds a quote, a comma or a line feed. A value that a spreadsheet would
// take for a formula (starting with "=", "+", "-" or "@") gets a leading
// apostrophe and is quoted, so that it is shown as text and never run.
QString csvField(const QString &value);

} // namespace ExportText
