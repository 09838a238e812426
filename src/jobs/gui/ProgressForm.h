// The modal progress dialog of the desktop program. Jobs never see the
// dialog itself: they report to its progress() object, whose slots drive
// the dialog on the GUI thread and whose flags are the dialog's cancelled
// and waiting flags.
#pragma once

#include "jobs/JobProgress.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class ProgressForm;

// The job-facing side of a ProgressForm, owned by the form.
class ProgressFormLink : public JobProgress
{
    Q_OBJECT
public:
    explicit ProgressFormLink(ProgressForm *form);

public Q_SLOTS:
    void updateProgress(const QString &status, int curProgress, const QString &progressText) override;
    void errorOccurred(const QString &text) override;
    void succeed(const QString &text) override;
    void tipsWait(const QString &text) override;
    void cancel() override;

private:
    ProgressForm *m_form;
};

class ProgressForm : public QDialog
{
    Q_OBJECT
public:
    explicit ProgressForm(const QString &status, QWidget *parent = nullptr);

    // What jobs report to; lives as long as the form.
    JobProgress *progress() const { return m_link; }
    bool isCancelled() const { return m_link->isCancelled(); }
    bool isWaiting() const { return m_link->isWaiting(); }

Q_SIGNALS:
    void userCacel();

public Q_SLOTS:
    void updateProgress(const QString &status, int curProgress, const QString &progressText);
    void errorOccurred(const QString &text);
    void succeed(const QString &text);
    void onFinish(int result);
    void tipsWait(const QString &text);
    void cancel();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Set once the dialog has ended; later calls from the job show nothing.
    bool m_ended = false;
    QLabel *m_status;
    QProgressBar *m_bar;
    QLabel *m_progress;
    QPushButton *m_cancel;
    ProgressFormLink *m_link;
};
