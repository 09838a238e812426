// What a click on a link of a bubble page means. Only the page's own
// paging links, local files, the "atta:" attachment scheme and http/https
// addresses are followed; every other address is ignored.
#pragma once

#include <QString>
#include <QUrl>

struct BubbleLink
{
    enum Kind { Ignored, PreviousPage, NextPage, LocalFile, Attachment, WebAddress };
    Kind kind = Ignored;
    QString path;   // LocalFile: the file; Attachment: the content file
    QString suffix; // Attachment: the lower-case suffix for the temporary copy
};

BubbleLink classifyBubbleLink(const QUrl &url);

namespace BubbleLinks {

// Files with these suffixes are opened; others are offered for saving.
bool opensDirectly(const QString &path);

// "..." and the last three components of the path (the whole path when it
// has fewer), for the "can not find %1." warning.
QString shortPath(const QString &path);

// Copies an attachment's content file into the temporary folder as
// md5Hex(path) + "." + suffix and returns the copy (empty on failure).
QString temporaryAttachmentCopy(const QString &contentPath, const QString &suffix);

} // namespace BubbleLinks
