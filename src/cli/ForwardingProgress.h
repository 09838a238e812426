// The progress of a job that a command runs inside its own work: the job's
// reports go on to the command's progress object, and a cancel of the
// command (Ctrl+C, or its own progress cancelled) reaches the job. The job's
// own outcome (succeeded, failed, its error text) stays here to be read.
#pragma once

#include "jobs/HeadlessProgress.h"

class ForwardingProgress : public HeadlessProgress
{
public:
    explicit ForwardingProgress(JobProgress *target);
    ~ForwardingProgress() override;
    ForwardingProgress(const ForwardingProgress &) = delete;
    ForwardingProgress &operator=(const ForwardingProgress &) = delete;

    void updateProgress(const QString &status, int curProgress, const QString &text) override;

private:
    JobProgress *m_target;
};
