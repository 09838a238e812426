// The web page of the bubble view: every link click is handed to the
// program instead of being followed, and no other window is ever opened.
#pragma once

#include <QWebEnginePage>

class KikBubbleWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

Q_SIGNALS:
    void linkClicked(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked) {
            Q_EMIT linkClicked(url);
            return false;
        }
        // Only the pages the program sets are loaded.
        return isMainFrame
               && (type == NavigationTypeTyped || type == NavigationTypeOther
                   || type == NavigationTypeReload);
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }
};
