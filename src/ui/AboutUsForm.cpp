#include "ui/AboutUsForm.h"

#include "app/AppInfo.h"
#include "app/StyleSheet.h"
#include "gui/WinMovable.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <archive.h>
#include <mbedtls/version.h>
#include <openssl/opensslv.h>
#include <sqlite3.h>
#include <zlib.h>

AboutUsForm::AboutUsForm(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("AboutUsForm"));
    setStyleSheet(appStyleSheet());
    new WinMovable(this);

    auto *title = new QLabel(QStringLiteral("<b>%1</b>").arg(QString::fromLatin1(AppInfo::kTitle)), this);
    title->setObjectName(QStringLiteral("lbTitle"));
    auto *versions =
        new QLabel(versionText().toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br/>")), this);
    versions->setObjectName(QStringLiteral("lbVersions"));
    versions->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->addWidget(title);
    layout->addWidget(versions);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QList<QPair<QString, QString>> AboutUsForm::libraryVersions()
{
    char mbedtls[32] = {};
    mbedtls_version_get_string(mbedtls);
    // Alphabetical, as the command-line tool's "version" lists them.
    return {
        {QStringLiteral("libarchive"), QString::fromLatin1(archive_version_string())},
        {QStringLiteral("mbedtls"), QString::fromLatin1(mbedtls)},
        {QStringLiteral("openssl"), QStringLiteral(OPENSSL_VERSION_TEXT)},
        {QStringLiteral("qt"), QString::fromLatin1(qVersion())},
        {QStringLiteral("sqlite"), QString::fromLatin1(sqlite3_libversion())},
        {QStringLiteral("zlib"), QString::fromLatin1(zlibVersion())},
    };
}

QString AboutUsForm::versionText()
{
    QString text = QStringLiteral("velloran-kik %1\n").arg(QStringLiteral(VELLORAN_VERSION));
    for (const auto &entry : libraryVersions())
        text += QStringLiteral("%1 %2\n").arg(entry.first, entry.second);
    return text;
}
