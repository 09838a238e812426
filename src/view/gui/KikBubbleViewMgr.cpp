#include "view/gui/KikBubbleViewMgr.h"

#include "app/LogCategories.h"
#include "app/Platform.h"
#include "app/TextUtil.h"
#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "view/BubbleHtml.h"
#include "view/BubbleLinks.h"
#include "view/ViewData.h"
#include "view/gui/KikBubbleWebPage.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

KikBubbleViewMgr::KikBubbleViewMgr(QWebEngineView *view, QObject *parent)
    : QObject(parent), m_view(view), m_page(new KikBubbleWebPage(view))
{
    QWebEngineSettings *settings = m_page->settings();
    // Pages are built by the program; nothing in them needs to run script.
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    view->setPage(m_page);
    connect(m_page, &QWebEnginePage::loadFinished, this, &KikBubbleViewMgr::onLoadFinish);
    connect(m_page, &KikBubbleWebPage::linkClicked, this, &KikBubbleViewMgr::onLinkClicked);
}

KikBubbleViewMgr::~KikBubbleViewMgr() = default;

void KikBubbleViewMgr::showBubble(const KikMessageList &messages)
{
    m_messages = messages;
    if (!m_messages.isEmpty()) {
        m_pageCount = BubblePage::pageCount(m_messages.size());
        firstPage();
        return;
    }
    m_currentPage = 0;
    m_pageCount = 0;
    m_anchor.clear();
    m_html.clear();
    showHtml(QString());
}

void KikBubbleViewMgr::render()
{
    if (m_currentPage < 1 || m_currentPage > m_pageCount)
        return;
    BubbleHtmlBuilder builder;
    m_html = builder.page(m_messages, m_currentPage);
    showHtml(m_html);
}

void KikBubbleViewMgr::showHtml(const QString &html)
{
    // Chromium takes a page handed over as data only up to 2 MB once it is
    // percent-encoded (three bytes for each byte outside ASCII); a larger
    // page, such as 50 very long messages, is loaded from a temporary file
    // that names the program folder as its base address instead.
    constexpr qsizetype kInlineLimit = 600 * 1024;
    const QByteArray utf8 = html.toUtf8();
    if (utf8.size() <= kInlineLimit) {
        m_largePage.reset();
        m_page->setHtml(html, ViewData::baseUrl());
        return;
    }
    auto file = std::make_unique<QTemporaryFile>(
        QDir(QDir::tempPath()).filePath(QStringLiteral("velloran-bubbles-XXXXXX.html")));
    QByteArray page = utf8;
    const qsizetype head = page.indexOf("<head>");
    if (head >= 0) {
        const QString base = htmlAttributeEscaped(ViewData::baseUrl().toString(QUrl::FullyEncoded));
        page.insert(head + 6, "<base href=\"" + base.toUtf8() + "\"/>");
    }
    if (!file->open() || file->write(page) != page.size() || !file->flush()) {
        qCWarning(lcView, "cannot write the bubble page to %s", qPrintable(file->fileName()));
        m_largePage.reset();
        m_page->setHtml(QString(), ViewData::baseUrl());
        return;
    }
    file->close();
    m_page->load(QUrl::fromLocalFile(file->fileName()));
    m_largePage = std::move(file); // the previous page's file goes now
}

void KikBubbleViewMgr::firstPage()
{
    if (m_pageCount == 0)
        return;
    m_currentPage = 1;
    m_anchor = QStringLiteral("start");
    render();
}

void KikBubbleViewMgr::previousPage()
{
    if (m_currentPage < 2)
        return;
    m_anchor = QStringLiteral("end");
    --m_currentPage;
    render();
}

void KikBubbleViewMgr::nextPage()
{
    if (m_currentPage >= m_pageCount)
        return;
    m_anchor = QStringLiteral("start");
    ++m_currentPage;
    render();
}

void KikBubbleViewMgr::lastPage()
{
    if (m_pageCount == 0)
        return;
    m_currentPage = m_pageCount;
    m_anchor = QStringLiteral("end");
    render();
}

void KikBubbleViewMgr::scrollToPos(int index)
{
    if (index < 0 || index >= m_messages.size())
        return;
    const int page = BubblePage::pageOfIndex(index);
    m_anchor = QStringLiteral("sms_%1").arg(m_messages.at(index)->_id);
    if (page == m_currentPage) {
        scrollToAnchor();
        return;
    }
    m_currentPage = page;
    render();
}

void KikBubbleViewMgr::scrollToAnchor()
{
    // The anchor is one of the program's own names ("start", "end",
    // "sms_<id>"); scripts run in the program's own world, the page's are off.
    const QString script =
        QStringLiteral("(function(){var a=document.getElementsByName('%1');"
                       "if(a.length>0){a[0].scrollIntoView(true);return true;}return false;})()")
            .arg(m_anchor);
    const int page = m_currentPage;
    const QString anchor = m_anchor;
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                          [this, page, anchor](const QVariant &) { Q_EMIT pageShown(page, anchor); });
}

void KikBubbleViewMgr::onLoadFinish(bool ok)
{
    if (ok && m_currentPage > 0)
        scrollToAnchor();
}

void KikBubbleViewMgr::handleLocalFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() <= 0) {
        warnMissing(QStringLiteral("can not find %1.").arg(BubbleLinks::shortPath(path)));
        return;
    }
    if (BubbleLinks::opensDirectly(path))
        openFile(path);
    else
        saveAttachment(path);
}

void KikBubbleViewMgr::onLinkClicked(const QUrl &url)
{
    const BubbleLink link = classifyBubbleLink(url);
    switch (link.kind) {
    case BubbleLink::PreviousPage:
        previousPage();
        break;
    case BubbleLink::NextPage:
        nextPage();
        break;
    case BubbleLink::LocalFile:
        handleLocalFile(link.path);
        break;
    case BubbleLink::Attachment: {
        if (link.path.isEmpty())
            break;
        const QString copy = BubbleLinks::temporaryAttachmentCopy(link.path, link.suffix);
        handleLocalFile(copy.isEmpty() ? link.path : copy);
        break;
    }
    case BubbleLink::WebAddress:
        openAddress(url);
        break;
    case BubbleLink::Ignored:
        break;
    }
}

void KikBubbleViewMgr::openFile(const QString &path)
{
    Platform::openInExplorer(path);
}

void KikBubbleViewMgr::openAddress(const QUrl &url)
{
    Platform::openWithShell(url.toString(QUrl::FullyEncoded));
}

void KikBubbleViewMgr::warnMissing(const QString &text)
{
    MessageBoxes::showWarning(m_view, text);
}

void KikBubbleViewMgr::saveAttachment(const QString &path)
{
    const QString start = QDir::home().filePath(QFileInfo(path).fileName());
    const QString target = QFileDialog::getSaveFileName(m_view, ids("IDS_SAVE_ATTACHMENT"), start);
    if (target.isEmpty())
        return;
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(path).absoluteFilePath())
        return; // saving a file onto itself would remove it
    QFile::remove(target);
    if (QFile::copy(path, target))
        MessageBoxes::showInformation(m_view, ids("IDS_SAVE_ATTACHMENT_SUC"));
    else
        MessageBoxes::showError(m_view, ids("IDS_SAVE_ATTACHMENT_FILE_ERROR"));
}
