#include "app/Translation.h"

#include "app/TextUtil.h"

#include <QCoreApplication>
#include <QTranslator>

bool installTranslation(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/en.qm"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QString ids(const char *key)
{
    return QCoreApplication::translate("ids", key);
}

QString idsPlain(const char *key)
{
    return stripHtml(ids(key));
}
