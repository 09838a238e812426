// iPhone arrival and removal, and loading Kik from a connected iPhone.
#include "ui/MainWindow.h"

#include "app/LogCategories.h"
#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "ios/BackupManifest.h"
#include "ios/BackupSettingsCheck.h"
#include "ios/IOSKikDb.h"
#include "ios/IphoneKikLoadFlow.h"
#include "ios/gui/PasscodeDlg.h"
#include "jobs/gui/ProgressForm.h"
#include "ui/ItemModelMain.h"
#include "ui/MyTreeView.h"

#include <QDebug>
#include <QDir>

namespace {

// A job's progress shown in a modal progress dialog that it owns: the job
// reports here and every report is passed to the dialog; the dialog's
// cancel and end set this object's flags, which the job reads.
class FormProgress : public JobProgress
{
public:
    explicit FormProgress(std::unique_ptr<ProgressForm> form) : m_form(std::move(form))
    {
        QObject::connect(m_form.get(), &QDialog::finished, this, [this](int result) {
            if (result == 0)
                cancelled = true;
        });
        QObject::connect(m_form.get(), &ProgressForm::userCacel, this, [this] {
            cancelled = true;
            Q_EMIT userCacel();
        });
    }
    ProgressForm &form() const { return *m_form; }

    void updateProgress(const QString &status, int curProgress, const QString &text) override
    {
        m_form->progress()->updateProgress(status, curProgress, text);
    }
    void errorOccurred(const QString &text) override { m_form->progress()->errorOccurred(text); }
    void succeed(const QString &text) override { m_form->progress()->succeed(text); }
    void tipsWait(const QString &text) override
    {
        m_form->progress()->tipsWait(text);
        waiting = false;
    }
    void cancel() override { m_form->cancel(); }

private:
    std::unique_ptr<ProgressForm> m_form;
};

// The load flow's questions and reports as the window shows them.
class WindowIphoneLoadUi : public IphoneLoadUi
{
public:
    using FormMaker = std::function<std::unique_ptr<ProgressForm>()>;
    using JobRunner = std::function<bool(QThread &, ProgressForm &)>;

    WindowIphoneLoadUi(QWidget *window, FormMaker makeForm, JobRunner run)
        : m_window(window), m_makeForm(std::move(makeForm)), m_run(std::move(run))
    {}

    std::unique_ptr<JobProgress> newProgress() override
    {
        return std::make_unique<FormProgress>(m_makeForm());
    }
    bool runJob(QThread &job, JobProgress &progress) override
    {
        return m_run(job, static_cast<FormProgress &>(progress).form()) && !progress.isCancelled();
    }
    bool unlockBackup(BackupManifest &backup) override
    {
        // The dialog holds the backup only while it is open.
        const std::shared_ptr<BackupManifest> borrowed(std::shared_ptr<BackupManifest>(), &backup);
        PasscodeDlg passcode(borrowed, m_window);
        passcode.setObjectName(QStringLiteral("PasscodeDlg"));
        return passcode.exec() == QDialog::Accepted;
    }
    void showWarning(const BackupSettingsWarning &warning) override
    {
        MessageBoxes::showError(m_window, warning.html());
    }
    void showError(const QString &text) override { MessageBoxes::showError(m_window, text); }

private:
    QWidget *m_window;
    FormMaker m_makeForm;
    JobRunner m_run;
};

QString textOf(const CFType &value)
{
    return value.isString() ? value.toQString() : QString();
}

} // namespace

void MainWindow::startIosMonitor()
{
    MobileDeviceStack &stack = m_options.iosStack ? *m_options.iosStack : mobileDeviceStack();
    try {
        stack.subscribe(this);
        m_iosStack = &stack;
    } catch (const std::exception &e) {
        // Without the device stack the window still shows everything else.
        qCWarning(lcUi) << "iPhones are not followed:" << e.what();
    }
}

void MainWindow::stopIosMonitor()
{
    if (m_iosStack)
        m_iosStack->unsubscribe(this);
    m_iosStack = nullptr;
}

void MainWindow::iosDeviceConnected(void *handle)
{
    if (!m_iosStack || !handle)
        return;
    const MobileDevicePtr device = m_iosStack->deviceForHandle(handle);
    if (!device)
        return;
    if (m_iosLoading.contains(handle)) {
        // Unplugged and plugged in again while it is being read: the load
        // under way goes on and its result is kept.
        m_iosLeft.remove(handle);
        return;
    }
    m_iosLoading.insert(handle);
    loadIphone(handle, device);
    m_iosLoading.remove(handle);
    m_iosLeft.remove(handle);
    refreshToolbar();
}

void MainWindow::loadIphone(void *handle, const MobileDevicePtr &device)
{
    IOSDeviceRecord record;
    record.handle = handle;
    try {
        const QList<CFType> values =
            device->copyValues({QStringLiteral("UniqueDeviceID"), QStringLiteral("DeviceName"),
                                QStringLiteral("MobileSubscriberCountryCode"),
                                QStringLiteral("ProductVersion"), QStringLiteral("ProductType")},
                               QString());
        record.uniqueDeviceId = textOf(values.value(0));
        record.deviceName = textOf(values.value(1));
        record.countryCode = textOf(values.value(2));
        record.productVersion = textOf(values.value(3));
        record.productType = textOf(values.value(4));
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    if (record.uniqueDeviceId.isEmpty())
        record.uniqueDeviceId = device->udid();
    if (record.deviceName.isEmpty())
        record.deviceName = record.uniqueDeviceId;

    BusyGuard busy(this, QStringLiteral("iphone:") + record.uniqueDeviceId);
    if (!busy.acquired())
        return;
    MessageBoxes::showInformation(
        this, QStringLiteral("<p><b>Notes:</b></p><p><nobr><b>1.</b>  If your iPhone is protected with a "
                             "passcode, please enter your passcode on iPhone first.</nobr></p><p><nobr>"
                             "<b>2.</b>  Please make sure you have installed and verified Kik on your "
                             "iPhone.</nobr></p>"));
    if (m_iosLeft.contains(handle))
        return;
    WindowIphoneLoadUi ui(
        this, [this] { return makeProgressForm(ids("IDS_LOADING_IOS_KIK")); },
        [this](QThread &job, ProgressForm &form) { return runJob(job, form); });
    const IphoneKikLoadResult load = loadKikFromIphone(device, ui);
    // The phone may have been unplugged while it was read.
    if (!load.loaded || m_iosLeft.contains(handle))
        return;
    try {
        auto db = std::make_shared<IOSKikDb>(load.kikFolder);
        // A node of the same phone (plugged in again) is replaced.
        for (_IOSDeviceItemNode *old : m_mainModel->iPhones()) {
            if (old->device.handle && old->device.uniqueDeviceId == record.uniqueDeviceId)
                removeSourceNode(old);
        }
        _IOSDeviceItemNode *node = m_mainModel->addIPhone(record);
        try {
            loadSource(node, db);
        } catch (...) {
            removeSourceNode(node);
            throw;
        }
        m_tree->expand(m_mainModel->indexOf(node));
        reselect(node);
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QStringLiteral("The Kik data copied from %1 cannot be read: %2")
                                          .arg(record.deviceName, QString::fromUtf8(e.what())));
    }
}

void MainWindow::iosDeviceDisconnected(void *device)
{
    // Phones loaded from folders have no handle and never leave this way.
    if (!device)
        return;
    if (m_iosLoading.contains(device))
        m_iosLeft.insert(device);
    for (_IOSDeviceItemNode *node : m_mainModel->iPhones()) {
        if (node->device.handle == device) {
            removeSourceNode(node);
            return;
        }
    }
}
