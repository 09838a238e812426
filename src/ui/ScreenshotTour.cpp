#include "ui/ScreenshotTour.h"

#include "app/LogCategories.h"
#include "app/Translation.h"
#include "jobs/gui/ProgressForm.h"
#include "ui/ItemModelMain.h"
#include "ui/MainWindow.h"
#include "view/gui/KikBubbleViewMgr.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>

ScreenshotTour::ScreenshotTour(MainWindow *window, const QString &folder)
    : QObject(window), m_window(window), m_folder(folder)
{}

void ScreenshotTour::start()
{
    QDir().mkpath(m_folder);
    QTimer::singleShot(1500, this, &ScreenshotTour::step);
}

bool ScreenshotTour::save(QWidget *widget, const QString &name)
{
    // The screen's pixels, so that the web view's own rendering is included.
    const QRect frame = widget->frameGeometry();
    QPixmap picture = widget->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (picture.isNull())
        picture = widget->grab();
    const QString path = QDir(m_folder).filePath(name);
    const bool ok = picture.save(path, "PNG", 9);
    qCInfo(lcUi).noquote() << (ok ? "saved" : "could not save") << path;
    return ok;
}

void ScreenshotTour::step()
{
    ItemModelMain *tree = m_window->mainModel();
    switch (m_step++) {
    case 0: {
        // The longest chat of the first phone in bubbles.
        const QList<_IOSDeviceItemNode *> phones = tree->iPhones();
        _ChatSessionItemNode *longest = nullptr;
        for (_ItemNode *node : phones.isEmpty() ? QList<_ItemNode *>() : phones.first()->children) {
            auto *chat = static_cast<_ChatSessionItemNode *>(node);
            if (chat->chat && (!longest || chat->chat->messages.size() > longest->chat->messages.size()))
                longest = chat;
        }
        if (longest)
            m_window->selectNode(longest);
        QTimer::singleShot(2500, this, &ScreenshotTour::step);
        return;
    }
    case 1:
        save(m_window, QStringLiteral("main-chat-bubbles.png"));
        if (!tree->localDbGroup()->children.isEmpty())
            m_window->selectNode(tree->localDbGroup()->children.first());
        QTimer::singleShot(2500, this, &ScreenshotTour::step);
        return;
    case 2: {
        save(m_window, QStringLiteral("main-local-database.png"));
        // The progress dialog a transfer runs behind, as it shows mid-way.
        auto *form = new ProgressForm(ids("IDS_ANDROID_RESTORING_KIK_MESSAGES"), m_window);
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->updateProgress(QString(), 45, QStringLiteral("Messages: 9/20"));
        form->show();
        QTimer::singleShot(1500, this, [this, form] {
            save(m_window, QStringLiteral("transfer-progress.png"));
            form->close();
            QTimer::singleShot(0, qApp, &QApplication::quit);
        });
        return;
    }
    default:
        return;
    }
}
