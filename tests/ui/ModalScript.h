// Answers the modal dialogs, message boxes and popup menus that a window's
// command opens, in order, from a timer that runs inside their own event
// loops. A message box that no step expects is recorded and closed, so a
// fault shows as a failed expectation instead of a hang. Keep one script
// alive at a time.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class ModalScript : public QObject
{
public:
    // A step gets the active modal widget or popup and returns true when it
    // is the one it expects (and false to leave it, as for a progress
    // dialog); it runs after it was taken off the list, so a box it opens
    // goes to the next step.
    using Step = std::function<bool(QWidget *)>;

    ModalScript() { schedule(); }
    ~ModalScript() override { m_alive = false; }

    ModalScript &then(Step step)
    {
        m_steps.push_back(std::move(step));
        return *this;
    }

    // Answers the next message box with a button; its text is recorded.
    ModalScript &box(QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        return then([this, button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box)
                return false;
            boxes << box->text();
            box->done(button);
            return true;
        });
    }

    // Handles the next widget of type T.
    template <typename T>
    ModalScript &on(std::function<void(T *)> handle)
    {
        return then([handle](QWidget *w) {
            auto *typed = qobject_cast<T *>(w);
            if (!typed)
                return false;
            handle(typed);
            return true;
        });
    }

    // Triggers the action of that object name in the next popup menu and
    // records the menu's action names.
    ModalScript &menu(const QString &actionName)
    {
        return then([this, actionName](QWidget *w) {
            auto *menu = qobject_cast<QMenu *>(w);
            if (!menu)
                return false;
            QAction *chosen = nullptr;
            QStringList names;
            for (QAction *a : menu->actions()) {
                names << a->objectName();
                if (a->objectName() == actionName)
                    chosen = a;
            }
            menuActions << names;
            QMetaObject::invokeMethod(
                menu,
                [menu, chosen] {
                    menu->close();
                    if (chosen)
                        chosen->trigger();
                },
                Qt::QueuedConnection);
            return true;
        });
    }

    bool done() const { return m_steps.empty() && m_running == 0; }
    // Runs the event loop until every step ran (bounded).
    bool waitDone(int timeoutMs = 60000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < timeoutMs) {
            QEventLoop loop;
            QTimer::singleShot(20, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return done();
    }

    QStringList boxes;      // texts of the boxes answered by box()
    QStringList unexpected; // texts of boxes no step expected
    QList<QStringList> menuActions;

private:
    // A new single-shot timer each time: a timer does not fire again while
    // its own handler runs, and a step may open a nested dialog.
    void schedule()
    {
        QTimer::singleShot(15, this, [this] {
            schedule();
            poll();
        });
    }

    void poll()
    {
        QWidget *w = QApplication::activePopupWidget();
        if (!w)
            w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_last)
            return;
        if (!m_steps.empty()) {
            Step step = m_steps.front();
            m_steps.pop_front();
            m_last = w;
            ++m_running;
            const bool handled = step(w);
            if (!m_alive)
                return;
            --m_running;
            if (handled)
                return;
            m_steps.push_front(step);
            m_last = nullptr;
        }
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            unexpected << box->text();
            m_last = w;
            box->done(QMessageBox::Cancel);
        } else if (auto *menu = qobject_cast<QMenu *>(w)) {
            m_last = w;
            menu->close();
        }
    }

    std::deque<Step> m_steps;
    QPointer<QWidget> m_last;
    int m_running = 0;
    bool m_alive = true;
};
