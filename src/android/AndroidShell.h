// Building shell text for the phone out of paths that come from databases
// and devices. A path is refused when it holds a character that no shell
// quoting survives on every way to the phone (line breaks end the helper's
// protocol line, a zero byte ends the text); every other path is put in
// single quotes, inside which the phone's shell expands nothing.
#pragma once

#include <QString>

namespace AndroidShell {

// The path as one single-quoted shell word ("'" written as '\'').
// Throws AppError for an empty path or one holding a line feed,
// a carriage return or a zero character.
QString quote(const QString &path);

// `dd if=SRC of=DST` with both paths quoted.
QString copyCommand(const QString &source, const QString &destination);

// `chmod 777 DST`.
QString chmodCommand(const QString &path);

// The command that runs `command` as the superuser through `adb shell`:
// `su -c '<command>'`, the command quoted once more for the outer shell.
QString suWrapped(const QString &command);

} // namespace AndroidShell
