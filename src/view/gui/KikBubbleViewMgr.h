// The chat-bubble pane: shows a message list as pages of 50 bubbles in a
// web view, pages through them, scrolls to a message and handles clicks.
#pragma once

#include "model/KikRecords.h"

#include <QObject>
#include <QUrl>

#include <memory>

class QTemporaryFile;

class QWebEngineView;
class KikBubbleWebPage;

class KikBubbleViewMgr : public QObject
{
    Q_OBJECT
public:
    // Takes over the view's page (link clicks come to onLinkClicked, page
    // scripts are off); the view is not owned.
    KikBubbleViewMgr(QWebEngineView *view, QObject *parent = nullptr);
    ~KikBubbleViewMgr() override;

    int currentPage() const { return m_currentPage; }
    int pageCount() const { return m_pageCount; }
    QString anchor() const { return m_anchor; }
    // The HTML of the page shown last.
    QString pageHtml() const { return m_html; }

public Q_SLOTS:
    void showBubble(const KikMessageList &messages);
    void onLoadFinish(bool ok);
    void onLinkClicked(const QUrl &url);
    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    void scrollToPos(int index);

Q_SIGNALS:
    // After a page has loaded and was scrolled to its anchor.
    void pageShown(int page, const QString &anchor);

protected:
    // What a click leads to; the GUI shows dialogs, tests record.
    virtual void openFile(const QString &path);
    virtual void saveAttachment(const QString &path);
    virtual void openAddress(const QUrl &url);
    virtual void warnMissing(const QString &text);

private:
    void render();
    void showHtml(const QString &html);
    void scrollToAnchor();
    void handleLocalFile(const QString &path);

    QWebEngineView *m_view;
    KikBubbleWebPage *m_page;
    KikMessageList m_messages;
    int m_currentPage = 0;
    int m_pageCount = 0;
    QString m_anchor;
    QString m_html;
    std::unique_ptr<QTemporaryFile> m_largePage; // the page shown, when it is too large to hand over
};
