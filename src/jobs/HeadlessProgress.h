// A progress object without a window, for tests and tools: it keeps what a
// dialog would show, how the job ended, and answers tips at once (or only
// when told to).
#pragma once

#include "jobs/JobProgress.h"
#include "jobs/ProgressState.h"

#include <QStringList>

class HeadlessProgress : public JobProgress
{
    Q_OBJECT
public:
    enum Result { Running = -1, Failed = 0, Succeeded = 1 };

    explicit HeadlessProgress(QObject *parent = nullptr) : JobProgress(parent) {}

    // When false, tipsWait leaves the waiting flag set until answerTip().
    bool answerTipsAtOnce = true;
    // Cancels the job as soon as the bar reaches this percent (-1: never).
    int cancelAtPercent = -1;

    const ProgressState &state() const { return m_state; }
    Result result() const { return m_result; }
    QString errorText() const { return m_error; }
    QString successText() const { return m_success; }
    QStringList tips() const { return m_tips; }
    // The progress texts in order, the last kKeptTexts of them (a job of a
    // million items must not keep a million texts).
    static constexpr qsizetype kKeptTexts = 1000;
    QStringList texts() const { return m_texts; }
    int updates() const { return m_updates; }

    void answerTip() { waiting = false; }

public Q_SLOTS:
    void updateProgress(const QString &status, int curProgress, const QString &progressText) override;
    void errorOccurred(const QString &text) override;
    void succeed(const QString &text) override;
    void tipsWait(const QString &text) override;
    void cancel() override;

Q_SIGNALS:
    // The job ended as a dialog would: 1 after succeed, 0 after an error or
    // cancel.
    void finished(int result);

private:
    void finish(Result result);

    ProgressState m_state;
    Result m_result = Running;
    QString m_error;
    QString m_success;
    QStringList m_tips;
    QStringList m_texts;
    int m_updates = 0;
};
