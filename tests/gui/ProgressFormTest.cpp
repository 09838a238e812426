#include "jobs/gui/ProgressForm.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Closes the next message box as soon as it is shown; returns its text.
QString *closeNextBox(QObject *owner)
{
    auto *seen = new QString;
    auto *timer = new QTimer(owner);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, seen] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            *seen = box->text();
            box->done(QMessageBox::Ok);
            timer->stop();
        }
    });
    timer->start();
    return seen;
}

} // namespace

TEST(ProgressForm, GeometryAndObjectNames)
{
    ProgressForm form(QStringLiteral("Loading"));
    EXPECT_EQ(form.size(), QSize(350, 122));
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    auto *status = form.findChild<QLabel *>(QStringLiteral("lbStatus"));
    auto *bar = form.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    auto *text = form.findChild<QLabel *>(QStringLiteral("lbProgress"));
    auto *button = form.findChild<QPushButton *>(QStringLiteral("btnCancel"));
    ASSERT_TRUE(status && bar && text && button);
    EXPECT_EQ(status->geometry(), QRect(20, 20, 310, 15));
    EXPECT_EQ(bar->geometry(), QRect(20, 40, 320, 22));
    EXPECT_EQ(text->geometry(), QRect(25, 70, 280, 19));
    EXPECT_EQ(button->geometry(), QRect(130, 90, 74, 22));
    EXPECT_EQ(status->text(), QStringLiteral("Loading"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Loading"));
    EXPECT_EQ(button->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(text->alignment() & Qt::AlignHCenter);
}

TEST(ProgressForm, ProgressTextRules)
{
    ProgressForm form{QString()};
    auto *status = form.findChild<QLabel *>(QStringLiteral("lbStatus"));
    auto *bar = form.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    auto *text = form.findChild<QLabel *>(QStringLiteral("lbProgress"));
    form.progress()->updateProgress(QStringLiteral("Backing up"), 40, QString());
    EXPECT_EQ(text->text(), QStringLiteral("Progress:40%"));
    EXPECT_EQ(status->text(), QStringLiteral("Backing up"));
    form.progress()->updateProgress(QString(), -1, QStringLiteral("Messages: 2/5"));
    EXPECT_EQ(bar->value(), 40);
    EXPECT_EQ(text->text(), QStringLiteral("Messages: 2/5"));
    EXPECT_EQ(status->text(), QStringLiteral("Backing up"));
}

TEST(ProgressForm, JobCallsFromAnotherThreadDriveTheDialog)
{
    ProgressForm form{QString()};
    QThread *job = QThread::create([&form] {
        JobReport::progress(form.progress(), QStringLiteral("T"), 70, QString());
        JobReport::success(form.progress(), QString());
    });
    job->start();
    const int result = form.exec(); // succeed with no text closes without a box
    job->wait();
    delete job;
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(form.isCancelled());
    EXPECT_EQ(form.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 70);
}

TEST(ProgressForm, CancelEndsDialogAndSetsFlag)
{
    ProgressForm form{QString()};
    int emitted = 0;
    QObject::connect(form.progress(), &JobProgress::userCacel, [&emitted] { ++emitted; });
    QTimer::singleShot(
        0, &form, [&form] { Q_EMIT form.findChild<QPushButton *>(QStringLiteral("btnCancel"))->pressed(); });
    EXPECT_EQ(form.exec(), 0);
    EXPECT_TRUE(form.isCancelled());
    EXPECT_EQ(emitted, 1);
}

TEST(ProgressForm, ErrorShowsBoxAndEndsWithZero)
{
    ProgressForm form{QString()};
    QString *seen = closeNextBox(&form);
    QTimer::singleShot(0, &form, [&form] { form.progress()->errorOccurred(QStringLiteral("Boom ä")); });
    EXPECT_EQ(form.exec(), 0);
    EXPECT_TRUE(seen->contains(QStringLiteral("Boom ä")));
    EXPECT_TRUE(form.isCancelled());
    delete seen;
}

TEST(ProgressForm, TipClearsWaitingWhenClosed)
{
    ProgressForm form{QString()};
    form.progress()->waiting = true;
    QString *seen = closeNextBox(&form);
    form.progress()->tipsWait(QStringLiteral("Unlock your phone"));
    EXPECT_FALSE(form.isWaiting());
    EXPECT_EQ(*seen, QStringLiteral("Unlock your phone"));
    delete seen;
}

TEST(ProgressForm, CallsAfterTheDialogEndedShowNothing)
{
    ProgressForm form{QString()};
    QTimer::singleShot(
        0, &form, [&form] { Q_EMIT form.findChild<QPushButton *>(QStringLiteral("btnCancel"))->pressed(); });
    ASSERT_EQ(form.exec(), 0);
    // A job that had not yet seen the cancel reports its end: the calls run
    // on the ended dialog and open no box (a box would be closed and seen).
    QString *seen = closeNextBox(&form);
    form.progress()->errorOccurred(QStringLiteral("late error"));
    form.progress()->succeed(QStringLiteral("late success"));
    form.progress()->waiting = true;
    form.progress()->tipsWait(QStringLiteral("late tip"));
    EXPECT_TRUE(seen->isEmpty()) << seen->toStdString();
    EXPECT_FALSE(form.isWaiting()) << "a job waiting on the tip goes on";
    EXPECT_TRUE(form.isCancelled());
    delete seen;
}
