// The progress object of the command-line tool: draws the one-line bar on
// stderr, prints tips and waits for Enter (or goes on at once with --yes),
// and is cancelled by SIGINT and SIGTERM (see CliSignals) while it lives.
#pragma once

#include "cli/ConsoleProgressBar.h"
#include "jobs/HeadlessProgress.h"

#include <memory>

class QThread;
class CliContext;

class CliProgress : public HeadlessProgress
{
    Q_OBJECT
public:
    explicit CliProgress(const CliContext &ctx, QObject *parent = nullptr);
    ~CliProgress() override;

    // The user stopped the job (signal), as opposed to an error.
    bool interrupted() const { return m_interrupted; }
    // Applies a signal whose queued cancel has not been delivered yet.
    void checkSignals();

    // Runs the job to its end; returns the exit code and prints an error
    // (exit 1), nothing on cancel (exit 3). The caller prints success.
    int runJob(QThread &job);

public Q_SLOTS:
    void updateProgress(const QString &status, int curProgress, const QString &progressText) override;
    void tipsWait(const QString &text) override;
    void cancel() override;

private:
    ConsoleProgressBar m_bar;
    bool m_yes;
    bool m_interrupted = false;
};
