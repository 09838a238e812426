#include "cli/IphoneSource.h"

#include "app/Translation.h"
#include "cli/CliSource.h"
#include "cli/ForwardingProgress.h"
#include "ios/BackupManifest.h"
#include "ios/BackupSettingsCheck.h"
#include "ios/IOSKikDb.h"
#include "ios/IphoneKikLoadFlow.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include <QDir>

namespace {

class CliIphoneLoadUi : public IphoneLoadUi
{
public:
    CliIphoneLoadUi(CliContext &ctx, JobProgress *progress) : m_ctx(ctx), m_progress(progress) {}

    std::unique_ptr<JobProgress> newProgress() override
    {
        return std::make_unique<ForwardingProgress>(m_progress);
    }
    bool runJob(QThread &job, JobProgress &progress) override
    {
        JobRunner::runToEnd(job);
        auto &headless = static_cast<ForwardingProgress &>(progress);
        if (headless.result() == HeadlessProgress::Failed && !headless.errorText().isEmpty())
            m_error = headless.errorText();
        return headless.result() == HeadlessProgress::Succeeded && !headless.isCancelled();
    }
    bool unlockBackup(BackupManifest &backup) override
    {
        const QString password = sourcePassword(m_ctx);
        if (password.isEmpty()) {
            m_error = QStringLiteral("The iPhone's backup is encrypted: give its password with "
                                     "--password or --password-file.");
            return false;
        }
        if (!backup.unlock(password)) {
            m_error = idsPlain("IDS_INVALID_PASSWORD");
            return false;
        }
        return true;
    }
    void showWarning(const BackupSettingsWarning &warning) override { m_error = warning.text; }
    void showError(const QString &text) override { m_error = text; }

    QString error() const { return m_error; }

private:
    CliContext &m_ctx;
    JobProgress *m_progress;
    QString m_error;
};

LoadedSource loadIphone(const QString &value, CliContext &ctx, JobProgress *progress)
{
    const MobileDevicePtr device = resolveIphone(value);
    CliIphoneLoadUi ui(ctx, progress);
    const IphoneKikLoadResult load = loadKikFromIphone(device, ui);
    LoadedSource source;
    source.data = std::make_shared<KikDataSet>();
    if (!load.loaded) {
        if (progress && progress->isCancelled())
            return source; // the command ends with the cancel exit code
        throw std::runtime_error(
            (ui.error().isEmpty() ? QStringLiteral("Cancelled.") : ui.error()).toStdString());
    }
    const QString store = QDir(load.kikFolder).filePath(QStringLiteral("Documents/kik.sqlite"));
    try {
        auto db = std::make_shared<IOSKikDb>(load.kikFolder);
        db->loadAll(*source.data);
        source.db = db;
    } catch (const std::exception &e) {
        throw std::runtime_error(QStringLiteral("The Kik store copied from the iPhone (%1) cannot be "
                                                "read: %2")
                                     .arg(QDir::toNativeSeparators(store), QString::fromUtf8(e.what()))
                                     .toStdString());
    }
    source.cacheFolder = load.kikFolder;
    return source;
}

const CliSourceRegistration registration(QStringLiteral("iphone"), loadIphone);

} // namespace

MobileDevicePtr resolveIphone(const QString &value)
{
    MobileDeviceStack &stack = mobileDeviceStack();
    const QStringList ids = stack.deviceIds();
    if (value == QLatin1String("auto")) {
        if (ids.isEmpty())
            throw std::runtime_error("No iPhone is connected.");
        if (ids.size() > 1)
            throw std::runtime_error(QStringLiteral("More than one iPhone is connected (%1): name one "
                                                    "as iphone:UDID.")
                                         .arg(ids.join(QStringLiteral(", ")))
                                         .toStdString());
        return stack.device(ids.first());
    }
    if (!ids.contains(value))
        throw std::runtime_error(QStringLiteral("The iPhone %1 is not connected.").arg(value).toStdString());
    return stack.device(value);
}
