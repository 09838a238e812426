// The HTML of chat bubbles: one message as a bubble, and a page of up to 50
// bubbles with date lines, anchors and paging links. The bubble view shows
// these pages; the HTML export writes the same bubbles with its own media
// handling (a subclass).
//
// Everything that comes from phone data (texts, names, link targets, image
// addresses) is escaped before it goes into the page. Addresses that phone
// data names are kept only when they are http or https; local files and
// the "atta:" scheme are linked only for a message's own content file;
// anything else (such as "javascript:") is dropped.
#pragma once

#include "model/KikRecords.h"

#include <QDateTime>
#include <QString>

namespace BubblePage {

inline constexpr int kPageSize = 50;

// ceiling(count / 50)
int pageCount(qsizetype messageCount);
// 1-based page that holds the message at `index`.
int pageOfIndex(qsizetype index);
// "dd MMM yyyy @ hh:mm AP" in local time.
QString dateText(const QDateTime &ts);
// The time in whole minutes (for date lines).
qint64 minuteOf(const QDateTime &ts);

// The "<!DOCTYPE …><html xmlns=…>" opening shared by every page.
QString documentStart();

// A link target from phone data made safe for an href attribute: http,
// https, file and "atta:" addresses (normalised, percent-encoded), local
// absolute paths as file addresses; empty for anything else.
QString safeLinkTarget(const QString &target);
// An image address from phone data: http or https addresses, else empty.
QString safeRemoteImage(const QString &source);
// A link target that phone data names directly (a file's download address,
// a card's or sticker's address): only http and https addresses, so that
// no message can point the view at a local file or the program's own
// "atta:" scheme; empty for anything else.
QString safeWebAddress(const QString &address);

} // namespace BubblePage

class BubbleHtmlBuilder
{
public:
    virtual ~BubbleHtmlBuilder() = default;

    // The bubble of one message.
    QString bubble(const _KikMessage *message);

    // Page p (1-based) of the list as the bubble view shows it; empty for a
    // page outside 1 … page count.
    QString page(const KikMessageList &messages, int page);

    // Escaped text with emoji as images.
    QString escapedWithEmoji(const QString &text) const;

protected:
    // The href value (already safe, not yet attribute-escaped) of a media
    // message's link.
    virtual QString mediaTarget(const _KikMessage *message);
    // The src of an image: remote addresses as they are, local files that
    // exist and are not empty by their address, else the empty photo.
    virtual QString imageSource(const QString &image);
    virtual QString emojiSource(const QString &hex) const;
    virtual QString kikEmojiSource(const QString &hexKey) const;
    virtual QString emptyPhoto() const;
    // Extra attributes of image links (the export opens them in a new window).
    virtual QString linkAttributes() const { return QString(); }

    QString imageLink(const QString &target, int max, const QString &image);

private:
    QString content(const _KikMessage *message);
    QString cardContent(const _KikMessage *message);
    QString textContent(const _KikMessage *message) const;
};
