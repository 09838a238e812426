// The data folders shipped beside the program ("kikbb", "emoji",
// "kikemoji") and the outside servers that bubbles link to.
#pragma once

#include <QString>
#include <QUrl>

namespace ViewData {

inline constexpr const char *kSmileyServer = "http://cdn.kik.com/emoticons";
inline constexpr const char *kMemeServer = "http://memes.kik.com/";

// The folder of the running program (where the data folders lie), or the
// folder set with setProgramFolder (tests, tools).
QString programFolder();
void setProgramFolder(const QString &folder);

// A file or folder below the program folder, e.g. "kikbb/style.css".
QString dataPath(const QString &relative);

// The program folder as a file address ending in "/": the base address of
// bubble pages.
QUrl baseUrl();

} // namespace ViewData
