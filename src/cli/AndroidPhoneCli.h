// Reaching a connected Android phone from the command-line tool: choosing
// the serial, connecting and loading as the window does, with the jobs'
// progress and tips passed on to the command's progress object.
#pragma once

#include "android/AndroidDevice.h"

#include <QDir>
#include <QString>

#include <functional>

class AndroidPhone;
class JobProgress;

namespace AndroidPhoneCli {

// The serial to use: "auto" means the one connected phone. Throws a clear
// message for an unknown serial, no or several phones, and phones that are
// unauthorized or offline.
QString resolveSerial(const QString &value);

// Runs `body`, which builds a job on the step's progress object and runs
// it to its end (JobRunner::runToEnd); the step passes progress and tips on
// to `progress` (may be null). Returns false when the job was cancelled;
// throws AppError with the job's error text when it failed.
bool runStep(JobProgress *progress, const std::function<void(JobProgress &)> &body);

// Connects (AndroidConnectWithUSBThread). False when cancelled.
bool connect(const QString &serial, JobProgress *progress, AndroidDevice &device);

// Runs AndroidLoadKikThread; false when cancelled.
bool load(AndroidPhone &phone, const QDir &archiveFolder, bool fetch, JobProgress *progress);

} // namespace AndroidPhoneCli
