// What a job reports to: progress, errors, success and tips the user must
// read, plus the cancelled and waiting flags. The desktop program's progress
// dialog, the command-line tool and the tests each provide one.
//
// Jobs run on their own thread and reach it only through the functions of
// JobReport below, which invoke the slots by name (queued to the object's
// thread), and through the two atomic flags.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>

class JobProgress : public QObject
{
    Q_OBJECT
public:
    explicit JobProgress(QObject *parent = nullptr) : QObject(parent) {}

    bool isCancelled() const { return cancelled.load(); }
    bool isWaiting() const { return waiting.load(); }

    std::atomic<bool> cancelled{false};
    std::atomic<bool> waiting{false};

public Q_SLOTS:
    // An empty status keeps the title; a negative percent keeps the bar; an
    // empty text becomes "Progress:<percent>%".
    virtual void updateProgress(const QString &status, int curProgress, const QString &progressText);
    virtual void errorOccurred(const QString &text);
    virtual void succeed(const QString &text);
    // Shows a tip; when the user has read it, the waiting flag is cleared.
    virtual void tipsWait(const QString &text);
    // The user asked to stop.
    virtual void cancel();

Q_SIGNALS:
    void userCacel();
};

// Calls a job makes from its own thread.
namespace JobReport {

void progress(JobProgress *target, const QString &status, int percent, const QString &text);
void error(JobProgress *target, const QString &text);
void success(JobProgress *target, const QString &text);
// Sets the waiting flag, shows the tip and sleeps in 500 ms steps until it is
// closed or the job is cancelled. Returns false when cancelled.
bool waitForTips(JobProgress *target, const QString &text);
// Sets the waiting flag and shows the tip without waiting: the job goes on
// (an adb backup runs while the user confirms on the phone) and later calls
// waitWhileTipsShown.
void showTips(JobProgress *target, const QString &text);
// Sleeps in `stepMs` steps while the tip is shown; false when cancelled.
bool waitWhileTipsShown(JobProgress *target, int stepMs);

} // namespace JobReport
