#include "cli/CliDevices.h"

#include <QPair>

namespace {

QList<QPair<QString, CliDeviceLister>> &listers()
{
    static QList<QPair<QString, CliDeviceLister>> list;
    return list;
}

} // namespace

CliDeviceListerRegistration::CliDeviceListerRegistration(const QString &kind, CliDeviceLister lister)
{
    listers().append({kind, std::move(lister)});
}

CliDeviceListing listCliDevices(CliContext &ctx)
{
    CliDeviceListing listing;
    for (const auto &[kind, lister] : listers()) {
        try {
            listing.rows += lister(ctx);
        } catch (const std::exception &e) {
            listing.problems.append(QString::fromUtf8(e.what()));
        }
    }
    return listing;
}
