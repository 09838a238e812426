#include "jobs/gui/ProgressForm.h"

#include "app/StyleSheet.h"
#include "gui/MessageBoxes.h"
#include "gui/WinMovable.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

ProgressFormLink::ProgressFormLink(ProgressForm *form) : JobProgress(form), m_form(form) {}

void ProgressFormLink::updateProgress(const QString &status, int curProgress, const QString &progressText)
{
    m_form->updateProgress(status, curProgress, progressText);
}

void ProgressFormLink::errorOccurred(const QString &text)
{
    m_form->errorOccurred(text);
}

void ProgressFormLink::succeed(const QString &text)
{
    m_form->succeed(text);
}

void ProgressFormLink::tipsWait(const QString &text)
{
    m_form->tipsWait(text);
}

void ProgressFormLink::cancel()
{
    m_form->cancel();
}

ProgressForm::ProgressForm(const QString &status, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_link(new ProgressFormLink(this))
{
    resize(350, 122);
    setWindowTitle(tr("Dialog"));
    setStyleSheet(appStyleSheet());
    new WinMovable(this);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lbStatus"));
    m_status->setGeometry(20, 20, 310, 15);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setGeometry(20, 40, 320, 22);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(true);

    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("lbProgress"));
    m_progress->setGeometry(25, 70, 280, 19);
    m_progress->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("btnCancel"));
    m_cancel->setGeometry(130, 90, 74, 22);

    m_status->setText(status);
    if (!status.isEmpty())
        setWindowTitle(status);
    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
    connect(m_cancel, &QPushButton::pressed, this, &ProgressForm::cancel);
    connect(this, &ProgressForm::userCacel, m_link, &JobProgress::userCacel);
}

void ProgressForm::updateProgress(const QString &status, int curProgress, const QString &progressText)
{
    if (!status.isEmpty())
        m_status->setText(status);
    if (curProgress >= 0)
        m_bar->setValue(qMin(curProgress, 100));
    m_progress->setText(progressText.isEmpty() ? QStringLiteral("Progress:%1%").arg(m_bar->value())
                                               : progressText);
}

void ProgressForm::errorOccurred(const QString &text)
{
    // A job's call that arrives after the dialog ended (it was cancelled, or
    // had already failed) has no visible effect.
    if (m_ended)
        return;
    MessageBoxes::showError(this, text);
    done(0);
}

void ProgressForm::succeed(const QString &text)
{
    if (m_ended)
        return;
    if (!text.isEmpty())
        MessageBoxes::showInformation(this, text);
    done(1);
}

void ProgressForm::onFinish(int result)
{
    m_ended = true;
    m_link->cancelled = result == 0;
}

void ProgressForm::showEvent(QShowEvent *event)
{
    m_ended = false;
    QDialog::showEvent(event);
}

void ProgressForm::tipsWait(const QString &text)
{
    if (!m_ended)
        MessageBoxes::showInformation(this, text);
    m_link->waiting = false;
}

void ProgressForm::cancel()
{
    // The flag is set before the signal so that a job woken by it sees it.
    m_link->cancelled = true;
    Q_EMIT userCacel();
    done(0);
}
